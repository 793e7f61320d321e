// PNG pictures through libpng, behind the decoder entry of the external picture library: the
// header is read when the picture is opened, the rows when it is first needed. Palette, grey,
// 16-bit and interlaced files become 24-bit rows, or 32-bit rows when the file has alpha or a
// transparent colour.
#pragma once
#include <vector>

#include "resources/bitmap_store.h"

namespace zem {

class TImageLibStore : public TBitmapStore {
 public:
  TImageLibStore(int32_t width, int32_t height, TPixelFormat format, TImageTransform transform,
                 std::vector<uint8_t> data);

  // Reads the header of a PNG file in memory; false when it is not a usable PNG picture.
  static bool ReadHeader(const uint8_t* data, size_t size, int32_t& width, int32_t& height, TPixelFormat& format);
  static bool DecodeAll(const uint8_t* data, size_t size, TBitmap& out, TBitmapStore* progress = nullptr);

 protected:
  bool DecodePixels(TBitmap& out) override;
  bool CanDecodeAgain() const override { return true; }

 private:
  const std::vector<uint8_t> data_;  // the file, kept so reduced levels need not keep the full picture
};

}  // namespace zem
