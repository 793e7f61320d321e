// The video frame target seen from the decoder side: the decoder asks for a plane, writes its
// rows, commits it and finishes the frame. The drawer's video surface (T3DYUV) implements it.
//
// Threads: the decoder's worker calls OpenPlane / CommitPlane / Finish; other threads use
// Enter / Leave (the image's monitor) around anything that must not interleave with a frame
// being written.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "foundation/monitor.h"

namespace zem {

// Plane kinds.
enum : int { kPlaneY = 0, kPlaneU = 1, kPlaneV = 2, kPlaneGrey565 = 3, kPlaneRgba = 4 };

// The layout a surface asks its decoder for.
enum class TYUVLayout { Gray, Rgba, Grey565, Planar420 };

// A plane handed to the decoder: one pointer per row of the locked area.
struct TYUVPlane {
  std::vector<uint8_t*> rows;
  int32_t width = 0, height = 0;  // the locked area (bytes of a row are width × bytes per texel)
  int64_t pitch = 0;
};

class TYUVImage : public TMonitor {
 public:
  virtual bool OpenPlane(int kind, TYUVPlane& plane) = 0;
  virtual bool CommitPlane(int kind, TYUVPlane& plane) = 0;
  // Drops the device copies of the picture.
  virtual void Invalidate() = 0;
  // The decoder delivered a whole frame.
  virtual void Finish() {}

  TYUVLayout Layout() const { return layout_; }
  // Set when the image must be given a picture again; the decoder clears it after a frame.
  std::atomic<bool> needs_picture{true};
  // Told when the image lost its picture (bound by the frame extractor when the image joins
  // its pool, before any thread can lose the picture; not changed afterwards).
  std::function<void(TYUVImage*)> on_invalidated;

 protected:
  // Marks the picture as lost and tells the binder. Call without holding the image's monitor.
  void PictureLost() {
    needs_picture = true;
    if (on_invalidated) on_invalidated(this);
  }

  TYUVLayout layout_ = TYUVLayout::Planar420;
};

}  // namespace zem
