#include "model/slide_producer.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "model/zem_button.h"
#include "model/zem_image.h"
#include "model/zem_text.h"
#include "model/zem_video.h"
#include "package/file_accessor.h"
#include "package/load_throttle.h"
#include "resources/file_access.h"
#include "resources/text/font_cache.h"
#include "script/ini_file.h"

namespace zem {

namespace {

WideString Num(int64_t n) { return Utf8ToWide(std::to_string(n)); }

constexpr int32_t kMaxDesignSide = 65535;
// Dialog names are searched among at most this many "custom_dialog" keys.
constexpr int32_t kMaxCustomDialogs = 10000;

int32_t RoundSide(double v) {
  if (!std::isfinite(v) || v <= 0) return 0;
  return int32_t(std::min(std::llround(v), (long long)kMaxDesignSide * 4));
}

// A picture of the file layer as the drawer sees it; decoding waits for the first Pixels().
class TStorePicture : public TDrawPicture, public IPictureAnimation {
 public:
  TStorePicture(std::unique_ptr<zem::TZemImage> image, WideString name)
      : image_(std::move(image)), name_(std::move(name)) {}
  int32_t Width() const override { return image_->Width(); }
  int32_t Height() const override { return image_->Height(); }
  const TBitmap* Pixels() const override {
    TBitmapStore* s = image_->Store();
    return s ? &s->Bitmap() : nullptr;
  }
  WideString Name() const override { return name_; }
  bool HasAlpha() const override { return image_->Store() && image_->Store()->Format() == TPixelFormat::Argb32; }
  // Decoded at the reduced size when the store can (the full picture is never made for it).
  std::shared_ptr<const TBitmap> LevelPixels(int32_t level, int32_t shownWidth, int32_t shownHeight) const override {
    TBitmapStore* s = image_->Store();
    return s ? s->Level(level, shownWidth, shownHeight) : nullptr;
  }
  bool GetAnimation(TPictureAnimation& out) const override {
    TBitmapStore* s = image_->Store();
    const TTilesTag* tiles = s ? s->Tiles() : nullptr;
    if (!tiles || tiles->frame_count <= 1) return false;
    out.frameCount = tiles->frame_count;
    out.delays = tiles->DelayList();
    out.loopCount = tiles->loop_count;
    return true;
  }

