// The SDL backend: one SDL audio device at 44100 Hz, stereo, signed 16-bit (SDL converts when
// the hardware wants another format).
#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "foundation/log.h"
#include "sound/backend/audio_output.h"

namespace zem {

namespace {

std::atomic<int> g_backend_kind{-1};

class TSdlAudioOutput : public TAudioOutput {
 public:
  ~TSdlAudioOutput() override { Close(); }

  bool Open(TMixCallback mix) override {
    if (device_ != 0) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      LogLine(std::string("SDL audio init failed: ") + SDL_GetError());
      return false;
    }
    subsystem_ = true;
    mix_ = std::move(mix);
    SDL_AudioSpec want{}, have{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = &TSdlAudioOutput::Callback;
    want.userdata = this;
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      LogLine(std::string("SDL_OpenAudioDevice failed: ") + SDL_GetError());
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      subsystem_ = false;
      return false;
    }
    period_ = have.samples > 0 ? have.samples : 1024;
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  void Close() override {
    if (device_ != 0) {
      SDL_CloseAudioDevice(device_);  // waits for a running callback
      device_ = 0;
    }
    if (subsystem_) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      subsystem_ = false;
    }
  }

  int32_t PeriodFrames() const override { return period_; }
  std::string Name() const override {
    const char* d = SDL_GetCurrentAudioDriver();
    return std::string("sdl:") + (d ? d : "?");
  }

 private:
  // SDL's audio thread; holds SDL's device lock, takes the mixer's lock inside mix_.
  static void Callback(void* user, Uint8* stream, int len) {
    auto* self = static_cast<TSdlAudioOutput*>(user);
    int32_t frames = len / 4;
    self->mix_(reinterpret_cast<int16_t*>(stream), frames);
    if (len % 4) std::memset(stream + frames * 4, 0, static_cast<size_t>(len % 4));
  }

  SDL_AudioDeviceID device_ = 0;
  bool subsystem_ = false;
  int32_t period_ = 1024;
  TMixCallback mix_;
};

}  // namespace

std::unique_ptr<TAudioOutput> CreateSdlAudioOutput() { return std::make_unique<TSdlAudioOutput>(); }

void SetAudioBackendKind(TAudioBackendKind kind) { g_backend_kind.store(static_cast<int>(kind)); }

TAudioBackendKind AudioBackendKind() {
  int k = g_backend_kind.load();
  if (k >= 0) return static_cast<TAudioBackendKind>(k);
  const char* env = std::getenv("ZEM_AUDIO_BACKEND");
  if (env && std::strcmp(env, "null") == 0) return TAudioBackendKind::Null;
  return TAudioBackendKind::Sdl;
}

}  // namespace zem
