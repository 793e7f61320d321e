// A picture in memory: rows top-down, each row padded to 4 bytes (as Windows bitmaps are).
// Byte order within a pixel is blue, green, red(, alpha), so a 32-bit pixel read as a
// little-endian word is ARGB. 8-bit pictures are grey (luminance) values.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zem {

// Zero-filled pixel memory. Large buffers come straight from the kernel (already zero, mapped
// lazily, with huge pages where the system allows), so a decoder that writes every row pays no
// separate clearing pass; small ones come from calloc.
class TPixelBuffer {
 public:
  TPixelBuffer() = default;
  explicit TPixelBuffer(size_t size);
  TPixelBuffer(const TPixelBuffer& o);
  TPixelBuffer(TPixelBuffer&& o) noexcept { Swap(o); }
  TPixelBuffer& operator=(TPixelBuffer o) noexcept { Swap(o); return *this; }
  ~TPixelBuffer();
  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  void Swap(TPixelBuffer& o) noexcept;

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t mapped_ = 0;  // bytes mapped with mmap, 0 when from calloc
};

enum class TPixelFormat : uint8_t { Grey8 = 8, Rgb24 = 24, Argb32 = 32 };

class TBitmap {
 public:
  // Size limits every decoder checks before allocating: sides 1..65535, at most 2^28 pixels.
  static constexpr int32_t kMaxSide = 65535;
  static constexpr int64_t kMaxPixels = int64_t(1) << 28;
  static bool SizeAllowed(int64_t width, int64_t height) {
    return width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide &&
           width * height <= kMaxPixels;
  }
  static int64_t StrideFor(int32_t width, TPixelFormat f) {
    return ((int64_t(width) * BytesPerPixel(f)) + 3) & ~int64_t(3);
  }
  static int BytesPerPixel(TPixelFormat f) { return static_cast<int>(f) / 8; }

  TBitmap() = default;
  // Allocates a zero-filled picture; false (and empty) when the size is not allowed.
  bool Allocate(int32_t width, int32_t height, TPixelFormat format);
  void Clear() { *this = TBitmap(); }
  bool Empty() const { return width_ == 0; }

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  TPixelFormat Format() const { return format_; }
  int BytesPerPixel() const { return BytesPerPixel(format_); }
  int64_t Stride() const { return stride_; }
  uint8_t* Row(int32_t y) { return data_.data() + int64_t(y) * stride_; }
  const uint8_t* Row(int32_t y) const { return data_.data() + int64_t(y) * stride_; }
  uint8_t* Data() { return data_.data(); }
  const uint8_t* Data() const { return data_.data(); }
  size_t DataSize() const { return data_.size(); }

  // Pixel as ARGB (any format; grey gives equal channels, alpha 255 unless 32-bit).
  uint32_t GetPixel(int32_t x, int32_t y) const;
  void SetPixel(int32_t x, int32_t y, uint32_t argb);
  void Fill(uint32_t argb);
  // Converts in place to another format (alpha 255 when adding a channel), row by row.
  void ConvertTo(TPixelFormat format);
  // Sizes of the picture reduced `levels` times by halving, each halving rounding up.
  static int32_t ReducedSide(int32_t side, int levels);

 private:
  int32_t width_ = 0, height_ = 0;
  TPixelFormat format_ = TPixelFormat::Argb32;
  int64_t stride_ = 0;
  TPixelBuffer data_;
};

// Converts `count` pixels of one row between formats (rows may not overlap). Grey comes from
// 77 R + 150 G + 29 B; an added alpha channel is 255.
void ConvertRow(const uint8_t* src, TPixelFormat from, uint8_t* dst, TPixelFormat to, int32_t count);

// Halves w × h pixels of `format` (rows `srcStride` bytes apart) into ceil(w / 2) × ceil(h / 2)
// pixels at `dst` (rows `dstStride` bytes apart): each output pixel is the rounded mean of its
// 2 × 2 block, an odd last column or row averaged with itself.
void HalvePixels(const uint8_t* src, int64_t srcStride, int32_t w, int32_t h, TPixelFormat format, uint8_t* dst,
                 int64_t dstStride);

// The picture halved in both directions (each side rounding up; an odd last column or row is
// averaged with itself), in the same format. Row by row, two source rows per output row.
TBitmap HalveBitmap(const TBitmap& src);
// Halved `levels` times (0 gives a copy), in `format`; the format conversion runs on the
// smallest picture. Empty when `src` is empty.
TBitmap ReduceBitmap(const TBitmap& src, int levels, TPixelFormat format);

}  // namespace zem
