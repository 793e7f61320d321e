// zemtool make's picture probe: the first byte picks the kind (by extension), the rest is the
// file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/stream.h"
#include "make_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* kNames[] = {"a.jpg", "a.png", "a.gif", "a.bmp"};
  zem::TMemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  zemtool::make::TPicture picture;
  std::string why;
  if (zemtool::make::ProbePictureStream(stream, kNames[data[0] % 4], picture, why)) {
    if (picture.width <= 0 || picture.height <= 0) __builtin_trap();
  }
  return 0;
}
