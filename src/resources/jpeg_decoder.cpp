// libjpeg reports fatal errors through error_exit, which must not return. Here it longjmps back
// into small functions whose locals are all trivially destructible, so no C++ destructor is ever
// skipped; the session object that owns the decompressor lives in the caller's frame.
#include "resources/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "resources/decoders.h"

namespace zem {

namespace {

struct TJpegError {
  jpeg_error_mgr mgr;  // first: libjpeg sees only this part
  std::jmp_buf jump;
};

struct TJpegProgress {
  jpeg_progress_mgr mgr;  // first
  TBitmapStore* store;
};

extern "C" void JpegErrorExit(j_common_ptr c) {
  std::longjmp(reinterpret_cast<TJpegError*>(c->err)->jump, 1);
}

// Warnings (corrupt data that libjpeg recovers from) are not printed.
extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegProgressMonitor(j_common_ptr c) {
  auto* p = reinterpret_cast<TJpegProgress*>(c->progress);
  if (c->is_decompressor && reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > TJpegBitmapStore::kMaxScans) {
    c->err->msg_code = 0;  // too many scans
    JpegErrorExit(c);
  }
  if (p->store) p->store->ReportProgress();
}

// One decompressor with its error and progress managers.
class TJpegSession {
 public:
  explicit TJpegSession(TBitmapStore* store) {
    cinfo_.err = jpeg_std_error(&err_.mgr);
    err_.mgr.error_exit = JpegErrorExit;
    err_.mgr.output_message = JpegOutputMessage;
    progress_.mgr.progress_monitor = JpegProgressMonitor;
    progress_.store = store;
    created_ = Create(&cinfo_, &err_);
    if (created_) {
      cinfo_.progress = &progress_.mgr;
      // Progressive coefficient buffers are the large allocations; the picture itself is ours.
      cinfo_.mem->max_memory_to_use = 1536L * 1024 * 1024;
    }
  }
  ~TJpegSession() {
    if (created_) jpeg_destroy_decompress(&cinfo_);
  }
  bool Ok() const { return created_; }
  j_decompress_ptr Info() { return &cinfo_; }
  TJpegError* Error() { return &err_; }

