// The picture container (".vygfx"): a few named text fields and a raw-deflated BMP file,
// inflated and decoded when the picture is first needed.
//
//   "VYGF", u16 field count n, n x (u16 length + UTF-8 name, u16 length + UTF-8 value),
//   raw deflate data of a complete BMP file up to the end of the stream.
//
// Required fields: "File", "Width", "Height", "OriginalSize".
#pragma once
#include <map>
#include <string>
#include <vector>

#include "resources/bitmap_store.h"

namespace zem {

class TGfxBitmapStore : public TBitmapStore {
 public:
  TGfxBitmapStore(int32_t width, int32_t height, TImageTransform transform,
                  std::map<std::string, std::string> fields, std::vector<uint8_t> deflated);
  const std::map<std::string, std::string>& Fields() const { return fields_; }

 protected:
  bool DecodePixels(TBitmap& out) override;
  bool CanDecodeAgain() const override { return true; }

 private:
  std::map<std::string, std::string> fields_;
  const std::vector<uint8_t> deflated_;  // kept so reduced levels need not keep the full picture
};

// Raw deflate (no zlib or gzip wrapper); false when the data is damaged, ends early or would
// inflate beyond max_out bytes.
bool InflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out, size_t max_out);
// Raw deflate of data (for writing containers in tools and tests).
std::vector<uint8_t> DeflateRaw(const uint8_t* data, size_t size);

// Builds a container from its fields and a BMP file.
std::vector<uint8_t> BuildGfxContainer(const std::vector<std::pair<std::string, std::string>>& fields,
                                       const std::vector<uint8_t>& bmp_file);

}  // namespace zem
