// Helpers of the video tests: a scratch folder and clips generated with the library's own
// writer, among them clips whose frames carry their number as a row of black and white blocks.
#pragma once
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "video/video_writer.h"

namespace zem::test {

class TVideoScratch {
 public:
  TVideoScratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zem-video-XXXXXX").string();
    dir_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
  }
  ~TVideoScratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

 private:
  std::string dir_;
};

// Frame numbers as 10 blocks of 16 x 16 along the top edge (white = 1, lowest bit first).
constexpr int kCounterBits = 10;

inline void PaintCounter(void*, int32_t n, uint8_t* const planes[3], const int32_t strides[3], int32_t w, int32_t h) {
  for (int32_t y = 0; y < h; ++y) std::memset(planes[0] + int64_t(y) * strides[0], 128, size_t(w));
  for (int32_t y = 0; y < h / 2; ++y) {
    std::memset(planes[1] + int64_t(y) * strides[1], 128, size_t(w / 2));
    std::memset(planes[2] + int64_t(y) * strides[2], 128, size_t(w / 2));
  }
  for (int b = 0; b < kCounterBits; ++b) {
    const uint8_t v = (n >> b) & 1 ? 235 : 16;
    for (int32_t y = 0; y < 16; ++y) std::memset(planes[0] + int64_t(y) * strides[0] + 16 * b, v, 16);
  }
}

// Reads the number back from a luma plane.
inline int32_t ReadCounter(const uint8_t* y, int64_t stride) {
  int32_t n = 0;
  for (int b = 0; b < kCounterBits; ++b)
    if (y[8 * stride + 16 * b + 8] > 128) n |= 1 << b;
  return n;
}

struct TClipOptions {
  const char* format = "avi";
  const char* codec = "mpeg4";
  int32_t width = 176, height = 144;
  int32_t fpsNum = 25, fpsDen = 1;
  int32_t frames = 50;
  int32_t gop = 12;
  int32_t quality = 3;
  int32_t sarNum = 0, sarDen = 1;
  int32_t fieldOrder = 0;
  const char* title = nullptr;
  // Audio: none when seconds is 0. A beep of `beepMs` starts at `beepAt` ms.
  double audioSeconds = 0;
  const char* audioCodec = "pcm_s16le";
  int32_t audioRate = 44100;
  double beepAt = -1, beepMs = 100;
  // Picture: the counter, a flash (white frame) at frame `flashFrame` on black, or a painter.
  int32_t flashFrame = -1;
  void (*paint)(int32_t n, uint8_t* const planes[3], const int32_t strides[3], int32_t w, int32_t h) = nullptr;
};

struct TClipState {
  TClipOptions o;
};

inline void Picture(void* user, int32_t n, uint8_t* const planes[3], const int32_t strides[3]) {
  const TClipOptions& o = static_cast<TClipState*>(user)->o;
  if (o.paint) {
    o.paint(n, planes, strides, o.width, o.height);
    return;
  }
  if (o.flashFrame < 0) {
    PaintCounter(nullptr, n, planes, strides, o.width, o.height);
    return;
  }
  const uint8_t v = n == o.flashFrame ? 235 : 16;
  for (int32_t y = 0; y < o.height; ++y) std::memset(planes[0] + int64_t(y) * strides[0], v, size_t(o.width));
  for (int32_t y = 0; y < o.height / 2; ++y) {
    std::memset(planes[1] + int64_t(y) * strides[1], 128, size_t(o.width / 2));
    std::memset(planes[2] + int64_t(y) * strides[2], 128, size_t(o.width / 2));
  }
}

inline void Sound(void* user, int64_t first, int32_t count, int16_t* out) {
  const TClipOptions& o = static_cast<TClipState*>(user)->o;
  for (int32_t i = 0; i < count; ++i) {
    const double t = double(first + i) / o.audioRate * 1000.0;
    int16_t v = 0;
    if (o.beepAt >= 0 && t >= o.beepAt && t < o.beepAt + o.beepMs)
      v = int16_t(12000 * std::sin(2 * M_PI * 1000.0 * double(first + i) / o.audioRate));
    out[2 * i] = out[2 * i + 1] = v;
  }
}

// Writes the clip; false when the writer cannot.
inline bool MakeClip(const std::string& path, const TClipOptions& o) {
  static thread_local TClipState state;
  state.o = o;
  TVideoFileSpec s;
  s.format = o.format;
  s.videoCodec = o.codec;
  s.width = o.width;
  s.height = o.height;
  s.fpsNum = o.fpsNum;
  s.fpsDen = o.fpsDen;
  s.frames = o.frames;
  s.gop = o.gop;
  s.quality = o.quality;
  s.sarNum = o.sarNum;
  s.sarDen = o.sarDen;
  s.fieldOrder = o.fieldOrder;
  s.title = o.title;
  s.picture = &Picture;
  s.audioCodec = o.audioCodec;
  s.audioRate = o.audioRate;
  s.audioChannels = 2;
  s.audioSamples = int64_t(o.audioSeconds * o.audioRate);
  s.sound = &Sound;
  s.user = &state;
  return WriteVideoFile(path.c_str(), &s, o.frames > 0, o.audioSeconds > 0);
}

}  // namespace zem::test
