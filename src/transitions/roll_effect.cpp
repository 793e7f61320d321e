#include "transitions/roll_effect.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "foundation/assert.h"

namespace zem {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr float kHalfRoot2 = 0.70710677f;
constexpr float kCoarseStep = 50;  // pixels between strips outside the curved region

float Arccot(double x) { return float(x == 0 ? kPi / 2 : std::atan(1 / x)); }

}  // namespace

int32_t TRoller3::DirectionOf(int32_t effectClass, int32_t effectType) {
  static const int32_t kClass14[8] = {1, 4, 2, 3, 2, 3, 1, 4};
  static const int32_t kClass15[8] = {5, 7, 8, 6, 8, 6, 5, 7};
  if (effectType < 1 || effectType > 8) return 0;
  if (effectClass == 14) return kClass14[effectType - 1];
  if (effectClass == 15) return kClass15[effectType - 1];
  return 0;
}

TRoller3::TRoller3(const TRectI& sheet, int32_t direction, float rollSize, bool threeD, float curving, bool variants)
    : sheet_(sheet), r_(std::max(rollSize, 2.0f)), threeD_(threeD), curving_(curving) {
  static const TPointF kDirections[8] = {{1, 0},
                                         {-1, 0},
                                         {0, -1},
                                         {0, 1},
                                         {kHalfRoot2, kHalfRoot2},
                                         {kHalfRoot2, -kHalfRoot2},
                                         {-kHalfRoot2, kHalfRoot2},
                                         {-kHalfRoot2, -kHalfRoot2}};
  ZEM_ASSERT(direction >= 1 && direction <= 8);
  dx_ = kDirections[direction - 1].x;
  dy_ = kDirections[direction - 1].y;
  ox_ = float(dx_ >= 0 ? sheet.left : sheet.right);
  oy_ = float(dy_ >= 0 ? sheet.top : sheet.bottom);
  length_ = std::abs(dx_) * float(sheet.Width()) + std::abs(dy_) * float(sheet.Height());
  maxAngle_ = float(variants ? 3 * kPi / 2 : kPi);
  const int32_t r = int32_t(r_);
  fine_ = r >= 100 ? 8.0f : float(std::max(3, r / 10));
}

float TRoller3::StartPosition() const {
  // Wound up so that the roll's front stands at or before the start edge.
  return -float(threeD_ ? kPi / 2 : 1.0) * r_;
}

float TRoller3::Along(float x, float y) const { return dx_ * (x - ox_) + dy_ * (y - oy_); }

float TRoller3::Angle(float u, float pos) const { return std::clamp((u - pos) / r_, 0.0f, maxAngle_); }

float TRoller3::Brightness(float u, float pos) const { return 50 + std::abs(std::cos(Angle(u, pos))) * 205; }

double TRoller3::SwitchAngle(float pos) const {
  if (!threeD_ || !(curving_ > 0)) return kPi / 2;
  // The eye stands above the middle of the sheet at sheet height / curving; the back shows
  // from where the roll's surface turns edge-on to it (the nearer tangent point).
  const double a = double(pos) - double(length_) / 2;
  const double b = double(sheet_.Height()) / curving_;  // + r − the axis height r
  const double c = r_;
  const double g = a * a + b * b - 2 * b * c;
  if (g < 0) return kPi / 2;
  const double root = std::sqrt(g), den = 2 * c - b;
  if (den == 0) return kPi;
  const double phi1 = kPi - 2 * Arccot((root - a) / den);
  const double phi2 = kPi - 2 * Arccot((-a - root) / den);
  return std::min(phi1, phi2);
}

TVec3 TRoller3::Map(float x, float y, float pos) const {
  const float u = Along(x, y);
  const float c = u - pos;
  if (c <= 0) return {x, y, 0};
  // Wound round a roll of radius r standing on the roll line; beyond the maximum angle the
  // sheet goes on straight in the direction the roll's surface has there.
  const float phi = std::min(c / r_, maxAngle_);
  const float mapped = pos + r_ * std::sin(phi) + std::cos(phi) * (c - phi * r_);
  const float shift = mapped - u;
  const float z = threeD_ ? -(1 - std::cos(phi)) * r_ * curving_ : 0.0f;
  return {x + shift * dx_, y + shift * dy_, z};
}

void TRoller3::EmitStrip(float u0, float u1, bool back, float pos, const TEmitStrip& emit) {
  const float l = float(sheet_.left), t = float(sheet_.top), r = float(sheet_.right), b = float(sheet_.bottom);
  strip_ = {{l, t, 0}, {r, t, 0}, {r, b, 0}, {l, b, 0}};
  const float base = dx_ * ox_ + dy_ * oy_;
  ClipToHalfPlane(strip_, dx_, dy_, -base - u0, scratch_);  // along ≥ u0
  ClipToHalfPlane(strip_, -dx_, -dy_, base + u1, scratch_);  // along ≤ u1
  if (strip_.size() < 3) return;
  for (TEffVertex& v : strip_) v.value = Brightness(Along(v.x, v.y), pos);
  for (size_t i = 2; i < strip_.size(); ++i) {
    const TEffVertex tri[3] = {strip_[0], strip_[i - 1], strip_[i]};
    emit(tri, back);
  }
}

