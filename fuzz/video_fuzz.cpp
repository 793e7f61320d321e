// The video layer on untrusted bytes: open and analyse a media (container, rates, aspect,
// interlace probing), decode frames into memory surfaces in the layouts a drawer asks for, jump
// around, and decode and seek its audio. Decoded pictures are capped small so a run stays fast.
#include <cstdint>
#include <vector>

#include "foundation/stream.h"
#include "model/recording_drawer.h"
#include "sound/ffmpeg_audio.h"
#include "video/ffmpeg_lib.h"
#include "video/video_layer.h"
#include "video/win_video_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  static const bool ready = [] {
    SetFFmpegMaxPixels(int64_t(1) << 18);
    InstallVideoLayer();
    return true;
  }();
  (void)ready;
  {
    auto* stream = new TMemoryStream(std::vector<uint8_t>(data, data + size));
    TWinVideoSource source(stream, true, u"fuzz");
    if (source.Usable()) {
      const video::TVideoParams& p = source.Params();
      if (p.width < 2 || p.height < 2 || p.width > kMaxVideoSide || p.height > kMaxVideoSide) __builtin_trap();
      TRef<TMemoryVideoSurface> planar(new TMemoryVideoSurface(p.width, p.height, p.rgb, false));
      TRef<TMemoryVideoSurface> mask(new TMemoryVideoSurface(p.width, p.height, false, true));
      const int64_t last = p.frameCount > 0 ? p.frameCount - 1 : 3;
      for (int64_t n : {int64_t(0), int64_t(1), last / 2, int64_t(2), last, int64_t(40)}) source.GetFrame(n, *planar);
      source.GetFrame(1, *mask);
      TBitmap rgb;
      source.GetFrame24(0, rgb);
    }
  }
  TFFMpegAudioUse lib;
  if (!lib) return 0;
  TMemoryStream stream(std::vector<uint8_t>(data, data + size));
  TFFMedia* media = lib->OpenMedia("fuzz", &stream, SoundStreamRoutines());
  if (!media) return 0;
  if (lib->HasAudio(media) && lib->OpenAudioStream(media, -1)) {
    int32_t bytes = 0;
    for (int i = 0; i < 16 && lib->NextAudio(media, bytes); ++i) {
      if (bytes < 0 || bytes > kAudioBufferBytes) __builtin_trap();
    }
    lib->AudioSeek(media, double(lib->DurationUs(media)) / 2000.0);
    lib->NextAudio(media, bytes);
    lib->CloseAudioStream(media);
  }
  lib->CloseMedia(media);
  return 0;
}
