// Small geometry types of the device layer: integer and float rectangles, 3D points.
#pragma once
#include "foundation/geometry.h"
#include <algorithm>
#include <cstdint>
#include <string>

namespace zem {

struct TIntRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const TIntRect&) const = default;
  TIntRect Intersect(const TIntRect& o) const {
    return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
            std::min(bottom, o.bottom)};
  }
  std::string ToString() const {
    return std::to_string(left) + "," + std::to_string(top) + "," + std::to_string(right) + "," +
           std::to_string(bottom);
  }
};

struct TFloatRect {
  float left = 0, top = 0, right = 0, bottom = 0;
  float Width() const { return right - left; }
  float Height() const { return bottom - top; }
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const TFloatRect&) const = default;
};

// Next power of two of n (n itself when it is one); 1 for n <= 1.
inline int32_t NextPow2(int32_t n) {
  int32_t p = 1;
  while (p < n && p < (1 << 30)) p <<= 1;
  return p;
}

}  // namespace zem
