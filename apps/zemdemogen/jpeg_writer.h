// Writing pictures as baseline JPEG files with libjpeg (the demo's photographs).
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/bitmap.h"

namespace zem {

// Encodes a 24- or 32-bit picture (alpha dropped) at `quality` 1..100 with optimised Huffman
// tables. False when the picture is empty or grey, or libjpeg reports an error.
bool EncodeJpeg(const TBitmap& bitmap, int quality, std::vector<uint8_t>& out);

}  // namespace zem
