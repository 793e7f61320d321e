#include "render/drawer/drawer_math.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "foundation/assert.h"

namespace zem {

uint32_t ScaleAlpha(uint32_t argb, float opacity) {
  if (opacity >= 100) return argb;
  float a = float(argb >> 24) * std::max(0.0f, opacity) / 100.0f;
  uint32_t na = uint32_t(std::lround(std::clamp(a, 0.0f, 255.0f)));
  return (argb & 0x00FFFFFFu) | (na << 24);
}

uint32_t AverageColour(uint32_t a, uint32_t b) {
  uint32_t r = 0;
  for (int s = 0; s < 32; s += 8) r |= ((((a >> s) & 255) + ((b >> s) & 255)) / 2) << s;
  return r;
}

std::array<uint32_t, 4> BoxCornerColours(uint8_t style, uint32_t colour1, uint32_t colour2, float opacity) {
  uint32_t c1 = ScaleAlpha(colour1, opacity), c2 = ScaleAlpha(colour2, opacity);
  uint32_t m = AverageColour(c1, c2);
  switch (style) {
    case 0: return {c1, m, m, c2};
    case 1: return {m, c1, c2, m};
    case 2: return {c2, m, m, c1};
    case 3: return {m, c2, c1, m};
    case 4: return {c2, c2, c1, c1};
    case 5: return {c1, c1, c2, c2};
    case 6: return {c1, c2, c1, c2};
    case 7: return {c2, c1, c2, c1};
    case 8: return {c1, c1, c1, c1};
    default: ZEM_FAIL("box fill style out of range");
  }
  return {};
}

TBlurPlan PlanBlur(float t) {
  TBlurPlan p;
  if (t >= 1 || t < 0.00001f) {
    p.separable = true;
    if (t > 7) {
      double n = std::log2(double(t) / 7.0);
      p.passes = int(std::lround(n));
      double f = n - p.passes;
      if (f > 0) {
        p.passes += 1;
        p.lastWeight = float(f);
      } else {
        p.lastWeight = float(f + 1);
      }
    } else {
      p.passes = 0;
      p.lastWeight = t > 1 ? (t - 1) / 6 : 0;
    }
  } else {
    p.mixWeight = (t - 0.00001f) / 0.99999f;
  }
  return p;
}

std::array<float, 4> GaussWeights(float w) {
  return {0.065722f * w, 0.108356f * w, 0.17865f * w, 0.294544f * w + (1 - w)};
}

std::string FormatAmount(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::vector<TBRect> BorderBands(const TBRect& target, const TBRect& inner) {
  std::vector<TBRect> out;
  int32_t top = std::clamp(inner.top, target.top, target.bottom);
  int32_t bottom = std::clamp(inner.bottom, top, target.bottom);
  int32_t left = std::clamp(inner.left, target.left, target.right);
  int32_t right = std::clamp(inner.right, left, target.right);
  TBRect bands[4] = {{target.left, target.top, target.right, top},
                     {target.left, top, left, bottom},
                     {right, top, target.right, bottom},
                     {target.left, bottom, target.right, target.bottom}};
  for (const TBRect& b : bands)
    if (!b.Empty()) out.push_back(b);
  return out;
}

void GrowBounds(TBRect& bounds, const TBRect& target, const float* xs, const float* ys,
                const bool* valid, int count) {
  float l = 1e30f, t = 1e30f, r = -1e30f, b = -1e30f;
  for (int i = 0; i < count; ++i) {
    if (!valid[i]) {
      // Behind the camera: the point counts as the target's edges.
      l = std::min(l, float(target.left));
      t = std::min(t, float(target.top));
      r = std::max(r, float(target.right));
      b = std::max(b, float(target.bottom));
      continue;
    }
    l = std::min(l, xs[i]);
    t = std::min(t, ys[i]);
    r = std::max(r, xs[i]);
    b = std::max(b, ys[i]);
  }
  if (count == 0) return;
  TBRect n{int32_t(std::floor(l)), int32_t(std::floor(t)), int32_t(std::ceil(r)), int32_t(std::ceil(b))};
  n.left = std::clamp(n.left, target.left, target.right);
  n.right = std::clamp(n.right, target.left, target.right);
  n.top = std::clamp(n.top, target.top, target.bottom);
  n.bottom = std::clamp(n.bottom, target.top, target.bottom);
  if (n.Empty()) return;
  if (bounds.Empty()) {
    bounds = n;
    return;
  }
  bounds.left = std::min(bounds.left, n.left);
  bounds.top = std::min(bounds.top, n.top);
  bounds.right = std::max(bounds.right, n.right);
  bounds.bottom = std::max(bounds.bottom, n.bottom);
}

}  // namespace zem
