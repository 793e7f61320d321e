#include "demo_navbar.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace zem {

namespace {

constexpr int32_t kButton = 32;  // a button image's side
constexpr int kSamples = 4;      // per pixel side, for smooth edges

using TShape = std::function<bool(double x, double y)>;  // x, y in 0..1 of the image

struct TColour {
  double r, g, b, a;
};

uint32_t Pack(const TColour& c) {
  auto byte = [](double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return byte(c.a) << 24 | byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b);
}

// `colour` over what is there, covering the shape's share of each pixel of the w x h cell at x0.
void Fill(TBitmap& b, int32_t x0, int32_t w, int32_t h, const TShape& shape, const TColour& colour) {
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      int inside = 0;
      for (int sy = 0; sy < kSamples; ++sy)
        for (int sx = 0; sx < kSamples; ++sx)
          inside += shape((x + (sx + 0.5) / kSamples) / w, (y + (sy + 0.5) / kSamples) / h);
      if (inside == 0) continue;
      const double a = colour.a * inside / double(kSamples * kSamples);
      const uint32_t old = b.GetPixel(x0 + x, y);
      const double oa = (old >> 24) / 255.0;
      const double na = a + oa * (1 - a);
      auto mix = [&](double c, int shift) { return (c * a + ((old >> shift) & 255) / 255.0 * oa * (1 - a)) / na; };
      b.SetPixel(x0 + x, y, Pack({mix(colour.r, 16), mix(colour.g, 8), mix(colour.b, 0), na}));
    }
}

bool InTriangle(double x, double y, double ax, double ay, double bx, double by, double cx, double cy) {
  auto side = [&](double px, double py, double qx, double qy) { return (qx - px) * (y - py) - (qy - py) * (x - px); };
  const double d1 = side(ax, ay, bx, by), d2 = side(bx, by, cx, cy), d3 = side(cx, cy, ax, ay);
  return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
}

double SegmentDistance(double x, double y, double ax, double ay, double bx, double by) {
  const double dx = bx - ax, dy = by - ay;
  const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
  return std::hypot(x - (ax + t * dx), y - (ay + t * dy));
}

bool Speaker(double x, double y) {
  if (x >= 0.18 && x < 0.34 && y >= 0.4 && y <= 0.6) return true;
  return InTriangle(x, y, 0.3, 0.5, 0.5, 0.24, 0.5, 0.76) && x >= 0.3;
}

bool Cross(double x, double y, double x0, double y0, double x1, double y1, double thick) {
  return SegmentDistance(x, y, x0, y0, x1, y1) < thick || SegmentDistance(x, y, x0, y1, x1, y0) < thick;
}

TShape Icon(int index) {
  switch (index) {
    case 0:  // play
      return [](double x, double y) { return InTriangle(x, y, 0.36, 0.26, 0.36, 0.74, 0.76, 0.5); };
    case 1:  // pause
      return [](double x, double y) {
        return y >= 0.27 && y <= 0.73 && ((x >= 0.32 && x <= 0.44) || (x >= 0.56 && x <= 0.68));
      };
    case 2:  // sound on
      return [](double x, double y) {
        const double r = std::hypot(x - 0.48, y - 0.5);
        const bool waves = x > 0.56 && ((r > 0.15 && r < 0.2) || (r > 0.26 && r < 0.31));
        return Speaker(x, y) || waves;
      };
    case 3:  // sound off
      return [](double x, double y) { return Speaker(x, y) || Cross(x, y, 0.6, 0.38, 0.82, 0.62, 0.045); };
    case 4:  // backward
      return [](double x, double y) {
        return InTriangle(x, y, 0.5, 0.28, 0.5, 0.72, 0.22, 0.5) || InTriangle(x, y, 0.78, 0.28, 0.78, 0.72, 0.5, 0.5);
      };
    case 5:  // forward
      return [](double x, double y) {
        return InTriangle(x, y, 0.5, 0.28, 0.5, 0.72, 0.78, 0.5) || InTriangle(x, y, 0.22, 0.28, 0.22, 0.72, 0.5, 0.5);
      };
    default:  // exit
      return [](double x, double y) { return Cross(x, y, 0.3, 0.3, 0.7, 0.7, 0.06); };
  }
}

