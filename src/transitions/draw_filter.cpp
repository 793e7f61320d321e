#include "transitions/draw_filter.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace zem {

float OpacityCurve(float x) {
  if (x < 127.5f) return x * x / 128.0f;
  const float r = 255.0f - x;
  return 255.0f - r * r / 128.0f;
}

const TCurveSamples& CurveSamples() {
  static const TCurveSamples samples = [] {
    TCurveSamples s;
    for (int i = 0; i < 15; ++i) {
      s.x[size_t(i)] = float(i) * 255.0f / 14.0f;
      s.value[size_t(i)] = OpacityCurve(s.x[size_t(i)]);
    }
    return s;
  }();
  return samples;
}

const std::array<float, 256>& EdgeProfile() {
  static const std::array<float, 256> table = [] {
    std::array<float, 256> t{};
    for (int i = 0; i < 128; ++i) {
      t[size_t(i)] = float((i * i) / 128);
      t[size_t(255 - i)] = 255.0f - t[size_t(i)];
    }
    return t;
  }();
  return table;
}

float EdgeProfileAt(double k) {
  if (!(k > 0)) return EdgeProfile()[0];
  if (k >= 255) return EdgeProfile()[255];
  return EdgeProfile()[size_t(std::lround(k))];
}

double Ease(double x) { return x < 0.5 ? 2 * x * x : 1 - 2 * (1 - x) * (1 - x); }

// ---------------------------------------------------------------------------------------------

void TDrawFilter::Init(const TRectI& rect, float smoothWidth, float duration) {
  rect_ = rect;
  smoothWidth_ = smoothWidth;
  duration_ = duration;
  recip_ = duration != 0 ? 1.0 / double(duration) : 0.0;
  time_ = 0;
  // Until the drawer says otherwise the filter draws where it was made for.
  if (clipRect_.IsEmpty()) clipRect_ = rect;
}

void TDrawFilter::SetTime(float time) {
  if (!(time >= 0))
    time_ = 0;
  else if (time > duration_)
    time_ = duration_;
  else
    time_ = time;
}

void TDrawFilter::MapToClip(TEffVertex& v) const {
  const float sx = rect_.Width() != 0 ? float(clipRect_.Width()) / float(rect_.Width()) : 1.0f;
  const float sy = rect_.Height() != 0 ? float(clipRect_.Height()) / float(rect_.Height()) : 1.0f;
  v.x = float(clipRect_.left) + (v.x - float(rect_.left)) * sx;
  v.y = float(clipRect_.top) + (v.y - float(rect_.top)) * sy;
}

namespace {

void EmitRect(TEffTile* tile, float l, float t, float r, float b, float opacity) {
  tile->DrawTriangle({l, t, opacity}, {r, t, opacity}, {l, b, opacity});
  tile->DrawTriangle({r, t, opacity}, {l, b, opacity}, {r, b, opacity});
}

}  // namespace

void TAlphaFilter::Draw(TEffController* controller) {
  if (!controller) return;
  const float opacity = Opacity();
  const TRectI c = controller->GetClipRect();
  TMultiTile* multi = controller->GetMultiTile();
  multi->Begin(true, 0);
  EmitRect(multi, float(c.left), float(c.top), float(c.right), float(c.bottom), opacity);
  multi->End();
}

// ---------------------------------------------------------------------------------------------

TRandomFilter::TRandomFilter(int32_t columns, int32_t rows, int32_t seed, int32_t softness)
    : columns_(std::max(columns, 1)), rows_(std::max(rows, 1)), seed_(seed), softness_(softness) {}

void TRandomFilter::Init(const TRectI& rect, float smoothWidth, float duration) {
  TDrawFilter::Init(rect, smoothWidth, duration);
  scale_ = int32_t(std::lround(double(softness_) * 100.0));
  thresholds_.assign(size_t(columns_) * size_t(rows_), 0);
  uint32_t state = uint32_t(seed_);
  for (int32_t row = 0; row < rows_; ++row) {
    for (int32_t col = 0; col < columns_; ++col) {
      state = state * 1664525u + 1013904223u;
      const float u = std::bit_cast<float>((state & 0x7FFFFFu) | 0x3F800000u) - 1.0f;
      thresholds_[size_t(col) * size_t(rows_) + size_t(row)] = int32_t(std::lround(double(u) * scale_));
    }
  }
}

int32_t TRandomFilter::Position() const {
  return int32_t(std::lround(double(time_) * recip_ * double(scale_ + 256) - 256.0));
}

void TRandomFilter::Draw(TEffController* controller) {
  if (!controller) return;
  const int32_t d = Position();
  const TRectI c = controller->GetClipRect();
  const float cw = float(c.Width()) / float(columns_), ch = float(c.Height()) / float(rows_);
  TMultiTile* multi = controller->GetMultiTile();
  multi->Begin(true, 0);
  for (int32_t row = 0; row < rows_; ++row) {
    for (int32_t col = 0; col < columns_; ++col) {
      const int32_t e = Threshold(col, row) - d;
      if (e >= 255) continue;
      const float opacity = e < 0 ? 255.0f : float(255 - e);
      const float l = float(c.left) + float(col) * cw, t = float(c.top) + float(row) * ch;
      EmitRect(multi, l, t, l + cw, t + ch, opacity);
    }
  }
  multi->End();
}

// ---------------------------------------------------------------------------------------------

TPointF TSlideFilter::Offset(float w, float h, float p) const {
  switch (direction_) {
    case 1: return {w * p - w, 0};
    case 2: return {w - w * p, 0};
    case 3: return {0, h * p - h};
    case 4: return {0, h - h * p};
    default: return direction_ < 3 ? TPointF{w * p, 0} : TPointF{0, h * p};
  }
}

TPointF TPushFilter::PushOffset(float w, float h, float p) const {
  switch (Direction()) {
    case 1: return {w * p, 0};
    case 2: return {-w * p, 0};
    case 3: return {0, h * p};
    case 4: return {0, -h * p};
    default: return {0, 0};
  }
}

void TSlideFilter::Draw(TEffController* controller) {
  if (!controller) return;
  const TRectI c = controller->GetClipRect();
  const float l = float(c.left), t = float(c.top), r = float(c.right), b = float(c.bottom);
  const TPointF o = Offset(r - l, b - t, Progress());
  const TEffVertex src1[3] = {{l, t, 255}, {r, t, 255}, {l, b, 255}};
  const TPointF dst1[3] = {{l + o.x, t + o.y}, {r + o.x, t + o.y}, {l + o.x, b + o.y}};
  const TEffVertex src2[3] = {{r, b, 255}, {l, b, 255}, {r, t, 255}};
  const TPointF dst2[3] = {{r + o.x, b + o.y}, {l + o.x, b + o.y}, {r + o.x, t + o.y}};
  for (int32_t row = 0; row < controller->RowCount(); ++row) {
    for (int32_t col = 0; col < controller->ColumnCount(); ++col) {
      const TRectI cell = controller->CellRect(col, row);
      if (cell.right <= c.left || cell.left >= c.right || cell.bottom <= c.top || cell.top >= c.bottom)
        continue;
      TEffTile* tile = controller->GetCell(col, row);
      tile->Begin(true, 0);
      tile->MapTriangle(src1, dst1);
      tile->MapTriangle(src2, dst2);
      tile->End();
    }
  }
}

}  // namespace zem
