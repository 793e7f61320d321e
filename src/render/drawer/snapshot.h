// One frame of a show at an exact show time, drawn without a display: the slides around that
// time are built synchronously through the slide producer and cache, composed by the root item
// and read back from a hidden window.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"

namespace zem {

class TZemSource;

// Draws the show at `timeMs` into `out` (width × height, 32-bit). False with `error` set when
// no window can be made or nothing of the show is on screen at that time.
bool RenderShowSnapshot(const TRef<TZemSource>& source, double timeMs, int32_t width, int32_t height,
                        TBitmap& out, std::string* error = nullptr);

}  // namespace zem
