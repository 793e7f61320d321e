#include "demo_buttons.h"

#include <algorithm>
#include <cmath>

namespace zem {

TBitmap PaintButtonPiece(int state) {
  const int32_t n = kDemoButtonSide, third = n / 3;
  TBitmap b;
  b.Allocate(n, n, TPixelFormat::Argb32);
  // Base colours of the top and the bottom of the bar.
  const double top[3] = {70, 150, 200}, bottom[3] = {20, 60, 110};
  const double light = state == 1 ? 1.25 : state == 2 ? 0.7 : 1.0;
  const double r = third;  // the corners' radius fills the corner pieces
  for (int32_t y = 0; y < n; ++y)
    for (int32_t x = 0; x < n; ++x) {
      // Distance outside the rounded square (negative inside), for an antialiased edge.
      const double cx = std::clamp(x + 0.5, r, n - r), cy = std::clamp(y + 0.5, r, n - r);
      const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy) - (r - 0.5);
      const double cover = std::clamp(0.5 - d, 0.0, 1.0);
      if (cover <= 0) continue;
      double t = double(y) / (n - 1);
      if (state == 2) t = 1 - t;
      // The gloss: a light band over the upper part (the lower one when pressed).
      const double gy = state == 2 ? 1 - double(y) / (n - 1) : double(y) / (n - 1);
      const double gloss = gy < 0.45 ? 0.35 * (1 - gy / 0.45) : 0;
      uint32_t px = uint32_t(std::lround(cover * 255)) << 24;
      for (int c = 0; c < 3; ++c) {
        double v = (top[c] + (bottom[c] - top[c]) * t) * light;
        v += (255 - v) * gloss;
        px |= uint32_t(std::clamp(std::lround(v), 0L, 255L)) << (16 - 8 * c);
      }
      b.SetPixel(x, y, px);
    }
  return b;
}

std::string DemoButtonThemeIni() {
  const int32_t a = kDemoButtonSide / 3, b = 2 * a, c = kDemoButtonSide;
  auto piece = [&](const std::string& file, int32_t l, int32_t t, int32_t r, int32_t bt) {
    return file + "," + std::to_string(l) + "," + std::to_string(t) + "," + std::to_string(r) + "," + std::to_string(bt);
  };
  std::string s = "; the demo's button theme: a rounded glossy bar in three looks\r\n";
  const char* sections[3] = {"NormalState", "HoverState", "ClickState"};
  const char* files[3] = {"normal.png", "hover.png", "click.png"};
  for (int i = 0; i < 3; ++i) {
    const std::string f = files[i];
    s += std::string("[") + sections[i] + "]\r\n";
    s += "LeftTop=" + piece(f, 0, 0, a, a) + "\r\nTop=" + piece(f, a, 0, b, a) + "\r\nRightTop=" + piece(f, b, 0, c, a) +
         "\r\nRight=" + piece(f, b, a, c, b) + "\r\nRightBottom=" + piece(f, b, b, c, c) + "\r\nBottom=" +
         piece(f, a, b, b, c) + "\r\nLeftBottom=" + piece(f, 0, b, a, c) + "\r\nLeft=" + piece(f, 0, a, a, b) +
         "\r\nCenter=" + piece(f, a, a, b, b) + "\r\n";
  }
  return s + "[TextParams]\r\nColor=255,255,255\r\nBtnOffset=45\r\nBtnMinWidth=260\r\nFiltering=Bilinear\r\n";
}

}  // namespace zem
