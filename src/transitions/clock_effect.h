// The clock wipe: a hand turns clockwise about the centre of the picture (counter-clockwise
// when mirrored) and reveals the sector it swept, with soft bands along the start line and the
// hand.
//
// Threads: engine thread, inside frames.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "transitions/draw_filter.h"

namespace zem {

// Receives a triangle in filter-rectangle coordinates; the value is 255 minus the opacity.
using TEmitTriangle = std::function<void(const TEffVertex&, const TEffVertex&, const TEffVertex&)>;

// The geometry of the hand for one filter rectangle.
class TArrow {
 public:
  // The centre is at the given fractions of the rectangle, rounded to whole pixels;
  // `smoothWidth` 0 gives a band of 0.001 pixels (a hard edge).
  TArrow(const TRectI& rect, float centreX, float centreY, float smoothWidth, TEmitTriangle emit);

  // Emits the revealed sector for the hand at `theta` (radians clockwise from straight up):
  // nothing at 0, the whole rectangle at 2π.
  void Draw(double theta);
  // The opacity 0..255 at a point with the hand at `theta` (before the value inversion).
  float Opacity(float x, float y, double theta) const;

  float CentreX() const { return cx_; }
  float CentreY() const { return cy_; }
  float SoftWidth() const { return soft_; }

 private:
  void EmitPolygon(std::vector<TEffVertex>& poly, double theta);

  float top_, height_, left_, width_;
  float cx_, cy_;
  float soft_;
  TEmitTriangle emit_;
  std::vector<TEffVertex> slab_, cell_, scratch_;
};

class TClockEffect : public TDrawFilter {
 public:
  explicit TClockEffect(bool mirror) : mirror_(mirror ? 1 : 0) {}
  void Draw(TEffController* controller) override;
  bool Mirror() const { return mirror_ != 0; }
  // The hand's angle at the current time: progress × 2π.
  double HandAngle() const;

 private:
  uint8_t mirror_;
  float centreX_ = 0.5f, centreY_ = 0.5f;
  std::unique_ptr<TArrow> arrow_;  // made on the first Draw
  TMultiTile* multi_ = nullptr;    // only during Draw
};

}  // namespace zem
