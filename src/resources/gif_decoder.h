// GIF pictures through giflib. A still GIF gives the picture of its first image on its
// canvas; an animated GIF (a loop-count extension, or more than one image) gives a strip of
// frames side by side with a TTilesTag describing cells, delays and loop count.
#pragma once
#include <vector>

#include "resources/bitmap_store.h"

namespace zem {

struct TGifResult {
  TBitmap picture;                    // the still picture or the strip (32-bit with alpha)
  std::unique_ptr<TTilesTag> tiles;  // set for an animated GIF
};

// Decodes a GIF file in memory; false when it is not a usable GIF picture.
bool ReadGif(const uint8_t* data, size_t size, TGifResult& out);

}  // namespace zem
