#include "engine/nav_bar_pictures.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace zem {

namespace {

inline uint32_t Px(const TBitmap& b, int32_t x, int32_t y) {
  uint32_t v;
  std::memcpy(&v, b.Row(y) + int64_t(x) * 4, 4);
  return v;
}

inline void SetPx(TBitmap& b, int32_t x, int32_t y, uint32_t v) { std::memcpy(b.Row(y) + int64_t(x) * 4, &v, 4); }

inline uint32_t Pack(int a, int r, int g, int b) {
  return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | uint32_t(b);
}

inline int Clamp8(double v) { return v <= 0 ? 0 : v >= 255 ? 255 : int(v + 0.5); }

// Any picture's pixel as ARGB; 32-bit pictures read straight.
inline uint32_t Argb(const TBitmap& b, int32_t x, int32_t y) {
  return b.Format() == TPixelFormat::Argb32 ? Px(b, x, y) : b.GetPixel(x, y);
}

// One output sample of a resampling pass: the first source index and its weights.
struct TTaps {
  int32_t first = 0;
  std::vector<float> weights;
};

std::vector<TTaps> MakeTaps(int32_t from, int32_t to) {
  std::vector<TTaps> taps(static_cast<size_t>(to));
  const double ratio = double(from) / double(to);
  const double radius = std::max(1.0, ratio);
  for (int32_t i = 0; i < to; ++i) {
    const double centre = (i + 0.5) * ratio - 0.5;
    int32_t lo = int32_t(std::floor(centre - radius)) + 1;
    int32_t hi = int32_t(std::ceil(centre + radius)) - 1;
    lo = std::max(lo, 0);
    hi = std::min(hi, from - 1);
    TTaps& t = taps[size_t(i)];
    double sum = 0;
    std::vector<double> w;
    for (int32_t s = lo; s <= hi; ++s) {
      const double d = std::max(0.0, 1.0 - std::abs(s - centre) / radius);
      w.push_back(d);
      sum += d;
    }
    if (w.empty() || sum <= 0) {
      // The nearest sample alone.
      t.first = std::clamp(int32_t(std::lround(centre)), 0, from - 1);
      t.weights = {1.0f};
      continue;
    }
    t.first = lo;
    for (double d : w) t.weights.push_back(float(d / sum));
  }
  return taps;
}

}  // namespace

TRectI IntersectRect(const TRectI& a, const TRectI& b) {
  TRectI r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.IsEmpty()) return {};
  return r;
}

