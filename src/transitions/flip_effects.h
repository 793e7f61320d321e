// Transitions that move whole slides in three dimensions: the flip turns the picture about its
// vertical or horizontal centre line (the older slide until edge-on, the newer after), the swap
// moves the two slides apart sideways, one back and one forth, so they change places. Both draw
// each cell of the controller as a textured quadrilateral with a depth per corner.
//
// Threads: engine thread, inside frames.
#pragma once
#include "transitions/draw_filter.h"

namespace zem {

// The opaque black both fill the cells with (the drawer clears with the same).
constexpr uint32_t kTransitionBlack = 0xFF000000u;

// The four corners of a flipped page: position and depth.
struct TFlipPage {
  TVec3 topLeft, topRight, bottomLeft, bottomRight;
};

class TOverturnEffect : public TDrawFilter {
 public:
  // Variant 1..8: odd turn one way, even the other; 1, 2, 5, 6 about the vertical centre
  // line, 3, 4, 7, 8 about the horizontal one; 5..8 turn about the centre, 1..4 keep one edge
  // in the picture plane. Another variant raises an error at Draw.
  TOverturnEffect(int32_t variant, bool smooth, float curving) : variant_(variant), smooth_(smooth ? 1 : 0), curving_(curving) {}
  void Draw(TEffController* controller) override;

  int32_t Variant() const { return variant_; }
  // The turn θ (0..π) at the current time.
  double Turn() const;
  // 100 edge-on .. 255 flat.
  int32_t Brightness() const;
  // The page over `bounds` turned by the signed angle `a` (variant 1..8).
  static TFlipPage Page(int32_t variant, double a, const TRectF& bounds, float curving);

 private:
  int32_t variant_;
  uint8_t smooth_;
  float curving_;
};

class TTwoSlidesEffect : public TDrawFilter {
 public:
  // Variant 1..4: 1 and 2 sideways with a reflection, 3 and 4 up and down; `maxAngle` in
  // radians.
  TTwoSlidesEffect(int32_t variant, float depth, float width, float maxAngle)
      : variant_(variant), depth_(depth), width_(width), maxAngle_(maxAngle) {}
  void Draw(TEffController* controller) override;
  // The first draw of the next frame is the one behind.
  void FrameDone(TDeviceDrawer& drawer) override;

  int32_t Variant() const { return variant_; }
  int64_t DrawCount() const { return draws_; }
  // A corner of a slide moved by x (0 in place .. 1 far back) in the direction (A, B) of
  // `bounds`' size; another variant raises an error.
  TVec3 Displace(float x0, float y0, double x, double a, double b, const TRectF& bounds) const;

 private:
  int32_t variant_;
  float depth_, width_, maxAngle_;
  int64_t draws_ = 0;
};

}  // namespace zem
