#include "video/ffmpeg_dll.h"

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "foundation/log.h"

namespace zem {

namespace {

constexpr double k23976 = 23.976023976023978;
constexpr double k2997 = 29.97002997002997;
// Forward steps shorter than this decode instead of seeking.
constexpr int64_t kForwardDecode = 30;
// Frames decoded after a seek before giving up on reaching the wanted one.
constexpr int kMaxDecodesAfterSeek = 3000;

std::mutex g_lock;  // the first lock: the instance and its use count
TFFMpegDll* g_dll = nullptr;
int32_t g_uses = 0;

// Library calls run with floating-point exceptions masked; the status is cleared afterwards.
class TFloatGuard {
 public:
  TFloatGuard() { std::feholdexcept(&env_); }
  ~TFloatGuard() {
    std::feclearexcept(FE_ALL_EXCEPT);
    std::fesetenv(&env_);
  }

 private:
  std::fenv_t env_;
};

double Fps(const TMediaContext* ctx) {
  return ctx->fpsNum > 0 && ctx->fpsDen > 0 ? double(ctx->fpsNum) / ctx->fpsDen : 0.0;
}

bool Near(double a, double b) { return std::fabs(a - b) < 0.001; }

int64_t RoundI(double v) {
  if (!std::isfinite(v)) return 0;
  return int64_t(std::nearbyint(std::clamp(v, -9.0e18, 9.0e18)));
}

bool HasStart(const TMediaContext* ctx) { return ctx->startTime != kNoPts; }

}  // namespace

TFFMpegDll* TFFMpegDll::Acquire() {
  std::lock_guard<std::mutex> g(g_lock);
  if (!g_dll) {
    if (!FFmpegLibraryPresent()) return nullptr;
    auto* dll = new TFFMpegDll();
    if (!dll->Bind()) {
      LogLine("TFFMpegDll: the video decoding library is incomplete");
      delete dll;
      return nullptr;
    }
    g_dll = dll;
  }
  ++g_uses;
  return g_dll;
}

void TFFMpegDll::Release(TFFMpegDll* dll) {
  if (!dll) return;
  std::lock_guard<std::mutex> g(g_lock);
  if (dll != g_dll || g_uses <= 0) return;
  if (--g_uses == 0) {
    delete g_dll;
    g_dll = nullptr;
  }
}

bool TFFMpegDll::Loaded() {
  std::lock_guard<std::mutex> g(g_lock);
  return g_dll != nullptr;
}

bool TFFMpegDll::Bind() {
  bool all = true;
  auto bind = [&](auto& slot, const char* name) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(FFmpegLibrarySymbol(name));
    if (!slot) all = false;
  };
  bind(openMediaFile, "OpenMediaFile");
  bind(openMediaFile2, "OpenMediaFile2");
  bind(closeMediaFile, "CloseMediaFile");
  bind(allocBuffer, "AllocBuffer");
  bind(allocBufferWithData, "AllocBufferWithData");
  bind(freeBuffer, "FreeBuffer");
  bind(convertFrame, "ConvertFrame");
  bind(getNextVideoFrame, "GetNextVideoFrame");
  bind(seekFile, "SeekFile");
  bind(getFormatName, "GetFormatName");
  bind(flush, "Flush");
  bind(flushVideo, "FlushVideo");
  bind(getFrameInfo, "GetFrameInfo");
  bind(getDtsPts, "GetDtsPts");
  bind(getDtsPts2, "GetDtsPts2");
  bind(getAudioInfo, "GetAudioInfo");
  bind(openAudioStream, "OpenAudioStream");
  bind(closeAudioStream, "CloseAudioStream");
  bind(getNextAudioFrame, "GetNextAudioFrame");
  bind(afterAudioSeek, "AfterAudioSeek");
  bind(getCurrentPts, "GetCurrentPts");
  bind(createVideoFile, "CreateVideoFile");
  bind(createAudioFile, "CreateAudioFile");
  bind(createVideoAudioFile, "CreateVideoAudioFile");
  return all;
}

// ---------------------------------------------------------------------------------------------
// Analysis

