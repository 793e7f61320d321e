// JPEG pictures through the libjpeg API: the header is read when the picture is opened, the
// pixels when it is first needed. Grey pictures become 24-bit pictures.
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
  // Decodes a whole JPEG file in memory into a 24-bit picture.
  static bool DecodeAll(const uint8_t* data, size_t size, TBitmap& out, TBitmapStore* progress = nullptr);

 protected:
  bool DecodePixels(TBitmap& out) override;

 private:
  std::vector<uint8_t> data_;  // the file; released after decoding
};

}  // namespace zem
