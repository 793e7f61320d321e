#include "demo_pictures.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "foundation/assert.h"

namespace zem {

namespace {

struct TRgb {
  double r, g, b;
};

TRgb Mix(const TRgb& a, const TRgb& b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
TRgb Scale(const TRgb& a, double k) { return {a.r * k, a.g * k, a.b * k}; }
TRgb Add(const TRgb& a, const TRgb& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
double SmoothStep(double e0, double e1, double x) {
  const double t = Clamp01((x - e0) / (e1 - e0));
  return t * t * (3 - 2 * t);
}
uint8_t Byte(double v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0)); }

// Colours are given 0..1; the bitmap stores blue, green, red.
void Put(TBitmap& b, int32_t x, int32_t y, const TRgb& c) {
  uint8_t* p = b.Row(y) + int64_t(x) * b.BytesPerPixel();
  p[0] = Byte(c.b);
  p[1] = Byte(c.g);
  p[2] = Byte(c.r);
}

TBitmap NewPicture(int32_t width, int32_t height, TPixelFormat format) {
  ZEM_ASSERT(TBitmap::SizeAllowed(width, height));
  TBitmap b;
  b.Allocate(width, height, format);
  return b;
}

uint32_t Hash(int32_t x, int32_t y, uint32_t seed) {
  uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed * 0xCB1AB31Fu;
  h ^= h >> 13;
  h *= 0x5BD1E995u;
  h ^= h >> 15;
  return h;
}
double Hash01(int32_t x, int32_t y, uint32_t seed) { return (Hash(x, y, seed) & 0xFFFFFF) / double(0xFFFFFF); }

// Palette of the plasma: a + b·cos(2π(c·t + d)) per channel.
TRgb CosinePalette(double t) {
  return {0.5 + 0.5 * std::cos(2 * M_PI * (t + 0.00)), 0.5 + 0.5 * std::cos(2 * M_PI * (t + 0.33)),
          0.5 + 0.5 * std::cos(2 * M_PI * (t + 0.67))};
}

}  // namespace

double ValueNoise(double x, double y, uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const int32_t ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
  const double c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
  return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

double FractalNoise(double x, double y, uint32_t seed, int octaves) {
  double sum = 0, weight = 1, total = 0;
  for (int o = 0; o < octaves; ++o) {
    sum += ValueNoise(x, y, seed + uint32_t(o) * 101u) * weight;
    total += weight;
    x *= 2;
    y *= 2;
    weight *= 0.5;
  }
  return total > 0 ? sum / total : 0;
}

TBitmap PaintLandscape(int32_t width, int32_t height) {
  TBitmap b = NewPicture(width, height, TPixelFormat::Rgb24);
  const double w = width, h = height;
  const TRgb zenith{0.10, 0.16, 0.42}, horizon{1.00, 0.62, 0.38}, haze{0.95, 0.70, 0.62};
  const double sun_x = 0.68 * w, sun_y = 0.46 * h, sun_r = 0.045 * h;
  // Ranges from far to near: base line, height of the ridge noise, colour.
  struct TRange {
    double base, amplitude, frequency;
    TRgb colour;
  };
  const TRange ranges[] = {{0.50, 0.20, 2.0, {0.55, 0.45, 0.62}},
                           {0.60, 0.18, 3.0, {0.36, 0.30, 0.50}},
                           {0.72, 0.14, 4.5, {0.20, 0.20, 0.36}},
                           {0.84, 0.12, 6.0, {0.08, 0.12, 0.20}}};
  std::vector<double> ridge[4];
  for (int r = 0; r < 4; ++r) {
    ridge[r].resize(size_t(width));
    for (int32_t x = 0; x < width; ++x) {
      const double n = FractalNoise(x / w * ranges[r].frequency, 0.5 + r * 7.0, 11u + uint32_t(r), 5);
      ridge[r][size_t(x)] = (ranges[r].base - ranges[r].amplitude * n) * h;
    }
  }
  for (int32_t y = 0; y < height; ++y) {
    const double v = y / h;
    const TRgb sky_row = Mix(zenith, horizon, std::pow(SmoothStep(0.0, 0.62, v), 1.4));
    for (int32_t x = 0; x < width; ++x) {
      const double dx = x - sun_x, dy = y - sun_y, d = std::sqrt(dx * dx + dy * dy);
      TRgb c = sky_row;
      // Glow, then the disc with a soft edge.
      c = Add(c, Scale({1.0, 0.75, 0.45}, 0.55 * std::exp(-d / (0.18 * h))));
      c = Mix(c, {1.0, 0.96, 0.85}, 1.0 - SmoothStep(sun_r - 1.5, sun_r + 1.5, d));
      // Thin clouds across the sky.
      const double cloud = SmoothStep(0.55, 0.85, FractalNoise(x / w * 5, y / h * 14, 3u, 4)) * (1 - v);
      c = Mix(c, {1.0, 0.82, 0.78}, 0.45 * cloud);
      for (int r = 0; r < 4; ++r) {
        const double top = ridge[r][size_t(x)];
        if (y >= top) {
          // Lower in the range: darker; farther ranges fade into the haze.
          const double depth = Clamp01((y - top) / (0.25 * h));
          TRgb rock = Mix(ranges[r].colour, Scale(ranges[r].colour, 0.7), depth);
          rock = Mix(rock, haze, 0.35 * (3 - r) / 3.0 * (1 - depth));
          const double edge = Clamp01(y - top + 1);  // one pixel of antialiasing on the ridge
          c = Mix(c, rock, edge);
        }
      }
      Put(b, x, y, c);
    }
  }
  return b;
}

TBitmap PaintPlasma(int32_t width, int32_t height) {
  TBitmap b = NewPicture(width, height, TPixelFormat::Rgb24);
  const double s = 720.0 / height;  // the pattern scales with the picture
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const double px = x * s, py = y * s;
      const double cx = px - 900, cy = py - 250;
      double v = std::sin(px / 97.0) + std::sin(py / 61.0 + 1.3) + std::sin((px + py) / 131.0) +
                 std::sin(std::sqrt(cx * cx + cy * cy) / 53.0);
      v = v / 8.0 + 0.5;  // 0..1
      TRgb c = CosinePalette(v * 1.6 + 0.1);
      c = Mix(c, {0.05, 0.02, 0.15}, 0.25 * (1 - std::sin(v * M_PI)));
      Put(b, x, y, c);
    }
  }
  return b;
}

