#include "model/zem_slide.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"
#include "script/ini_file.h"

namespace zem {

namespace {

constexpr double kTan30 = 0.57735026918962576;

bool RejectTranspForClick(TZemObject* node, void*) { return !node->TranspForClick(); }

double Sane(double v) { return std::isfinite(v) ? v : 0; }

}  // namespace

uint32_t ColourCodeToArgb(int32_t code) {
  const uint32_t c = static_cast<uint32_t>(code);
  const uint32_t r = c & 0xFF, g = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

TZemSlide::TZemSlide(TRef<TZemSlideHost> host) : TZemObject(nullptr, u""), host_(std::move(host)) {
  slide_ = this;
  baseFrame_.axisX = {1, 0, 0};
  baseFrame_.axisY = {0, 1, 0};
  baseFrame_.axisZ = {0, 0, 1};
}

TZemSlide::~TZemSlide() {
  // Children go first, while the slide they point to is still whole.
  while (!children_.empty()) delete children_.back();
}

void TZemSlide::SetGeometry(TPointI displayed, float viewScaleX, float viewScaleY, TPointI output) {
  if (!(viewScaleX > 0) || !std::isfinite(viewScaleX)) viewScaleX = 100;
  if (!(viewScaleY > 0) || !std::isfinite(viewScaleY)) viewScaleY = 100;
  SetSize(int32_t(std::lround(displayed.x / double(viewScaleX) * 100)),
          int32_t(std::lround(displayed.y / double(viewScaleY) * 100)));
  keys_.current.scaleX = viewScaleX;
  keys_.current.scaleY = viewScaleY;
  output_ = output;
  baseFrame_.origin = {output.x / 2.0f, output.y / 2.0f, 0};
  changedGeometry_ = true;
}

void TZemSlide::SetAnchors(double slideBegin, double inLength, double nextEffectBegin, double outLength) {
  slideBegin_ = Sane(slideBegin);
  inLength_ = Sane(inLength);
  nextEffectBegin_ = Sane(nextEffectBegin);
  outLength_ = Sane(outLength);
  RefreshKeypointTimes();
}

double TZemSlide::GetAnchorTime(uint8_t origin) const {
  switch (origin) {
    case kSlideBegin: return slideBegin_;
    case kPrevEffectEnd: return slideBegin_ + inLength_;
    case kNextEffectBegin: return nextEffectBegin_;
    case kSlideEnd: return nextEffectBegin_ + outLength_;
    default: ZEM_FAIL("anchor origin outside 0..3");
  }
}

TVec3 TZemSlide::CameraPosition() const {
  if (host_) return host_->GetCameraPosition();
  return {output_.x / 2.0f, output_.y / 2.0f, -static_cast<float>(output_.y)};
}

bool TZemSlide::SetTime(bool recursive, double t) {
  currentTime_ = t;
  timeInSlide_ = t - slideBegin_;
  return TZemObject::SetTime(recursive, t);
}

void TZemSlide::SetTimeAndUpdate(bool recursive, double t) {
  if (t == lastTime_ && !forced_ && !IsChanged()) return;
  lastTime_ = t;
  TZemObject::SetTimeAndUpdate(recursive, t);
}

void TZemSlide::UpdateTransform(bool recursive) {
  const double c = -double(CameraPosition().z);
  depth_factor_ = float(c > 0 && size_.y > 0 ? c * kTan30 / size_.y : kTan30);
  if (!analysisRunning_ && KeypointsChanged()) RunDisplaySizeAnalysis();
  TZemObject::UpdateTransform(recursive);
}

void TZemSlide::RunDisplaySizeAnalysis() {
  struct TGuard {
    bool& flag;
    explicit TGuard(bool& f) : flag(f) { flag = true; }
    ~TGuard() { flag = false; }
  } guard(analysisRunning_);
  ++analysisCount_;

  std::vector<TZemObject*> nodes;
  std::vector<double> times;
  ForEachNode(this, [&](TZemObject* n) {
    if (n != this) nodes.push_back(n);
    const TKeyPoints& k = n->Keys();
    for (int32_t i = 0; i < k.Count(); ++i) times.push_back(k.At(i)->Time());
  });
  std::sort(times.begin(), times.end());
  times.erase(std::unique(times.begin(), times.end()), times.end());
  // Thin the samples evenly when the tree is large, so the work stays bounded.
  const size_t maxSamples = size_t(std::max<int64_t>(2, kAnalysisBudget / int64_t(nodes.size() + 1)));
  if (times.size() > maxSamples) {
    std::vector<double> thin;
    for (size_t i = 0; i < maxSamples; ++i) thin.push_back(times[i * (times.size() - 1) / (maxSamples - 1)]);
    times.swap(thin);
  }

  for (TZemObject* n : nodes) {
    n->largestWidth = n->largestHeight = 0;
    n->nearestDepth = 1000000;
  }
  const double now = currentTime_;
  for (double t : times) {
    if ((host_ && !host_->ContinueLoading()) || ShowWorkAbandoned()) break;
    SetTime(true, t);
    UpdateTransform(true);
    for (TZemObject* n : nodes) {
      TVec3 c[4];
      n->Corners(c);
      n->largestWidth = std::max(n->largestWidth, (c[1] - c[0]).Length());
      n->largestHeight = std::max(n->largestHeight, (c[3] - c[0]).Length());
      for (const TVec3& p : c) n->nearestDepth = std::min(n->nearestDepth, p.z);
    }
  }
  SetTime(true, now);
  UpdateTransform(true);

  const double camZ = CameraPosition().z;
  ZEM_ASSERT(camZ < 0);
  for (TZemObject* n : nodes) {
    const double mag = n->nearestDepth > camZ ? 1 / (1 - double(n->nearestDepth) / camZ) : 1;
    n->largestDisplayed = {float(double(n->largestWidth) * mag), float(double(n->largestHeight) * mag)};
  }
  largestDisplayed = {ScaleX() * size_.x / 100.0f, ScaleY() * size_.y / 100.0f};
}

TZemObject* TZemSlide::HandleMouse(uint32_t state, float x, float y, bool enabled, TZemActionInfo& action,
                                   int eventKind, int button) {
  ForEachNode(this, [](TZemObject* n) {
    if (auto* vs = dynamic_cast<IZemVisualStates*>(n)) vs->SetVisualState(TVisualState::Normal);
  });
  action = TZemActionInfo{};
  TZemObject* hit = nullptr;
  if (enabled && (state == 0 || state == 16)) {
    TPointF local;
    hit = FindHit(x, y, &RejectTranspForClick, nullptr, local);
  }
  if (hit) {
    auto* vs = dynamic_cast<IZemVisualStates*>(hit);
    if (vs && !hit->ActionText().empty()) {
      if (eventKind == 0) {
        vs->SetVisualState((state & 16) ? TVisualState::Click : TVisualState::Hover);
      } else if (eventKind == 1 && button == 1) {
        vs->SetVisualState(TVisualState::Click);
        hit->SetPressed(true);
      } else if (eventKind == 2 && button == 1) {
        vs->SetVisualState(TVisualState::Hover);
        if (hit->Pressed()) action = hit->Action();
        hit->SetPressed(false);
      }
    } else if (eventKind == 1) {
      hit->SetPressed(true);
    } else if (eventKind == 2) {
      if (hit->Pressed()) action = hit->Action();
      hit->SetPressed(false);
    }
  }
  // A release ends every press, so a later release elsewhere cannot fire a stale one.
  if (eventKind == 2)
    ForEachNode(this, [](TZemObject* n) {
      if (n->Pressed()) n->SetPressed(false);
    });
  return hit;
}

void TZemSlide::ReadBackground(const TIniStorage& storage, const TCommonIniSection* slideSection) {
  background_ = TSlideBackground{};
  const TCommonIniSection* src = nullptr;
  WideString prefix;
  if (slideSection && slideSection->ReadString(u"Pers_Fon", u"") == u"1") {
    src = slideSection;
  } else {
    src = storage.FindSection(u"Main");
    prefix = u"opt_";
  }
  if (!src) return;
  auto key = [&](const char16_t* name) { return prefix + name; };
  switch (src->ReadInteger(key(u"bstyle"), 0)) {
    case 1:
      background_.style = 0;
      background_.colour1 = background_.colour2 = ColourCodeToArgb(src->ReadInteger(key(u"bname"), 0));
      break;
    case 2: {
      WideString name = src->ReadString(key(u"bname"), u"");
      if (!name.empty()) {
        background_.style = 3;
        background_.pictureName = name;
        double size = src->ReadFloat(key(u"bsize"), 100);
        background_.sizePercent = std::isfinite(size) && size > 0 ? float(size) : 100;
      }
      break;
    }
    case 3: {
      int32_t cs = src->ReadInteger(key(u"bcolorstyle"), 0);
      if (cs == 1 || cs == 2) {
        background_.style = cs == 1 ? 2 : 1;
        background_.colour1 = ColourCodeToArgb(src->ReadInteger(key(u"bcolor1"), 0));
        background_.colour2 = ColourCodeToArgb(src->ReadInteger(key(u"bcolor2"), 0));
      }
      break;
    }
    default:
      break;
  }
  changedProps_ = true;
}

void TZemSlide::SetSecondBackground(const TSlideBackground& b, float factor) {
  second_ = b;
  secondFactor_ = std::isfinite(factor) ? std::clamp(factor, 0.0f, 1.0f) : 0.0f;
  hasSecond_ = true;
  changedProps_ = true;
}

TDrawPicture* TZemSlide::BackgroundPicture(const WideString& name) {
  for (auto& p : pictures_)
    if (p.name == name) return p.picture.get();
  if (!host_) return nullptr;
  TRef<TDrawPicture> pic = host_->GetPicture(name);
  if (!pic) return nullptr;
  pictures_.push_back({name, pic});
  if (pictures_.size() > 2) pictures_.pop_front();  // the oldest goes
  return pic.get();
}

void TZemSlide::AddPrimitives(TDeviceDrawer& drawer) {
  if (!backgroundEnabled_) return;
  DrawBackground(drawer, background_, 255);
  if (hasSecond_) DrawBackground(drawer, second_, uint8_t(255 - std::lround((1 - secondFactor_) * 255)));
}

void TZemSlide::DrawBackground(TDeviceDrawer& drawer, const TSlideBackground& b, uint8_t alpha) {
  const float w = float(size_.x), h = float(size_.y);
  if (w <= 0 || h <= 0) return;
  const float opacity = GetOpacity();
  const uint32_t a = uint32_t(alpha) << 24;
  if (b.style == 3) {
    TDrawPicture* pic = BackgroundPicture(b.pictureName);
    if (pic && pic->Width() > 0 && pic->Height() > 0) {
      const double pw = pic->Width(), ph = pic->Height(), s = b.sizePercent / 100.0;
      double tw, th;
      if (w / h > pw / ph) {
        tw = s * w;
        th = tw * ph / pw;
      } else {
        th = s * h;
        tw = th * pw / ph;
      }
      if (!(tw > 0) || !(th > 0)) return;
      // Reduced copy: halve (rounding up) while the next size is still over twice the tile.
      int32_t level = 0;
      double lw = pw, lh = ph;
      while (level < 30) {
        const double nw = std::ceil(lw / 2), nh = std::ceil(lh / 2);
        if (!(nw > 2 * tw || nh > 2 * th) || (nw == lw && nh == lh)) break;
        lw = nw;
        lh = nh;
        ++level;
      }
      TImageParams ip;
      ip.opacity = opacity * alpha / 255.0f;
      ip.mipLevel = level;
      const int32_t nx = int32_t(std::min<double>(kMaxBackgroundTiles, std::ceil(w / tw / 2)));
      const int32_t ny = int32_t(std::min<double>(kMaxBackgroundTiles, std::ceil(h / th / 2)));
      const TVec3 ax = frame_.axisX * float(tw / pw), ay = frame_.axisY * float(th / ph);
      const TPointF off{float(pw / 2), float(ph / 2)};
      for (int32_t j = -ny; j <= ny; ++j)
        for (int32_t i = -nx; i <= nx; ++i)
          drawer.DrawImage(pic, frame_.Map(float(i * tw), float(j * th)), off, ax, ay, ip);
      return;
    }
  }
  TBoxParams bp;
  bp.opacity = opacity;
  bp.colour1 = (b.colour1 & 0x00FFFFFFu) | a;
  bp.colour2 = (b.style == 0 ? b.colour1 : b.colour2) & 0x00FFFFFFu;
  bp.colour2 |= a;
  bp.fillStyle = b.style == 1 ? kFillHGradient : b.style == 2 ? kFillVGradient : kFillSolid;
  drawer.DrawBox(frame_.Map(localTopLeft_.x, localTopLeft_.y), {0, 0}, frame_.axisX * w, frame_.axisY * h, bp);
}

void TZemSlide::Prepare(TDeviceDrawer& drawer) {
  if (!drawer.IsReady() || preparedFor_ == &drawer) return;
  bool ok = true;
  try {
    UpdateTransform(true);
    if (background_.style == 3)
      if (TDrawPicture* pic = BackgroundPicture(background_.pictureName)) drawer.PrepareImage(pic, TImageParams{});
  } catch (...) {
    ok = false;  // the children wait for the next call
  }
  if (ok)
    for (TZemObject* c : children_) {
      try {
        c->Prepare(drawer);
      } catch (...) {
      }
    }
  preparedFor_ = &drawer;
}

void TZemSlide::Release(TDeviceDrawer& drawer) {
  for (auto& p : pictures_) drawer.ReleaseImage(p.picture.get());
  pictures_.clear();
  TZemObject::Release(drawer);
  if (preparedFor_ == &drawer) preparedFor_ = nullptr;
}

}  // namespace zem
