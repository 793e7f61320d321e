#include "transitions/common_filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace zem {

void TCommonFilter::Init(const TRectI& rect, float smoothWidth, float duration) {
  TDrawFilter::Init(rect, smoothWidth, duration);
  cx_ = float(rect.left) + float(rect.Width()) * fx_;
  cy_ = float(rect.top) + float(rect.Height()) * fy_;
  UpdateGeometry();
}

float TCommonFilter::BandPosition() const {
  float p = float(double(time_) * recip_ * double(maxDist_));
  if (reverse_) p = maxDist_ - p;
  return p;
}

void TCommonFilter::Draw(TEffController* controller) {
  if (!controller) return;
  const float p = BandPosition();
  multi_ = controller->GetMultiTile();
  multi_->Begin(true, 0);
  DrawBands(p - smoothWidth_, p);
  multi_->End();
  multi_ = nullptr;
}

void TCommonFilter::DrawBands(float inner, float outer) {
  if (outer <= 0) return;
  if (inner > 0) DrawBand(-1, 0, inner, 255, 255);
  const TCurveSamples& curve = CurveSamples();
  float r = inner, c = 0;
  if (inner < 0) {
    c = OpacityCurve(-inner * 255.0f / (outer - inner));
    r = 0;
  }
  const float step = (outer - inner) / 255.0f;
  int32_t k = 0;
  for (int i = 1; i <= 14; ++i) {
    const float d = inner + curve.x[size_t(i)] * step;
    const float ci = curve.value[size_t(i)];
    if (d > 0 && r < maxDist_ && (i == 14 || d - r > 2)) {
      DrawBand(k, r, d, 255 - c, 255 - ci);
      ++k;
      r = d;
      c = ci;
    }
  }
}

void TCommonFilter::EmitTriangle(TEffVertex a, TEffVertex b, TEffVertex c) {
  for (TEffVertex* v : {&a, &b, &c}) MapToClip(*v);
  multi_->DrawTriangle(a, b, c);
}

void TCommonFilter::EmitQuad(const TEffVertex& tl, const TEffVertex& tr, const TEffVertex& bl,
                             const TEffVertex& br) {
  EmitTriangle(tl, tr, bl);
  EmitTriangle(tr, bl, br);
}

// ---------------------------------------------------------------------------------------------

void TCircleFilter::UpdateGeometry() {
  const float l = float(rect_.left), t = float(rect_.top), r = float(rect_.right), b = float(rect_.bottom);
  const float dx = std::max({l - cx_, 0.0f, cx_ - r}), dy = std::max({t - cy_, 0.0f, cy_ - b});
  edge_ = std::sqrt(dx * dx + dy * dy);
  const float fx = std::max(std::abs(cx_ - l), std::abs(cx_ - r));
  const float fy = std::max(std::abs(cy_ - t), std::abs(cy_ - b));
  corner_ = std::sqrt(fx * fx + fy * fy);
  segments_ = edge_ > 0 ? 256 : 128;
  maxDist_ = corner_ - edge_ + smoothWidth_;
}

void TCircleFilter::DrawBand(int32_t index, float r0, float r1, float a0, float a1) {
  const float ri = r0 + edge_, ro = r1 + edge_;
  const int32_t n = segments_;
  const double step = 2.0 * std::numbers::pi / n;
  // Points alternate between the circles at angles m × step; which circle starts at angle 0
  // alternates with the band index so neighbouring bands interlock.
  const bool innerFirst = index >= 0 && index % 2 == 0;
  auto point = [&](int32_t m) -> TEffVertex {
    const bool inner = (m % 2 == 0) == innerFirst;
    const double angle = m >= n ? (m - n) * step : m * step;  // exact start angles when closing
    const float radius = inner ? ri : ro;
    return {cx_ + radius * float(std::cos(angle)), cy_ + radius * float(std::sin(angle)), inner ? a0 : a1};
  };
  const bool fan = ri <= 0;
  for (int32_t m = 0; m < n; ++m) {
    const bool thirdInner = ((m + 2) % 2 == 0) == innerFirst;
    if (fan && thirdInner) continue;
    EmitTriangle(point(m), point(m + 1), point(m + 2));
  }
}

// ---------------------------------------------------------------------------------------------

void THLines::UpdateGeometry() {
  maxDist_ = std::max(std::abs(cx_ - float(rect_.right)), std::abs(cx_ - float(rect_.left))) + smoothWidth_;
}

void THLines::DrawBand(int32_t, float r0, float r1, float a0, float a1) {
  const float t = float(rect_.top), b = float(rect_.bottom);
  EmitQuad({cx_ - r1, t, a1}, {cx_ - r0, t, a0}, {cx_ - r1, b, a1}, {cx_ - r0, b, a0});
  EmitQuad({cx_ + r0, t, a0}, {cx_ + r1, t, a1}, {cx_ + r0, b, a0}, {cx_ + r1, b, a1});
}

