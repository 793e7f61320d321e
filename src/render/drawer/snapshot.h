// Frames of a show at exact show times, drawn without a display: the slides around each time
// are built synchronously through the slide producer and cache, composed by the root item and
// read back from a hidden window.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"

namespace zem {

class TZemSource;

// One hidden window, drawer and slide cache for many frames: times in increasing order reuse
// the slides (and their textures) already built. Threads: one thread uses it.
class TShowSnapshot {
 public:
  TShowSnapshot(TRef<TZemSource> source, int32_t width, int32_t height);
  ~TShowSnapshot();
  TShowSnapshot(const TShowSnapshot&) = delete;
  TShowSnapshot& operator=(const TShowSnapshot&) = delete;

  // Makes the window and the drawer; false with `error` set when that is impossible (no show,
  // a bad size, no video driver or device).
  bool Open(std::string* error = nullptr);
  // Draws the show at `timeMs` into `out` (width × height, 32-bit). False with `error` set
  // when nothing of the show is on screen at that time or drawing failed.
  bool Render(double timeMs, TBitmap& out, std::string* error = nullptr);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> impl_;
};

// One frame: a TShowSnapshot used once.
bool RenderShowSnapshot(const TRef<TZemSource>& source, double timeMs, int32_t width, int32_t height,
                        TBitmap& out, std::string* error = nullptr);

}  // namespace zem
