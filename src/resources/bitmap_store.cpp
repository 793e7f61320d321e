#include "resources/bitmap_store.h"

#include <algorithm>

#include "foundation/log.h"

namespace zem {

static std::atomic<int64_t> g_decode_count{0};

std::vector<int32_t> TTilesTag::DelayList() const {
  std::vector<int32_t> out;
  int32_t v = 0;
  bool any = false;
  for (char c : delays) {
    if (c >= '0' && c <= '9') { v = v * 10 + (c - '0'); any = true; }
    else if (c == ',') { out.push_back(v); v = 0; any = false; }
  }
  if (any) out.push_back(v);
  return out;
}

TBitmapStore::TBitmapStore(int32_t width, int32_t height, TPixelFormat format, TImageTransform transform)
    : width_(width), height_(height), format_(format), transform_(transform) {}

int64_t TBitmapStore::DecodeCount() { return g_decode_count.load(); }

void TBitmapStore::SetDecoded(TBitmap bitmap) {
  std::lock_guard<std::mutex> guard(lock_);
  bitmap_ = std::move(bitmap);
  g_decode_count.fetch_add(1);
  decoded_.store(true, std::memory_order_release);
}

void TBitmapStore::DecodeLocked() {
  if (decoded_.load(std::memory_order_acquire)) return;
  TBitmap out;
  bool ok = DecodePixels(out);
  if (ok && !out.Empty()) {
    ApplyTransform(out, transform_);
    if (out.Format() != format_) ConvertPixels(out, format_);
    ok = out.Width() == width_ && out.Height() == height_;
  }
  if (!ok) {
    if (!name_.empty()) LogMediaFailure("Picture", name_, "its pixels do not decode (a filled picture stands in)");
    out.Allocate(width_, height_, format_);
    out.Fill(kDefaultFillColor);
  }
  bitmap_ = std::move(out);
  g_decode_count.fetch_add(1);
  decoded_.store(true, std::memory_order_release);
}

const TBitmap& TBitmapStore::Bitmap() {
  if (!decoded_.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> guard(lock_);
    DecodeLocked();
  }
  return bitmap_;
}

const TBitmap& TBitmapStore::Level(int level) {
  const TBitmap& base = Bitmap();
  if (level <= 0) return base;
  std::lock_guard<std::mutex> guard(lock_);
  while (static_cast<int>(levels_.size()) < level) {
    const TBitmap& src = levels_.empty() ? base : *levels_.back();
    auto dst = std::make_unique<TBitmap>();
    int32_t w = std::max(1, src.Width() / 2), h = std::max(1, src.Height() / 2);
    dst->Allocate(w, h, src.Format());
    const int bpp = src.BytesPerPixel();
    // Box filter over the 2 x 2 source block (clamped at odd edges).
    for (int32_t y = 0; y < h; ++y) {
      int32_t y0 = std::min(2 * y, src.Height() - 1), y1 = std::min(2 * y + 1, src.Height() - 1);
      const uint8_t* r0 = src.Row(y0);
      const uint8_t* r1 = src.Row(y1);
      uint8_t* d = dst->Row(y);
      for (int32_t x = 0; x < w; ++x) {
        int64_t x0 = int64_t(std::min(2 * x, src.Width() - 1)) * bpp;
        int64_t x1 = int64_t(std::min(2 * x + 1, src.Width() - 1)) * bpp;
        for (int c = 0; c < bpp; ++c)
          d[int64_t(x) * bpp + c] = static_cast<uint8_t>((r0[x0 + c] + r0[x1 + c] + r1[x0 + c] + r1[x1 + c] + 2) / 4);
      }
    }
    levels_.push_back(std::move(dst));
  }
  return *levels_[size_t(level - 1)];
}

void TBitmapStore::SetProgress(TProgress progress) {
  std::lock_guard<std::mutex> guard(lock_);
  progress_ = std::move(progress);
}

void TBitmapStore::ReportProgress() {
  // Called from DecodePixels, i.e. with lock_ held by this thread.
  if (progress_) progress_();
}

void ConvertPixels(TBitmap& bitmap, TPixelFormat format) {
  if (bitmap.Format() == format || bitmap.Empty()) return;
  if (bitmap.Format() != TPixelFormat::Rgb24 || format != TPixelFormat::Argb32) {
    bitmap.ConvertTo(format);
    return;
  }
  TBitmap out;
  if (!out.Allocate(bitmap.Width(), bitmap.Height(), format)) return;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* s = bitmap.Row(y);
    uint8_t* d = out.Row(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x, s += 3, d += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = 255;
    }
  }
  bitmap = std::move(out);
}

TWrapperBitmapStore::TWrapperBitmapStore(TBitmap bitmap, TImageTransform transform)
    : TBitmapStore(TransformSwapsSize(transform) ? bitmap.Height() : bitmap.Width(),
                   TransformSwapsSize(transform) ? bitmap.Width() : bitmap.Height(), bitmap.Format()) {
  ApplyTransform(bitmap, transform);
  SetDecoded(std::move(bitmap));
}

bool TWrapperBitmapStore::DecodePixels(TBitmap&) { return false; }

}  // namespace zem
