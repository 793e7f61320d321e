// The page roll: the slide drawn through it is a sheet wound on a roll that travels across the
// picture and lays the sheet flat behind it (reversed, winds it up). The sheet is cut into
// strips across the travel direction; each strip's vertices are moved onto the roll, shaded by
// the roll angle, and the part turned past the roll's silhouette shows the sheet's back (the
// picture or a flat colour).
//
// Threads: engine thread, inside frames.
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "transitions/draw_filter.h"

namespace zem {

// A triangle of sheet vertices (x, y, brightness) and whether it shows the sheet's back.
using TEmitStrip = std::function<void(const TEffVertex (&tri)[3], bool back)>;

// The roll's geometry over one sheet. Positions along the travel direction ("along") are
// measured from the start edge (the start corner for the diagonals) in pixels, so the roll has
// the same radius in every direction.
class TRoller3 {
 public:
  // Direction 1..8 (right, left, up, down and the four diagonals); `variants` turns the sheet
  // up to 3π/2 instead of π.
  TRoller3(const TRectI& sheet, int32_t direction, float rollSize, bool threeD, float curving, bool variants);

  // The direction of a page roll's class (14, 15) and type (1..8); 0 for any other.
  static int32_t DirectionOf(int32_t effectClass, int32_t effectType);

  // Along coordinate of the far edge.
  float Length() const { return length_; }
  // The roll position with the whole sheet wound up just outside the start edge.
  float StartPosition() const;
  float EndPosition() const { return length_; }
  float Along(float x, float y) const;
  // The roll angle of the line at `u`, 0..maximum angle.
  float Angle(float u, float pos) const;
  // 50 in shadow (edge-on) .. 255 flat.
  float Brightness(float u, float pos) const;
  // The angle from which on the sheet shows its back: π/2 flat; in 3D where the roll turns
  // edge-on to an eye above the middle of the sheet.
  double SwitchAngle(float pos) const;
  float SwitchPoint(float pos) const { return pos + float(r_ * SwitchAngle(pos)); }
  // A sheet point wound onto the roll at `pos`: position and depth (negative towards the eye).
  TVec3 Map(float x, float y, float pos) const;
  // The strips of the whole sheet for the roll at `pos`.
  void Emit(float pos, const TEmitStrip& emit);

  TPointF Direction() const { return {dx_, dy_}; }
  float RollSize() const { return r_; }
  float MaxAngle() const { return maxAngle_; }
  float FineStep() const { return fine_; }

 private:
  void EmitStrip(float u0, float u1, bool back, float pos, const TEmitStrip& emit);

  TRectI sheet_;
  float dx_ = 1, dy_ = 0;    // unit travel direction
  float ox_ = 0, oy_ = 0;    // the start edge (corner) along which `along` is 0
  float length_ = 0;
  float r_ = 2;
  bool threeD_ = false;
  float curving_ = 0.125f;
  float maxAngle_ = 0;
  float fine_ = 3;
  std::vector<TEffVertex> strip_, scratch_;
};

class TRollEffect2 : public TDrawFilter {
 public:
  // `params` carries the roll diameter in pixels already.
  TRollEffect2(int32_t effectClass, int32_t effectType, const TEffectParams& params);
  ~TRollEffect2() override;
  void Draw(TEffController* controller) override;

  int32_t Direction() const { return direction_; }
  float RollSize() const { return rollSize_; }
  // The roll position at the current time; the roller exists after the first Draw.
  float RollPosition() const;
  const TRoller3* Roller() const { return roller_.get(); }

 private:
  // Splitters over the cells meeting the clip rectangle, and the roller over the clip
  // rectangle; made again when the controller's grid or clip changed.
  void Build(TEffController* controller);
  void Pass(TEffController* controller, T2DSeparator& pieces, bool back);

  int32_t direction_;
  uint8_t variants_, useBackColour_, threeD_;
  uint8_t backB_, backG_, backR_;
  float rollSize_, curving_;
  std::unique_ptr<TRoller3> roller_;
  std::unique_ptr<T2DSeparator> front_, back_;
  int32_t firstColumn_ = 0, firstRow_ = 0, columns_ = 0, rows_ = 0;
  TRectI builtBounds_, builtClip_;
  TPointI builtGrid_;
  float start_ = 0, end_ = 0;
};

}  // namespace zem