 private:
  std::unique_ptr<zem::TZemImage> image_;
  WideString name_;
};

// Parses "ScaleTimes": three unsigned integers; missing or bad values are 0.
void ParseScaleTimes(const WideString& text, int64_t out[3]) {
  out[0] = out[1] = out[2] = 0;
  size_t pos = 0;
  for (int i = 0; i < 3 && pos <= text.size(); ++i) {
    size_t comma = text.find(u',', pos);
    WideString item = text.substr(pos, comma == WideString::npos ? WideString::npos : comma - pos);
    int32_t v = 0;
    if (TryParseIniInteger(item, v) && v > 0) out[i] = v;
    if (comma == WideString::npos) break;
    pos = comma + 1;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Host

TProducerSlideHost::TProducerSlideHost(TSlideProducer* owner, TFileAccessor* files, WideString pathToButtons)
    : owner_(owner), files_(files), pathToButtons_(std::move(pathToButtons)) {
  // Glyph outlines stored with one show are not used for another.
  if (files_) TFontCache::Instance().SetShowIdentity(TFontCache::ShowIdentity(*files_));
}

void TProducerSlideHost::DetachOwner() {
  if (owner_) {
    lastOutput_ = owner_->OutputSize();
    lastView_ = owner_->GetViewRect();
  }
  owner_ = nullptr;
  files_ = nullptr;
}

TVec3 TProducerSlideHost::GetCameraPosition() {
  if (owner_) return owner_->GetCameraPosition();
  return {lastOutput_.x / 2.0f, lastOutput_.y / 2.0f, -float(lastOutput_.y)};
}

TRectI TProducerSlideHost::GetViewRect() { return owner_ ? owner_->GetViewRect() : lastView_; }

TRef<TDrawPicture> TProducerSlideHost::GetPicture(const WideString& name) {
  static const WideString kEffectPrefix = u"SlideEffectBuffer";
  static const WideString kMaskPrefix = u"Mask: ";
  if (name.rfind(kEffectPrefix, 0) == 0) return EffectBufferPicture(name);
  if (name.rfind(kMaskPrefix, 0) == 0) return MaskPicture(name.substr(kMaskPrefix.size()));
  if (TTextPictureSource::Handles(name)) return texts_.Get(name, files_);
  if (TGeneratedPictures::Handles(name)) return Generated().Get(name, *this);
  if (!files_ || name.empty()) return {};
  auto image = LoadPicture(*files_, name);
  if (!image || image->Width() <= 0 || image->Height() <= 0) return {};
  return TRef<TDrawPicture>(new TStorePicture(std::move(image), name));
}

bool TProducerSlideHost::ContinueLoading() { return !LoadGivenUp(); }

const TCommonIniSection* TProducerSlideHost::ScriptObject(const WideString& name) {
  const TIniSection* main = owner_ ? owner_->Source().Main() : nullptr;
  if (!main) return nullptr;
  const WideString n = LowerCase(name);
  if (n == u"main") return main;
  if (n != u"tracks") return nullptr;
  for (const TIniObject* o = main->FirstObject(); o; o = main->NextObject(o))
    if (LowerCase(o->NameView()) == u"videoboss") return o;
  return nullptr;
}

std::unique_ptr<TStream> TProducerSlideHost::OpenMedia(const WideString& name, bool fromDisk, int64_t* fileDate) {
  if (fileDate) *fileDate = 0;
  if (!files_ || name.empty()) return nullptr;
  if (!fromDisk) return OpenStream(*files_, name);
  std::unique_ptr<TFileStream> f = OpenDiskFile(*files_, WideToUtf8(name));
  if (f && fileDate) {
    struct stat st;
    if (::fstat(f->Handle(), &st) == 0) *fileDate = int64_t(st.st_mtime);
  }
  return f;
}

TRef<TDrawPicture> TProducerSlideHost::MaskPicture(const WideString& name) {
  TRef<TDrawPicture> pic = GetPicture(name);
  if (!pic || !pic->Pixels()) return {};
  // A mask keeps one channel, the picture's brightness, as the coverage of white: the drawer
  // multiplies the viewport's content by the mask layers, so dark parts must be transparent
  // (an opaque grey would paint them black).
  TBitmap grey = *pic->Pixels();
  grey.ConvertTo(TPixelFormat::Grey8);
  TBitmap mask;
  if (!mask.Allocate(grey.Width(), grey.Height(), TPixelFormat::Argb32)) return {};
  for (int32_t y = 0; y < grey.Height(); ++y) {
    const uint8_t* g = grey.Row(y);
    uint32_t* out = reinterpret_cast<uint32_t*>(mask.Row(y));
    for (int32_t x = 0; x < grey.Width(); ++x) out[x] = uint32_t(g[x]) << 24 | 0xFFFFFFu;
  }
  return TRef<TDrawPicture>(new TBitmapPicture(std::move(mask), u"Mask: " + name));
}

TRef<TDrawPicture> TProducerSlideHost::EffectBufferPicture(const WideString& name) {
  static const WideString kName = u"zaglushka for slide-effect buffer";
  const size_t prefix = WideView(u"SlideEffectBuffer").size();
  const int32_t n = name.size() > prefix ? int32_t(name[prefix]) - u'0' : 0;
  TBitmap bmp;
  if (effectBuffers_ && owner_) {
    const TPointI design = owner_->DesignSize();
    if (TBitmap::SizeAllowed(design.x, design.y) && bmp.Allocate(design.x, design.y, TPixelFormat::Argb32) &&
        effectBuffers_(n, bmp))
      return TRef<TDrawPicture>(new TBitmapPicture(std::move(bmp), kName));
  }
  const TRectI view = GetViewRect();
  if (!bmp.Allocate(std::max(view.Width(), 1), std::max(view.Height(), 1), TPixelFormat::Argb32)) return {};
  return TRef<TDrawPicture>(new TBitmapPicture(std::move(bmp), kName));
}

// ---------------------------------------------------------------------------------------------
// Container

void TDrawContainer::SetTime(double t) {
  if (slide) slide->SetTimeAndUpdate(true, t - repeatOffset);
  if (transition) transition->progressTime = t - info.start;
}

// ---------------------------------------------------------------------------------------------
// Producer

TSlideProducer::TSlideProducer(TRef<TZemSource> source, TRef<TZemSlideHost> host)
    : source_(std::move(source)), host_(std::move(host)) {
  ZEM_ASSERT(source_);
  RegisterImageKinds();
  RegisterTextKinds();
  RegisterButtonKinds();
  RegisterVideoKinds();
  const TIniSection* main = source_->Main();
  if (!host_) {
    ownHost_ = new TProducerSlideHost(this, source_->Files(), main ? main->ReadString(u"PathToButtons", u"") : WideString());
    host_ = TRef<TZemSlideHost>(ownHost_);
  }
  if (main) {
    design_ = {std::clamp(main->ReadInteger(u"opt_scr_width", 0), 0, kMaxDesignSide),
               std::clamp(main->ReadInteger(u"opt_scr_height", 0), 0, kMaxDesignSide)};
    fixedSize_ = main->ReadBool(u"opt_scr_fullfixedsize", false);
  }
}

TSlideProducer::~TSlideProducer() {
  if (ownHost_) ownHost_->DetachOwner();
}

void TSlideProducer::SetOutput(TPointI out, int32_t fitMode, float vsx, float vsy) {
  out.x = std::clamp(out.x, 0, kMaxDesignSide);
  out.y = std::clamp(out.y, 0, kMaxDesignSide);
  if (!(vsx > 0) || !std::isfinite(vsx)) vsx = 100;
  if (!(vsy > 0) || !std::isfinite(vsy)) vsy = 100;
  output_ = out;
  fitMode_ = std::clamp(fitMode, 0, 2);
  viewScaleX_ = vsx;
  viewScaleY_ = vsy;

  const TIniSection* main = source_->Main();
  const int32_t minor = main ? main->ReadInteger(u"MinorVersion", 13) : 13;
  const double outAspect = out.y == 0 ? 1.333333333 : double(out.x) / out.y;
  if (minor > 12) {
    if (design_.y <= 0) ZEM_FAIL("ZeroSize of Presentation!");
    aspect_ = double(design_.x) / design_.y;
  } else {
    aspect_ = main ? main->ReadFloat(u"opt_scr_ratio", outAspect) : outAspect;
  }
  if (!std::isfinite(aspect_) || aspect_ <= 1e-6 || aspect_ > 1e6) aspect_ = outAspect > 0 ? outAspect : 1.333333333;

  double w = 0, h = 0;
  if (fixedSize_) {
    w = design_.x;
    h = design_.y;
    if (w > out.x || h > out.y) {
      // Shrink with the aspect kept: the limiting side takes the output's side.
      if (w > 0 && h > 0 && w * out.y > h * out.x) {
        h = std::round(h * out.x / w);
        w = out.x;
      } else if (h > 0) {
        w = std::round(w * out.y / h);
        h = out.y;
      }
    }
  } else {
    const double Wp = std::round(out.x / double(vsx) * 100), Hp = std::round(out.y / double(vsy) * 100);
    if (fitMode_ == kFitStretch) {
      w = Wp;
      h = Hp;
    } else {
      w = std::round(Hp * aspect_);
      h = Hp;
      if (w > 0 && h > 0) {
        const double kx = Wp / w, ky = Hp / h;
        const double k = fitMode_ == kFitCover ? std::max(kx, ky) : std::min(kx, ky);
        if (k != 1) {
          w *= k;
          h *= k;
        }
      }
    }
    w = std::round(w * vsx / 100);
    h = std::round(h * vsy / 100);
  }
  TPointI d{RoundSide(w), RoundSide(h)};
  if ((d.x & 1) && d.x < out.x) ++d.x;
  if ((d.y & 1) && d.y < out.y) ++d.y;
  displayed_ = d;
}

TRectI TSlideProducer::GetViewRect() const {
  const int32_t cx = output_.x / 2, cy = output_.y / 2;
  TRectI r{cx - displayed_.x / 2, cy - displayed_.y / 2, 0, 0};
  r.right = r.left + displayed_.x;
  r.bottom = r.top + displayed_.y;
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  r.right = std::min(r.right, output_.x);
  r.bottom = std::min(r.bottom, output_.y);
  if (r.IsEmpty()) return {};
  return r;
}

TVec3 TSlideProducer::GetCameraPosition() const {
  return {output_.x / 2.0f, output_.y / 2.0f, -float(output_.y)};
}

void TSlideProducer::PlaceSlide(TZemSlide& slide) const {
  slide.SetGeometry(displayed_, viewScaleX_, viewScaleY_, output_);
}

std::unique_ptr<TZemSlide> TSlideProducer::CreateSlide(int32_t index, int32_t repeat,
                                                       std::unique_ptr<TZemFilter>* transition) {
  TZemSource& src = *source_;
  if (transition) transition->reset();
  if (index < 0) {
    // The empty slide before the show, so the first transition runs from it.
    auto slide = std::make_unique<TZemSlide>(host_);
    slide->InitDefaults();
    PlaceSlide(*slide);
    TSlideInfo info;
    src.GetSlideInfo(index, info);
    slide->SetAnchors(info.start, info.inLength, info.next, info.outLength);
    slide->ReadBackground(src.Storage(), src.SlideSection(0));
    return slide;
  }
  if (src.SlideCount() <= 0) ZEM_FAIL("No Slides in Presentation");
  index %= src.SlideCount();
  const TIniSection* section = src.SlideSection(index);
  if (!section) return nullptr;

  auto slide = std::make_unique<TZemSlide>(host_);
  slide->slideIndex = index;
  slide->slidesCount = src.SlideCount();
  slide->SetRepeat(repeat);
  try {
    slide->InitDefaults();
    PlaceSlide(*slide);
    const TSlideInfo& info = src.Infos()[size_t(index)];
    const TIniSection* main = src.Main();
    const int32_t count = src.SlideCount();
    double begin = 0;
    if (index >= 1 && index <= count && main) begin = main->ReadInteger(u"opt_synchpos" + Num(index), 0);
    double next = begin;
    if (index < count && main) next = main->ReadInteger(u"opt_synchpos" + Num(int64_t(index) + 1), int32_t(begin));
    const double inLength = info.inLength, outLength = info.outLength;

    // Time scaling: keypoints were designed for other lengths.
    const int32_t scaleMode = section->ReadInteger(u"ScaleMode", 0);
    int64_t st[3] = {0, 0, 0};
    double scale = 0;
    if (scaleMode == 1 || scaleMode == 2) {
      ParseScaleTimes(section->ReadString(u"ScaleTimes", u""), st);
      const double E = scaleMode == 2 ? double(st[0]) : double(st[0] + st[2]);
      const double A = scaleMode == 2 ? double(std::llround(next - begin))
                                      : double(std::llround(next - begin) + std::llround(outLength));
      if (E != 0) scale = A / E;
    }
    if (scale > 0) {
      slide->SetTimeScale(float(scale));
      slide->SetAnchors(begin, double(st[1]), begin + double(st[0]), double(st[2]));
    } else {
      slide->SetAnchors(begin, inLength, next, outLength);
    }
    slide->ReadBackground(src.Storage(), section);
    slide->ReadContent(*section);
    if (scale > 0) slide->SetAnchors(begin, inLength, next, outLength);
    if (transition) {
      *transition = std::make_unique<TZemFilter>();
      (*transition)->Assign(src.GetSlideEffect(index));
    }
  } catch (const std::exception&) {
    if (transition) transition->reset();
    return nullptr;
  }
  return slide;
}

std::unique_ptr<TZemDialog> TSlideProducer::CreateDialog(const WideString& name) {
  const TZemSource& src = *source_;
  const TIniSection* main = src.Main();
  WideString suffix = name;
  const int32_t n = main ? std::min(main->ReadInteger(u"opt_customdialogscount", 0), kMaxCustomDialogs) : 0;
  for (int32_t i = 1; i <= n; ++i) {
    if (main->ReadString(u"custom_dialog" + Num(i), u"NotFound") == name) {
      suffix = Num(i) + u"_";
      break;
    }
  }
  const TIniSection* section = src.Storage().FindSection(u"dialog_" + suffix);
  if (!section) return nullptr;
  auto dialog = std::make_unique<TZemDialog>(host_, name);
  try {
    dialog->InitDefaults();
    PlaceSlide(*dialog);
    dialog->SetAnchors(0, 0, 0, 0);
    dialog->dialogPause = section->ReadBool(u"DialogPause", false);
    dialog->ReadContent(*section);
    dialog->SetTimeAndUpdate(true, 0);
  } catch (const std::exception&) {
    return nullptr;
  }
  return dialog;
}

void TSlideProducer::FindActiveSlides(double t, int32_t& first, int32_t& last) {
  activePos_ = ActiveSlidePositions(*source_, t, activePos_, first, last);
}

int32_t ActiveSlidePositions(const TZemSource& src, double t, int32_t hint, int32_t& first, int32_t& last) {
  const int64_t T = std::isfinite(t) ? std::llround(std::clamp(t, -4e18, 4e18)) : 0;
  auto endOf = [&](int32_t p) {
    TSlideInfo info;
    src.GetSlideInfo(p, info);
    return std::llround(info.end);
  };
  auto startOf = [&](int32_t p) {
    TSlideInfo info;
    src.GetSlideInfo(p, info);
    return std::llround(info.start);
  };
  const int32_t count = src.SlideCount();
  // Positions that cannot exist: without slides only the virtual ones; without any length the
  // show is over after its last slide.
  const int32_t maxPos = count <= 0 ? -1 : (src.TotalDuration() > 0 ? INT32_MAX - 1 : count - 1);
  int32_t r = std::clamp(hint, -2, maxPos);
  // Far moves jump straight to the region of t: every position whose next time lies beyond
  // t ends after it; every position whose next time plus the longest out-length lies before
  // t ends before it.
  if (src.TotalDuration() > 0 && count > 0) {
    const int32_t after = src.FirstPositionNextAtLeast(double(T) + 1);
    if (r > after) r = after;
    const int32_t before = src.FirstPositionNextAtLeast(double(T) - src.MaxOutLength() - 1);
    if (r < before) r = std::min(before, maxPos);
  }
  while (r > -2 && endOf(r - 1) > T) --r;
  while (r < maxPos && endOf(r) < T) ++r;
  first = last = r;
  if (r < maxPos && startOf(r + 1) <= T && endOf(r + 1) >= T) last = r + 1;
  return r;
}

std::unique_ptr<TDrawContainer> TSlideProducer::CreateContainer(int32_t position) {
  if (!timing_) ZEM_FAIL("TSlideProducer.CurrentTiming not Assigned");
  LogLine("....................................... " + std::to_string(position));
  auto c = std::make_unique<TDrawContainer>();
  c->position = position;
  c->timing = timing_;
  const int32_t count = source_->SlideCount();
  int32_t repeat = 0, index = position;
  if (position >= 0) {
    if (count <= 0) ZEM_FAIL("No Slides in Presentation");
    repeat = position / count;
    index = position % count;
  }
  source_->GetSlideInfo(position, c->info);
  c->repeatOffset = double(repeat) * source_->TotalDuration();
  c->slide = CreateSlide(index, repeat, &c->transition);
  return c;
}

// ---------------------------------------------------------------------------------------------
// Cache

TSlideCache::TSlideCache(TSlideProducer& producer, int32_t windowSize) : producer_(producer) {
  window_ = std::clamp(windowSize, 1, kMaxContainers);
}

void TSlideCache::SetWindowSize(int32_t n) { window_ = std::clamp(n, 1, kMaxContainers); }

TDrawContainer* TSlideCache::Find(int32_t position) const {
  for (const auto& c : items_)
    if (c->position == position) return c.get();
  return nullptr;
}

bool TSlideCache::Update(double t) {
  int32_t first = 0, last = 0;
  producer_.FindActiveSlides(t, first, last);
  const int64_t lo = first, hi = std::min<int64_t>(int64_t(first) + window_ - 1, INT32_MAX);
  auto outside = [&](const std::unique_ptr<TDrawContainer>& c) { return c->position < lo || c->position > hi; };
  while (items_.size() >= 2) {
    auto it = std::find_if(items_.begin(), items_.end(), outside);
    if (it == items_.end()) break;
    // The listener still holds the old list: it hears of the change before the container dies.
    std::unique_ptr<TDrawContainer> dropped = std::move(*it);
    items_.erase(it);
    if (onChange_) onChange_();
  }
  for (int64_t p = lo; p <= hi; ++p) {
    if (Find(int32_t(p))) continue;
    auto c = producer_.CreateContainer(int32_t(p));
    if (onLoaded_) onLoaded_(*c);
    ZEM_ASSERT(items_.size() < size_t(kMaxContainers));
    auto at = std::find_if(items_.begin(), items_.end(), [&](const auto& x) { return x->position > p; });
    items_.insert(at, std::move(c));
    if (onChange_) onChange_();
    return true;
  }
  return false;
}

}  // namespace zem
