#include "video/video_layer.h"

#include <time.h>

#include <cstdio>
#include <map>
#include <mutex>

#include "foundation/log.h"
#include "foundation/monitor.h"
#include "sound/ffmpeg_audio.h"
#include "video/ffmpeg_dll.h"
#include "video/win_video_source.h"

namespace zem {

namespace {

std::mutex g_lock;
std::function<bool(const WideString&)> g_hook;          // under g_lock
std::map<WideString, video::TVideoParams> g_params;      // under g_lock
constexpr size_t kMaxCachedParams = 4096;

// The sound code's view of the library: every call that opens, closes or touches audio runs
// under the library's second lock.
class TAudioLibrary : public TFFMpegAudioLibrary {
 public:
  bool Acquire() override {
    TFFMpegDll* d = TFFMpegDll::Acquire();
    if (!d) return false;
    std::lock_guard<std::mutex> g(m_);
    if (uses_++ == 0) dll_ = d;
    return true;
  }
  void Release() override {
    TFFMpegDll* d = nullptr;
    {
      std::lock_guard<std::mutex> g(m_);
      if (uses_ <= 0) return;
      d = dll_;
      if (--uses_ == 0) dll_ = nullptr;
    }
    TFFMpegDll::Release(d);
  }
  bool Present() override { return FFmpegLibraryPresent(); }
  TFFMedia* OpenMedia(const std::string& name, void* stream, const TStreamRoutines* routines) override {
    TFFMpegDll* d = Dll();
    return d ? reinterpret_cast<TFFMedia*>(d->OpenMedia(name, stream, routines)) : nullptr;
  }
  void CloseMedia(TFFMedia* media) override {
    if (TFFMpegDll* d = Dll()) d->CloseMedia(Ctx(media));
  }
  bool HasAudio(TFFMedia* media) override { return media && Ctx(media)->audioStream >= 0; }
  // The sound's own length when the audio stream states it.
  int64_t DurationUs(TFFMedia* media) override {
    if (!media) return 0;
    return Ctx(media)->audioDuration > 0 ? Ctx(media)->audioDuration : Ctx(media)->duration;
  }
  bool GetAudioInfo(TFFMedia* media, int32_t track, TFFAudioTrack& info) override {
    TFFMpegDll* d = Dll();
    if (!d || !media) return false;
    std::lock_guard<std::recursive_mutex> g(d->AudioLock());
    TAudioInfo a;
    if (!d->getAudioInfo(Ctx(media), track, &a)) return false;
    info.sampleRate = a.sampleRate;
    info.channels = a.channels;
    info.bits = a.bits;
    return true;
  }
  bool OpenAudioStream(TFFMedia* media, int32_t track) override {
    TFFMpegDll* d = Dll();
    if (!d || !media) return false;
    std::lock_guard<std::recursive_mutex> g(d->AudioLock());
    return d->openAudioStream(Ctx(media), track) > 0;
  }
  void CloseAudioStream(TFFMedia* media) override {
    TFFMpegDll* d = Dll();
    if (!d || !media) return;
    std::lock_guard<std::recursive_mutex> g(d->AudioLock());
    d->closeAudioStream(Ctx(media));
  }
  const uint8_t* NextAudio(TFFMedia* media, int32_t& bytes) override {
    bytes = 0;
    TFFMpegDll* d = Dll();
    if (!d || !media) return nullptr;
    std::lock_guard<std::recursive_mutex> g(d->AudioLock());
    TMediaContext* ctx = Ctx(media);
    if (!ctx->audioBuffer || !d->getNextAudioFrame(ctx, ctx->audioBuffer, &bytes)) return nullptr;
    bytes = std::clamp(bytes, 0, kAudioBufferBytes);
    return ctx->audioBuffer;
  }
  void AudioSeek(TFFMedia* media, double t_ms) override {
    if (TFFMpegDll* d = Dll(); d && media) d->AudioSeek(Ctx(media), t_ms);
  }

 private:
  static TMediaContext* Ctx(TFFMedia* m) { return reinterpret_cast<TMediaContext*>(m); }
  TFFMpegDll* Dll() {
    std::lock_guard<std::mutex> g(m_);
    return dll_;
  }
  std::mutex m_;
  TFFMpegDll* dll_ = nullptr;  // under m_, while uses_ > 0
  int32_t uses_ = 0;           // under m_
};

TAudioLibrary& AudioLibrary() {
  static TAudioLibrary* lib = new TAudioLibrary();  // lives to the end of the process
  return *lib;
}

}  // namespace

WideString VideoParamsKey(const WideString& name, int64_t fileDate) {
  char date[40] = "00.00.0000";
  if (fileDate > 0) {
    const time_t t = time_t(fileDate);
    struct tm tm {};
    if (localtime_r(&t, &tm))
      std::snprintf(date, sizeof date, "%02d.%02d.%04d", tm.tm_mday, tm.tm_mon + 1, (tm.tm_year + 1900) % 10000);
  }
  return name + u":" + Utf8ToWide(date);
}

std::unique_ptr<TFrameSource> MakeVideoFrameSource(std::unique_ptr<TStream> stream, const WideString& name,
                                                   int64_t fileDate) {
  if (!stream) return nullptr;
  {
    std::lock_guard<std::mutex> g(g_lock);
    if (g_hook && !g_hook(name)) return nullptr;  // the stream is freed here
  }
  auto source = std::make_unique<TWinVideoSource>(stream.release(), true, name);
  if (!source->Usable()) return nullptr;
  std::lock_guard<std::mutex> g(g_lock);
  if (g_params.size() < kMaxCachedParams) g_params.emplace(VideoParamsKey(name, fileDate), source->Params());
  return source;
}

void SetFrameSourceNameHook(std::function<bool(const WideString& name)> hook) {
  std::lock_guard<std::mutex> g(g_lock);
  g_hook = std::move(hook);
}

bool CachedVideoParams(const WideString& key, video::TVideoParams& out) {
  std::lock_guard<std::mutex> g(g_lock);
  auto it = g_params.find(key);
  if (it == g_params.end()) return false;
  out = it->second;
  return true;
}

void InstallVideoLayer() {
  SetFrameSourceFactory(&MakeVideoFrameSource);
  SetFFMpegAudioLibrary(&AudioLibrary());
}

void ShutdownVideoLayer() {
  if (!WaitForActiveThreads(10000))
    LogLine("Video: " + std::to_string(RunningActiveThreads()) + " decoding workers still running at exit");
  SetFrameSourceFactory(nullptr);
}

}  // namespace zem
