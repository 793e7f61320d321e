// Writing clips with libavcodec: the library's CreateVideoFile, CreateAudioFile and
// CreateVideoAudioFile routines. The player never writes video; tests, benchmarks and the demo
// generator make their clips with it.
#pragma once
#include <cstdint>

namespace zem {

struct TVideoFileSpec {
  const char* format = nullptr;      // muxer ("avi", "mp4", "asf", "mpeg", "matroska"); null: from the path
  const char* videoCodec = "mpeg4";  // encoder name
  int32_t width = 0, height = 0;
  int32_t fpsNum = 25, fpsDen = 1;
  int32_t frames = 0;
  int32_t gop = 12;
  int32_t quality = 3;               // fixed quantiser (lower is better)
  int32_t sarNum = 0, sarDen = 1;    // sample aspect ratio; 0 = none
  int32_t fieldOrder = 0;            // 0 progressive, 1 top field first, 2 bottom field first
  const char* title = nullptr;       // the video stream's "title" tag
  // Fills frame n (planar 4:2:0, video range).
  void (*picture)(void* user, int32_t n, uint8_t* const planes[3], const int32_t strides[3]) = nullptr;
  const char* audioCodec = "pcm_s16le";
  int32_t audioRate = 44100, audioChannels = 2;
  int64_t audioSamples = 0;
  // Fills `count` interleaved 16-bit frames starting at frame `first`.
  void (*sound)(void* user, int64_t first, int32_t count, int16_t* out) = nullptr;
  void* user = nullptr;
};

// Writes the clip; false when an encoder or the muxer is missing or a write fails.
bool WriteVideoFile(const char* path, const TVideoFileSpec* clip, bool video, bool audio);

}  // namespace zem
