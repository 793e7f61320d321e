// The built-in WMA plug-in: the five plug-in routines over the video decoding library (the
// FFmpeg layer), reading the stream only through the routines it is handed. Absent while that
// library is not installed.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

#include "sound/ffmpeg_audio.h"
#include "sound/plugin_converter.h"

namespace zem {

namespace {

struct TWmaDecoder {
  TFFMpegAudioLibrary* lib;
  TFFMedia* media;
  void* target;
  TPluginWrite write;
};

extern "C" uint8_t WmaGetMediaInfo(void* stream, const TStreamRoutines* routines, int32_t* duration, int32_t* data,
                                   TPluginWaveFormat* format) {
  TFFMpegAudioUse lib;
  if (!lib) return 0;
  TFFMedia* media = lib->OpenMedia("zemwma.wma", stream, routines);
  if (!media) return 0;
  TFFAudioTrack t;
  const bool ok = lib->HasAudio(media) && lib->GetAudioInfo(media, -1, t) && t.channels >= 1 && t.channels <= 2;
  if (ok) {
    const int64_t ms = (lib->DurationUs(media) + 500) / 1000;
    *duration = int32_t(std::clamp<int64_t>(ms, 0, INT32_MAX));
    *data = 0;
    format->format_tag = 1;
    format->channels = uint16_t(t.channels);
    format->samples_per_sec = uint32_t(t.sampleRate);
    format->block_align = uint16_t(t.channels * 2);
    format->avg_bytes_per_sec = format->samples_per_sec * format->block_align;
    format->bits_per_sample = 16;
    format->extra_size = 0;
  }
  lib->CloseMedia(media);
  return ok ? 1 : 0;
}

extern "C" void* WmaCreateDecoder(void* stream, const TStreamRoutines* routines, int32_t, void* target,
                                  TPluginWrite write) {
  TFFMpegAudioLibrary* lib = FFMpegAudioLibrary();
  if (!lib || !lib->Acquire()) return nullptr;
  TFFMedia* media = lib->OpenMedia("zemwma.wma", stream, routines);
  if (!media || !lib->OpenAudioStream(media, -1)) {
    if (media) lib->CloseMedia(media);
    lib->Release();
    return nullptr;
  }
  return new TWmaDecoder{lib, media, target, write};
}

extern "C" void WmaDestroyDecoder(void* handle) {
  auto* d = static_cast<TWmaDecoder*>(handle);
  if (!d) return;
  d->lib->CloseAudioStream(d->media);
  d->lib->CloseMedia(d->media);
  d->lib->Release();
  delete d;
}

extern "C" void WmaDecode(void* handle) {
  auto* d = static_cast<TWmaDecoder*>(handle);
  int32_t bytes = 0;
  const uint8_t* pcm = d->lib->NextAudio(d->media, bytes);
  if (pcm && bytes > 0) d->write(d->target, pcm, bytes);
}

extern "C" void WmaSetPosition(void* handle, int32_t* position_ms) {
  auto* d = static_cast<TWmaDecoder*>(handle);
  const int32_t t = std::max(0, *position_ms);
  d->lib->AudioSeek(d->media, t);
  *position_ms = t;
}

class TWmaLibrary : public TPluginLibrary {
 public:
  void* Symbol(const char* name) const override {
    const std::string_view n(name ? name : "");
    if (n == "GetMediaInfo") return reinterpret_cast<void*>(&WmaGetMediaInfo);
    if (n == "CreateDecoder") return reinterpret_cast<void*>(&WmaCreateDecoder);
    if (n == "DestroyDecoder") return reinterpret_cast<void*>(&WmaDestroyDecoder);
    if (n == "Decode") return reinterpret_cast<void*>(&WmaDecode);
    if (n == "SetPosition") return reinterpret_cast<void*>(&WmaSetPosition);
    return nullptr;
  }
};

}  // namespace

const TPluginLibrary& WmaPluginLibrary() {
  static TWmaLibrary library;
  return library;
}

}  // namespace zem
