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

bool EncodeJpeg(const TBitmap& bitmap, int quality, std::vector<uint8_t>& out) {
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
