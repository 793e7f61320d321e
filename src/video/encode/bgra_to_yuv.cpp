#include "video/encode/bgra_to_yuv.h"

#include <cstddef>

namespace zem {

namespace {

// The BT.709 rows scaled to limited range (219/255 for luma, 224/255 for chroma), × 2^15. The
// chroma rows sum to 0, so grey stays at 128.
constexpr int32_t kYR = 5983, kYG = 20127, kYB = 2032;
constexpr int32_t kUR = -3298, kUG = -11094, kUB = 14392;
constexpr int32_t kVR = 14392, kVG = -13073, kVB = -1319;

}  // namespace

void BgraToI420(const uint8_t* first, int64_t stride, int32_t width, int32_t height, uint8_t* y, int32_t yStride,
                uint8_t* u, int32_t uStride, uint8_t* v, int32_t vStride) {
  for (int32_t row = 0; row + 1 < height; row += 2) {
    const uint8_t* a = first + stride * row;
    const uint8_t* b = a + stride;
    uint8_t* ya = y + ptrdiff_t(yStride) * row;
    uint8_t* yb = ya + yStride;
    for (int32_t x = 0; x < width; ++x) {
      ya[x] = uint8_t((kYB * a[4 * x] + kYG * a[4 * x + 1] + kYR * a[4 * x + 2] + (16 << 15) + (1 << 14)) >> 15);
      yb[x] = uint8_t((kYB * b[4 * x] + kYG * b[4 * x + 1] + kYR * b[4 * x + 2] + (16 << 15) + (1 << 14)) >> 15);
    }
    uint8_t* ur = u + ptrdiff_t(uStride) * (row / 2);
    uint8_t* vr = v + ptrdiff_t(vStride) * (row / 2);
    for (int32_t x = 0; x < width / 2; ++x) {
      // Sums of four pixels: the shift by 17 takes their mean as well.
      const int32_t bs = a[8 * x] + a[8 * x + 4] + b[8 * x] + b[8 * x + 4];
      const int32_t gs = a[8 * x + 1] + a[8 * x + 5] + b[8 * x + 1] + b[8 * x + 5];
      const int32_t rs = a[8 * x + 2] + a[8 * x + 6] + b[8 * x + 2] + b[8 * x + 6];
      ur[x] = uint8_t((kUR * rs + kUG * gs + kUB * bs + (128 << 17) + (1 << 16)) >> 17);
      vr[x] = uint8_t((kVR * rs + kVG * gs + kVB * bs + (128 << 17) + (1 << 16)) >> 17);
    }
  }
}

}  // namespace zem