TBitmap Blank(int32_t w, int32_t h) {
  TBitmap b;
  b.Allocate(w, h, TPixelFormat::Argb32);
  return b;
}

// A rounded rectangle of w x h in 0..1 coordinates with corner radius r (in pixels).
TShape Rounded(int32_t w, int32_t h, double r) {
  return [w, h, r](double x, double y) {
    const double px = x * w, py = y * h;
    const double cx = std::clamp(px, r, w - r), cy = std::clamp(py, r, h - r);
    return std::hypot(px - cx, py - cy) <= r;
  };
}

}  // namespace

std::string DemoNavBarTheme() {
  return "; The demo show's navigation bar: a video-style player bar\r\n"
         "[Common]\r\nVideoStyle=1\r\nBgLeft=8\r\nBgRight=8\r\nflnm_back=back.png\r\n"
         "[Pixel positions]\r\nBarSize=1280,48\r\nTrackHeight=6\r\nBtnSize=32,32\r\nDigitSize=10,18\r\n"
         "VolumeControlLength=110\r\nLeftSpace=12\r\nButtonsTrackSpace=16\r\nTrackDigitsSpace=14\r\n"
         "DigitsSoundBtnSpace=12\r\nSoundBtnTrackSpace=8\r\nRightSpace=18\r\n"
         "[Trackbar]\r\nTrackLineLeft=3\r\nTrackLineRight=3\r\nflnm_Line=line.png\r\nflnm_Polzun=slider.png\r\n"
         "[Buttons]\r\nflnm_Normal=normal.png\r\nflnm_Hover=hover.png\r\nflnm_Click=click.png\r\n";
}

TBitmap PaintNavBarBack() {
  constexpr int32_t w = 64, h = 48;
  TBitmap b = Blank(w, h);
  for (int32_t y = 0; y < h; ++y) {
    const double t = double(y) / (h - 1);
    const TColour c{0.10 - 0.06 * t, 0.11 - 0.06 * t, 0.15 - 0.08 * t, 0.78 + 0.12 * t};
    for (int32_t x = 0; x < w; ++x) b.SetPixel(x, y, Pack(c));
  }
  // A light top edge; the ends fade out over their unstretched 8 pixels.
  for (int32_t x = 0; x < w; ++x) b.SetPixel(x, 0, Pack({0.45, 0.5, 0.6, 0.8}));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < 8; ++x)
      for (int32_t side : {x, w - 1 - x}) {
        const uint32_t p = b.GetPixel(side, y);
        const uint32_t a = uint32_t(((p >> 24) * (x + 1)) / 8);
        b.SetPixel(side, y, (p & 0x00FFFFFFu) | a << 24);
      }
  return b;
}

TBitmap PaintNavBarLine() {
  TBitmap b = Blank(32, 6);
  Fill(b, 0, 32, 6, Rounded(32, 6, 3), {0.55, 0.6, 0.72, 0.9});
  return b;
}

TBitmap PaintNavBarSlider() {
  TBitmap b = Blank(14, 22);
  Fill(b, 0, 14, 22, Rounded(14, 22, 5), {0.1, 0.12, 0.16, 0.9});
  Fill(b, 0, 14, 22, [](double x, double y) { return Rounded(12, 20, 4)((x * 14 - 1) / 12, (y * 22 - 1) / 20); },
       {0.93, 0.95, 1.0, 1.0});
  return b;
}

TBitmap PaintNavBarStrip(int state) {
  TBitmap b = Blank(7 * kButton, kButton);
  const TColour icon[3] = {{0.92, 0.93, 0.96, 0.9}, {0.75, 0.88, 1.0, 1.0}, {0.45, 0.72, 1.0, 1.0}};
  const double ring[3] = {0.0, 0.22, 0.38};
  for (int i = 0; i < 7; ++i) {
    if (ring[state] > 0)
      Fill(b, i * kButton, kButton, kButton, [](double x, double y) { return std::hypot(x - 0.5, y - 0.5) < 0.48; },
           {0.5, 0.65, 0.9, ring[state]});
    Fill(b, i * kButton, kButton, kButton, Icon(i), icon[state]);
  }
  return b;
}

}  // namespace zem
