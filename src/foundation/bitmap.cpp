#include "foundation/bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace zem {

namespace {
constexpr size_t kMapThreshold = size_t(4) << 20;
constexpr size_t kHugePage = size_t(2) << 20;
}  // namespace

TPixelBuffer::TPixelBuffer(size_t size) {
  if (size == 0) return;
  if (size >= kMapThreshold) {
    size_t len = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    madvise(p, len, MADV_HUGEPAGE);  // a hint; ignored where unsupported
    data_ = static_cast<uint8_t*>(p);
    mapped_ = len;
  } else {
    data_ = static_cast<uint8_t*>(std::calloc(size, 1));
    if (!data_) throw std::bad_alloc();
  }
  size_ = size;
}

TPixelBuffer::TPixelBuffer(const TPixelBuffer& o) : TPixelBuffer(o.size_) {
  if (size_) std::memcpy(data_, o.data_, size_);
}

TPixelBuffer::~TPixelBuffer() {
  if (mapped_) munmap(data_, mapped_);
  else std::free(data_);
}

void TPixelBuffer::Swap(TPixelBuffer& o) noexcept {
  std::swap(data_, o.data_);
  std::swap(size_, o.size_);
  std::swap(mapped_, o.mapped_);
}

bool TBitmap::Allocate(int32_t width, int32_t height, TPixelFormat format) {
  Clear();
  if (!SizeAllowed(width, height)) return false;
  width_ = width;
  height_ = height;
  format_ = format;
  stride_ = StrideFor(width, format);
  data_ = TPixelBuffer(static_cast<size_t>(stride_ * height));
  return true;
}

uint32_t TBitmap::GetPixel(int32_t x, int32_t y) const {
  const uint8_t* p = Row(y) + int64_t(x) * BytesPerPixel();
  switch (format_) {
    case TPixelFormat::Grey8: return 0xFF000000u | (uint32_t(p[0]) * 0x010101u);
    case TPixelFormat::Rgb24: return 0xFF000000u | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    case TPixelFormat::Argb32:
      return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
  }
  return 0;
}

void TBitmap::SetPixel(int32_t x, int32_t y, uint32_t argb) {
  uint8_t* p = Row(y) + int64_t(x) * BytesPerPixel();
  uint8_t b = argb & 0xFF, g = (argb >> 8) & 0xFF, r = (argb >> 16) & 0xFF, a = argb >> 24;
  switch (format_) {
    case TPixelFormat::Grey8: p[0] = static_cast<uint8_t>((r * 77 + g * 150 + b * 29) >> 8); break;
    case TPixelFormat::Rgb24: p[0] = b; p[1] = g; p[2] = r; break;
    case TPixelFormat::Argb32: p[0] = b; p[1] = g; p[2] = r; p[3] = a; break;
  }
}

void TBitmap::Fill(uint32_t argb) {
  if (Empty()) return;
  // One row pixel by pixel, the others copied from it.
  for (int32_t x = 0; x < width_; ++x) SetPixel(x, 0, argb);
  for (int32_t y = 1; y < height_; ++y) std::memcpy(Row(y), Row(0), size_t(stride_));
}

void TBitmap::ConvertTo(TPixelFormat format) {
  if (format == format_ || Empty()) { format_ = Empty() ? format : format_; return; }
  TBitmap out;
  if (!out.Allocate(width_, height_, format)) return;
  for (int32_t y = 0; y < height_; ++y) ConvertRow(Row(y), format_, out.Row(y), format, width_);
  *this = std::move(out);
}

int32_t TBitmap::ReducedSide(int32_t side, int levels) {
  for (int i = 0; i < levels && side > 1; ++i) side = (side + 1) / 2;
  return side;
}