uint8_t TFFMpegDll::ContainerCode(const std::string& n) {
  if (n == "avi") return kContainerAvi;
  if (n == "matroska,webm") return kContainerMatroska;
  if (n == "mov,mp4,m4a,3gp,3g2,mj2") return kContainerMov;
  if (n == "mpeg" || n == "mpegvideo") return kContainerMpeg;
  if (n == "flv") return kContainerFlv;
  if (n == "mpegts") return kContainerMpegTs;
  if (n == "asf") return kContainerAsf;
  return kContainerOther;
}

void TFFMpegDll::RepairFrameRate(TMediaContext* ctx, const TVideoDataEx& ex) {
  const double fps = Fps(ctx);
  if (Near(fps, k23976) || Near(fps, k2997)) return;
  const int32_t ticks = ctx->ticksPerFrame > 0 ? ctx->ticksPerFrame : 1;
  if (ctx->avgFpsNum > 0 && ctx->avgFpsDen > 0) {
    const double avg = double(ctx->avgFpsNum) / ctx->avgFpsDen / ticks;
    if (Near(avg, k23976)) {
      ctx->fpsNum = 24000;
      ctx->fpsDen = 1001;
      return;
    }
    if (Near(avg, k2997)) {
      ctx->fpsNum = 30000;
      ctx->fpsDen = 1001;
      return;
    }
  }
  if (ex.container == kContainerMpeg || ex.container == kContainerFlv || ex.container == kContainerMpegTs) {
    const int64_t den = int64_t(ctx->avgFpsDen) * ticks;
    if (ctx->avgFpsNum > 0 && den > 0 && den <= INT32_MAX && double(ctx->avgFpsNum) / double(den) <= 130) {
      ctx->fpsNum = ctx->avgFpsNum;
      ctx->fpsDen = int32_t(den);
    }
  }
}

uint8_t TFFMpegDll::AspectCode(int32_t width, int32_t height, int32_t sarNum, int32_t sarDen) {
  if (width == 1440 && height == 1080 && sarNum == 0 && sarDen == 1) return 2;
  if (sarNum <= 0 || sarDen <= 0 || width <= 0 || height <= 0) return 0;
  int64_t num = int64_t(width) * sarNum, den = int64_t(height) * sarDen;
  const int64_t g = std::gcd(num, den);
  num /= g;
  den /= g;
  while (num > 1048576 || den > 1048576) {
    num = (num + 1) / 2;
    den = (den + 1) / 2;
  }
  const double r = den > 0 ? double(num) / double(den) : 0;
  if (Near(r, 16.0 / 9.0)) return 2;
  if (Near(r, 4.0 / 3.0)) return 1;
  for (int32_t v : {8, 10, 16, 59, 256})
    if (sarNum == v) return 1;
  for (int32_t v : {32, 40, 64, 118})
    if (sarNum == v) return 2;
  return 0;
}

TMediaContext* TFFMpegDll::OpenMedia(const std::string& name, void* stream, const TStreamRoutines* routines) {
  std::lock_guard<std::recursive_mutex> g(audioLock_);
  TMediaContext* ctx = nullptr;
  {
    TFloatGuard fg;
    ctx = openMediaFile(name.c_str(), stream, routines);
  }
  if (!ctx) return nullptr;
  if (ctx->videoStream < 0 && ctx->audioStream < 0) {
    closeMediaFile(ctx);
    return nullptr;
  }
  auto* ex = new TVideoDataEx();
  ctx->programData = ex;
  if (ctx->height == 1088) ctx->height = 1080;
  const int32_t len = getFormatName(ctx, nullptr, 0, 0);
  if (len > 0 && len < 4096) {
    std::vector<char> buf(size_t(len) + 1, 0);
    getFormatName(ctx, buf.data(), len + 1, 0);
    ex->container = ContainerCode(buf.data());
  }
  if (ctx->videoStream >= 0) {
    const int32_t codec = ctx->videoCodecId;
    const double avg = ctx->avgFpsDen > 0 ? double(ctx->avgFpsNum) / ctx->avgFpsDen : 0;
    ex->noFpsRepair = (codec != 2 && (Fps(ctx) > 100 || codec == 15 || codec == 16 || codec == 17 || codec == 47)) ||
                      (ex->container == kContainerAvi && codec == 13) ||
                      (ex->container == kContainerMpegTs && codec == 28 && avg >= 50);
    if (!ex->noFpsRepair) RepairFrameRate(ctx, *ex);
    // A stream that states no rate at all plays at its average rate, else at 25.
    if (!(Fps(ctx) > 0)) {
      if (ctx->avgFpsNum > 0 && ctx->avgFpsDen > 0) {
        ctx->fpsNum = ctx->avgFpsNum;
        ctx->fpsDen = ctx->avgFpsDen;
      } else {
        ctx->fpsNum = 25;
        ctx->fpsDen = 1;
      }
    }
    // Rates beyond reason are capped, so frame counts and windows stay finite.
    if (Fps(ctx) > 1000) {
      ctx->fpsNum = 1000;
      ctx->fpsDen = 1;
    }
    const int64_t us = ctx->videoDuration > 0 ? ctx->videoDuration : ctx->duration;
    ctx->frameCount = std::clamp<int64_t>(RoundI(double(us) * Fps(ctx) / 1000000.0), 0, kMaxFrameCount);
  }
  if (HasStart(ctx) && ctx->startTime < 0) ctx->startTime = 0;
  return ctx;
}

