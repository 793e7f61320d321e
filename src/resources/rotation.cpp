#include "resources/rotation.h"

#include <cstring>
#include <utility>

namespace zem {

TImageTransform TransformForOrientation(int orientation) {
  switch (orientation) {
    case 3: return TImageTransform::Rotate180;
    case 6: return TImageTransform::Rotate90CW;
    case 8: return TImageTransform::Rotate90CCW;
    default: return TImageTransform::None;
  }
}

TImageTransform LookupTransform(const TTransformLookup* lookup, const WideString& name,
                                int32_t& width, int32_t& height) {
  if (!lookup || !*lookup) return TImageTransform::None;
  TImageTransform t = (*lookup)(name);
  if (TransformSwapsSize(t)) std::swap(width, height);
  return t;
}

void ApplyTransform(TBitmap& bitmap, TImageTransform t) {
  if (t == TImageTransform::None || bitmap.Empty()) return;
  const int bpp = bitmap.BytesPerPixel();
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  if (t == TImageTransform::Rotate180) {
    // Reverse the rows and the pixels within each row.
    std::vector<uint8_t> tmp(static_cast<size_t>(int64_t(w) * bpp));
    for (int32_t y = 0; y < (h + 1) / 2; ++y) {
      uint8_t* a = bitmap.Row(y);
      uint8_t* b = bitmap.Row(h - 1 - y);
      if (a == b) {
        for (int32_t x = 0; x < w / 2; ++x)
          for (int c = 0; c < bpp; ++c)
            std::swap(a[int64_t(x) * bpp + c], a[int64_t(w - 1 - x) * bpp + c]);
        continue;
      }
      for (int32_t x = 0; x < w; ++x) std::memcpy(&tmp[size_t(int64_t(x) * bpp)], b + int64_t(w - 1 - x) * bpp, bpp);
      for (int32_t x = 0; x < w; ++x) std::memcpy(b + int64_t(w - 1 - x) * bpp, a + int64_t(x) * bpp, bpp);
      std::memcpy(a, tmp.data(), tmp.size());
    }
    return;
  }
  TBitmap out;
  if (!out.Allocate(h, w, bitmap.Format())) return;
  // Source pixel (x, y) goes to (h-1-y, x) when turning clockwise, to (y, w-1-x) otherwise.
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = bitmap.Row(y);
    for (int32_t x = 0; x < w; ++x) {
      int32_t nx, ny;
      if (t == TImageTransform::Rotate90CW) { nx = h - 1 - y; ny = x; }
      else { nx = y; ny = w - 1 - x; }
      std::memcpy(out.Row(ny) + int64_t(nx) * bpp, src + int64_t(x) * bpp, bpp);
    }
  }
  bitmap = std::move(out);
}

}  // namespace zem
