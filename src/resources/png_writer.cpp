// libpng errors longjmp back into WriteC, whose locals are trivially destructible.
#include "resources/png_writer.h"

#include <png.h>

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

}  // namespace zem
