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

std::shared_ptr<const TBitmap> TBitmapStore::Level(int level, int32_t shownWidth, int32_t shownHeight) {
  level = std::clamp(level, 0, 30);
  // Decoding scale in eighths: a power of two (the level, down to 1/8), or for a shown size
  // the smallest M/8 still larger than it.
  int eighths = 8 >> std::min(level, 3);
  if (ScalesWhileDecoding() && level > 0 && level <= 3 && shownWidth > 0 && shownHeight > 0 && !Decoded())
    for (int m = 1; m < eighths; ++m)
      if (int64_t(width_) * m > int64_t(shownWidth) * 8 && int64_t(height_) * m > int64_t(shownHeight) * 8) {
        // ceil(W * m / 8) > shown exactly when W * m > shown * 8.
        eighths = m;
        break;
      }
  const int halvings = (eighths & (eighths - 1)) == 0 ? level - std::min(level, 3) : 0;
  const std::pair<int, int> key{level, eighths};
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = levels_.find(key);
    if (it != levels_.end())
      if (auto held = it->second.lock()) return held;
  }
  std::shared_ptr<const TBitmap> result;
  if (Decoded() || !CanDecodeAgain()) {
    // The kept picture: level 0 in 32 bits is that picture itself (alive with the store).
    const TBitmap& full = Bitmap();
    if (level == 0 && full.Format() == TPixelFormat::Argb32)
      return std::shared_ptr<const TBitmap>(&full, [keep = TRef<TBitmapStore>(this)](const TBitmap*) {});
    result = std::make_shared<const TBitmap>(ReduceBitmap(full, level, TPixelFormat::Argb32));
  } else {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = levels_.find(key);
    if (it != levels_.end())
      if (auto held = it->second.lock()) return held;
    // Untransformed sizes at the decoding scale (libjpeg's rounding: up).
    const bool swapped = TransformSwapsSize(transform_);
    const int32_t w = swapped ? height_ : width_, h = swapped ? width_ : height_;
    const int32_t sw = int32_t((int64_t(w) * eighths + 7) / 8), sh = int32_t((int64_t(h) * eighths + 7) / 8);
    const int scale = ScalesWhileDecoding() ? eighths : 8;
    TBitmap out;
    bool ok = DecodeScaled(scale, out) && out.Width() == (scale == 8 ? w : sw) && out.Height() == (scale == 8 ? h : sh);
    g_decode_count.fetch_add(1);
    if (!ok) {
      out.Allocate(scale == 8 ? w : sw, scale == 8 ? h : sh, TPixelFormat::Argb32);
      out.Fill(kDefaultFillColor);
    }
    TBitmap reduced = ReduceBitmap(out, scale == 8 ? level : halvings, TPixelFormat::Argb32);
    out.Clear();
    ApplyTransform(reduced, transform_);
    result = std::make_shared<const TBitmap>(std::move(reduced));
    levels_[key] = result;
    return result;
  }
  std::lock_guard<std::mutex> guard(lock_);
  levels_[key] = result;
  return result;
}

void TBitmapStore::SetProgress(TProgress progress) {
  std::lock_guard<std::mutex> guard(lock_);
  progress_ = std::move(progress);
}

void TBitmapStore::ReportProgress() {
  // Called from DecodePixels, i.e. with lock_ held by this thread.
  if (progress_) progress_();
}

void ConvertPixels(TBitmap& bitmap, TPixelFormat format) { bitmap.ConvertTo(format); }

TWrapperBitmapStore::TWrapperBitmapStore(TBitmap bitmap, TImageTransform transform)
    : TBitmapStore(TransformSwapsSize(transform) ? bitmap.Height() : bitmap.Width(),
                   TransformSwapsSize(transform) ? bitmap.Width() : bitmap.Height(), bitmap.Format()) {
  ApplyTransform(bitmap, transform);
  SetDecoded(std::move(bitmap));
}

bool TWrapperBitmapStore::DecodePixels(TBitmap&) { return false; }

}  // namespace zem
