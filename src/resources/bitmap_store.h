// Decoded pictures. A TBitmapStore knows its size and pixel format at once and creates its
// pixels on first use (decoding may wait for the first draw); every store kind below keeps
// what it needs for that. Stores are shared by reference count between the picture cache and
// the pictures handed out.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"
#include "resources/rotation.h"

namespace zem {

// The colour a picture is filled with when its deferred data turns out to be unusable.
constexpr uint32_t kDefaultFillColor = 0xFF808080u;

// Animation description of a GIF strip: the strip holds `frame_count` cells side by side.
struct TTilesTag {
  int32_t cell_width = 0, cell_height = 0;
  int32_t columns = 0, rows = 0;
  int32_t frame_count = 0;
  int32_t total_duration = 0;  // ms, sum of the delays
  int32_t average_delay = 0;   // ms, total div frame count
  std::string delays;          // "100,70,50": milliseconds per frame
  int32_t loop_count = 1;      // 0 repeats without end
  std::vector<int32_t> DelayList() const;
};

class TBitmapStore : public TRefObj {
 public:
  using TProgress = std::function<void()>;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  TPixelFormat Format() const { return format_; }

  // The decoded picture, created on the first call (any thread; later callers wait for the
  // first). Never empty: data that fails to decode gives a picture filled with
  // kDefaultFillColor. The reference stays valid while the store lives.
  const TBitmap& Bitmap();
  bool Decoded() const { return decoded_.load(std::memory_order_acquire); }
  // The picture halved `level` times (each side rounding up), 32-bit ARGB, transformed.
  // Stores that can decode again from their own data never make the full picture for it:
  // JPEG decodes straight at the nearest DCT scale (1/2, 1/4, 1/8) at or above the level, the
  // others decode, reduce once and drop the full picture. Stores without such data reduce
  // their kept picture. With a shown size (both above 0; the level must be larger than it in
  // both directions) a JPEG decodes at the smallest scale M/8 still larger than that size,
  // which is never larger than the level. Whoever asks holds the result; it is shared while
  // held. Any thread; decoding runs under the store's lock.
  std::shared_ptr<const TBitmap> Level(int level, int32_t shownWidth = 0, int32_t shownHeight = 0);

  // Called now and then while the pixels are decoded (the read throttle of the file layer).
  void SetProgress(TProgress progress);
  // The file name for the log line of pixels that do not decode (set by the file layer).
  void SetName(std::string name) { name_ = std::move(name); }
  void ReportProgress();

  const TTilesTag* Tiles() const { return tiles_.get(); }
  void SetTiles(std::unique_ptr<TTilesTag> tiles) { tiles_ = std::move(tiles); }

  // Number of stores whose pixels were decoded in this process (benchmarks count decodes).
  static int64_t DecodeCount();

 protected:
  // width/height: the size after `transform`.
  TBitmapStore(int32_t width, int32_t height, TPixelFormat format,
               TImageTransform transform = TImageTransform::None);
  // Creates the untransformed pixels; false when the data is unusable. Called once, under
  // the store's lock.
  virtual bool DecodePixels(TBitmap& out) = 0;
  // Stores whose pixels exist from the start hand them over here.
  void SetDecoded(TBitmap bitmap);
  // True when DecodePixels / DecodeScaled may run again (the store keeps its encoded data).
  virtual bool CanDecodeAgain() const { return false; }
  // Untransformed pixels at `eighths` / 8 of the full size (sides rounding up), any format;
  // false when this store cannot scale while decoding (8 is DecodePixels). Under the store's
  // lock.
  virtual bool DecodeScaled(int eighths, TBitmap& out) { return eighths == 8 && DecodePixels(out); }
  // Whether DecodeScaled takes every scale from 1/8 to 8/8.
  virtual bool ScalesWhileDecoding() const { return false; }

 private:
  void DecodeLocked();

  std::string name_;  // set before the store is shared
  int32_t width_, height_;
  TPixelFormat format_;
  TImageTransform transform_;
  std::mutex lock_;  // guards bitmap_ creation, levels_ and progress_
  std::atomic<bool> decoded_{false};
  TBitmap bitmap_;
  std::map<std::pair<int, int>, std::weak_ptr<const TBitmap>> levels_;  // (level, eighths): still held
  TProgress progress_;
  std::unique_ptr<TTilesTag> tiles_;
};

// Wraps a picture decoded at once.
class TWrapperBitmapStore : public TBitmapStore {
 public:
  // The transform is applied here, before the store is handed out.
  explicit TWrapperBitmapStore(TBitmap bitmap, TImageTransform transform = TImageTransform::None);

 protected:
  bool DecodePixels(TBitmap& out) override;
};

// A picture decoded by the BMP reader (the stand-in for a system bitmap).
class TSysBitmapStore : public TWrapperBitmapStore {
 public:
  using TWrapperBitmapStore::TWrapperBitmapStore;
};

// Converts to another pixel format, row by row.
void ConvertPixels(TBitmap& bitmap, TPixelFormat format);

// A picture as handed to show objects: one reference on a store.
class TImage : public TObj {
 public:
  explicit TImage(TRef<TBitmapStore> store) : store_(std::move(store)) {}
  TBitmapStore* Store() const { return store_.get(); }
  int32_t Width() const { return store_ ? store_->Width() : 0; }
  int32_t Height() const { return store_ ? store_->Height() : 0; }
  virtual std::unique_ptr<TImage> Clone() const { return std::make_unique<TImage>(store_); }

 private:
  TRef<TBitmapStore> store_;
};

}  // namespace zem