TBitmap PaintDunes(int32_t width, int32_t height) {
  TBitmap b = NewPicture(width, height, TPixelFormat::Rgb24);
  const double w = width, h = height;
  const TRgb sky_top{0.28, 0.22, 0.48}, sky_low{1.0, 0.55, 0.30};
  const TRgb sand_lit{0.98, 0.72, 0.42}, sand_shade{0.55, 0.28, 0.22};
  const double sun_x = 0.30 * w, sun_y = 0.40 * h;
  for (int32_t x = 0; x < width; ++x) {
    // Dune crests: sums of sines at growing frequencies; nearer dunes are lower and larger.
    for (int32_t y = 0; y < height; ++y) {
      const double v = y / h, u = x / w;
      TRgb c = Mix(sky_top, sky_low, SmoothStep(0.0, 0.55, v));
      const double d = std::hypot(x - sun_x, y - sun_y);
      c = Add(c, Scale({1.0, 0.6, 0.3}, 0.5 * std::exp(-d / (0.12 * h))));
      c = Mix(c, {1.0, 0.92, 0.7}, 1.0 - SmoothStep(0.035 * h - 1.5, 0.035 * h + 1.5, d));
      for (int layer = 0; layer < 3; ++layer) {
        const double f = 2.0 + layer * 1.7, phase = layer * 2.1;
        const double base = 0.52 + layer * 0.14;
        const double crest = base - 0.06 * std::sin(u * f * M_PI + phase) - 0.025 * std::sin(u * f * 2.7 + phase * 3);
        const double slope = std::cos(u * f * M_PI + phase) + 0.6 * std::cos(u * f * 2.7 + phase * 3);
        if (v >= crest) {
          const double lit = Clamp01(0.5 + 0.5 * slope);
          TRgb sand = Mix(sand_shade, sand_lit, lit);
          sand = Mix(sand, Scale(sand, 0.75), Clamp01((v - crest) / 0.3));
          sand = Mix(sand, sky_low, 0.3 * (2 - layer) / 2.0);
          // Ripples on the sand.
          sand = Scale(sand, 0.96 + 0.04 * std::sin((v * 180 + u * 40) * (1 + layer)));
          c = Mix(c, sand, Clamp01((v - crest) * h + 1));
        }
      }
      Put(b, x, y, c);
    }
  }
  return b;
}

