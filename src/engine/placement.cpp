#include "engine/placement.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "foundation/assert.h"

namespace zem {

const std::array<WideView, 9>& PlacementNames() {
  static const std::array<WideView, 9> kNames = {u"Left-Top",     u"Top",    u"Right-Top",
                                                 u"Right",        u"Right-Bottom", u"Bottom",
                                                 u"Left-Bottom",  u"Left",   u"Center"};
  return kNames;
}

TPlacement PlacementFor(TPlacePosition position, float offset) {
  const float nearEdge = offset - 100;  // left or top edge, moved inwards
  const float farEdge = 100 - offset;   // right or bottom edge, moved inwards
  switch (position) {
    case TPlacePosition::LeftTop: return {{nearEdge, nearEdge}, {-100, -100}};
    case TPlacePosition::Top: return {{0, nearEdge}, {0, -100}};
    case TPlacePosition::RightTop: return {{farEdge, nearEdge}, {100, -100}};
    case TPlacePosition::Right: return {{farEdge, 0}, {100, 0}};
    case TPlacePosition::RightBottom: return {{farEdge, farEdge}, {100, 100}};
    case TPlacePosition::Bottom: return {{0, farEdge}, {0, 100}};
    case TPlacePosition::LeftBottom: return {{nearEdge, farEdge}, {-100, 100}};
    case TPlacePosition::Left: return {{nearEdge, 0}, {-100, 0}};
    case TPlacePosition::Center: return {{0, 0}, {0, 0}};
  }
  ZEM_FAIL("unknown placement position");
}

TPlacePosition LogoPosition(int32_t code) {
  switch (code) {
    case 0: return TPlacePosition::Left;
    case 1: return TPlacePosition::Top;
    case 2: return TPlacePosition::Right;
    case 3: return TPlacePosition::Bottom;
    case 5: return TPlacePosition::LeftTop;
    case 6: return TPlacePosition::RightTop;
    case 7: return TPlacePosition::RightBottom;
    case 8: return TPlacePosition::LeftBottom;
    default: return TPlacePosition::Center;
  }
}

int32_t RoundToInt(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::round(v);
  if (r >= double(INT32_MAX)) return INT32_MAX;
  if (r <= double(INT32_MIN)) return INT32_MIN;
  return int32_t(r);
}

TRectI PlaceRect(const TRectI& area, const TPlacement& placement, int32_t width, int32_t height) {
  const double areaW = double(area.Width()), areaH = double(area.Height());
  const int64_t left = int64_t(RoundToInt((placement.position.x / 100.0 + 1) * areaW / 2)) + area.left -
                       RoundToInt(double(width) * (placement.anchor.x + 100.0) / 200.0);
  const int64_t top = int64_t(RoundToInt((placement.position.y / 100.0 + 1) * areaH / 2)) + area.top -
                      RoundToInt(double(height) * (placement.anchor.y + 100.0) / 200.0);
  auto clamp32 = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2)); };
  TRectI r;
  r.left = clamp32(left);
  r.top = clamp32(top);
  r.right = clamp32(int64_t(r.left) + width);
  r.bottom = clamp32(int64_t(r.top) + height);
  return r;
}

TPointI HalvedSize(int32_t width, int32_t height, double targetWidth, double targetHeight) {
  int64_t b = width, c = height;
  if (!(targetWidth > 0) || !(targetHeight > 0) || !std::isfinite(targetWidth) || !std::isfinite(targetHeight))
    return {width, height};
  // A 1 x 1 picture cannot shrink further, whatever the target.
  while (b >= 2 * targetWidth && c >= 2 * targetHeight && (b > 1 || c > 1)) {
    b = (b + 1) / 2;
    c = (c + 1) / 2;
  }
  return {int32_t(b), int32_t(c)};
}

TBitmap HalvePicture(const TBitmap& source) {
  ZEM_ASSERT(source.Format() == TPixelFormat::Argb32);
  TBitmap out;
  if (source.Empty()) return out;
  const int32_t w = (source.Width() + 1) / 2, h = (source.Height() + 1) / 2;
  if (!out.Allocate(w, h, TPixelFormat::Argb32)) return out;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t y0 = 2 * y, y1 = std::min(2 * y + 1, source.Height() - 1);
    uint8_t* dst = out.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t x0 = 2 * x, x1 = std::min(2 * x + 1, source.Width() - 1);
      // Distinct source pixels of this cell (an odd edge repeats none).
      const uint8_t* px[4];
      int n = 0;
      px[n++] = source.Row(y0) + int64_t(x0) * 4;
      if (x1 != x0) px[n++] = source.Row(y0) + int64_t(x1) * 4;
      if (y1 != y0) {
        px[n++] = source.Row(y1) + int64_t(x0) * 4;
        if (x1 != x0) px[n++] = source.Row(y1) + int64_t(x1) * 4;
      }
      uint32_t alpha = 0, sum[3] = {0, 0, 0}, plain[3] = {0, 0, 0};
      for (int i = 0; i < n; ++i) {
        const uint32_t a = px[i][3];
        alpha += a;
        for (int ch = 0; ch < 3; ++ch) {
          sum[ch] += uint32_t(px[i][ch]) * a;
          plain[ch] += px[i][ch];
        }
      }
      uint8_t* d = dst + int64_t(x) * 4;
      for (int ch = 0; ch < 3; ++ch)
        d[ch] = uint8_t(alpha ? (sum[ch] + alpha / 2) / alpha : (plain[ch] + uint32_t(n) / 2) / uint32_t(n));
      d[3] = uint8_t((alpha + uint32_t(n) / 2) / uint32_t(n));
    }
  }
  return out;
}

}  // namespace zem
