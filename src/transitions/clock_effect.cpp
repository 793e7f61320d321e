#include "transitions/clock_effect.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zem {

namespace {

constexpr double kPi = std::numbers::pi;
// Cuts across each soft band: the profile is followed by 10 strips.
constexpr int kBandCuts = 10;

}  // namespace

TArrow::TArrow(const TRectI& rect, float centreX, float centreY, float smoothWidth, TEmitTriangle emit)
    : top_(float(rect.top)),
      height_(float(rect.Height())),
      left_(float(rect.left)),
      width_(float(rect.Width())),
      cx_(std::round(left_ + width_ * centreX)),
      cy_(std::round(top_ + height_ * centreY)),
      soft_(smoothWidth > 0 ? smoothWidth : 0.001f),
      emit_(std::move(emit)) {}

float TArrow::Opacity(float x, float y, double theta) const {
  const double a = double(x) - cx_;
  // Across the start line: 255 on its right, the side the hand sweeps first.
  const double b = EdgeProfileAt((a + soft_ / 2) * 255 / soft_);
  // Across the hand: the signed distance towards the side it came from. Measured at right
  // angles, the same as across the band's horizontal width s / |cos θ| at the point's height.
  const double d = -(a * std::cos(theta) + (double(y) - cy_) * std::sin(theta));
  const double f = EdgeProfileAt((d + soft_ / 2) * 255 / soft_);
  const double m = std::min(f, b), big = std::max(f, b);
  double v;
  if (theta < 0.9 * kPi) {
    // Less than half swept: the intersection of the half-planes, the edges adding up far from it.
    const double u = (0.9 * kPi - theta) / (0.9 * kPi);
    v = m + (f + b - 255 - m) * u * u;
  } else if (theta < kPi) {
    v = m;
  } else if (theta <= 1.1 * kPi) {
    v = big;
  } else {
    const double u = (theta - 1.1 * kPi) / (0.9 * kPi);
    v = big + (f + b - big) * u * u;
  }
  return float(std::clamp(v, 0.0, 255.0));
}

void TArrow::EmitPolygon(std::vector<TEffVertex>& poly, double theta) {
  if (poly.size() < 3) return;
  bool any = false;
  for (TEffVertex& v : poly) {
    const float o = Opacity(v.x, v.y, theta);
    any = any || o > 0;
    v.value = 255 - o;
  }
  if (!any) return;  // nothing revealed here
  for (size_t i = 2; i < poly.size(); ++i) emit_(poly[0], poly[i - 1], poly[i]);
}

void TArrow::Draw(double theta) {
  if (std::abs(theta) < 0.000001) return;
  // Never exactly straight down: the hand and the start line would be one line.
  if (std::abs(theta - kPi) < 0.000001) theta = double(3.1415915f);
  const float l = left_, t = top_, r = left_ + width_, btm = top_ + height_;
  if (std::abs(theta - 2 * kPi) < 0.000001) {
    emit_({l, t, 0}, {r, t, 0}, {l, btm, 0});
    emit_({r, t, 0}, {l, btm, 0}, {r, btm, 0});
    return;
  }
  // The plane is cut into slabs across the start band and, within each, into pieces across the
  // hand band: 12 × 12 pieces, the inner ones following the profile, the outer ones all
  // revealed or all hidden (those are left out).
  const float c = float(std::cos(theta)), s = float(std::sin(theta));
  auto cut = [&](int i) { return -soft_ / 2 + float(i) * soft_ / kBandCuts; };
  for (int ia = 0; ia <= kBandCuts + 1; ++ia) {
    slab_ = {{l, t, 0}, {r, t, 0}, {r, btm, 0}, {l, btm, 0}};
    if (ia > 0) ClipToHalfPlane(slab_, 1, 0, -cx_ - cut(ia - 1), scratch_);         // x − cx ≥ lo
    if (ia <= kBandCuts) ClipToHalfPlane(slab_, -1, 0, cx_ + cut(ia), scratch_);    // x − cx ≤ hi
    if (slab_.size() < 3) continue;
    for (int id = 0; id <= kBandCuts + 1; ++id) {
      cell_ = slab_;
      // d = −((x − cx) cos θ + (y − cy) sin θ)
      if (id > 0) ClipToHalfPlane(cell_, -c, -s, c * cx_ + s * cy_ - cut(id - 1), scratch_);
      if (id <= kBandCuts) ClipToHalfPlane(cell_, c, s, -c * cx_ - s * cy_ + cut(id), scratch_);
      EmitPolygon(cell_, theta);
    }
  }
}

// ---------------------------------------------------------------------------------------------

double TClockEffect::HandAngle() const { return double(Progress()) * 2 * kPi; }

void TClockEffect::Draw(TEffController* controller) {
  if (!controller) return;
  if (!arrow_) {
    arrow_ = std::make_unique<TArrow>(rect_, centreX_, centreY_, smoothWidth_,
                                      [this](const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
                                        TEffVertex v[3] = {a, b, c};
                                        for (TEffVertex& p : v) {
                                          if (mirror_) p.x = float(rect_.left + rect_.right) - p.x;
                                          p.value = 255 - p.value;
                                          MapToClip(p);
                                        }
                                        multi_->DrawTriangle(v[0], v[1], v[2]);
                                      });
  }
  multi_ = controller->GetMultiTile();
  multi_->Begin(true, 0);
  arrow_->Draw(HandAngle());
  multi_->End();
  multi_ = nullptr;
}

}  // namespace zem
