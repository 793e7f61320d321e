#include "make_motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "make_random.h"

namespace zemtool::make {

namespace {

// The covering photo's size at scale 100 in slide widths and heights (each at least 1).
void CoverFactors(int32_t w, int32_t h, int32_t W, int32_t H, double& rw, double& rh) {
  const double photo = double(std::max(w, 1)) / std::max(h, 1), show = double(std::max(W, 1)) / std::max(H, 1);
  rw = std::max(1.0, photo / show);
  rh = std::max(1.0, show / photo);
}

// How far the centre may move from the slide's centre at scale s (percent), in position units
// (percent of half the slide), with the margin kept.
double Range(double r, double s) { return std::max(0.0, (r * s / 100 - 1) / 2 - kCoverMargin) * 200; }

}  // namespace

bool PlacedInside(int32_t w, int32_t h, int32_t W, int32_t H) {
  return (w < h && W > H) || (w > h && W < H);
}

bool CoversSlide(const TView& v, int32_t w, int32_t h, int32_t W, int32_t H, double margin) {
  double rw, rh;
  CoverFactors(w, h, W, H, rw, rh);
  const double s = v.scale / 100;
  return std::fabs(v.x) / 200 <= (rw * s - 1) / 2 - margin + 1e-9 &&
         std::fabs(v.y) / 200 <= (rh * s - 1) / 2 - margin + 1e-9;
}

TView Lerp(const TView& a, const TView& b, double f) {
  return {a.scale + (b.scale - a.scale) * f, a.x + (b.x - a.x) * f, a.y + (b.y - a.y) * f};
}

TMotion ChooseMotion(int32_t w, int32_t h, int32_t W, int32_t H, bool motion, TRandom& random) {
  TMotion m;
  m.cover = !PlacedInside(w, h, W, H);
  if (!m.cover) {
    // Placed inside: a slow zoom about the centre; the background covers the rest.
    if (motion) {
      const double lo = 100, hi = random.Between(105, 108);
      const bool in = random.Below(2) == 1;
      m.start.scale = in ? lo : hi;
      m.end.scale = in ? hi : lo;
    }
    return m;
  }
  if (!motion) {
    // A hair over the edges, so that no edge pixel is filtered against the background.
    m.start.scale = m.end.scale = 101;
    return m;
  }
  double rw, rh;
  CoverFactors(w, h, W, H, rw, rh);
  const double lo = random.Between(104, 107), hi = lo + random.Between(8, 14);
  const bool in = random.Below(2) == 1;
  const double s0 = in ? lo : hi, s1 = in ? hi : lo;
  double angle, a0, a1;
  if (rw >= 1.6 || rh >= 1.6) {
    // A panorama sweeps along its long side, most of the way.
    angle = (random.Below(2) == 1 ? 0 : std::numbers::pi) + (rw >= rh ? 0 : std::numbers::pi / 2);
    a0 = a1 = 0.9;
  } else {
    angle = random.Between(0, 2 * std::numbers::pi);
    a0 = random.Between(0.35, 0.9);
    a1 = random.Between(0.35, 0.9);
  }
  const double c = std::cos(angle), s = std::sin(angle);
  m.start = {s0, a0 * Range(rw, s0) * c, a0 * Range(rh, s0) * s};
  m.end = {s1, -a1 * Range(rw, s1) * c, -a1 * Range(rh, s1) * s};
  return m;
}

}  // namespace zemtool::make