void TFFMpegDll::CloseMedia(TMediaContext* ctx) {
  if (!ctx) return;
  std::lock_guard<std::recursive_mutex> g(audioLock_);
  delete DataEx(ctx);
  ctx->programData = nullptr;
  TFloatGuard fg;
  closeMediaFile(ctx);
}

int64_t TFFMpegDll::FrameIndexOf(const TMediaContext* ctx, int64_t pts) {
  if (pts == kNoPts || ctx->videoTbDen <= 0 || ctx->fpsDen <= 0) return -1;
  double t = double(pts) * ctx->videoTbNum / ctx->videoTbDen * 1000000.0;
  if (HasStart(ctx)) t -= double(ctx->startTime);
  return RoundI(t / 1000000.0 * Fps(ctx));
}

void TFFMpegDll::SeekToFrame(TMediaContext* ctx, int64_t n, bool backward) {
  if (ctx->videoStream < 0 || ctx->fpsNum <= 0 || ctx->videoTbNum <= 0 || ctx->videoTbDen <= 0) return;
  double us = double(n) * ctx->fpsDen / ctx->fpsNum * 1000000.0;
  // The start time is added for every container (transport streams included): the library
  // hands out the streams' own time stamps.
  if (HasStart(ctx)) us += double(ctx->startTime);
  const int64_t ts = RoundI(us * ctx->videoTbDen / (double(ctx->videoTbNum) * 1000000.0));
  TFloatGuard fg;
  seekFile(ctx, ctx->videoStream, ts, backward ? (kSeekBackward | kSeekFrame) : kSeekAny);
}

int64_t TFFMpegDll::DecodeOne(TMediaContext* ctx, TFrameBuffer* buffer, int32_t flag) {
  try {
    TFloatGuard fg;
    return FrameIndexOf(ctx, getNextVideoFrame(ctx, buffer, flag));
  } catch (...) {
    return FrameIndexOf(ctx, 0);
  }
}

bool TFFMpegDll::DecodeFrame(TMediaContext* ctx, TFrameBuffer* buffer, int64_t n) {
  TVideoDataEx* ex = DataEx(ctx);
  if (!ex || ctx->videoStream < 0) return false;
  if (n >= ex->first && n < ex->next) return true;
  bool any = false;
  int64_t idx = -1;
  if (n == ex->next) {
    idx = DecodeOne(ctx, buffer, 0);
    any = idx >= 0;
  } else if (n > ex->next && n < ex->next + kForwardDecode) {
    int64_t prev = ex->next;
    for (int64_t i = 0; i <= n - ex->next; ++i) {
      idx = DecodeOne(ctx, buffer, 0);
      if (idx < 0) break;
      any = true;
      if (idx > n || idx == prev) break;
      prev = idx;
    }
  } else {
    {
      TFloatGuard fg;
      flushVideo(ctx);
    }
    SeekToFrame(ctx, std::max<int64_t>(n, 0), true);
    int64_t prev = INT64_MIN;
    for (int i = 0; i < kMaxDecodesAfterSeek; ++i) {
      const int64_t k = DecodeOne(ctx, buffer, 0);
      if (k < 0 || k == prev) break;
      any = true;
      idx = k;
      if (k > n) break;
      prev = k;
    }
  }
  if (!any) {
    // The stream stands somewhere unknown: the next request seeks.
    ex->first = 0;
    ex->next = -kForwardDecode - 1;
    return false;
  }
  ex->first = int32_t(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX));
  ex->next = int32_t(std::clamp<int64_t>(std::max(idx, n + 1), INT32_MIN, INT32_MAX));
  ctx->lastVideoFrame = ex->first;
  return true;
}

