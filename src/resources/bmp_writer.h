// Writing pictures as Windows BMP files (the print dialog's "Save"): bottom-up rows, 24-bit, or
// 32-bit when the picture has any alpha below 255.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/bitmap.h"

namespace zem {

// False when the picture is empty or the file would pass 4 GB.
bool EncodeBmp(const TBitmap& bitmap, std::vector<uint8_t>& out);

}  // namespace zem
