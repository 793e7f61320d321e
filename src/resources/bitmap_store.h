// Decoded pictures. A TBitmapStore knows its size and pixel format at once and creates its
// pixels on first use (decoding may wait for the first draw); every store kind below keeps
// what it needs for that. Stores are shared by reference count between the picture cache and
// the pictures handed out.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
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
  // Reduced copy: level 0 is the picture itself, each further level halves both sides
  // (at least 1 pixel). Built on first use and kept.
  const TBitmap& Level(int level);

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

 private:
  void DecodeLocked();

  std::string name_;  // set before the store is shared
  int32_t width_, height_;
  TPixelFormat format_;
  TImageTransform transform_;
  std::mutex lock_;  // guards bitmap_ creation, levels_ and progress_
  std::atomic<bool> decoded_{false};
  TBitmap bitmap_;
  std::vector<std::unique_ptr<TBitmap>> levels_;
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

// Converts to another pixel format; 24 to 32 bits (opaque) has a fast path.
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
