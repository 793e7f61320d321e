// Transition filters: for each frame they decide which parts of the captured slide are visible
// and how opaque, by emitting triangles into a triangle controller.
//
// Threads: made and driven by the engine thread (inside frames).
#pragma once
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "foundation/refobj.h"
#include "model/draw_interface.h"
#include "model/geometry.h"
#include "model/transition_choice.h"
#include "transitions/tri_pipeline.h"

namespace zem {

// The S-shaped opacity curve of soft edges on a 0..255 scale, and its 15 tabulated samples.
float OpacityCurve(float x);
struct TCurveSamples {
  std::array<float, 15> x{}, value{};
};
const TCurveSamples& CurveSamples();

// The edge profile of the sweeping wipes: T[i] = floor(i² / 128) for i < 128 and
// T[255 − i] = 255 − T[i], an S-curve from 0 to 255.
const std::array<float, 256>& EdgeProfile();
// T at k rounded to an integer, k below 0 counting as 0 and above 255 as 255.
float EdgeProfileAt(double k);
// The ease of the flip and the swap: 2x² below one half, else 1 − 2(1 − x)².
double Ease(double x);

class TDrawFilter : public TObj {
 public:
  ~TDrawFilter() override = default;

  virtual void Init(const TRectI& rect, float smoothWidth, float duration);
  // Clamped to 0..duration; not-a-number counts as 0.
  virtual void SetTime(float time);
  // Draws nothing without a controller.
  virtual void Draw(TEffController* controller) = 0;
  // The end of a frame the filter drew in (the root item passes it on).
  virtual void FrameDone(TDeviceDrawer& /*drawer*/) {}

  // Current time × reciprocal of the duration (0..1).
  float Progress() const { return float(time_ * recip_); }
  void SetClipRect(const TRectI& r) { clipRect_ = r; }
  const TRectI& ClipRect() const { return clipRect_; }
  const TRectI& Rect() const { return rect_; }
  float SmoothWidth() const { return smoothWidth_; }
  float Duration() const { return duration_; }
  float Time() const { return time_; }
  bool Reverse() const { return reverse_ != 0; }
  void SetReverse(bool r) { reverse_ = r ? 1 : 0; }
  // Tells the drawer to repeat the capture's last column and row one pixel outwards.
  bool ExtendsEdges() const { return extendEdges_ != 0; }

  void SetEffect(int32_t effectClass, int32_t effectType, const TEffectParams& params) {
    effectClass_ = effectClass;
    effectType_ = effectType;
    params_ = params;
  }
  int32_t EffectClass() const { return effectClass_; }
  int32_t EffectType() const { return effectType_; }
  const TEffectParams& Params() const { return params_; }

 protected:
  // A point of the filter rectangle on the clip rectangle (the same fractions of both).
  void MapToClip(TEffVertex& v) const;

  TRectI rect_;
  float smoothWidth_ = 0;
  float duration_ = 0;
  double recip_ = 0;
  float time_ = 0;
  uint8_t reverse_ = 0;
  uint8_t extendEdges_ = 0;
  TRectI clipRect_;
  int32_t effectClass_ = 0, effectType_ = 0;
  TEffectParams params_;
};

// Cross-fade: the whole clip rectangle at one opacity rising with the time.
class TAlphaFilter : public TDrawFilter {
 public:
  void Draw(TEffController* controller) override;
  // The opacity at the current time, 0..255.
  float Opacity() const { return std::clamp(float(time_ * 255.0 * recip_), 0.0f, 255.0f); }
};

// Tile dissolve: every cell of a grid fades in over 255 units starting at its own threshold.
class TRandomFilter : public TDrawFilter {
 public:
  TRandomFilter(int32_t columns, int32_t rows, int32_t seed, int32_t softness);
  void Init(const TRectI& rect, float smoothWidth, float duration) override;
  void Draw(TEffController* controller) override;

  int32_t Threshold(int32_t column, int32_t row) const {
    return thresholds_[size_t(column) * size_t(rows_) + size_t(row)];
  }
  // The dissolve position d (−256 .. softness × 100) at the current time.
  int32_t Position() const;

 private:
  int32_t columns_, rows_, seed_, softness_;
  int32_t scale_ = 0;  // softness × 100
  std::vector<int32_t> thresholds_;  // column-major
};

// Moves the newer item in from one side (1 left, 2 right, 3 top, 4 bottom).
class TSlideFilter : public TDrawFilter {
 public:
  explicit TSlideFilter(int32_t direction) : direction_(direction) { extendEdges_ = 1; }
  void Draw(TEffController* controller) override;
  int32_t Direction() const { return direction_; }
  // Where the entering item sits relative to its final place.
  TPointF Offset(float width, float height, float progress) const;

 private:
  int32_t direction_;
};

// Pushes the older item out while the newer enters; the drawer moves the older item by
// PushOffset.
class TPushFilter : public TSlideFilter {
 public:
  explicit TPushFilter(int32_t direction) : TSlideFilter(direction) {}
  TPointF PushOffset(float width, float height, float progress) const;
};

}  // namespace zem