void TRoller3::Emit(float pos, const TEmitStrip& emit) {
  const float s = SwitchPoint(pos);
  const float e = pos + r_ * maxAngle_;  // end of the curved region
  float u = 0;
  while (u < length_) {
    float next = u + kCoarseStep;
    if (next > pos && u < e) next = u + fine_;
    // Strip boundaries on the roll line, the switch point and the end of the curve.
    for (float q : {pos, s, e})
      if (q > u && q < next) next = q;
    next = std::min(next, length_);
    if (!(next > u)) break;
    EmitStrip(u, next, (u + next) / 2 >= s, pos, emit);
    u = next;
  }
}

// ---------------------------------------------------------------------------------------------

TRollEffect2::TRollEffect2(int32_t effectClass, int32_t effectType, const TEffectParams& params)
    : direction_(TRoller3::DirectionOf(effectClass, effectType)),
      variants_(params.rollVariants),
      useBackColour_(params.rollUseBackColour),
      threeD_(params.roll3D),
      backB_(params.rollBackB),
      backG_(params.rollBackG),
      backR_(params.rollBackR),
      rollSize_(std::max(2.0f, std::isfinite(params.rollDiameter) ? std::round(params.rollDiameter) : 0.0f)),
      curving_(params.rollCurving) {
  reverse_ = effectType > 4 ? 1 : 0;
  extendEdges_ = 1;
}

TRollEffect2::~TRollEffect2() = default;

float TRollEffect2::RollPosition() const { return start_ + (end_ - start_) * Progress(); }

void TRollEffect2::Build(TEffController* controller) {
  const TRectI clip = controller->GetClipRect();
  const TRectI bounds = controller->GetBounds();
  const TPointI grid{controller->ColumnCount(), controller->RowCount()};
  if (roller_ && bounds == builtBounds_ && clip == builtClip_ && grid == builtGrid_) return;
  builtBounds_ = bounds;
  builtClip_ = clip;
  builtGrid_ = grid;
  // Only the cells that meet the clip rectangle get pieces.
  std::vector<float> columns, rows;
  firstColumn_ = firstRow_ = -1;
  for (int32_t c = 0; c < controller->ColumnCount(); ++c) {
    const TRectI cell = controller->CellRect(c, 0);
    if (cell.right <= clip.left || cell.left >= clip.right) continue;
    if (firstColumn_ < 0) {
      firstColumn_ = c;
      columns.push_back(float(cell.left));
    }
    columns.push_back(float(cell.right));
  }
  for (int32_t r = 0; r < controller->RowCount(); ++r) {
    const TRectI cell = controller->CellRect(0, r);
    if (cell.bottom <= clip.top || cell.top >= clip.bottom) continue;
    if (firstRow_ < 0) {
      firstRow_ = r;
      rows.push_back(float(cell.top));
    }
    rows.push_back(float(cell.bottom));
  }
  columns_ = columns.empty() ? 0 : int32_t(columns.size()) - 1;
  rows_ = rows.empty() ? 0 : int32_t(rows.size()) - 1;
  front_ = std::make_unique<T2DSeparator>(columns, rows);
  back_ = std::make_unique<T2DSeparator>(columns, rows);
  roller_ = std::make_unique<TRoller3>(clip, direction_, rollSize_, threeD_ != 0, curving_, variants_ != 0);
  start_ = roller_->StartPosition();
  end_ = roller_->EndPosition();
  if (reverse_) std::swap(start_, end_);
}

void TRollEffect2::Pass(TEffController* controller, T2DSeparator& pieces, bool back) {
  const float pos = RollPosition();
  const bool colour = back && useBackColour_;
  const TPointF d = roller_->Direction();
  for (int32_t i = 0; i < columns_; ++i) {
    const int32_t col = d.x >= 0 ? i : columns_ - 1 - i;
    for (int32_t j = 0; j < rows_; ++j) {
      const int32_t row = d.y >= 0 ? j : rows_ - 1 - j;
      const TCell& cell = pieces.Cell(col, row);
      if (cell.Empty()) continue;
      TEffTile* tile = controller->GetCell(firstColumn_ + col, firstRow_ + row);
      tile->Begin(!colour, 1);
      int32_t first = 0;
      for (int32_t end : cell.ends) {
        const TEffVertex* v = cell.vertices.data() + first;
        for (int32_t k = 2; k < end - first; ++k) {
          const TEffVertex src[3] = {v[0], v[k - 1], v[k]};
          TVec3 dst[3];
          for (int n = 0; n < 3; ++n) dst[n] = roller_->Map(src[n].x, src[n].y, pos);
          if (!colour) {
            tile->MapTriangleDepth(src, dst);
            continue;
          }
          uint32_t colours[3];
          for (int n = 0; n < 3; ++n) {
            // The back colour darkened by the shading.
            const uint32_t k8 = uint32_t(std::clamp(std::lround(src[n].value), 0L, 255L));
            colours[n] = 0xFF000000u | ((backR_ * k8 / 256) << 16) | ((backG_ * k8 / 256) << 8) | (backB_ * k8 / 256);
          }
          tile->FillTriangleDepth(dst, colours);
        }
        first = end;
      }
      tile->End();
    }
  }
}

void TRollEffect2::Draw(TEffController* controller) {
  if (!controller) return;
  if (direction_ == 0) ZEM_FAIL("page roll type outside 1..8");
  Build(controller);
  front_->ClearCells();
  back_->ClearCells();
  roller_->Emit(RollPosition(), [this](const TEffVertex (&tri)[3], bool back) {
    (back ? *back_ : *front_).DrawTriangle(tri[0], tri[1], tri[2]);
  });
  Pass(controller, *front_, false);
  Pass(controller, *back_, true);
}

}  // namespace zem