void ConvertRow(const uint8_t* s, TPixelFormat from, uint8_t* d, TPixelFormat to, int32_t count) {
  const size_t n = size_t(std::max(count, 0));
  if (from == to) {
    std::memcpy(d, s, n * size_t(TBitmap::BytesPerPixel(from)));
    return;
  }
  auto grey = [](const uint8_t* p) { return uint8_t((p[2] * 77 + p[1] * 150 + p[0] * 29) >> 8); };
  switch (from) {
    case TPixelFormat::Rgb24:
      if (to == TPixelFormat::Argb32) {
        for (size_t x = 0; x < n; ++x, s += 3, d += 4) d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
      } else {
        for (size_t x = 0; x < n; ++x, s += 3) d[x] = grey(s);
      }
      break;
    case TPixelFormat::Argb32:
      if (to == TPixelFormat::Rgb24) {
        for (size_t x = 0; x < n; ++x, s += 4, d += 3) d[0] = s[0], d[1] = s[1], d[2] = s[2];
      } else {
        for (size_t x = 0; x < n; ++x, s += 4) d[x] = grey(s);
      }
      break;
    case TPixelFormat::Grey8:
      if (to == TPixelFormat::Argb32) {
        for (size_t x = 0; x < n; ++x, d += 4) d[0] = d[1] = d[2] = s[x], d[3] = 255;
      } else {
        for (size_t x = 0; x < n; ++x, d += 3) d[0] = d[1] = d[2] = s[x];
      }
      break;
  }
}

namespace {

// One output row from two source rows (the same row twice for an odd last row).
template <int B>
void HalveRow(const uint8_t* r0, const uint8_t* r1, uint8_t* d, int32_t srcWidth) {
  const int32_t pairs = srcWidth / 2;
  for (int32_t x = 0; x < pairs; ++x, r0 += 2 * B, r1 += 2 * B, d += B)
    for (int c = 0; c < B; ++c) d[c] = uint8_t((r0[c] + r0[B + c] + r1[c] + r1[B + c] + 2) >> 2);
  if (srcWidth & 1)
    for (int c = 0; c < B; ++c) d[c] = uint8_t((r0[c] + r1[c] + 1) >> 1);
}

}  // namespace

void HalvePixels(const uint8_t* src, int64_t srcStride, int32_t w, int32_t h, TPixelFormat format, uint8_t* dst,
                 int64_t dstStride) {
  const int32_t oh = TBitmap::ReducedSide(h, 1);
  for (int32_t y = 0; y < oh; ++y) {
    const uint8_t* r0 = src + int64_t(std::min(2 * y, h - 1)) * srcStride;
    const uint8_t* r1 = src + int64_t(std::min(2 * y + 1, h - 1)) * srcStride;
    uint8_t* d = dst + int64_t(y) * dstStride;
    switch (format) {
      case TPixelFormat::Grey8: HalveRow<1>(r0, r1, d, w); break;
      case TPixelFormat::Rgb24: HalveRow<3>(r0, r1, d, w); break;
      case TPixelFormat::Argb32: HalveRow<4>(r0, r1, d, w); break;
    }
  }
}

TBitmap HalveBitmap(const TBitmap& src) {
  TBitmap out;
  if (src.Empty()) return out;
  const int32_t w = TBitmap::ReducedSide(src.Width(), 1), h = TBitmap::ReducedSide(src.Height(), 1);
  if (!out.Allocate(w, h, src.Format())) return out;
  HalvePixels(src.Data(), src.Stride(), src.Width(), src.Height(), src.Format(), out.Data(), out.Stride());
  return out;
}

TBitmap ReduceBitmap(const TBitmap& src, int levels, TPixelFormat format) {
  if (src.Empty()) return {};
  TBitmap cur;
  const TBitmap* at = &src;
  for (int i = 0; i < levels && (at->Width() > 1 || at->Height() > 1); ++i) {
    cur = HalveBitmap(*at);
    if (cur.Empty()) return {};
    at = &cur;
  }
  if (at == &src) {
    if (src.Format() == format) return src;
    TBitmap out;
    if (!out.Allocate(src.Width(), src.Height(), format)) return {};
    for (int32_t y = 0; y < src.Height(); ++y) ConvertRow(src.Row(y), src.Format(), out.Row(y), format, src.Width());
    return out;
  }
  cur.ConvertTo(format);
  return cur;
}

}  // namespace zem