 private:
  static bool Create(j_decompress_ptr d, TJpegError* e) {
    if (setjmp(e->jump)) return false;
    jpeg_create_decompress(d);
    return true;
  }
  jpeg_decompress_struct cinfo_{};
  TJpegError err_{};
  TJpegProgress progress_{};
  bool created_ = false;
};

bool ReadHeaderC(j_decompress_ptr d, TJpegError* e, const uint8_t* data, size_t size) {
  if (setjmp(e->jump)) return false;
  jpeg_mem_src(d, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(d, TRUE) != JPEG_HEADER_OK) return false;
  return true;
}

bool StartC(j_decompress_ptr d, TJpegError* e, J_COLOR_SPACE out, int eighths) {
  if (setjmp(e->jump)) return false;
  d->out_color_space = out;
  d->scale_num = unsigned(eighths);
  d->scale_denom = 8;
  jpeg_start_decompress(d);
  return true;
}

// Reads all rows: row y goes to base + y * stride.
bool ReadRowsC(j_decompress_ptr d, TJpegError* e, uint8_t* base, int64_t stride) {
  if (setjmp(e->jump)) return false;
  JSAMPROW rows[16];
  while (d->output_scanline < d->output_height) {
    JDIMENSION first = d->output_scanline;
    JDIMENSION n = d->output_height - first;
    if (n > 16) n = 16;
    for (JDIMENSION i = 0; i < n; ++i) rows[i] = base + int64_t(first + i) * stride;
    if (jpeg_read_scanlines(d, rows, n) == 0) return false;
  }
  jpeg_finish_decompress(d);
  return true;
}

bool ReadOneRowC(j_decompress_ptr d, TJpegError* e, uint8_t* row) {
  if (setjmp(e->jump)) return false;
  JSAMPROW rows[1] = {row};
  return jpeg_read_scanlines(d, rows, 1) == 1;
}

bool UsableColorSpace(J_COLOR_SPACE c, int components) {
  switch (c) {
    case JCS_GRAYSCALE: return components == 1;
    case JCS_YCbCr: case JCS_RGB: return components == 3;
    case JCS_CMYK: case JCS_YCCK: return components == 4;
    default: return false;
  }
}

}  // namespace

bool TJpegBitmapStore::ReadHeader(const uint8_t* data, size_t size, int32_t& width, int32_t& height) {
  TJpegSession s(nullptr);
  if (!s.Ok() || !ReadHeaderC(s.Info(), s.Error(), data, size)) return false;
  j_decompress_ptr d = s.Info();
  if (!TBitmap::SizeAllowed(d->image_width, d->image_height)) return false;
  if (!UsableColorSpace(d->jpeg_color_space, d->num_components)) return false;
  width = int32_t(d->image_width);
  height = int32_t(d->image_height);
  return true;
}

bool TJpegBitmapStore::DecodeAll(const uint8_t* data, size_t size, TBitmap& out, TBitmapStore* progress,
                                 int eighths, TPixelFormat format) {
  if (eighths < 1 || eighths > 8 || format == TPixelFormat::Grey8) return false;
  TJpegSession s(progress);
  if (!s.Ok() || !ReadHeaderC(s.Info(), s.Error(), data, size)) return false;
  j_decompress_ptr d = s.Info();
  if (!TBitmap::SizeAllowed(d->image_width, d->image_height)) return false;
  if (!UsableColorSpace(d->jpeg_color_space, d->num_components)) return false;
  const bool cmyk = d->num_components == 4;
  const bool wide = format == TPixelFormat::Argb32;
  if (!StartC(d, s.Error(), cmyk ? JCS_CMYK : wide ? JCS_EXT_BGRA : JCS_EXT_BGR, eighths)) return false;
  if (d->output_width != (uint64_t(d->image_width) * uint32_t(eighths) + 7) / 8 ||
      d->output_height != (uint64_t(d->image_height) * uint32_t(eighths) + 7) / 8)
    return false;
  TBitmap bmp;
  if (!bmp.Allocate(int32_t(d->output_width), int32_t(d->output_height), format)) return false;
  if (!cmyk) {
    // libjpeg-turbo writes blue, green, red (and alpha 255) straight into the picture's rows.
    if (!ReadRowsC(d, s.Error(), bmp.Data(), bmp.Stride())) return false;
  } else {
    // Adobe files store CMYK inverted; others plainly.
    const bool inverted = d->saw_Adobe_marker;
    const int bpp = bmp.BytesPerPixel();
    std::vector<uint8_t> row(size_t(d->output_width) * 4);
    for (int32_t y = 0; y < bmp.Height(); ++y) {
      if (!ReadOneRowC(d, s.Error(), row.data())) return false;
      uint8_t* dst = bmp.Row(y);
      for (uint32_t x = 0; x < d->output_width; ++x, dst += bpp) {
        uint32_t c = row[4 * x], m = row[4 * x + 1], yy = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) { c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k; }
        dst[0] = uint8_t((yy * k + 127) / 255);
        dst[1] = uint8_t((m * k + 127) / 255);
        dst[2] = uint8_t((c * k + 127) / 255);
        if (wide) dst[3] = 255;
      }
    }
  }
  out = std::move(bmp);
  return true;
}

TJpegBitmapStore::TJpegBitmapStore(int32_t width, int32_t height, TImageTransform transform, std::vector<uint8_t> data)
    : TBitmapStore(width, height, TPixelFormat::Rgb24, transform), data_(std::move(data)) {}

bool TJpegBitmapStore::DecodePixels(TBitmap& out) { return DecodeAll(data_.data(), data_.size(), out, this); }

bool TJpegBitmapStore::DecodeScaled(int eighths, TBitmap& out) {
  return DecodeAll(data_.data(), data_.size(), out, this, eighths, TPixelFormat::Argb32);
}

TRef<TBitmapStore> DecodeJpeg(TDecodeRequest& req) {
  TStream& s = *req.stream;
  const int64_t start = s.Position();
  uint8_t soi[2];
  if (!s.ReadExact(soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) { s.SetPosition(start); return {}; }
  s.SetPosition(start);
  std::vector<uint8_t> data;
  int32_t w = 0, h = 0;
  if (!s.ReadRest(data, kMaxPictureFileBytes) || !TJpegBitmapStore::ReadHeader(data.data(), data.size(), w, h)) {
    s.SetPosition(start);
    return {};
  }
  TImageTransform t = LookupTransform(req.transform, req.name, w, h);
  return TRef<TBitmapStore>(new TJpegBitmapStore(w, h, t, std::move(data)));
}

}  // namespace zem
