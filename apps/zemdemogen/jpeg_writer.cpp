#include "jpeg_writer.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace zem {

namespace {

// libjpeg reports errors through a callback that must not return: jump back to the encoder.
struct TJpegError {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<TJpegError*>(cinfo->err)->jump, 1);
}
void OnJpegMessage(j_common_ptr) {}

}  // namespace

std::vector<uint8_t> MakeExifSegment(const std::string& dateTime, const std::string& description) {
  std::vector<uint8_t> v = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t x) { v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8)); };
  auto u32 = [&](uint32_t x) { u16(x & 0xFFFF), u16(x >> 16); };
  const std::string texts[2] = {description + '\0', dateTime + '\0'};
  const uint16_t tags[2] = {270, 306};
  // Offsets count from the TIFF header; the values follow the directory of two entries.
  uint32_t at = 8 + 2 + 2 * 12 + 4;
  u16(2);
  for (int i = 0; i < 2; ++i) {
    u16(tags[i]), u16(2), u32(uint32_t(texts[i].size())), u32(at);
    at += uint32_t(texts[i].size());
  }
  u32(0);
  for (const std::string& t : texts) v.insert(v.end(), t.begin(), t.end());
  return v;
}

bool EncodeJpeg(const TBitmap& bitmap, int quality, std::vector<uint8_t>& out, const std::vector<uint8_t>* app1) {
  out.clear();
  if (bitmap.Empty() || bitmap.Format() == TPixelFormat::Grey8) return false;
  jpeg_compress_struct cinfo{};
  TJpegError err{};
  cinfo.err = jpeg_std_error(&err.base);
  err.base.error_exit = OnJpegError;
  err.base.output_message = OnJpegMessage;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  // Only plain data lives across the jump: the row buffer is malloc'd and freed on both paths.
  JSAMPLE* row = static_cast<JSAMPLE*>(std::malloc(size_t(bitmap.Width()) * 3));
  if (!row) return false;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(row);
    std::free(buffer);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(bitmap.Width());
  cinfo.image_height = static_cast<JDIMENSION>(bitmap.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality < 1 ? 1 : (quality > 100 ? 100 : quality), TRUE);
  cinfo.optimize_coding = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  if (app1 && !app1->empty() && app1->size() <= 65533)
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1->data(), static_cast<unsigned>(app1->size()));
  const int bpp = bitmap.BytesPerPixel();
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* src = bitmap.Row(static_cast<int32_t>(cinfo.next_scanline));
    for (int32_t x = 0; x < bitmap.Width(); ++x) {
      row[x * 3 + 0] = src[x * bpp + 2];
      row[x * 3 + 1] = src[x * bpp + 1];
      row[x * 3 + 2] = src[x * bpp + 0];
    }
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  out.assign(buffer, buffer + size);
  std::free(buffer);
  std::free(row);
  return true;
}

}  // namespace zem
