#include "resources/generated/button_pixels.h"

#include <algorithm>
#include <cmath>

namespace zem {

namespace {

// The piece's rectangle inside its picture.
TRectI Clipped(const TButtonPieceImage& p) {
  if (!p.picture || p.picture->Empty()) return {};
  TRectI r{std::max(p.rect.left, 0), std::max(p.rect.top, 0), std::min(p.rect.right, p.picture->Width()),
           std::min(p.rect.bottom, p.picture->Height())};
  return r.IsEmpty() ? TRectI{} : r;
}

int32_t Width(const TButtonPieceImage& p) { return std::max(p.rect.right - p.rect.left, 0); }
int32_t Height(const TButtonPieceImage& p) { return std::max(p.rect.bottom - p.rect.top, 0); }

double Hue2Rgb(double p, double q, double t) {
  if (t < 0) t += 1;
  if (t > 1) t -= 1;
  if (t < 1.0 / 6) return p + (q - p) * 6 * t;
  if (t < 0.5) return q;
  if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
  return p;
}

}  // namespace

bool ComposeButton(const TButtonPieceImage (&pieces)[kPieceCount], int32_t W, int32_t H, TBitmap& out) {
  if (!out.Allocate(W, H, TPixelFormat::Argb32)) return false;
  const int32_t mx0 = pieces[kPieceLeft].rect.right, mx1 = W - Width(pieces[kPieceRight]);
  const int32_t my0 = pieces[kPieceTop].rect.bottom, my1 = H - Height(pieces[kPieceBottom]);
  auto put = [&](int32_t dx, int32_t dy, const TBitmap& src, int32_t sx, int32_t sy) {
    if (dx < 0 || dy < 0 || dx >= W || dy >= H) return;
    reinterpret_cast<uint32_t*>(out.Row(dy))[dx] = src.GetPixel(sx, sy);
  };
  // Pieces copied pixel for pixel; `rows` limits the destination rows (the middle area's for
  // the left and right pieces), (dx, dy) moves them.
  auto copy = [&](int piece, int32_t dx, int32_t dy, bool middleRows) {
    const TRectI r = Clipped(pieces[piece]);
    for (int32_t y = r.top; y < r.bottom; ++y) {
      if (middleRows && (y + dy < my0 || y + dy >= my1)) continue;
      for (int32_t x = r.left; x < r.right; ++x) put(x + dx, y + dy, *pieces[piece].picture, x, y);
    }
  };
  // Pieces whose left column is repeated across the middle columns.
  auto stretch = [&](int piece, int32_t dy, bool middleRows) {
    const TRectI r = Clipped(pieces[piece]);
    if (r.IsEmpty() || r.left != std::max(pieces[piece].rect.left, 0)) return;
    for (int32_t y = r.top; y < r.bottom; ++y) {
      if (middleRows && (y < my0 || y >= my1)) continue;
      const uint32_t c = pieces[piece].picture->GetPixel(r.left, y);
      const int32_t ty = y + dy;
      if (ty < 0 || ty >= H) continue;
      uint32_t* row = reinterpret_cast<uint32_t*>(out.Row(ty));
      for (int32_t x = std::max(mx0, 0); x < std::min(mx1, W); ++x) row[x] = c;
    }
  };
  const TRectI& rightTop = pieces[kPieceRightTop].rect;
  const TRectI& right = pieces[kPieceRight].rect;
  const TRectI& rightBottom = pieces[kPieceRightBottom].rect;
  const TRectI& leftBottom = pieces[kPieceLeftBottom].rect;
  const TRectI& bottom = pieces[kPieceBottom].rect;
  copy(kPieceLeftTop, 0, 0, false);
  copy(kPieceLeft, 0, 0, true);
  copy(kPieceLeftBottom, 0, my1 - leftBottom.top, false);
  copy(kPieceRightTop, mx1 - rightTop.left, 0, false);
  copy(kPieceRight, mx1 - right.left, 0, true);
  copy(kPieceRightBottom, mx1 - rightBottom.left, my1 - rightBottom.top, false);
  stretch(kPieceTop, 0, false);
  stretch(kPieceBottom, my1 - bottom.top, false);
  stretch(kPieceCenter, 0, true);
  return true;
}

uint32_t AdjustHslColour(uint32_t rgb, int32_t hue, int32_t saturation, int32_t lightness) {
  const double r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
  // Hue, saturation and lightness on a 0..255 scale; hue in sixths of 42.5.
  double h = 0, s = 0, l = (mx + mn) / 2;
  if (mx != mn) {
    const double d = mx - mn;
    s = l < 127.5 ? 255 * d / (mx + mn) : 255 * d / (510 - mx - mn);
    if (r == mx)
      h = (g - b) / d;
    else if (g == mx)
      h = 2 + (b - r) / d;
    else
      h = 4 + (r - g) / d;
    h *= 42.5;
    if (h < 0) h += 255;
  }
  // The shift wraps around a byte, so 360 degrees leave the hue as it was.
  h = std::fmod(h + hue * 256.0 / 360.0, 256.0);
  if (h < 0) h += 256;
  s = std::clamp(s + saturation * 256.0 / 100.0, 0.0, 255.0);
  l = std::clamp(l + lightness * 256.0 / 100.0, 0.0, 255.0);
  double R = l, G = l, B = l;
  if (s > 0) {
    const double ln = l / 255, sn = s / 255, hn = h / 255;
    const double q = ln < 0.5 ? ln * (1 + sn) : ln + sn - ln * sn, p = 2 * ln - q;
    R = 255 * Hue2Rgb(p, q, hn + 1.0 / 3);
    G = 255 * Hue2Rgb(p, q, hn);
    B = 255 * Hue2Rgb(p, q, hn - 1.0 / 3);
  }
  auto ch = [](double v) { return uint32_t(std::clamp(std::lround(v), 0L, 255L)); };
  return ch(R) << 16 | ch(G) << 8 | ch(B);
}

void AdjustHsl(TBitmap& bmp, int32_t hue, int32_t saturation, int32_t lightness) {
  if ((hue == 0 && saturation == 0 && lightness == 0) || bmp.Empty()) return;
  for (int32_t y = 0; y < bmp.Height(); ++y)
    for (int32_t x = 0; x < bmp.Width(); ++x) {
      const uint32_t p = bmp.GetPixel(x, y);
      bmp.SetPixel(x, y, (p & 0xFF000000u) | AdjustHslColour(p & 0xFFFFFFu, hue, saturation, lightness));
    }
}

}  // namespace zem
