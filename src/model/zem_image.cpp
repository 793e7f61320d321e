#include "model/zem_image.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "model/slide_producer.h"
#include "model/zem_slide.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// Sprite sheets and frame lists are kept to sane sizes whatever the script says.
constexpr int32_t kMaxSpriteCells = 4096;
constexpr int32_t kMaxFrameCount = 65536;
// Shadows kept per object (sprite frames beyond share slots and are built again).
constexpr int32_t kMaxShadowSlots = 256;

double Fin(double v, double def) { return std::isfinite(v) && std::fabs(v) < 1e30 ? v : def; }

WideString Num(int64_t n) { return Utf8ToWide(std::to_string(n)); }

TImageAnimationParams SaneAnimation(TImageAnimationParams a) {
  a.columns = std::clamp(a.columns, 1, kMaxSpriteCells);
  a.rows = std::clamp(a.rows, 1, kMaxSpriteCells);
  a.frameCount = std::clamp(a.frameCount, 1, kMaxFrameCount);
  if (!a.intervals.empty()) a.intervals.resize(size_t(a.frameCount), a.intervals.back());
  if (a.repeatCount < 0) a.repeatCount = 0;
  a.offset = float(Fin(a.offset, 0));
  return a;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure computations

TImageGeometry ComputeImageGeometry(double W, double H, const TBorderParams& b) {
  TImageGeometry g;
  const TRectF whole{0, 0, float(W), float(H)};
  double l = 0, t = 0, r = W, bt = H;
  if (b.enableAspect && W > 0 && H > 0) {
    const double ratio = W / H;
    double a = Fin(b.aspectRatio, 0);
    if (a <= 0.001) a = ratio;
    double rw = W, rh = H;
    if (a > ratio)
      rh = W / a;
    else
      rw = a * H;
    double zoom = Fin(b.aspectZoom, 100);
    if (zoom < 0.001 || zoom > 100) zoom = 100;
    rw *= zoom / 100;
    rh *= zoom / 100;
    double ox = Fin(b.aspectOffsetX, 0), oy = Fin(b.aspectOffsetY, 0);
    if (ox < -100 || ox > 100) ox = 0;
    if (oy < -100 || oy > 100) oy = 0;
    const double cx = W / 2 + ox * (W - rw) / 2 / 100, cy = H / 2 + oy * (H - rh) / 2 / 100;
    l = cx - rw / 2;
    r = cx + rw / 2;
    t = cy - rh / 2;
    bt = cy + rh / 2;
  }
  const double regionW = r - l, regionH = bt - t;
  g.border = b.enableBorder ? float(regionH * Fin(b.borderWidth, 3.4) / 100) : 0;
  if (g.border < 0) g.border = 0;
  if (b.enableCrop) {
    if (b.cropLeftByWidth >= 0 && b.cropRightByWidth >= 0) {
      l += Fin(b.cropLeftByWidth, 0) / 100 * regionW;
      r -= Fin(b.cropRightByWidth, 0) / 100 * regionW;
    } else {
      l += Fin(b.cropLeft, 0) / 100 * regionH;
      r -= Fin(b.cropRight, 0) / 100 * regionH;
    }
    t += Fin(b.cropTop, 0) / 100 * regionH;
    bt -= Fin(b.cropBottom, 0) / 100 * regionH;
  }
  TRectF src{float(l), float(t), float(r), float(bt)};
  if (src.IsEmpty()) {
    src = whole;
  } else {
    src = {std::max(src.left, 0.0f), std::max(src.top, 0.0f), std::min(src.right, whole.right),
           std::min(src.bottom, whole.bottom)};
    if (src.IsEmpty()) src = whole;
  }
  g.source = src;
  g.outerSize = {src.right - src.left + 2 * g.border, src.bottom - src.top + 2 * g.border};
  g.innerOffset = {g.border, g.border};
  return g;
}

int32_t ChooseMipLevel(int32_t W, int32_t H, int32_t rw, int32_t rh) {
  int32_t level = 0;
  int64_t w = W, h = H;
  if (!(w > rw && h > rh)) return 0;
  while (w > 1 || h > 1) {
    const int64_t nw = (w + 1) / 2, nh = (h + 1) / 2;
    if (!(nw > rw && nh > rh)) break;
    w = nw;
    h = nh;
    ++level;
  }
  return level;
}

int32_t SpriteFrameAt(const TImageAnimationParams& a, double x) {
  if (!a.IsSpriteSheet() || a.intervals.empty()) return 0;
  const int64_t cells = int64_t(std::max(a.columns, 1)) * std::max(a.rows, 1);
  const int32_t frames = int32_t(std::max<int64_t>(1, std::min<int64_t>({int64_t(a.frameCount), cells,
                                                                         int64_t(a.intervals.size())})));
  if (!(x > 0)) x = 0;
  // Frames with an interval of 0 or less are passed over; a cycle of no length stays on frame 0.
  int64_t total = 0;
  for (int32_t f = 0; f < frames; ++f) total += std::max(a.intervals[size_t(f)], 0);
  if (total <= 0) return 0;
  // Whole cycles the walk has left behind: cycle k ends at (k + 1) x total, left when below x.
  // fmod is exact, so the place inside the cycle stays right for any time.
  double within = std::fmod(x, double(total));
  if (within == 0 && x > 0) within = double(total);
  const double cycles = (x - within) / double(total);
  if (a.repeatCount > 0 && cycles >= a.repeatCount) return frames - 1;
  int32_t f = 0;
  double end = std::max(a.intervals[0], 0);
  while (end < within && f < frames - 1) {
    ++f;
    end += std::max(a.intervals[size_t(f)], 0);
  }
  return f;
}

std::vector<int32_t> ParseAnimIntervals(WideView text, int32_t frameCount) {
  frameCount = std::clamp(frameCount, 1, kMaxFrameCount);
  std::vector<int32_t> out;
  size_t pos = 0;
  while (pos <= text.size() && int32_t(out.size()) < frameCount) {
    size_t comma = text.find(u',', pos);
    WideView item = text.substr(pos, comma == WideView::npos ? WideView::npos : comma - pos);
    int32_t v = 0;
    if (!TryParseIniInteger(item, v)) break;
    out.push_back(v);
    if (comma == WideView::npos) break;
    pos = comma + 1;
  }
  if (out.empty()) out.push_back(100);
  out.resize(size_t(frameCount), out.back());
  return out;
}

// ---------------------------------------------------------------------------------------------
// Image

namespace {
// Border keys beyond this are taken as damaged: the geometry works in single precision.
double FinBorder(double v, double def) { return std::isfinite(v) && std::fabs(v) < 1e15 ? v : def; }
}  // namespace

TBorderParams ReadBorderKeys(const TCommonIniSection& s) {
  TBorderParams b;
  b.enableBorder = s.ReadBool(u"EnableBorder", false);
  b.enableCrop = s.ReadBool(u"EnableCrop", false);
  b.enableAspect = s.ReadBool(u"EnableAspect", false);
  b.borderWidth = float(FinBorder(s.ReadFloat(u"BorderWidth", 3.4), 3.4));
  std::vector<int32_t> col;
  if (s.ReadIntegers(u"BorderColor", col, 4) == 4 && col.size() == 4) {
    auto ch = [](int32_t v) { return uint8_t(std::clamp(v, 0, 255)); };
    b.borderR = ch(col[0]);
    b.borderG = ch(col[1]);
    b.borderB = ch(col[2]);
    b.borderA = ch(col[3]);
  }
  TIniFloatPoint pair;
  TIniFloatRect crop = s.ReadRect(u"CropRect", TIniFloatRect{}, &pair);
  b.cropLeft = crop.left;
  b.cropTop = crop.top;
  b.cropRight = crop.right;
  b.cropBottom = crop.bottom;
  b.cropLeftByWidth = pair.x;
  b.cropRightByWidth = pair.y;
  std::vector<double> asp;
  const int n = s.ReadFloats(u"AspectParams", asp, 6);
  if ((n == 4 || n == 6) && asp.size() >= 4) {
    b.aspectRatio = float(FinBorder(asp[0], 0));
    b.aspectZoom = float(FinBorder(asp[1], 100));
    b.aspectOffsetX = float(FinBorder(asp[2], 0));
    b.aspectOffsetY = float(FinBorder(asp[3], 0));
  }
  return b;
}

namespace show {

TZemImage::~TZemImage() = default;

void TZemImage::InitDefaults() {
  antialiased_ = true;
  filtering_ = kFilterDefault;
  border_ = TBorderParams{};
  anim_ = TImageAnimationParams{};
  mipLodBias_ = 0;
  imageIndex_ = kNoImageIndex;
}

void TZemImage::SetImageName(const WideString& name) {
  if (name == imageName_) return;
  imageName_ = name;
  changedProps_ = true;
  if (picture_) previous_ = std::move(picture_);
  picture_.reset();
  loadAttempted_ = false;
  applyOwnAnimation_ = true;
}

void TZemImage::SetPicture(TRef<TDrawPicture> picture) {
  if (picture == picture_) return;
  picture_ = std::move(picture);
  previous_.reset();
  loadAttempted_ = true;
  changedProps_ = true;
  if (picture_) SetSize(picture_->Width(), picture_->Height());
  RecomputeGeometry();
}

void TZemImage::SetBorder(const TBorderParams& b) {
  if (b == border_) return;
  border_ = b;
  changedProps_ = true;
  RecomputeGeometry();
}

void TZemImage::SetAnimation(const TImageAnimationParams& a) {
  const TImageAnimationParams s = SaneAnimation(a);
  if (s == anim_) return;
  anim_ = s;
  changedProps_ = true;
  RecomputeGeometry();
}

void TZemImage::ReadSection(const TCommonIniSection& s, bool reload) {
  SetAntialiased(s.ReadBool(u"Antialiased", true));
  SetFiltering(uint8_t(s.ReadChoiceNoCase(u"Filtering", {u"Nearest", u"Bilinear", u"Default"}, kFilterDefault)));
  SetImageName(s.ReadString(u"ImageName", imageName_));
  SetMipLodBias(float(Fin(s.ReadFloat(u"MipLodBias", 0), 0)));
  SetEffectBuffer(s.ReadInteger(u"ReplaceWithEffectBuffer", 0));

  SetBorder(ReadBorderKeys(s));

  TImageAnimationParams a;
  a.columns = s.ReadInteger(u"AnimColumns", 1);
  a.rows = s.ReadInteger(u"AnimRows", 1);
  const int32_t count = s.ReadInteger(u"AnimCount", 0);
  if (count != 0) {
    a.frameCount = count;
    applyOwnAnimation_ = false;
  } else if (!applyOwnAnimation_) {
    a.frameCount = anim_.frameCount;  // keeps what the picture gave
  }
  a.frameCount = std::clamp(a.frameCount, 1, kMaxFrameCount);
  if (const TIniIdent* key = s.FindKey(u"AnimInterval")) a.intervals = ParseAnimIntervals(key->ValueView(), a.frameCount);
  a.repeatCount = s.ReadInteger(u"AnimRepCount", 0);
  a.offset = float(Fin(s.ReadFloat(u"AnimOffset", 0), 0));
  SetAnimation(a);

  imageIndex_ = s.ReadInteger(u"ImageIndex", kNoImageIndex);
  TZemObject::ReadSection(s, reload);
}

WideString TZemImage::RequestName() const { return imageName_; }

TPointI TZemImage::PictureSize() const {
  return picture_ ? TPointI{picture_->Width(), picture_->Height()} : TPointI{};
}

void TZemImage::LoadImage() {
  if (picture_ || loadAttempted_) return;
  loadAttempted_ = true;
  TZemSlideHost* host = GetHost();
  if (host) {
    if (effectBuffer_ != 0) {
      TPointI design = slide_ ? slide_->Size() : TPointI{};
      if (auto* ph = dynamic_cast<TProducerSlideHost*>(host); ph && ph->Owner()) design = ph->Owner()->DesignSize();
      picture_ = host->GetPicture(u"SlideEffectBuffer" + Num(effectBuffer_) + u", " + Num(design.x) + u", " +
                                  Num(design.y));
    } else if (!imageName_.empty()) {
      picture_ = host->GetPicture(RequestName());
    }
  }
  previous_.reset();
  if (picture_) {
    SetSize(picture_->Width(), picture_->Height());
    if (applyOwnAnimation_) {
      TImageAnimationParams a;
      TPictureAnimation own;
      auto* source = dynamic_cast<const IPictureAnimation*>(picture_.get());
      if (source && source->GetAnimation(own) && own.frameCount > 0) {
        a.columns = own.frameCount;
        a.rows = 1;
        a.frameCount = own.frameCount;
        a.intervals = own.delays;
        if (a.intervals.empty()) a.intervals.push_back(100);
        a.repeatCount = own.loopCount;
      }
      a.offset = anim_.offset;
      SetAnimation(a);
      applyOwnAnimation_ = false;
    }
  }
  RecomputeGeometry();
  shadowRebuild = true;
}

void TZemImage::RecomputeGeometry() {
  if (!picture_) return;
  const double W = picture_->Width(), H = picture_->Height();
  if (IsSpriteSheet()) {
    SetSize(int32_t(std::lround(W / anim_.columns)), int32_t(std::lround(H / anim_.rows)));
    geometry_ = TImageGeometry{};
    geometry_.source = {0, 0, float(W), float(H)};
    geometry_.outerSize = {float(W), float(H)};
    return;
  }
  geometry_ = ComputeImageGeometry(W, H, border_);
  SetSize(int32_t(std::ceil(geometry_.outerSize.x)), int32_t(std::ceil(geometry_.outerSize.y)));
}

void TZemImage::UpdateTransform(bool recursive) {
  LoadImage();
  TZemObject::UpdateTransform(false);
  if (IsSpriteSheet()) {
    mipLevel_ = 0;
  } else if (picture_ && largestDisplayed.x > 0 && largestDisplayed.y > 0) {
    const int32_t rw = std::max<int32_t>(1, int32_t(std::lround(std::min(1.3333 * largestDisplayed.x, 1e9))));
    const int32_t rh = std::max<int32_t>(1, int32_t(std::lround(std::min(1.3333 * largestDisplayed.y, 1e9))));
    const int32_t level = ChooseMipLevel(picture_->Width(), picture_->Height(), rw, rh);
    SetProp(mipLevel_, level);
    shownSize_ = {rw, rh};
  }
  if (recursive)
    for (TZemObject* c : children_) c->UpdateTransform(true);
}

bool TZemImage::SetTime(bool recursive, double t) {
  currentTime_ = t;
  return TZemObject::SetTime(recursive, t);
}

int32_t TZemImage::SpriteFrame(double t) const {
  if (!IsSpriteSheet()) return 0;
  const double begin = slide_ ? GetAnchorTime(kSlideBegin) : 0;
  return SpriteFrameAt(anim_, t - begin - anim_.offset);
}

bool TZemImage::IsChanged() const {
  if (TZemObject::IsChanged()) return true;
  return IsSpriteSheet() && SpriteFrame(currentTime_) != lastFrame_;
}

void TZemImage::SnapshotState(bool recursive) {
  lastFrame_ = SpriteFrame(currentTime_);
  TZemObject::SnapshotState(recursive);
}

TImageParams TZemImage::GetImageParams() const {
  TImageParams p;
  const bool sheet = IsSpriteSheet();
  p.antialiased = antialiased_ && !sheet ? 1 : 0;
  p.opacity = GetImageOpacity();
  p.filtering = filtering_;
  const TKeyValues& v = Current();
  if (!v.colorOff) {
    p.colourR = v.colorR;
    p.colourG = v.colorG;
    p.colourB = v.colorB;
    p.coloriseAmount = v.colorAmount;
  } else {
    p.colourR = p.colourG = p.colourB = 255;
    p.coloriseAmount = 0;
  }
  p.mipLevel = mipLevel_;
  if (mipLevel_ > 0) {
    p.shownWidth = shownSize_.x;
    p.shownHeight = shownSize_.y;
  }
  p.mipBias = mipLodBias_;
  p.spriteColumns = anim_.columns;
  p.spriteRows = anim_.rows;
  p.border = border_.enableBorder && !sheet ? border_.BorderArgb() : 0xFFFFFFFFu;
  return p;
}

void TZemImage::AddPrimitives(TDeviceDrawer& drawer) {
  if (!IsShown()) return;
  LoadImage();
  if (size_.x <= 0 || size_.y <= 0 || !picture_) return;
  DrawShadow(drawer);
  TPointF offset{-localTopLeft_.x, -localTopLeft_.y};
  TImageParams params = GetImageParams();
  const bool sheet = IsSpriteSheet();
  if (sheet) {
    const int32_t f = SpriteFrame(currentTime_);
    const int32_t column = f % anim_.columns, row = f / anim_.columns;
    const float cw = float(picture_->Width()) / anim_.columns, ch = float(picture_->Height()) / anim_.rows;
    // Cells are stored with a one-pixel margin around each.
    const float dx = float(2 * column + 1), dy = float(2 * row + 1);
    params.sourceRect = {cw * column + dx, ch * row + dy, cw * (column + 1) + dx, ch * (row + 1) + dy};
    offset.x += params.sourceRect.left;
    offset.y += params.sourceRect.top;
  } else {
    params.sourceRect = geometry_.source;
  }
  if (border_.enableBorder && !sheet)
    drawer.DrawFrame(frame_.origin, frame_.axisX, frame_.axisY, offset, geometry_.innerOffset, geometry_.outerSize,
                     border_.BorderArgb(), params.opacity, antialiased_);
  if ((border_.enableBorder || border_.enableCrop || border_.enableAspect) && !sheet)
    offset = {geometry_.source.left - (localTopLeft_.x + geometry_.border),
              geometry_.source.top - (localTopLeft_.y + geometry_.border)};
  drawer.DrawImage(picture_.get(), frame_.origin, offset, frame_.axisX, frame_.axisY, params);
}

void TZemImage::Prepare(TDeviceDrawer& drawer) {
  LoadImage();
  if (size_.x > 0 && size_.y > 0 && picture_ && drawer.IsReady()) {
    drawer.PrepareImage(picture_.get(), GetImageParams());
    PrepareShadows(drawer, {ShadowSlot()});
  }
  TZemObject::Prepare(drawer);
}

void TZemImage::Release(TDeviceDrawer& drawer) {
  if (picture_) drawer.ReleaseImage(picture_.get());
  ReleaseShadows(drawer);
  TZemObject::Release(drawer);
}

// ---------------------------------------------------------------------------------------------
// Drop shadow

int32_t TZemImage::ShadowSlot() const { return IsSpriteSheet() ? std::max(SpriteFrame(currentTime_), 0) : 0; }

bool TZemImage::ShadowSourceFor(int32_t slot, TShadowSource& out) {
  if (!picture_ || size_.x <= 0 || size_.y <= 0) return false;
  const double W = picture_->Width(), H = picture_->Height();
  TShadowParams& p = out.params;
  // A picture without transparency casts the shadow of its rectangle; so does a rendered slide
  // (an effect buffer), which the host cannot give again by its name.
  const bool outline = picture_->HasAlpha() && !picture_->Name().empty() && effectBuffer_ == 0;
  p.source = outline ? picture_->Name() : WideString(kShadowRectSource);
  out.distanceMeasure = float(std::sqrt(double(size_.x) * size_.y));
  if (IsSpriteSheet()) {
    // The cell of the frame (stored with a one-pixel margin around each).
    const int32_t column = slot % anim_.columns, row = (slot / anim_.columns) % anim_.rows;
    const double cw = W / anim_.columns, ch = H / anim_.rows;
    p.rect = {int32_t(std::lround(cw * column + 2 * column + 1)), int32_t(std::lround(ch * row + 2 * row + 1)),
              int32_t(std::lround(cw * (column + 1) + 2 * column + 1)),
              int32_t(std::lround(ch * (row + 1) + 2 * row + 1))};
    p.spriteSheet = true;
    out.sizeMeasure = float(std::sqrt(cw * ch) / 400);
    out.localRect = {localTopLeft_.x, localTopLeft_.y, localTopLeft_.x + size_.x, localTopLeft_.y + size_.y};
    return true;
  }
  // The source rectangle and the border as margin, in pixels of the mip level.
  const double scale = double(int64_t(1) << std::clamp(mipLevel_, 0, 30));
  const TRectF& r = geometry_.source;
  p.rect = {int32_t(std::lround(r.left / scale)), int32_t(std::lround(r.top / scale)),
            int32_t(std::lround(r.right / scale)), int32_t(std::lround(r.bottom / scale))};
  p.marginX = p.marginY = int32_t(std::lround(std::min(double(geometry_.border), 1e9) / scale));
  p.marginAlpha = border_.borderA;
  p.level = mipLevel_;
  out.sizeMeasure = float(std::sqrt(W * H) / scale / 400);
  out.localRect = {localTopLeft_.x, localTopLeft_.y, localTopLeft_.x + geometry_.outerSize.x,
                   localTopLeft_.y + geometry_.outerSize.y};
  return true;
}

TShadow* TZemImage::UpdateShadow(int32_t slot) {
  if (!shadowEnable || slot < 0) return nullptr;
  TShadowSource source;
  if (!ShadowSourceFor(slot, source)) return nullptr;
  const size_t i = size_t(slot % kMaxShadowSlots);
  if (shadows_.size() <= i) shadows_.resize(i + 1);
  if (!shadows_[i]) shadows_[i] = std::make_unique<TShadow>();
  shadows_[i]->Update(*this, source);
  return shadows_[i].get();
}

const TShadow* TZemImage::CurrentShadow() const {
  const int32_t slot = ShadowSlot();
  const size_t i = size_t(std::max(slot, 0) % kMaxShadowSlots);
  return shadowEnable && i < shadows_.size() ? shadows_[i].get() : nullptr;
}

void TZemImage::DrawShadow(TDeviceDrawer& drawer) {
  if (TShadow* shadow = UpdateShadow(ShadowSlot())) shadow->Draw(drawer, *this);
}

void TZemImage::PrepareShadows(TDeviceDrawer& drawer, std::initializer_list<int32_t> slots) {
  for (int32_t slot : slots)
    if (TShadow* shadow = UpdateShadow(slot)) shadow->Prepare(drawer);
}

void TZemImage::ReleaseShadows(TDeviceDrawer& drawer) {
  for (auto& shadow : shadows_)
    if (shadow) shadow->Release(drawer);
}

}  // namespace show

// ---------------------------------------------------------------------------------------------
// Mask and viewport

void TZemMask::ReadSection(const TCommonIniSection& s, bool reload) {
  show::TZemImage::ReadSection(s, reload);
  SetAntialiased(false);
  applyOwnAnimation_ = false;
  SetAnimation(TImageAnimationParams{});
}

float TZemMask::GetImageOpacity() const {
  if (auto* vp = dynamic_cast<const TZemViewPort*>(parent_)) return vp->GetOpacity() * GetOpacity() / 100;
  return GetOpacity();
}

void TZemMask::Prepare(TDeviceDrawer& drawer) {
  LoadImage();
  if (picture_ && drawer.IsReady()) drawer.PrepareImage(picture_.get(), GetImageParams());
  TZemObject::Prepare(drawer);
}

void TZemViewPort::ReadSection(const TCommonIniSection& s, bool reload) {
  const TIniPoint size = s.ReadPoint(u"Size", {1, 1});
  SetSize(size.x, size.y);
  TZemObject::ReadSection(s, reload);
}

bool TZemViewPort::IsMaskNode(const TZemObject* node) {
  if (dynamic_cast<const TZemMask*>(node)) return true;
  const char* name = node->ClassName();
  return name && std::string_view(name) == "TZemVideoMask";
}

void TZemViewPort::Draw(TDeviceDrawer& drawer) {
  masks_.clear();
  for (TZemObject* c : children_)
    if (IsMaskNode(c)) masks_.push_back(c);
  if (drawing_) {
    // The drawer draws the content through the masks.
    for (TZemObject* c : children_)
      if (!IsMaskNode(c)) drawer.DrawItem(c);
    return;
  }
  const bool anyMask = std::any_of(masks_.begin(), masks_.end(),
                                   [](TZemObject* m) { return m->InWindow() && m->GetOpacity() > 0; });
  if (anyMask && GetOpacity() > 0 && IsShown()) {
    std::vector<TMaskedLayer> layers;
    layers.reserve(masks_.size());
    for (TZemObject* m : masks_) {
      if (auto* own = dynamic_cast<IMaskLayerSource*>(m)) {
        TMaskedLayer layer;
        if (own->BuildMaskLayer(drawer, GetOpacity(), layer)) layers.push_back(layer);
        continue;
      }
      auto* image = dynamic_cast<show::TZemImage*>(m);
      if (!image) continue;
      image->LoadImage();
      TMaskedLayer layer;
      layer.image = image->Picture();
      layer.imageParams = image->GetImageParams();
      if (!m->IsShown()) layer.imageParams.opacity = 0;
      layer.position = m->Frame().origin;
      layer.axisX = m->Frame().axisX;
      layer.axisY = m->Frame().axisY;
      layer.offset = {-m->LocalTopLeft().x, -m->LocalTopLeft().y};
      layers.push_back(layer);
    }
    drawing_ = true;
    try {
      drawer.DrawMasked(this, layers, nullptr);
    } catch (...) {
      drawing_ = false;
      throw;
    }
    drawing_ = false;
    SnapshotState(false);
    for (TZemObject* m : masks_) m->SnapshotState(false);
    return;
  }
  SnapshotState(true);
}

// ---------------------------------------------------------------------------------------------
// Kind factory

namespace {

TZemObjectFactory g_next = nullptr;

TZemObject* ImageFactory(const WideString& kind, TZemObject* parent, const WideString& guid) {
  if (kind == u"image" || kind == u"mainimage") return TZemObject::Create<show::TZemImage>(parent, guid);
  if (kind == u"mask") return TZemObject::Create<TZemMask>(parent, guid);
  if (kind == u"viewport") return TZemObject::Create<TZemViewPort>(parent, guid);
  return g_next ? g_next(kind, parent, guid) : nullptr;
}

}  // namespace

void RegisterImageKinds() {
  static std::once_flag once;
  std::call_once(once, [] { g_next = InstallObjectFactory(&ImageFactory); });
}

}  // namespace zem
