// The broom wipe: a long line turns about a pivot outside the picture (one per side and
// corner) and reveals what it swept, with a soft band on its leading side.
//
// Threads: engine thread, inside frames.
#pragma once
#include <memory>

#include "transitions/clock_effect.h"

namespace zem {

// The sweeping line of one direction. Angles run clockwise from straight up: a point at angle α
// and distance R from the pivot is (px + R sin α, py − R cos α).
class TBroom {
 public:
  virtual ~TBroom() = default;

  // Directions 1..8: up, right, down, left, up-right, down-right, down-left, up-left; any
  // other is a programming error. `smooth` is the soft width, `offset` the pivot's distance
  // outside the rectangle (pixels).
  static std::unique_ptr<TBroom> Make(int32_t direction, const TRectI& rect, float smooth, float offset);

  // Emits the fan about the pivot for the line at angle `current`: swept angles get the value
  // 0, the far side 255, the band between them the edge profile.
  void Draw(double current, const TEmitTriangle& emit) const;
  // The value at angle `alpha` (the wrap applied) for the line at `current`.
  float Value(double alpha, double current) const;

  TPointF Pivot() const { return {px_, py_}; }
  double BandAngle() const { return band_; }
  double StartAngle() const { return start_; }
  double EndAngle() const { return end_; }
  bool Wraps() const { return wrap_; }
  // Distance of the fan's outer points from the pivot.
  double Reach() const;

 protected:
  TBroom(const TRectI& rect, float smooth, float offset);
  // Sets the pivot, the distance D at which the soft width gives the band angle, and the
  // sweep's start (before the band) and end.
  void Setup(float px, float py, double distance, double start, double end);

  float top_, height_, left_, width_;
  float px_ = 0, py_ = 0;
  double band_ = 0, start_ = 0, end_ = 0;
  float smooth_, offset_;
  bool wrap_ = false;
};

class TBroomUp : public TBroom {
 public:
  TBroomUp(const TRectI& rect, float smooth, float offset);
};
class TBroomRight : public TBroom {
 public:
  TBroomRight(const TRectI& rect, float smooth, float offset);
};
class TBroomDown : public TBroom {
 public:
  TBroomDown(const TRectI& rect, float smooth, float offset);
};
class TBroomLeft : public TBroom {
 public:
  TBroomLeft(const TRectI& rect, float smooth, float offset);
};
class TBroomUpRight : public TBroom {
 public:
  TBroomUpRight(const TRectI& rect, float smooth, float offset);
};
class TBroomDownRight : public TBroom {
 public:
  TBroomDownRight(const TRectI& rect, float smooth, float offset);
};
class TBroomDownLeft : public TBroom {
 public:
  TBroomDownLeft(const TRectI& rect, float smooth, float offset);
};
class TBroomUpLeft : public TBroom {
 public:
  TBroomUpLeft(const TRectI& rect, float smooth, float offset);
};

class TBroomEffect : public TDrawFilter {
 public:
  // Direction 1..8; the reverse flag (types 9..16) is set by the maker.
  TBroomEffect(int32_t direction, float offset) : direction_(direction), offset_(offset) {}
  void Draw(TEffController* controller) override;

  int32_t Direction() const { return direction_; }
  // The line's angle at the current time.
  double CurrentAngle() const;
  const TBroom* Broom() const { return broom_.get(); }

 private:
  int32_t direction_;
  float offset_;
  std::unique_ptr<TBroom> broom_;  // made on the first Draw
  double start_ = 0, range_ = 0;
};

}  // namespace zem
