// libpng reports errors by longjmp to the jmp_buf of png_jmpbuf. The setjmp calls sit in small
// functions whose locals are trivially destructible; the RAII session lives in the caller.
#include "resources/png_decoder.h"

#include <png.h>

#include <cstring>

#include "resources/decoders.h"

namespace zem {

namespace {

struct TPngSource {
  const uint8_t* data;
  size_t size;
  size_t pos;
  TBitmapStore* progress;
};

extern "C" void PngRead(png_structp png, png_bytep out, png_size_t count) {
  auto* src = static_cast<TPngSource*>(png_get_io_ptr(png));
  if (count > src->size - src->pos) png_error(png, "read past end");
  std::memcpy(out, src->data + src->pos, count);
  src->pos += count;
}

extern "C" void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
extern "C" void PngWarning(png_structp, png_const_charp) {}

extern "C" void PngRowDone(png_structp png, png_uint_32, int) {
  auto* src = static_cast<TPngSource*>(png_get_io_ptr(png));
  if (src->progress) src->progress->ReportProgress();
}

class TPngSession {
 public:
  TPngSession(const uint8_t* data, size_t size, TBitmapStore* progress) : source_{data, size, 0, progress} {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (png_) info_ = png_create_info_struct(png_);
  }
  ~TPngSession() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }
  bool Ok() const { return png_ && info_; }
  png_structp Png() { return png_; }
  png_infop Info() { return info_; }
  TPngSource* Source() { return &source_; }

 private:
  TPngSource source_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// Reads the header and sets the conversions to blue-green-red(-alpha) 8-bit rows.
bool ReadInfoC(png_structp png, png_infop info, TPngSource* src, int* channels) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, src, PngRead);
  png_set_user_limits(png, TBitmap::kMaxSide, TBitmap::kMaxSide);
  png_set_chunk_cache_max(png, 256);
  png_set_chunk_malloc_max(png, 16 * 1024 * 1024);
  png_read_info(png, info);
  const int color = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  const bool trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (trns) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_scale_16(png);
  if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_set_read_status_fn(png, PngRowDone);
  png_read_update_info(png, info);
  *channels = png_get_channels(png, info);
  return true;
}

bool ReadImageC(png_structp png, png_infop info, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  png_read_end(png, nullptr);
  (void)info;
  return true;
}

bool Header(TPngSession& s, int32_t& w, int32_t& h, TPixelFormat& format) {
  int channels = 0;
  if (!s.Ok() || !ReadInfoC(s.Png(), s.Info(), s.Source(), &channels)) return false;
  png_uint_32 pw = png_get_image_width(s.Png(), s.Info()), ph = png_get_image_height(s.Png(), s.Info());
  if (!TBitmap::SizeAllowed(pw, ph) || (channels != 3 && channels != 4)) return false;
  if (png_get_rowbytes(s.Png(), s.Info()) != size_t(pw) * channels) return false;
  w = int32_t(pw);
  h = int32_t(ph);
  format = channels == 4 ? TPixelFormat::Argb32 : TPixelFormat::Rgb24;
  return true;
}

bool HasPngSignature(const uint8_t* data, size_t size) {
  return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

}  // namespace

bool TImageLibStore::ReadHeader(const uint8_t* data, size_t size, int32_t& width, int32_t& height, TPixelFormat& format) {
  if (!HasPngSignature(data, size)) return false;
  TPngSession s(data, size, nullptr);
  return Header(s, width, height, format);
}

bool TImageLibStore::DecodeAll(const uint8_t* data, size_t size, TBitmap& out, TBitmapStore* progress) {
  if (!HasPngSignature(data, size)) return false;
  TPngSession s(data, size, progress);
  int32_t w, h;
  TPixelFormat format;
  if (!Header(s, w, h, format)) return false;
  TBitmap bmp;
  if (!bmp.Allocate(w, h, format)) return false;
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int32_t y = 0; y < h; ++y) rows[size_t(y)] = bmp.Row(y);
  if (!ReadImageC(s.Png(), s.Info(), rows.data())) return false;
  out = std::move(bmp);
  return true;
}

TImageLibStore::TImageLibStore(int32_t width, int32_t height, TPixelFormat format, TImageTransform transform,
                               std::vector<uint8_t> data)
    : TBitmapStore(width, height, format, transform), data_(std::move(data)) {}

bool TImageLibStore::DecodePixels(TBitmap& out) { return DecodeAll(data_.data(), data_.size(), out, this); }

TRef<TBitmapStore> DecodePng(TDecodeRequest& req) {
  TStream& s = *req.stream;
  const int64_t start = s.Position();
  uint8_t sig[8];
  if (!s.ReadExact(sig, 8) || !HasPngSignature(sig, 8)) { s.SetPosition(start); return {}; }
  s.SetPosition(start);
  std::vector<uint8_t> data;
  int32_t w = 0, h = 0;
  TPixelFormat format;
  if (!s.ReadRest(data, kMaxPictureFileBytes) || !TImageLibStore::ReadHeader(data.data(), data.size(), w, h, format)) {
    s.SetPosition(start);
    return {};
  }
  TImageTransform t = LookupTransform(req.transform, req.name, w, h);
  return TRef<TBitmapStore>(new TImageLibStore(w, h, format, t, std::move(data)));
}

}  // namespace zem
