#include "foundation/bitmap.h"

#include <sys/mman.h>

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
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) SetPixel(x, y, argb);
}

void TBitmap::ConvertTo(TPixelFormat format) {
  if (format == format_ || Empty()) { format_ = Empty() ? format : format_; return; }
  TBitmap out;
  out.Allocate(width_, height_, format);
  for (int32_t y = 0; y < height_; ++y)
    for (int32_t x = 0; x < width_; ++x) out.SetPixel(x, y, GetPixel(x, y));
  *this = std::move(out);
}

}  // namespace zem