TRectI UnionRect(const TRectI& a, const TRectI& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

TRectI PictureRect(const TBitmap& b) { return {0, 0, b.Width(), b.Height()}; }

bool RectInside(const TRectI& r, const TBitmap& b) {
  return r.left >= 0 && r.top >= 0 && r.right >= r.left && r.bottom >= r.top && int64_t(r.right) <= b.Width() &&
         int64_t(r.bottom) <= b.Height();
}

uint32_t BlendPixel(uint32_t dst, uint32_t src) {
  const uint32_t sa = src >> 24;
  if (sa == 255) return src;
  if (sa == 0) return dst;
  const uint32_t da = dst >> 24;
  // out alpha = sa + da (1 - sa); colours weighted by their alpha, in 1/255 units.
  const uint32_t dw = da * (255 - sa);  // destination weight x 255
  const uint32_t oa255 = sa * 255 + dw;
  if (oa255 == 0) return 0;
  auto channel = [&](int shift) {
    const uint32_t s = (src >> shift) & 255, d = (dst >> shift) & 255;
    return (s * sa * 255 + d * dw + oa255 / 2) / oa255;
  };
  const uint32_t oa = (oa255 + 127) / 255;
  return (oa << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

TBitmap CutPicture(const TBitmap& src, const TRectI& r) {
  TBitmap out;
  if (src.Empty() || !RectInside(r, src) || r.IsEmpty()) return out;
  if (!out.Allocate(r.Width(), r.Height(), TPixelFormat::Argb32)) return out;
  for (int32_t y = 0; y < r.Height(); ++y)
    for (int32_t x = 0; x < r.Width(); ++x) SetPx(out, x, y, src.GetPixel(r.left + x, r.top + y));
  return out;
}

void GreyPicture(TBitmap& b, bool quarterAlpha) {
  if (b.Format() != TPixelFormat::Argb32) b.ConvertTo(TPixelFormat::Argb32);
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint32_t p = Px(b, x, y);
      const uint32_t grey = (((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255)) / 3;
      uint32_t a = p >> 24;
      if (quarterAlpha) a /= 4;
      SetPx(b, x, y, (a << 24) | (grey << 16) | (grey << 8) | grey);
    }
}

TBitmap StretchPicture(const TBitmap& src, int32_t w, int32_t h) {
  TBitmap out;
  if (src.Empty() || w < 1 || h < 1 || !TBitmap::SizeAllowed(w, h)) return out;
  if (!out.Allocate(w, h, TPixelFormat::Argb32)) return out;
  const int32_t sw = src.Width(), sh = src.Height();
  if (sw == w && sh == h) {
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) SetPx(out, x, y, src.GetPixel(x, y));
    return out;
  }
  const std::vector<TTaps> tx = MakeTaps(sw, w), ty = MakeTaps(sh, h);
  // Horizontal pass into premultiplied floats (w x sh), then the vertical pass.
  std::vector<float> mid(size_t(w) * size_t(sh) * 4);
  std::vector<float> row(size_t(sw) * 4);
  for (int32_t y = 0; y < sh; ++y) {
    for (int32_t x = 0; x < sw; ++x) {
      const uint32_t p = Argb(src, x, y);
      const float a = float(p >> 24) / 255.0f;
      float* r = &row[size_t(x) * 4];
      r[0] = a;
      r[1] = float((p >> 16) & 255) * a;
      r[2] = float((p >> 8) & 255) * a;
      r[3] = float(p & 255) * a;
    }
    for (int32_t x = 0; x < w; ++x) {
      const TTaps& t = tx[size_t(x)];
      float acc[4] = {0, 0, 0, 0};
      for (size_t k = 0; k < t.weights.size(); ++k) {
        const float* r = &row[(size_t(t.first) + k) * 4];
        for (int c = 0; c < 4; ++c) acc[c] += r[c] * t.weights[k];
      }
      std::memcpy(&mid[(size_t(y) * size_t(w) + size_t(x)) * 4], acc, sizeof acc);
    }
  }
  for (int32_t y = 0; y < h; ++y) {
    const TTaps& t = ty[size_t(y)];
    for (int32_t x = 0; x < w; ++x) {
      float acc[4] = {0, 0, 0, 0};
      for (size_t k = 0; k < t.weights.size(); ++k) {
        const float* m = &mid[((size_t(t.first) + k) * size_t(w) + size_t(x)) * 4];
        for (int c = 0; c < 4; ++c) acc[c] += m[c] * t.weights[k];
      }
      const int a = Clamp8(acc[0] * 255.0);
      if (a == 0) {
        SetPx(out, x, y, 0);
        continue;
      }
      SetPx(out, x, y, Pack(a, Clamp8(acc[1] / acc[0]), Clamp8(acc[2] / acc[0]), Clamp8(acc[3] / acc[0])));
    }
  }
  return out;
}

TBitmap StretchThreeSlice(const TBitmap& src, int32_t w, int32_t h, int32_t left, int32_t right) {
  TBitmap out;
  if (src.Empty() || w < 1 || h < 1 || !TBitmap::SizeAllowed(w, h)) return out;
  left = std::clamp(left, 0, src.Width());
  right = std::clamp(right, 0, src.Width() - left);
  int32_t l = left, r = right;
  if (int64_t(l) + r > w) {
    l = int32_t(int64_t(w) * left / std::max(1, left + right));
    r = w - l;
  }
  if (!out.Allocate(w, h, TPixelFormat::Argb32)) return out;
  struct TPart {
    int32_t srcLeft, srcWidth, dstLeft, dstWidth;
  };
  const TPart parts[3] = {{0, left, 0, l},
                          {left, src.Width() - left - right, l, w - l - r},
                          {src.Width() - right, right, w - r, r}};
  for (const TPart& p : parts) {
    if (p.srcWidth <= 0 || p.dstWidth <= 0) continue;
    const TBitmap piece = StretchPicture(CutPicture(src, {p.srcLeft, 0, p.srcLeft + p.srcWidth, src.Height()}),
                                         p.dstWidth, h);
    if (piece.Empty()) continue;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < p.dstWidth; ++x) SetPx(out, p.dstLeft + x, y, Px(piece, x, y));
  }
  return out;
}

void DrawOver(TBitmap& dst, const TBitmap& src, int32_t x, int32_t y, const TRectI& clip) {
  if (dst.Empty() || src.Empty()) return;
  const TRectI target{x, y, int32_t(std::min<int64_t>(int64_t(x) + src.Width(), INT32_MAX)),
                      int32_t(std::min<int64_t>(int64_t(y) + src.Height(), INT32_MAX))};
  const TRectI r = IntersectRect(IntersectRect(target, clip), PictureRect(dst));
  for (int32_t py = r.top; py < r.bottom; ++py)
    for (int32_t px = r.left; px < r.right; ++px)
      SetPx(dst, px, py, BlendPixel(Px(dst, px, py), Argb(src, px - x, py - y)));
}

void TileOver(TBitmap& dst, const TBitmap& tex, const TRectI& cell, const TRectI& clip) {
  if (dst.Empty() || tex.Empty()) return;
  const TRectI r = IntersectRect(IntersectRect(cell, clip), PictureRect(dst));
  const int64_t tw = tex.Width(), th = tex.Height();
  for (int32_t py = r.top; py < r.bottom; ++py) {
    const int32_t ty = int32_t((int64_t(py) - cell.top) % th);
    for (int32_t px = r.left; px < r.right; ++px) {
      const int32_t tx = int32_t((int64_t(px) - cell.left) % tw);
      SetPx(dst, px, py, BlendPixel(Px(dst, px, py), Argb(tex, tx, ty)));
    }
  }
}

void CopyRect(TBitmap& dst, const TBitmap& src, const TRectI& rect) {
  const TRectI r = IntersectRect(IntersectRect(rect, PictureRect(dst)), PictureRect(src));
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) SetPx(dst, x, y, Argb(src, x, y));
}

