// Writing pictures as baseline JPEG files with libjpeg (the demo's photographs).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bitmap.h"

namespace zem {

// Encodes a 24- or 32-bit picture (alpha dropped) at `quality` 1..100 with optimised Huffman
// tables; `app1`, when given, is written as an APP1 segment (EXIF). False when the picture is
// empty or grey, or libjpeg reports an error.
bool EncodeJpeg(const TBitmap& bitmap, int quality, std::vector<uint8_t>& out,
                const std::vector<uint8_t>* app1 = nullptr);

// An APP1 EXIF payload ("Exif" header and a little-endian TIFF directory) with the date-time
// (tag 306, "YYYY:MM:DD HH:MM:SS") and the image description (tag 270).
std::vector<uint8_t> MakeExifSegment(const std::string& dateTime, const std::string& description);

}  // namespace zem
