// libpng errors longjmp back into WriteC, whose locals are trivially destructible.
#include "resources/png_writer.h"

#include <libdeflate.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace zem {

namespace {

extern "C" void PngWriteData(png_structp png, png_bytep data, png_size_t count) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + count);
}
extern "C" void PngFlush(png_structp) {}
extern "C" void PngWriteError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void PngWriteWarning(png_structp, png_const_charp) {}

bool WriteC(png_structp png, png_infop info, std::vector<uint8_t>* out, const TBitmap* bmp, png_bytepp rows,
            int level) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, out, PngWriteData, PngFlush);
  int type = bmp->Format() == TPixelFormat::Argb32 ? PNG_COLOR_TYPE_RGB_ALPHA
             : bmp->Format() == TPixelFormat::Rgb24 ? PNG_COLOR_TYPE_RGB
                                                     : PNG_COLOR_TYPE_GRAY;
  png_set_IHDR(png, info, png_uint_32(bmp->Width()), png_uint_32(bmp->Height()), 8, type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, level);
  png_write_info(png, info);
  if (type != PNG_COLOR_TYPE_GRAY) png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  return true;
}

}  // namespace

bool EncodePng(const TBitmap& bitmap, std::vector<uint8_t>& out, int compression_level) {
  out.clear();
  if (bitmap.Empty()) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngWriteError, PngWriteWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<png_bytep> rows(static_cast<size_t>(bitmap.Height()));
  for (int32_t y = 0; y < bitmap.Height(); ++y) rows[size_t(y)] = const_cast<uint8_t*>(bitmap.Row(y));
  bool ok = info && WriteC(png, info, &out, &bitmap, rows.data(), compression_level);
  png_destroy_write_struct(&png, info ? &info : nullptr);
  if (!ok) out.clear();
  return ok;
}

bool WritePngStream(const TBitmap& bitmap, TStream& stream, int compression_level) {
  std::vector<uint8_t> bytes;
  return EncodePng(bitmap, bytes, compression_level) && stream.WriteAll(bytes.data(), int64_t(bytes.size()));
}

bool WritePngFile(const TBitmap& bitmap, const std::string& path, int compression_level) {
  std::vector<uint8_t> bytes;
  return EncodePng(bitmap, bytes, compression_level) && WriteFileBytes(path, bytes.data(), bytes.size());
}

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  out.insert(out.end(), b, b + 4);
}

// Appends one chunk: length, type, data, CRC of type and data.
void Chunk(std::vector<uint8_t>& out, const char type[4], const uint8_t* data, size_t size) {
  Put32(out, uint32_t(size));
  const size_t at = out.size();
  out.insert(out.end(), type, type + 4);
  if (size) out.insert(out.end(), data, data + size);
  Put32(out, libdeflate_crc32(0, out.data() + at, size + 4));
}

}  // namespace

bool EncodePngFast(const TBitmap& bitmap, std::vector<uint8_t>& out, bool opaque) {
  out.clear();
  if (bitmap.Empty()) return false;
  const TPixelFormat f = bitmap.Format();
  const int channels = f == TPixelFormat::Grey8 ? 1 : (f == TPixelFormat::Argb32 && !opaque) ? 4 : 3;
  const int32_t w = bitmap.Width(), h = bitmap.Height();
  const size_t rowBytes = size_t(w) * size_t(channels);
  // Filtered rows: a filter byte, then each byte minus the one above (filter "Up").
  std::vector<uint8_t> raw(size_t(h) * (rowBytes + 1));
  std::vector<uint8_t> rows[2] = {std::vector<uint8_t>(rowBytes, 0), std::vector<uint8_t>(rowBytes)};
  for (int32_t y = 0; y < h; ++y) {
    std::vector<uint8_t>& cur = rows[(y + 1) & 1];
    const std::vector<uint8_t>& above = rows[y & 1];
    const uint8_t* s = bitmap.Row(y);
    if (channels == 1) {
      std::memcpy(cur.data(), s, rowBytes);
    } else if (channels == 3) {
      const int bpp = bitmap.BytesPerPixel();
      for (int32_t x = 0; x < w; ++x, s += bpp) cur[3 * x] = s[2], cur[3 * x + 1] = s[1], cur[3 * x + 2] = s[0];
    } else {
      for (int32_t x = 0; x < w; ++x, s += 4)
        cur[4 * x] = s[2], cur[4 * x + 1] = s[1], cur[4 * x + 2] = s[0], cur[4 * x + 3] = s[3];
    }
    uint8_t* d = &raw[size_t(y) * (rowBytes + 1)];
    d[0] = 2;
    for (size_t i = 0; i < rowBytes; ++i) d[i + 1] = uint8_t(cur[i] - above[i]);
  }
  std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> c(libdeflate_alloc_compressor(1),
                                                                                     libdeflate_free_compressor);
  if (!c) return false;
  std::vector<uint8_t> z(libdeflate_zlib_compress_bound(c.get(), raw.size()));
  const size_t n = libdeflate_zlib_compress(c.get(), raw.data(), raw.size(), z.data(), z.size());
  if (n == 0 || n > 0x7FFFFFFFu) return false;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  out.assign(kSignature, kSignature + 8);
  uint8_t ihdr[13] = {};
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = uint8_t(uint32_t(w) >> (24 - 8 * i));
    ihdr[4 + i] = uint8_t(uint32_t(h) >> (24 - 8 * i));
  }
  ihdr[8] = 8;  // bits per channel
  ihdr[9] = channels == 1 ? 0 : channels == 3 ? 2 : 6;
  Chunk(out, "IHDR", ihdr, sizeof ihdr);
  Chunk(out, "IDAT", z.data(), n);
  Chunk(out, "IEND", nullptr, 0);
  return true;
}

bool WritePngFileFast(const TBitmap& bitmap, const std::string& path, bool opaque) {
  std::vector<uint8_t> bytes;
  return EncodePngFast(bitmap, bytes, opaque) && WriteFileBytes(path, bytes.data(), bytes.size());
}

}  // namespace zem
