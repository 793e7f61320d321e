#include "model/zem_video.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "model/zem_slide.h"
#include "resources/placeholder.h"
#include "script/ini_file.h"

namespace zem {

namespace {

double Fin(double v, double def) { return std::isfinite(v) && std::fabs(v) < 1e15 ? v : def; }

WideString Num(int64_t n) { return Utf8ToWide(std::to_string(n)); }

// The first "videoclip" child of the clip records whose "ClipGUID" equals the GUID.
const TCommonIniSection* FindClipRecord(const TCommonIniSection* tracks, const WideString& guid) {
  if (!tracks || guid.empty()) return nullptr;
  for (const TIniObject* o = tracks->FirstObject(); o; o = tracks->NextObject(o))
    if (LowerCase(o->NameView()) == u"videoclip" && o->ReadString(u"ClipGUID", u"") == guid) return o;
  return nullptr;
}

// The text after the first ":" of a key, up to a further ":".
WideString GuidPartOf(const WideString& key) {
  const size_t a = key.find(u':');
  if (a == WideString::npos) return {};
  const size_t b = key.find(u':', a + 1);
  return key.substr(a + 1, b == WideString::npos ? WideString::npos : b - a - 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Clip records

void TVideoClip2::Read(const TCommonIniSection& r) {
  wrapper_->loadFromDisk = r.ReadBool(u"LoadFromDisk", false);
  wrapper_->SetFile(r.ReadString(u"FileName", u""));
  duration = Fin(r.ReadFloat(u"Duration", 0), 0);
  startVideoTime = Fin(r.ReadFloat(u"StartVideoTime", 0), 0);
  startZEMTime = Fin(r.ReadFloat(u"StartZEMTime", 0), 0);
  fpsMultiplier = Fin(r.ReadFloat(u"FPSMultiplier", 1), 1);
  clipCaption = r.ReadString(u"ClipCaption", u"");
  startSlideIdx = r.ReadInteger(u"StartSlideIdx", 0);
  mute = r.ReadBool(u"Mute", false);
  masterID = r.ReadString(u"MasterID", u"");
  clipGUID = r.ReadString(u"ClipGUID", u"");
  anchor = 0;
  if (startSlideIdx != 0 && host_) {
    if (const TCommonIniSection* main = host_->ScriptObject(u"main"))
      anchor = Fin(main->ReadFloat(u"opt_synchpos" + Num(startSlideIdx), 0), 0);
  }
}

void TVideoClip2::CheckAgainstFile() {
  const double d = wrapper_->Duration();
  const double oldD = duration, oldS = startVideoTime;
  if (duration < 0 || duration > d) duration = d;
  if (startVideoTime < 0 || startVideoTime > d) startVideoTime = 0;
  if (duration != oldD || startVideoTime != oldS) WriteBack();
}

void TVideoClip2::WriteBack() {
  if (!host_) return;
  TCommonIniSection* tracks = host_->WritableScriptObject(u"tracks");
  if (!tracks) return;
  TCommonIniSection* record = nullptr;
  for (TIniObject* o = tracks->FirstObject(); o; o = tracks->NextObject(o))
    if (LowerCase(o->NameView()) == u"videoclip" && o->ReadString(u"ClipGUID", u"") == clipGUID) {
      record = o;
      break;
    }
  if (!record) return;
  auto put = [&](const char16_t* key, const WideString& value) {
    record->GetOrAddKey(key);
    record->SetValue(key, value);
  };
  auto num = [](double v) { return Utf8ToWide(FormatFloat(v)); };
  put(u"FileName", wrapper_->FileName());
  put(u"Duration", num(duration));
  put(u"StartVideoTime", num(startVideoTime));
  put(u"StartZEMTime", num(startZEMTime));
  put(u"FPSMultiplier", num(fpsMultiplier));
  put(u"LoadFromDisk", wrapper_->loadFromDisk ? u"1" : u"0");
  put(u"ClipCaption", clipCaption);
  put(u"Mute", mute ? u"1" : u"0");
  put(u"ClipGUID", clipGUID);
}

// ---------------------------------------------------------------------------------------------
// Wrapper

TExtractorWrapper::TExtractorWrapper(TZemSlideHost* host, WideString key)
    : host_(host), guidPart_(GuidPartOf(key)), key_(std::move(key)) {}

TRef<TExtractorWrapper> TExtractorWrapper::Get(TZemSlideHost* host, const WideString& key) {
  ZEM_ASSERT(host != nullptr);
  std::lock_guard<std::mutex> g(host->VideoWrapperLock());
  for (TExtractorWrapper* w : host->VideoWrappers()) {
    // A wrapper whose last reference is going is about to leave the list: make a new one.
    if (w->key_ == key && w->TryAddRef()) {
      TRef<TExtractorWrapper> r(w);
      w->Release();
      return r;
    }
  }
  TRef<TExtractorWrapper> w(new TExtractorWrapper(host, key));
  host->VideoWrappers().push_back(w.get());
  return w;
}

TExtractorWrapper::~TExtractorWrapper() {
  if (framesDrawn_ > 0)
    LogLine("TExtractorWrapper: " + WideToUtf8(fileName_) + " frames drawn " + std::to_string(framesDrawn_) +
            ", missed " + std::to_string(framesMissed_));
  held_ = {};
  if (extractor_) extractor_->Stop();
  extractor_.reset();
  {
    std::lock_guard<std::mutex> g(host_->VideoWrapperLock());
    std::erase(host_->VideoWrappers(), this);
  }
  clips_.clear();
}

TVideoClip2* TExtractorWrapper::AddClip() {
  clips_.push_back(std::make_unique<TVideoClip2>(host_.get(), this));
  return clips_.back().get();
}

const video::TVideoParams& TExtractorWrapper::Params() const {
  static const video::TVideoParams kNone;
  return extractor_ ? extractor_->Params() : kNone;
}

void TExtractorWrapper::SetFile(const WideString& name) {
  if (name == fileName_) return;
  fileName_ = name;
  int64_t date = 0;
  std::unique_ptr<TStream> stream = name.empty() ? nullptr : host_->OpenMedia(name, loadFromDisk, &date);
  const bool opened = stream != nullptr;
  std::unique_ptr<TFrameSource> source = CreateFrameSource(std::move(stream), name, date);
  held_ = {};
  heldUses_ = 0;
  if (extractor_) extractor_->Stop();
  extractor_.reset();
  surfacesMade_ = false;
  preloaded_ = false;
  if (source) {
    status_ = kReady;
    extractor_ = TZemVideoExtractor::Create(std::move(source));
  } else {
    status_ = opened ? kNoSource : kNotOpened;
  }
}

double TExtractorWrapper::Duration() const {
  const video::TVideoParams& p = Params();
  if (!extractor_ || !(p.fps > 0)) return 0;
  return double(p.frameCount) / p.fps * 1000.0;
}

bool TExtractorWrapper::EnsureSurfaces(TDeviceDrawer& drawer, bool mask) {
  if (!extractor_ || surfacesMade_) return false;
  const video::TVideoParams& p = Params();
  for (int i = 0; i < 2; ++i) {
    TRef<T3DYUV> s = drawer.CreateVideoSurface(p.width, p.height, p.rgb, mask);
    if (s) extractor_->AddImage(TRef<TYUVImage>(s.get()));
  }
  surfacesMade_ = true;
  return true;
}

void TExtractorWrapper::PreloadFrame(bool force, double position) {
  if (!extractor_ || (preloaded_ && !force)) return;
  extractor_->Prepare(position, force);
  preloaded_ = true;
}

namespace {
std::atomic<bool> gVideoFramesExact{false};
std::atomic<int64_t> gVideoFramesDrawn{0}, gVideoFramesMissed{0};
}  // namespace

TVideoFrameTotals VideoFrameTotals() { return {gVideoFramesDrawn.load(), gVideoFramesMissed.load()}; }

void SetVideoFramesExact(bool exact) { gVideoFramesExact = exact; }
bool VideoFramesExact() { return gVideoFramesExact; }

const TZemVideoExtractor::TEntry* TExtractorWrapper::AcquireFrame(double rate, double position) {
  if (!extractor_) return nullptr;
  if (!held_.image) {
    bool exact = false;
    if (!extractor_->Take(rate, position, held_, &exact)) return nullptr;
    // Exports wait for every exact frame; playback waits for its first one (the decoder has just
    // been told which it is), and draws the nearest decoded one after that.
    if (held_.image->needs_picture || held_.held < 0 || (!exact && (gVideoFramesExact || framesDrawn_ == 0))) {
      extractor_->GiveBack(std::move(held_));
      held_ = {};
      extractor_->Prepare(position, true);
      if (!extractor_->Take(rate, position, held_)) return nullptr;
    }
    if (held_.image->needs_picture) {
      // A clip that cannot deliver its frame (broken stream) draws nothing rather than an empty
      // surface; told once per wrapper.
      if (!loggedNoPicture_) LogLine("TExtractorWrapper: no picture for " + WideToUtf8(fileName_));
      loggedNoPicture_ = true;
      extractor_->GiveBack(std::move(held_));
      held_ = {};
      return nullptr;
    }
  }
  ++heldUses_;
  return &held_;
}

void TExtractorWrapper::ReleaseFrame() {
  ZEM_ASSERT(extractor_ != nullptr && heldUses_ > 0);
  if (--heldUses_ == 0) {
    ++framesDrawn_;
    ++gVideoFramesDrawn;
    if (held_.held != held_.requested) {
      ++framesMissed_;
      ++gVideoFramesMissed;
    }
    extractor_->GiveBack(std::move(held_));
    held_ = {};
  }
}

void TExtractorWrapper::FrameWindow(int64_t n, double& start, double& end) const {
  if (extractor_) {
    extractor_->FrameWindow(n, start, end);
  } else {
    start = end = 0;
  }
}

// ---------------------------------------------------------------------------------------------
// Video object

TZemVideo::~TZemVideo() {
  if (held_ && wrapper_) wrapper_->ReleaseFrame();
  held_ = nullptr;
  wrapper_.reset();
  status_.reset();
}

void TZemVideo::InitDefaults() {
  duration_ = 10000;
  startZEMTime_ = startVideoTime_ = 0;
  fpsMultiplier_ = 1;
  mute_ = false;
  requestRate = 60.0;
  border_ = TBorderParams{};
  deinterlaceType_ = kDeintAuto;
  antialiasedBorder_ = true;
  chroma_[0] = chroma_[1] = chroma_[2] = 0;
  chromaDelta_ = 0;
  imageIndex_ = kNoImageIndex;
  aspect_ = 1.0;
  waitForConvert_ = false;
}

void TZemVideo::Bind(const WideString& clipGuid) {
  TZemSlideHost* host = GetHost();
  if (!host) return;
  const WideString key = Num(slide_ ? slide_->Repeat() : 0) + u":" + (clipGuid.empty() ? Guid() : clipGuid);
  if (!wrapper_ || wrapper_->Key() != key) {
    if (held_ && wrapper_) wrapper_->ReleaseFrame();
    held_ = nullptr;
    wrapper_ = TExtractorWrapper::Get(host, key);
  }
  clip_ = nullptr;
  if (clipGuid.empty()) return;
  const TCommonIniSection* record = FindClipRecord(host->ScriptObject(u"tracks"), clipGuid);
  if (!record) return;
  clip_ = wrapper_->Clip();
  if (!clip_) clip_ = wrapper_->AddClip();
  clip_->Read(*record);
}

void TZemVideo::ReadSection(const TCommonIniSection& s, bool reload) {
  // 1. The clip record.
  clipGUID_ = s.ReadString(u"ClipGUID", u"");
  if (!clipGUID_.empty() && !FindClipRecord(GetHost() ? GetHost()->ScriptObject(u"tracks") : nullptr, clipGUID_))
    clipGUID_.clear();
  // 2. Own timing keys.
  mute_ = s.ReadBool(u"Mute", false);
  startZEMTime_ = Fin(s.ReadFloat(u"StartZEMTime", 0), 0);
  fpsMultiplier_ = Fin(s.ReadFloat(u"FPSMultiplier", 1), 1);
  // 3. Binding.
  Bind(clipGUID_);
  // 4. The file and the played range.
  if (clip_) {
    SetFileName(clip_->Wrapper()->FileName());
    duration_ = Fin(s.ReadFloat(u"Duration", 0), 0);
    startVideoTime_ = Fin(s.ReadFloat(u"StartVideoTime", 0), 0);
  } else if (wrapper_) {
    wrapper_->loadFromDisk = s.ReadBool(u"LoadFromDisk", false);
    SetFileName(s.ReadString(u"FileName", u""));
    const double d = wrapper_->Duration();
    duration_ = Fin(s.ReadFloat(u"Duration", 0), 0);
    if (duration_ < 0 || duration_ > d) duration_ = d;
    startVideoTime_ = Fin(s.ReadFloat(u"StartVideoTime", 0), 0);
    if (startVideoTime_ < 0 || startVideoTime_ > d) startVideoTime_ = 0;
  }
  // 5. Border.
  SetProp(antialiasedBorder_, s.ReadBool(u"AntialiasedBorder", true));
  const TBorderParams b = ReadBorderKeys(s);
  if (!(b == border_)) {
    border_ = b;
    changedProps_ = true;
    UpdateVideoGeometry();
  }
  // 6..9.
  deinterlaceType_ =
      uint8_t(s.ReadChoiceNoCase(u"DeinterlaceType", {u"Auto", u"Wave", u"BobEven", u"BobOdd"}, kDeintAuto));
  waitForConvert_ = s.ReadBool(u"WaitForConvert", false);
  std::vector<double> key;
  float ck[3] = {0, 0, 0};
  if (s.ReadFloats(u"Chromakey", key, 3) == 3 && key.size() == 3)
    for (int i = 0; i < 3; ++i) ck[i] = float(Fin(key[size_t(i)], 0));
  for (int i = 0; i < 3; ++i) SetProp(chroma_[i], ck[i]);
  SetProp(chromaDelta_, float(Fin(s.ReadFloat(u"ChromaDelta", 0), 0)));
  imageIndex_ = s.ReadInteger(u"ImageIndex", kNoImageIndex);
  // 10. The common keys, children and keypoints.
  TZemObject::ReadSection(s, reload);
}

void TZemVideo::SetFileName(const WideString& name) {
  if (!wrapper_) Bind(clip_ ? clipGUID_ : WideString());
  if (!wrapper_) return;
  fileName_ = name;
  if (clip_) {
    if (name != wrapper_->FileName()) {
      wrapper_->SetFile(name);
      clip_->CheckAgainstFile();
    }
  } else {
    wrapper_->SetFile(name);
  }
  if (imageIndex_ == kNoImageIndex || !slide_) {
    UpdateVideoGeometry();
  } else {
    ForEachNode(slide_, [&](TZemObject* node) {
      auto* v = dynamic_cast<TZemVideo*>(node);
      if (!v || std::string_view(v->ClassName()) != "TZemVideo") return;
      if (v != this && v->clipGUID_ != wrapper_->GuidPart() && v->imageIndex_ != imageIndex_) return;
      v->UpdateVideoGeometry();
      try {
        v->UpdateTransform(true);
      } catch (const std::exception&) {
        // A tree still being read may not place yet; the next update does.
      }
    });
  }
  duration_ = wrapper_->Duration();
  status_.reset();
  if (wrapper_->Status() != TExtractorWrapper::kReady) {
    const TPlaceholderReason reason = wrapper_->Status() == TExtractorWrapper::kNoSource
                                          ? TPlaceholderReason::LoadError
                                          : TPlaceholderReason::NotFound;
    TBitmap bmp = MakePlaceholderBitmap(name, reason, TPlaceholderKind::Video);
    if (!bmp.Empty()) {
      SetSize(bmp.Width(), bmp.Height());
      status_ = TRef<TDrawPicture>(new TBitmapPicture(std::move(bmp), name));
    }
  }
}

void TZemVideo::UpdateVideoGeometry() {
  if (!wrapper_ || !wrapper_->HasSource()) return;
  const video::TVideoParams& p = wrapper_->Params();
  const double W = p.width, H = p.height;
  double f = 1.0;
  if (p.aspectCode == 1 && W > 0) f = H * 1.333333 / W;
  if (p.aspectCode == 2 && W > 0) f = H * 1.777778 / W;
  if (!(f > 0.001) || !std::isfinite(f)) f = 1.0;
  aspect_ = f;
  TImageGeometry g = ComputeImageGeometry(W * f, H, border_);
  g.source.left = float(g.source.left / f);
  g.source.right = float(g.source.right / f);
  source_ = g.source;
  const double b = g.border;
  outer_ = {float(2 * b + (source_.right - source_.left) * f), float(2 * b + (source_.bottom - source_.top))};
  borderWidths_ = {float(b), float(b)};
  SetSize(int32_t(std::ceil(outer_.x)), int32_t(std::ceil(outer_.y)));
}

bool TZemVideo::MainImageInfo(WideString& name, TPointI& size) const {
  if (imageIndex_ == kNoImageIndex) return false;
  name = wrapper_ ? wrapper_->FileName() : fileName_;
  size = {};
  if (wrapper_ && wrapper_->HasSource()) size = {wrapper_->Params().width, wrapper_->Params().height};
  return true;
}

bool TZemVideo::SetTime(bool recursive, double t) {
  if (t != Keys().CurrentTime()) changedGeometry_ = true;
  return TZemObject::SetTime(recursive, t);
}

double TZemVideo::TimeInSlide() const { return Keys().CurrentTime() - GetAnchorTime(kSlideBegin); }

double TZemVideo::MediaPosition(double x) const {
  double a = clip_ ? clip_->startZEMTime : startZEMTime_;
  double m = clip_ ? clip_->fpsMultiplier : fpsMultiplier_;
  const double s = clip_ ? clip_->startVideoTime : startVideoTime_;
  const double D = clip_ ? clip_->duration : duration_;
  if (!(m > 0)) m = 1;
  // A clip record runs on the show's time line: its start is anchor + StartZEMTime, wherever the
  // slide begins. (Testing x against the unshifted delay would show a clip that plays on into
  // a later slide at its first frame for that long.)
  if (clip_) a -= GetAnchorTime(kSlideBegin) - clip_->anchor;
  const double g = std::max(DeltaTime1(), a);
  if (x < g) return s;
  if (x <= a + D / m) return s + m * (x - a);
  return s + D;
}

void TZemVideo::Preload(TDeviceDrawer& drawer, double t) {
  if (wrapper_) {
    wrapper_->EnsureSurfaces(drawer, IsVideoMask());
    wrapper_->PreloadFrame(false, MediaPosition(t));
  }
  TZemObject::Preload(drawer, t);
}

bool TZemVideo::HoldFrame(TDeviceDrawer& drawer, double rate, double p, bool mask) {
  if (held_) return true;
  wrapper_->EnsureSurfaces(drawer, mask);
  // Capture mode draws exactly the wanted frame.
  if (drawer.NoPresent()) wrapper_->PreloadFrame(true, p);
  held_ = wrapper_->AcquireFrame(rate, p);
  return held_ != nullptr;
}

uint8_t TZemVideo::DeinterlaceMode(int64_t heldIndex, double p) const {
  double start = 0, end = 0;
  wrapper_->FrameWindow(heldIndex, start, end);
  const bool firstHalf = p < (start + end) / 2;
  switch (deinterlaceType_) {
    case kDeintWave: return 0;
    case kDeintBobEven: return firstHalf ? 1 : 2;
    case kDeintBobOdd: return firstHalf ? 2 : 1;
    default: {
      const video::TVideoParams& vp = wrapper_->Params();
      if (!vp.interlaceKnown) return 0;
      return vp.fieldFlag == firstHalf ? 2 : 1;
    }
  }
}

TVideoParams TZemVideo::DrawParams(float opacity, uint8_t deinterlace) const {
  TVideoParams v;
  v.opacity = opacity;
  v.antialiased = antialiasedBorder_ ? 1 : 0;
  v.deinterlace = deinterlace;
  v.sourceRect = source_;
  for (int i = 0; i < 3; ++i) v.chromaKey[i] = chroma_[i];
  v.chromaTolerance = chromaDelta_;
  v.maskInvert = 0;
  const TKeyValues& k = Current();
  if (!k.colorOff) {
    v.tintB = k.colorB;
    v.tintG = k.colorG;
    v.tintR = k.colorR;
    v.coloriseAmount = k.colorAmount;
  } else {
    v.tintB = v.tintG = v.tintR = 255;
    v.coloriseAmount = 0;
  }
  return v;
}

TPointF TZemVideo::ContentOffset() const {
  TPointF L = localTopLeft_;
  if (border_.enableBorder) {
    L.x += borderWidths_.x;
    L.y += borderWidths_.y;
  }
  return {float(source_.left - L.x / aspect_), source_.top - L.y};
}

TShadow* TZemVideo::UpdateShadow() {
  if (!shadowEnable || size_.x <= 0 || size_.y <= 0) return nullptr;
  // A video mask only shapes its viewport; it casts nothing.
  if (IsVideoMask()) return nullptr;
  const int32_t b = int32_t(std::lround(std::clamp(double(borderWidths_.x), 0.0, 1e9)));
  const int32_t w = size_.x - 2 * b, h = size_.y - 2 * b;
  if (w <= 0 || h <= 0) return nullptr;
  const double area = std::sqrt(double(size_.x) * size_.y);
  const TRectF local{localTopLeft_.x, localTopLeft_.y, localTopLeft_.x + size_.x, localTopLeft_.y + size_.y};
  const TShadowSource source = TShadowSource::Rectangle(w, h, b, border_.borderA, local, float(area / 400 * 1.1),
                                                        float(area));
  if (!shadow_) shadow_ = std::make_unique<TShadow>();
  shadow_->Update(*this, source);
  return shadow_.get();
}

void TZemVideo::Prepare(TDeviceDrawer& drawer) {
  if (drawer.IsReady())
    if (TShadow* s = UpdateShadow()) s->Prepare(drawer);
  TZemObject::Prepare(drawer);
}

void TZemVideo::Release(TDeviceDrawer& drawer) {
  if (shadow_) shadow_->Release(drawer);
  TZemObject::Release(drawer);
}

void TZemVideo::AddPrimitives(TDeviceDrawer& drawer) {
  if (!IsShown()) return;
  // The shadow comes first, under the frame, the picture or the placeholder.
  if (TShadow* s = UpdateShadow()) s->Draw(drawer, *this);
  if (!wrapper_ || !wrapper_->HasSource()) {
    if (status_)
      drawer.DrawImage(status_.get(), frame_.origin, {-localTopLeft_.x, -localTopLeft_.y}, frame_.axisX, frame_.axisY,
                       TImageParams{});
    return;
  }
  const double p = MediaPosition(TimeInSlide());
  if (!HoldFrame(drawer, requestRate, p, false)) return;
  auto* surface = dynamic_cast<T3DYUV*>(held_->image.get());
  if (!surface || source_.IsEmpty()) return;
  const float opacity = GetOpacity();
  const TVideoParams params = DrawParams(opacity, DeinterlaceMode(held_->held, p));
  if (border_.enableBorder)
    drawer.DrawFrame(frame_.origin, frame_.axisX, frame_.axisY, {-localTopLeft_.x, -localTopLeft_.y}, borderWidths_,
                     outer_, border_.BorderArgb(), opacity, antialiasedBorder_);
  drawer.DrawVideo(surface, frame_.origin, ContentOffset(), frame_.axisX * float(aspect_), frame_.axisY, params);
}

void TZemVideo::FrameDone(TDeviceDrawer& drawer) {
  if (held_ && wrapper_) {
    const double fps = wrapper_->Params().fps;
    const double lag = std::fabs(double(held_->held - held_->requested));
    if (requestRate > 0 && std::ceil(fps / requestRate) < lag) changedGeometry_ = true;
    held_ = nullptr;
    wrapper_->ReleaseFrame();
  }
  TZemObject::FrameDone(drawer);
}

// ---------------------------------------------------------------------------------------------
// Video mask

void TZemVideoMask::InitDefaults() {
  TZemVideo::InitDefaults();
  antialiasedBorder_ = false;
  mute_ = true;
  invert_ = false;
}

void TZemVideoMask::ReadSection(const TCommonIniSection& s, bool reload) {
  TZemVideo::ReadSection(s, reload);
  SetProp(antialiasedBorder_, false);
  mute_ = true;
  SetProp(invert_, s.ReadBool(u"Invert", false));
}

bool TZemVideoMask::BuildMaskLayer(TDeviceDrawer& drawer, float viewportOpacity, TMaskedLayer& layer) {
  layer = TMaskedLayer{};
  layer.position = frame_.origin;
  layer.axisX = frame_.axisX;
  layer.axisY = frame_.axisY;
  if (!wrapper_ || !wrapper_->HasSource()) {
    if (!status_) return false;
    layer.image = status_.get();
    layer.imageParams.reserved = 1;
    if (!IsShown()) layer.imageParams.opacity = 0;
    layer.offset = {-localTopLeft_.x, -localTopLeft_.y};
    return true;
  }
  const double p = MediaPosition(TimeInSlide());
  if (!HoldFrame(drawer, 60.0, p, true)) return false;
  auto* surface = dynamic_cast<T3DYUV*>(held_->image.get());
  if (!surface || source_.IsEmpty()) return false;
  layer.video = surface;
  layer.offset = ContentOffset();
  layer.axisX = frame_.axisX * float(aspect_);
  TVideoParams& v = layer.videoParams;
  v.opacity = IsShown() ? viewportOpacity * GetOpacity() / 100 : 0;
  v.antialiased = 0;
  v.deinterlace = 0;
  v.sourceRect = source_;
  for (int i = 0; i < 3; ++i) v.chromaKey[i] = chroma_[i];
  v.chromaTolerance = chromaDelta_;
  v.maskInvert = invert_ ? 1 : 0;
  return true;
}

// ---------------------------------------------------------------------------------------------
// Kind factory

namespace {

TZemObjectFactory g_next = nullptr;

TZemObject* VideoFactory(const WideString& kind, TZemObject* parent, const WideString& guid) {
  if (kind == u"video" || kind == u"mainvideo") return TZemObject::Create<TZemVideo>(parent, guid);
  if (kind == u"videomask") return TZemObject::Create<TZemVideoMask>(parent, guid);
  return g_next ? g_next(kind, parent, guid) : nullptr;
}

}  // namespace

void RegisterVideoKinds() {
  static std::once_flag once;
  std::call_once(once, [] { g_next = InstallObjectFactory(&VideoFactory); });
}

}  // namespace zem
