#include "resources/bmp_writer.h"

namespace zem {

namespace {

void Put16(std::vector<uint8_t>& o, size_t at, uint32_t v) {
  o[at] = uint8_t(v);
  o[at + 1] = uint8_t(v >> 8);
}
void Put32(std::vector<uint8_t>& o, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) o[at + size_t(i)] = uint8_t(v >> (8 * i));
}

}  // namespace

bool EncodeBmp(const TBitmap& b, std::vector<uint8_t>& out) {
  out.clear();
  if (b.Empty()) return false;
  bool alpha = false;
  if (b.Format() == TPixelFormat::Argb32)
    for (int32_t y = 0; y < b.Height() && !alpha; ++y)
      for (int32_t x = 0; x < b.Width() && !alpha; ++x) alpha = (b.GetPixel(x, y) >> 24) != 255;
  const int bytes = alpha ? 4 : 3;
  const uint64_t stride = (uint64_t(b.Width()) * uint64_t(bytes) + 3) & ~uint64_t(3);
  const uint64_t size = 54 + stride * uint64_t(b.Height());
  if (size > 0xFFFFFFFFull) return false;
  out.assign(size_t(size), 0);
  out[0] = 'B';
  out[1] = 'M';
  Put32(out, 2, uint32_t(size));
  Put32(out, 10, 54);
  Put32(out, 14, 40);
  Put32(out, 18, uint32_t(b.Width()));
  Put32(out, 22, uint32_t(b.Height()));  // positive: bottom-up
  Put16(out, 26, 1);
  Put16(out, 28, uint32_t(bytes * 8));
  Put32(out, 34, uint32_t(stride * uint64_t(b.Height())));
  Put32(out, 38, 3780);  // 96 pixels per inch
  Put32(out, 42, 3780);
  for (int32_t y = 0; y < b.Height(); ++y) {
    uint8_t* row = out.data() + 54 + stride * uint64_t(b.Height() - 1 - y);
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint32_t p = b.GetPixel(x, y);
      uint8_t* d = row + size_t(x) * size_t(bytes);
      d[0] = uint8_t(p);
      d[1] = uint8_t(p >> 8);
      d[2] = uint8_t(p >> 16);
      if (alpha) d[3] = uint8_t(p >> 24);
    }
  }
  return true;
}

}  // namespace zem
