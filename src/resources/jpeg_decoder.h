// JPEG pictures through the libjpeg API: the header is read when the picture is opened, the
// pixels when it is first needed. Grey pictures become 24-bit pictures. Reduced levels decode
// straight at libjpeg's DCT scales (1/2, 1/4, 1/8, or M/8 for a known shown size) into 32-bit
// rows, so a large photo shown small never exists at full size; the file stays with the store
// for that.
#pragma once
#include <vector>

#include "resources/bitmap_store.h"

namespace zem {

class TJpegBitmapStore : public TBitmapStore {
 public:
  // Most scans a progressive file may have (more is a decoding bomb, not a picture).
  static constexpr int kMaxScans = 500;

  TJpegBitmapStore(int32_t width, int32_t height, TImageTransform transform, std::vector<uint8_t> data);

  // Reads the header of a JPEG file in memory; false when it is not a usable JPEG picture.
  static bool ReadHeader(const uint8_t* data, size_t size, int32_t& width, int32_t& height);
  // Decodes a whole JPEG file in memory at `eighths` / 8 of its size (1..8; sides rounding up)
  // into a 24- or 32-bit picture; libjpeg writes the rows in the picture's byte order.
  static bool DecodeAll(const uint8_t* data, size_t size, TBitmap& out, TBitmapStore* progress = nullptr,
                        int eighths = 8, TPixelFormat format = TPixelFormat::Rgb24);

 protected:
  bool DecodePixels(TBitmap& out) override;
  bool CanDecodeAgain() const override { return true; }
  bool DecodeScaled(int eighths, TBitmap& out) override;
  bool ScalesWhileDecoding() const override { return true; }

 private:
  const std::vector<uint8_t> data_;  // the file, kept to decode other levels
};

}  // namespace zem
