// Writing pictures as PNG files (snapshots, tools): 24-bit pictures as RGB, 32-bit as RGBA,
// grey as grey.
//
// Threads: any; no shared state.
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

// A PNG made for speed (snapshots): every row filtered "Up", the data compressed by
// libdeflate's fastest level, 32-bit pictures written as RGB when `opaque` (alpha dropped).
// About five times faster than the writer above at level 6, files about 10 % larger.
bool EncodePngFast(const TBitmap& bitmap, std::vector<uint8_t>& out, bool opaque);
bool WritePngFileFast(const TBitmap& bitmap, const std::string& path, bool opaque);

}  // namespace zem