void TFFMpegDll::InterlaceInfo(TMediaContext* ctx, bool& known, bool& fieldFlag) {
  known = false;
  fieldFlag = true;
  if (ctx->videoTag) {
    const std::string tag = ctx->videoTag;
    if (tag == "Orvane_ITFA") {
      known = true;
      fieldFlag = false;
      return;
    }
    if (tag == "Orvane_ITFB") {
      known = true;
      fieldFlag = true;
      return;
    }
  }
  TVideoDataEx* ex = DataEx(ctx);
  if (!ex || ex->container == kContainerAvi || ex->container == kContainerMatroska || ctx->videoStream < 0) return;
  TFrameBuffer* scratch = allocBuffer(ctx, ctx->pixelFormat);
  if (!scratch) return;
  {
    TFloatGuard fg;
    for (int i = 0; i < 3; ++i) {
      if (getNextVideoFrame(ctx, scratch, 0) == kNoPts) break;
      if (getFrameInfo(scratch)) {
        known = true;
        fieldFlag = scratch->frameInfo == 0;
        break;
      }
    }
    freeBuffer(scratch);
    // Back to the first frame for the decoder.
    flushVideo(ctx);
  }
  SeekToFrame(ctx, 0, true);
  ex->first = ex->next = 0;
}

void TFFMpegDll::AudioSeek(TMediaContext* ctx, double t_ms) {
  std::lock_guard<std::recursive_mutex> g(audioLock_);
  TVideoDataEx* ex = DataEx(ctx);
  if (!ex || ctx->audioStream < 0 || ctx->audioTbNum <= 0 || ctx->audioTbDen <= 0) return;
  TFloatGuard fg;
  const int32_t as = ctx->audioStream;
  if (ex->audioSeek == kAudioSeekUnchosen) {
    if (ex->container == kContainerMatroska)
      ex->audioSeek = kAudioSeekIterative;
    else if (ex->container == kContainerAsf)
      ex->audioSeek = kAudioSeekForward;
    else
      ex->audioSeek = seekFile(ctx, as, 0, kSeekFrame) < 0 ? kAudioSeekIterative : kAudioSeekDirect;
  }
  double us = std::max(0.0, t_ms) * 1000.0;
  if (HasStart(ctx)) us += double(ctx->startTime);
  const int64_t target = RoundI(us * ctx->audioTbDen / (double(ctx->audioTbNum) * 1000000.0));
  // The library drops decoded audio before the target, so each strategy may land a little early.
  ctx->audioSeekTarget = target;
  // Direct and forward seeks start a little before the target: decoders prime on their first
  // packet, and the library drops what lies before the target anyway.
  const int64_t early = std::max<int64_t>(0, target - RoundI(0.2 * ctx->audioTbDen / ctx->audioTbNum));
  switch (ex->audioSeek) {
    case kAudioSeekDirect:
      seekFile(ctx, as, early, kSeekFrame);
      break;
    case kAudioSeekForward: {
      seekFile(ctx, as, early, kSeekFrame);
      afterAudioSeek(ctx, 0);
      int64_t prev = kNoPts;
      for (int guard = 0; guard < 1000000; ++guard) {
        const int64_t cur = getCurrentPts(ctx, as);
        if (cur == kNoPts || cur >= target || cur == prev) break;
        prev = cur;
        afterAudioSeek(ctx, 1);
      }
      break;
    }
    default: {
      double time = us;
      int64_t cur = kNoPts;
      for (int i = 0; i < 100; ++i) {
        seekFile(ctx, -1, RoundI(time), 0);
        cur = getCurrentPts(ctx, as);
        if (cur == kNoPts || cur <= target) break;
        time *= 0.99;
      }
      int still = 0;
      for (int guard = 0; guard < 1000000 && cur != kNoPts && cur < target - 1 && still < 100; ++guard) {
        afterAudioSeek(ctx, 0);
        const int64_t next = getCurrentPts(ctx, as);
        still = next == cur ? still + 1 : 0;
        cur = next;
      }
      break;
    }
  }
}

}  // namespace zem