void ClearRect(TBitmap& dst, const TRectI& rect) {
  const TRectI r = IntersectRect(rect, PictureRect(dst));
  for (int32_t y = r.top; y < r.bottom; ++y) std::memset(dst.Row(y) + int64_t(r.left) * 4, 0, size_t(r.Width()) * 4);
}

void ShiftHue(TBitmap& dst, const TRectI& rect, int32_t degrees) {
  const double shift = double(int64_t(degrees) * 256 / 360);
  const TRectI r = IntersectRect(rect, PictureRect(dst));
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) {
      const uint32_t p = Px(dst, x, y);
      const double red = ((p >> 16) & 255) / 255.0, green = ((p >> 8) & 255) / 255.0, blue = (p & 255) / 255.0;
      const double mx = std::max({red, green, blue}), mn = std::min({red, green, blue});
      const double l = (mx + mn) / 2;
      if (mx == mn) continue;  // grey: no hue to move
      const double d = mx - mn;
      const double s = l > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
      double h;  // 0..6
      if (mx == red) h = (green - blue) / d + (green < blue ? 6 : 0);
      else if (mx == green) h = (blue - red) / d + 2;
      else h = (red - green) / d + 4;
      double h256 = std::fmod(h / 6 * 256 + shift, 256.0);
      if (h256 < 0) h256 += 256;
      const double hh = h256 / 256;
      const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
      const double pp = 2 * l - q;
      auto hue = [&](double t) {
        if (t < 0) t += 1;
        if (t > 1) t -= 1;
        if (t < 1.0 / 6) return pp + (q - pp) * 6 * t;
        if (t < 0.5) return q;
        if (t < 2.0 / 3) return pp + (q - pp) * (2.0 / 3 - t) * 6;
        return pp;
      };
      SetPx(dst, x, y,
            Pack(int(p >> 24), Clamp8(hue(hh + 1.0 / 3) * 255), Clamp8(hue(hh) * 255), Clamp8(hue(hh - 1.0 / 3) * 255)));
    }
}

}  // namespace zem