void TVLines::UpdateGeometry() {
  maxDist_ = std::max(std::abs(cy_ - float(rect_.bottom)), std::abs(cy_ - float(rect_.top))) + smoothWidth_;
}

void TVLines::DrawBand(int32_t, float r0, float r1, float a0, float a1) {
  const float l = float(rect_.left), r = float(rect_.right);
  EmitQuad({l, cy_ - r1, a1}, {r, cy_ - r1, a1}, {l, cy_ - r0, a0}, {r, cy_ - r0, a0});
  EmitQuad({l, cy_ + r0, a0}, {r, cy_ + r0, a0}, {l, cy_ + r1, a1}, {r, cy_ + r1, a1});
}

void TRhombFilter::UpdateGeometry() {
  maxDist_ = float((rect_.Width() + rect_.Height()) / 2) + smoothWidth_;
}

void TRhombFilter::DrawBand(int32_t, float r0, float r1, float a0, float a1) {
  // Each quadrant: from the horizontal tip to the vertical tip of both diamonds.
  for (const float sx : {1.0f, -1.0f}) {
    for (const float sy : {-1.0f, 1.0f}) {
      EmitQuad({cx_ + sx * r0, cy_, a0}, {cx_ + sx * r1, cy_, a1}, {cx_, cy_ + sy * r0, a0},
               {cx_, cy_ + sy * r1, a1});
    }
  }
}

void TSquareFilter::UpdateGeometry() {
  const float w = float(rect_.Width());
  aspect_ = w != 0 ? float(rect_.Height()) / w : 1.0f;
  maxDist_ = w / 2 + smoothWidth_;
}

void TSquareFilter::DrawBand(int32_t, float r0, float r1, float a0, float a1) {
  const float h0 = r0 * aspect_, h1 = r1 * aspect_;
  // top, bottom, left, right
  EmitQuad({cx_ - r1, cy_ - h1, a1}, {cx_ + r1, cy_ - h1, a1}, {cx_ - r0, cy_ - h0, a0}, {cx_ + r0, cy_ - h0, a0});
  EmitQuad({cx_ - r0, cy_ + h0, a0}, {cx_ + r0, cy_ + h0, a0}, {cx_ - r1, cy_ + h1, a1}, {cx_ + r1, cy_ + h1, a1});
  EmitQuad({cx_ - r1, cy_ - h1, a1}, {cx_ - r0, cy_ - h0, a0}, {cx_ - r1, cy_ + h1, a1}, {cx_ - r0, cy_ + h0, a0});
  EmitQuad({cx_ + r0, cy_ - h0, a0}, {cx_ + r1, cy_ - h1, a1}, {cx_ + r0, cy_ + h0, a0}, {cx_ + r1, cy_ + h1, a1});
}

// ---------------------------------------------------------------------------------------------

TDiagLines::TDiagLines(int32_t effectClass, int32_t effectType) : TCommonFilter(0.5f, 0.5f) {
  flip_ = effectType > 2;
  if (effectClass == 8) {
    mode_ = 1;
    reverse_ = (effectType == 1 || effectType == 3) ? 1 : 0;
  } else {
    mode_ = (effectType == 1 || effectType == 3) ? 0 : 2;
  }
}

void TDiagLines::UpdateGeometry() {
  const int32_t w = rect_.Width(), h = rect_.Height();
  const int32_t base = mode_ == 0 ? 0 : mode_ == 1 ? (w + h) / 2 : w + h;
  maxDist_ = float(mode_ == 1 ? (w + h) / 2 : w + h) + smoothWidth_;
  const float l = float(rect_.left);
  if (!flip_) {
    topOffset_ = l + float(base);
    bottomOffset_ = l + float(base - h);
  } else {
    topOffset_ = l + float(base - h);
    bottomOffset_ = l + float(base);
  }
}

void TDiagLines::DrawBand(int32_t, float r0, float r1, float a0, float a1) {
  const float t = float(rect_.top), b = float(rect_.bottom);
  if (mode_ == 0 || mode_ == 1)
    EmitQuad({topOffset_ + r0, t, a0}, {topOffset_ + r1, t, a1}, {bottomOffset_ + r0, b, a0},
             {bottomOffset_ + r1, b, a1});
  if (mode_ == 1 || mode_ == 2)
    EmitQuad({topOffset_ - r1, t, a1}, {topOffset_ - r0, t, a0}, {bottomOffset_ - r1, b, a1},
             {bottomOffset_ - r0, b, a0});
}

}  // namespace zem
