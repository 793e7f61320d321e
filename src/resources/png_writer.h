// Writing pictures as PNG files (snapshots, tools): 24-bit pictures as RGB, 32-bit as RGBA,
// grey as grey.
#pragma once
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/stream.h"

namespace zem {

// Encodes the picture; false when it is empty or libpng fails.
bool EncodePng(const TBitmap& bitmap, std::vector<uint8_t>& out, int compression_level = 6);
bool WritePngStream(const TBitmap& bitmap, TStream& stream, int compression_level = 6);
bool WritePngFile(const TBitmap& bitmap, const std::string& path, int compression_level = 6);

}  // namespace zem
