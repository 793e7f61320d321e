#include "transitions/broom_effect.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundation/assert.h"

namespace zem {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr int kSteps = 1000;       // points around the full turn
constexpr int kCoarse = 10;        // steps per triangle away from the band
constexpr double kStep = 2 * kPi / kSteps;

}  // namespace

TBroom::TBroom(const TRectI& rect, float smooth, float offset)
    : top_(float(rect.top)),
      height_(float(rect.Height())),
      left_(float(rect.left)),
      width_(float(rect.Width())),
      smooth_(smooth),
      offset_(offset) {}

void TBroom::Setup(float px, float py, double distance, double start, double end) {
  px_ = px;
  py_ = py;
  // The angle the soft width subtends at distance D: 2 arccot(2D / a).
  band_ = smooth_ > 0 ? 2 * std::atan(double(smooth_) / (2 * std::max(distance, 0.001))) : 0;
  start_ = start - band_;
  end_ = end;
}

double TBroom::Reach() const {
  // W + H + b as the fan's radius; a pivot far outside (large offsets) would leave the far
  // corners uncovered by the chords, so the radius is at least a little beyond the farthest
  // corner.
  double corner = 0;
  for (float x : {left_, left_ + width_})
    for (float y : {top_, top_ + height_}) corner = std::max(corner, std::hypot(double(x) - px_, double(y) - py_));
  return std::max(double(width_) + height_ + offset_, corner * 1.01);
}

float TBroom::Value(double alpha, double c) const {
  if (alpha < c) return 0;
  if (alpha >= c + band_) return 255;
  return EdgeProfileAt((alpha - c) * 255 / band_);
}

void TBroom::Draw(double c, const TEmitTriangle& emit) const {
  const double reach = Reach();
  auto angle = [&](int i) {
    double a = i * kStep;
    if (wrap_ && a < kPi) a += 2 * kPi;
    return a;
  };
  auto point = [&](int i, float value) -> TEffVertex {
    const double a = angle(i);
    return {float(px_ + reach * std::sin(a)), float(py_ - reach * std::cos(a)), value};
  };
  int i = 0;
  while (i < kSteps) {
    const double a = angle(i);
    // Single steps while the next coarse step would reach into the band.
    const bool fine = a + kCoarse * kStep >= c && a <= c + band_;
    const int j = std::min(i + (fine ? 1 : kCoarse), kSteps);
    const float vi = Value(a, c), vj = Value(angle(j), c);
    emit({px_, py_, (vi + vj) / 2}, point(i, vi), point(j, vj));
    i = j;
  }
}

std::unique_ptr<TBroom> TBroom::Make(int32_t direction, const TRectI& rect, float smooth, float offset) {
  switch (direction) {
    case 1: return std::make_unique<TBroomUp>(rect, smooth, offset);
    case 2: return std::make_unique<TBroomRight>(rect, smooth, offset);
    case 3: return std::make_unique<TBroomDown>(rect, smooth, offset);
    case 4: return std::make_unique<TBroomLeft>(rect, smooth, offset);
    case 5: return std::make_unique<TBroomUpRight>(rect, smooth, offset);
    case 6: return std::make_unique<TBroomDownRight>(rect, smooth, offset);
    case 7: return std::make_unique<TBroomDownLeft>(rect, smooth, offset);
    case 8: return std::make_unique<TBroomUpLeft>(rect, smooth, offset);
    default: ZEM_FAIL("broom direction outside 1..8");
  }
  return nullptr;
}

// The pivot sits outside the middle of a side, or outside a corner, by the offset b; the sweep
// starts where the band first touches the rectangle and ends where the line leaves it.

TBroomUp::TBroomUp(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double w = std::atan2(2.0 * b, double(width_));
  Setup(left_ + width_ / 2, top_ - b, b + height_ / 2.0, kPi / 2 + w, 3 * kPi / 2 - w);
}

TBroomRight::TBroomRight(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double h = std::atan2(2.0 * b, double(height_));
  Setup(left_ + width_ + b, top_ + height_ / 2, b + width_ / 2.0, kPi + h, 2 * kPi - h);
}

TBroomDown::TBroomDown(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double w = std::atan2(2.0 * b, double(width_));
  Setup(left_ + width_ / 2, top_ + height_ + b, b + height_ / 2.0, 3 * kPi / 2 + w, 5 * kPi / 2 - w);
  // The sweep runs through straight up: angles below π count one turn later.
  wrap_ = true;
}

TBroomLeft::TBroomLeft(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double h = std::atan2(2.0 * b, double(height_));
  Setup(left_ - b, top_ + height_ / 2, b + width_ / 2.0, h, kPi - h);
}

namespace {
double CornerDistance(float w, float h, float b) { return std::hypot(b + w / 2.0, b + h / 2.0); }
}  // namespace

TBroomUpRight::TBroomUpRight(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double t1 = std::atan2(double(b), double(b) + height_), t2 = std::atan2(double(b), double(b) + width_);
  Setup(left_ + width_ + b, top_ - b, CornerDistance(width_, height_, b), kPi + t1, 3 * kPi / 2 - t2);
}

TBroomDownRight::TBroomDownRight(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double t1 = std::atan2(double(b), double(b) + height_), t2 = std::atan2(double(b), double(b) + width_);
  Setup(left_ + width_ + b, top_ + height_ + b, CornerDistance(width_, height_, b), 3 * kPi / 2 + t2, 2 * kPi - t1);
}

TBroomDownLeft::TBroomDownLeft(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double t1 = std::atan2(double(b), double(b) + height_), t2 = std::atan2(double(b), double(b) + width_);
  Setup(left_ - b, top_ + height_ + b, CornerDistance(width_, height_, b), t1, kPi / 2 - t2);
}

TBroomUpLeft::TBroomUpLeft(const TRectI& r, float smooth, float b) : TBroom(r, smooth, b) {
  const double t1 = std::atan2(double(b), double(b) + height_), t2 = std::atan2(double(b), double(b) + width_);
  Setup(left_ - b, top_ - b, CornerDistance(width_, height_, b), kPi / 2 + t2, kPi - t1);
}

// ---------------------------------------------------------------------------------------------

double TBroomEffect::CurrentAngle() const {
  const double p = Progress();
  return start_ + range_ * (reverse_ ? 1 - p : p);
}

void TBroomEffect::Draw(TEffController* controller) {
  if (!controller) return;
  if (!broom_) {
    broom_ = TBroom::Make(direction_, rect_, smoothWidth_, offset_);
    // One step of the fan beyond both ends: a hard edge standing exactly on a corner would
    // otherwise be smeared over that step into the picture at the first and last frame.
    start_ = broom_->StartAngle() - kStep;
    range_ = broom_->EndAngle() + kStep - start_;
  }
  TMultiTile* multi = controller->GetMultiTile();
  multi->Begin(true, 0);
  broom_->Draw(CurrentAngle(), [&](const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
    TEffVertex v[3] = {a, b, c};
    for (TEffVertex& p : v) {
      p.value = 255 - p.value;
      MapToClip(p);
    }
    multi->DrawTriangle(v[0], v[1], v[2]);
  });
  multi->End();
}

}  // namespace zem