TBitmap PaintNight(int32_t width, int32_t height) {
  TBitmap b = NewPicture(width, height, TPixelFormat::Rgb24);
  const double w = width, h = height;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const double u = x / w, v = y / h;
      TRgb c = Mix({0.01, 0.02, 0.08}, {0.05, 0.10, 0.22}, v);
      // Stars: sparse lattice points, brighter ones rarer.
      const double star = Hash01(x, y, 77u);
      if (star > 0.9985) c = Add(c, Scale({0.9, 0.92, 1.0}, (star - 0.9985) / 0.0015));
      // Aurora curtains: a wavy band whose brightness ripples along x and fades upwards.
      const double centre = 0.32 + 0.10 * std::sin(u * 5.0 + 0.7) + 0.05 * FractalNoise(u * 4, 1.5, 9u, 3);
      const double below = v - centre;
      const double band = below < 0 ? std::exp(below / 0.16) : std::exp(-below / 0.025);
      const double rays = 0.55 + 0.45 * FractalNoise(u * 40, v * 2, 21u, 3);
      c = Add(c, Scale(Mix({0.1, 0.9, 0.55}, {0.5, 0.2, 0.8}, SmoothStep(0.0, 0.25, -below)), 0.75 * band * rays));
      // A dark ridge in front.
      const double ridge = 0.80 - 0.10 * FractalNoise(u * 3, 4.0, 5u, 5);
      if (v >= ridge) c = Mix(c, {0.01, 0.015, 0.03}, Clamp01((v - ridge) * h + 1));
      Put(b, x, y, c);
    }
  }
  return b;
}

TBitmap PaintTiles(int32_t width, int32_t height, int32_t tile) {
  ZEM_ASSERT(tile >= 8);
  TBitmap b = NewPicture(width, height, TPixelFormat::Rgb24);
  const TRgb warm[] = {{0.93, 0.45, 0.30}, {0.98, 0.72, 0.30}, {0.85, 0.30, 0.45}};
  const TRgb cool[] = {{0.20, 0.55, 0.80}, {0.25, 0.75, 0.65}, {0.35, 0.40, 0.75}};
  const int32_t grout = std::max(2, tile / 20), bevel = std::max(3, tile / 12);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const int32_t tx = x / tile, ty = y / tile, lx = x % tile, ly = y % tile;
      const uint32_t pick = Hash(tx, ty, 5u) % 3;
      TRgb c = ((tx + ty) % 2 == 0) ? warm[pick] : cool[pick];
      if (lx < grout || ly < grout) {
        c = {0.12, 0.11, 0.13};
      } else if (lx < grout + bevel || ly < grout + bevel) {
        c = Mix(c, {1, 1, 1}, 0.35);  // lit upper and left edges
      } else if (lx >= tile - bevel || ly >= tile - bevel) {
        c = Scale(c, 0.65);  // shaded lower and right edges
      } else if (Hash(tx, ty, 9u) % 5 == 0) {
        // Some tiles carry an inset diamond.
        const int32_t cx = tile / 2 + grout / 2, r = std::abs(lx - cx) + std::abs(ly - cx);
        if (r < tile / 4) c = Mix(c, {1, 1, 1}, 0.55);
      }
      Put(b, x, y, c);
    }
  }
  return b;
}

TBitmap PaintLogo(int32_t side) {
  TBitmap b = NewPicture(side, side, TPixelFormat::Argb32);
  const double c = side / 2.0, r_out = side * 0.47, r_in = side * 0.39;
  constexpr int kSub = 4;  // 4 × 4 samples per pixel for smooth edges
  for (int32_t y = 0; y < side; ++y) {
    uint8_t* row = b.Row(y);
    for (int32_t x = 0; x < side; ++x) {
      TRgb sum{0, 0, 0};
      double cover = 0;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          const double px = x + (sx + 0.5) / kSub - c, py = y + (sy + 0.5) / kSub - c;
          const double d = std::sqrt(px * px + py * py), a = std::atan2(py, px);
          TRgb col;
          bool hit = false;
          if (d <= r_out && d >= r_in) {
            // The ring: a gradient around the circle.
            col = Mix({0.98, 0.55, 0.15}, {0.85, 0.15, 0.45}, 0.5 + 0.5 * std::sin(a));
            hit = true;
          } else if (d < r_in) {
            // Six petals (a rose curve) behind a play triangle.
            const double petal = r_in * (0.55 + 0.4 * std::abs(std::cos(3 * a)));
            const double tx = px + side * 0.03;
            const bool triangle = tx > -side * 0.12 && std::abs(py) < (side * 0.20 - tx) * 0.62 && tx < side * 0.20;
            if (triangle) {
              col = {1.0, 0.98, 0.92};
              hit = true;
            } else if (d < petal) {
              col = Mix({0.15, 0.55, 0.85}, {0.20, 0.80, 0.70}, d / r_in);
              hit = true;
            }
          }
          if (hit) {
            sum = Add(sum, col);
            cover += 1;
          }
        }
      }
      uint8_t* p = row + int64_t(x) * 4;
      if (cover > 0) {
        const TRgb col = Scale(sum, 1.0 / cover);
        p[0] = Byte(col.b);
        p[1] = Byte(col.g);
        p[2] = Byte(col.r);
      }
      p[3] = Byte(cover / (kSub * kSub));
    }
  }
  return b;
}

}  // namespace zem
