#include "sound/ffmpeg_audio.h"

#include <atomic>

namespace zem {

namespace {
std::atomic<TFFMpegAudioLibrary*> g_library{nullptr};
}

void SetFFMpegAudioLibrary(TFFMpegAudioLibrary* library) { g_library.store(library); }
TFFMpegAudioLibrary* FFMpegAudioLibrary() { return g_library.load(); }

TFFMpegAudioUse::TFFMpegAudioUse() {
  TFFMpegAudioLibrary* lib = FFMpegAudioLibrary();
  if (lib && lib->Acquire()) lib_ = lib;
}

TFFMpegAudioUse::~TFFMpegAudioUse() {
  if (lib_) lib_->Release();
}

}  // namespace zem
