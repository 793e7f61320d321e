// TRootItem: one whole frame. It picks the slide (or the two slides of a running transition)
// from the slide containers, adds the overlay on top, tracks what changed since the previous
// frame, and draws the slides (optionally sharpened), then the overlay or the letterbox.
//
// Threads: engine thread only.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "model/draw_interface.h"

namespace zem {

class TDrawContainer;

// Fills the target outside the frame clip rectangle (widened by one pixel) with `rgb` made
// opaque: top, left, right and bottom bands.
void PaintBorder(TDeviceDrawer& drawer, uint32_t rgb);

class TRootItem : public TDrawItem {
 public:
  explicit TRootItem(bool fillBorder) : fillBorder_(fillBorder) {}

  // Arranges the frame from the containers in slide order, at each container's clock time
  // (its shared timing) or at `time` when given. False when no container has started.
  bool Compose(TDrawContainer* const* containers, int32_t count, TDrawItem* overlay,
               std::optional<double> time = std::nullopt);

  bool IsChanged() const override;
  void Draw(TDeviceDrawer& drawer) override;
  void FrameDone(TDeviceDrawer& drawer) override;

  const std::vector<TDrawItem*>& Items() const { return items_; }
  TZemFilter* Transition() const { return filter_; }
  bool TransitionRunning() const { return transitionRunning_; }
  bool FillBorder() const { return fillBorder_; }

  uint32_t backgroundColour = 0;  // 24-bit RGB, the letterbox colour
  float sharpenAmount = 0;        // 0 = off
  uint8_t sharpenThreshold = 0;

 private:
  void SetItem(size_t index, TDrawItem* item);
  void SetFilter(TZemFilter* filter);

  std::vector<TDrawItem*> items_;
  std::vector<TDrawItem*> previous_;
  bool fillBorder_;
  TZemFilter* filter_ = nullptr;
  double lastProgress_ = -1e300;
  bool transitionRunning_ = false;
  bool changed_ = false;
};

}  // namespace zem
