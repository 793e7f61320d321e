#include "demo_clip.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "foundation/stream.h"
#include "video/video_writer.h"

namespace zem {

namespace {

// Height of the ball above the floor (0..1) at time t seconds: one bounce a second.
double BallHeight(double t) {
  const double f = t - std::floor(t);  // 0 at the floor, up, and down again at 1
  return 4 * f * (1 - f);
}

void Paint(void* user, int32_t n, uint8_t* const planes[3], const int32_t strides[3]) {
  const auto& o = *static_cast<const TDemoClipOptions*>(user);
  const double t = double(n) / o.fps;
  const int32_t w = o.width, h = o.height;
  // The colour field: hue bands drifting to the left, in chroma; a soft vertical luma ramp.
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = planes[0] + int64_t(y) * strides[0];
    std::fill(row, row + w, uint8_t(60 + 40 * y / h));
  }
  for (int32_t y = 0; y < h / 2; ++y)
    for (int32_t x = 0; x < w / 2; ++x) {
      const double a = 2 * M_PI * (double(x) / (w / 2) + 0.15 * t);
      planes[1][int64_t(y) * strides[1] + x] = uint8_t(128 + 40 * std::sin(a));
      planes[2][int64_t(y) * strides[2] + x] = uint8_t(128 + 40 * std::cos(a));
    }
  // The floor.
  const int32_t floor = h * 7 / 8;
  for (int32_t y = floor; y < h; ++y) std::fill(planes[0] + int64_t(y) * strides[0], planes[0] + int64_t(y) * strides[0] + w, uint8_t(30));
  // The ball: white, moving right across the clip while it bounces.
  const int32_t r = h / 10;
  const double cx = w * (0.1 + 0.8 * t / o.seconds);
  const double cy = floor - r - BallHeight(t) * (floor - 3 * r);
  for (int32_t y = std::max(0, int32_t(cy) - r); y < std::min(h, int32_t(cy) + r + 1); ++y)
    for (int32_t x = std::max(0, int32_t(cx) - r); x < std::min(w, int32_t(cx) + r + 1); ++x) {
      const double d = std::hypot(x - cx, y - cy);
      if (d > r) continue;
      planes[0][int64_t(y) * strides[0] + x] = uint8_t(235 - int(40 * d / r));
      // White, not tinted by the field behind it.
      planes[1][int64_t(y / 2) * strides[1] + x / 2] = 128;
      planes[2][int64_t(y / 2) * strides[2] + x / 2] = 128;
    }
}

void Sound(void* user, int64_t first, int32_t count, int16_t* out) {
  const auto& o = *static_cast<const TDemoClipOptions*>(user);
  for (int32_t i = 0; i < count; ++i) {
    const double t = double(first + i) / o.sampleRate;
    double v = 0;
    if (t < o.seconds) {
      // A pluck starting at each bounce, pitched up by a step each second.
      const double since = t - std::floor(t);
      const double f = 440.0 * std::pow(2.0, (int(std::floor(t)) % 5) * 2 / 12.0);
      v = 0.5 * std::exp(-since * 9) * std::sin(2 * M_PI * f * since);
    }
    out[2 * i] = out[2 * i + 1] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
  }
}

}  // namespace

int32_t DemoClipBounceFrame(const TDemoClipOptions& o, int32_t k) { return k * o.fps; }

bool MakeDemoClip(const TDemoClipOptions& o, std::vector<uint8_t>& out) {
  TDemoClipOptions opts = o;
  TVideoFileSpec s;
  s.format = "avi";
  s.videoCodec = "mpeg4";
  s.width = o.width;
  s.height = o.height;
  s.fpsNum = o.fps;
  s.fpsDen = 1;
  s.frames = o.fps * o.seconds;
  s.gop = o.fps;
  s.quality = 4;
  s.picture = &Paint;
  s.audioCodec = "mp2";
  s.audioRate = o.sampleRate;
  s.audioChannels = 2;
  s.audioSamples = int64_t(o.sampleRate) * o.seconds;
  s.sound = &Sound;
  s.user = &opts;
  std::string tmpl = (std::filesystem::temp_directory_path() / "zem-demo-clip-XXXXXX").string();
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return false;
  ::close(fd);
  const bool ok = WriteVideoFile(tmpl.c_str(), &s, true, true) && ReadFileBytes(tmpl, out);
  std::filesystem::remove(tmpl);
  return ok;
}

}  // namespace zem
