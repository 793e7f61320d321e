#include "transitions/tri_pipeline.h"

#include <cmath>

#include "foundation/assert.h"

namespace zem {

namespace {

constexpr float kFarBound = 3.4e38f;

float Coord(const TEffVertex& v, int axis) { return axis == 0 ? v.x : v.y; }

// The point where the edge a-b crosses the line coord = at (along the separator's axis).
TEffVertex Crossing(const TEffVertex& a, const TEffVertex& b, float at, int axis) {
  const float ca = Coord(a, axis), cb = Coord(b, axis);
  const float t = (at - ca) / (cb - ca);
  TEffVertex r;
  if (axis == 0) {
    r.x = at;
    r.y = a.y + (b.y - a.y) * t;
  } else {
    r.y = at;
    r.x = a.x + (b.x - a.x) * t;
  }
  r.value = a.value + (b.value - a.value) * t;
  return r;
}

int32_t RoundI(float v) { return int32_t(std::lround(v)); }

int32_t FloorHalf(int32_t v) { return v >= 0 ? v / 2 : -((1 - v) / 2); }

}  // namespace

void ClipToHalfPlane(std::vector<TEffVertex>& poly, float a, float b, float c, std::vector<TEffVertex>& out) {
  out.clear();
  const size_t n = poly.size();
  for (size_t i = 0; i < n; ++i) {
    const TEffVertex& p = poly[i];
    const TEffVertex& q = poly[(i + 1) % n];
    // Doubles: the cut lines of the sweeping wipes may meet the edges at shallow angles.
    const double gp = double(a) * p.x + double(b) * p.y + c, gq = double(a) * q.x + double(b) * q.y + c;
    if (gp >= 0) out.push_back(p);
    if ((gp >= 0) != (gq >= 0)) {
      const double t = gp / (gp - gq);
      out.push_back({float(p.x + (q.x - p.x) * t), float(p.y + (q.y - p.y) * t), float(p.value + (q.value - p.value) * t)});
    }
  }
  poly.swap(out);
}

// ---------------------------------------------------------------------------------------------

TXSeparator::TXSeparator(const std::vector<float>& boundaries, int axis) : axis_(axis) {
  bounds_.reserve(boundaries.size() + 2);
  bounds_.push_back(-kFarBound);
  bounds_.insert(bounds_.end(), boundaries.begin(), boundaries.end());
  bounds_.push_back(kFarBound);
  cells_.resize(boundaries.size() > 1 ? boundaries.size() - 1 : 0);
}

int32_t TXSeparator::Zone(float v) const {
  // Padded index p: boundary i sits at p = i + 1. Start from the middle strip, walk one strip
  // at a time.
  const int32_t last = int32_t(bounds_.size()) - 1;
  int32_t p = last / 2;
  while (p > 0 && v < bounds_[size_t(p)]) --p;
  while (p < last && v >= bounds_[size_t(p + 1)]) ++p;
  // Now bounds_[p] <= v < bounds_[p + 1] (or p is at an end).
  const int32_t boundary = p - 1;
  if (p >= 1 && p <= last - 1 && v == bounds_[size_t(p)]) return 2 * boundary;
  return 2 * boundary + 1;
}

void TXSeparator::AddToZone(int32_t zone, const TEffVertex& v) {
  const int32_t n = StripCount();
  if (zone % 2 != 0) {
    const int32_t s = (zone - 1) / 2;
    if (s >= 0 && s < n) cells_[size_t(s)].Add(v);
    return;
  }
  const int32_t b = zone / 2;
  if (b - 1 >= 0 && b - 1 < n) cells_[size_t(b - 1)].Add(v);
  if (b >= 0 && b < n) cells_[size_t(b)].Add(v);
}

void TXSeparator::Split(const TEffVertex* poly, int32_t count) {
  if (count <= 0 || cells_.empty()) return;
  // Each strip collects its piece of this polygon after whatever it already holds.
  TEffVertex prev = poly[count - 1];
  int32_t prevZone = Zone(Coord(prev, axis_));
  for (int32_t k = 0; k < count; ++k) {
    const TEffVertex& cur = poly[k];
    const int32_t zone = Zone(Coord(cur, axis_));
    if (zone > prevZone) {
      // Boundaries j with prevZone < 2j < zone, in walking order.
      for (int32_t j = FloorHalf(prevZone) + 1; 2 * j < zone; ++j)
        AddToZone(2 * j, Crossing(prev, cur, bounds_[size_t(j + 1)], axis_));
    } else if (zone < prevZone) {
      for (int32_t j = FloorHalf(prevZone + 1) - 1; 2 * j > zone; --j)
        AddToZone(2 * j, Crossing(prev, cur, bounds_[size_t(j + 1)], axis_));
    }
    AddToZone(zone, cur);
    prev = cur;
    prevZone = zone;
  }
  for (TCell& c : cells_) c.Close();
}

void TXSeparator::Clear() {
  for (TCell& c : cells_) c.Clear();
}

// ---------------------------------------------------------------------------------------------

T2DSeparator::T2DSeparator(const std::vector<float>& columns, const std::vector<float>& rows)
    : TXSeparator(rows, 1) {
  rowSplit_.reserve(cells_.size());
  for (size_t i = 0; i < cells_.size(); ++i) rowSplit_.emplace_back(columns, 0);
}

void T2DSeparator::DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
  const TEffVertex tri[3] = {a, b, c};
  Split(tri, 3);
  for (size_t r = 0; r < cells_.size(); ++r) {
    TCell& strip = cells_[r];
    int32_t start = 0;
    for (int32_t end : strip.ends) {
      rowSplit_[r].Split(strip.vertices.data() + start, end - start);
      start = end;
    }
    strip.Clear();
  }
}

void T2DSeparator::ClearCells() {
  Clear();
  for (TXSeparator& row : rowSplit_) row.Clear();
}

// ---------------------------------------------------------------------------------------------

TMultiTile::TMultiTile(TEffController* owner, const TRectI& bounds, const std::vector<float>& columns,
                       const std::vector<float>& rows)
    : TEffTile(owner, bounds, {0, 0}),
      separator_(columns, rows),
      columns_(columns.empty() ? 0 : int32_t(columns.size()) - 1),
      rows_(rows.empty() ? 0 : int32_t(rows.size()) - 1) {}

void TMultiTile::Begin(bool textured, uint8_t option) {
  textured_ = textured;
  option_ = option;
  separator_.ClearCells();
}

void TMultiTile::DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
  separator_.DrawTriangle(a, b, c);
}

void TMultiTile::FillTriangle(const TVec3 (&)[3], const uint32_t (&)[3]) { ZEM_FAIL("Not Supported Yet"); }
void TMultiTile::MapTriangle(const TEffVertex (&)[3], const TPointF (&)[3]) { ZEM_FAIL("Not Supported Yet"); }
void TMultiTile::FillTriangleDepth(const TVec3 (&)[3], const uint32_t (&)[3]) {
  ZEM_FAIL("Not Supported Yet");
}
void TMultiTile::MapTriangleDepth(const TEffVertex (&)[3], const TVec3 (&)[3]) {
  ZEM_FAIL("Not Supported Yet");
}

void TMultiTile::End() {
  for (int32_t row = 0; row < rows_; ++row) {
    for (int32_t col = 0; col < columns_; ++col) {
      TCell& cell = separator_.Cell(col, row);
      TEffTile* tile = Owner()->GetCell(col, row);
      tile->Begin(textured_, option_);
      int32_t start = 0;
      for (int32_t end : cell.ends) {
        const TEffVertex* v = cell.vertices.data() + start;
        for (int32_t i = 2; i < end - start; ++i) tile->DrawTriangle(v[0], v[i - 1], v[i]);
        start = end;
      }
      tile->End();
    }
  }
  separator_.ClearCells();
}

// ---------------------------------------------------------------------------------------------

TEffController::~TEffController() = default;

void TEffController::SetGrid(std::vector<float> columns, std::vector<float> rows) {
  cells_.clear();
  multi_.reset();
  columns_ = std::move(columns);
  rows_ = std::move(rows);
  cells_.resize(size_t(ColumnCount()) * size_t(RowCount()));
}

TRectI TEffController::CellRect(int32_t column, int32_t row) const {
  ZEM_ASSERT(column >= 0 && column < ColumnCount() && row >= 0 && row < RowCount());
  return {RoundI(columns_[size_t(column)]), RoundI(rows_[size_t(row)]),
          RoundI(columns_[size_t(column) + 1]), RoundI(rows_[size_t(row) + 1])};
}

TEffTile* TEffController::GetCell(int32_t column, int32_t row) {
  const TRectI rect = CellRect(column, row);
  auto& slot = cells_[size_t(row) * size_t(ColumnCount()) + size_t(column)];
  if (!slot) slot = CreateCell(rect, {column, row});
  ZEM_ASSERT(slot != nullptr);
  return slot.get();
}

TRectI TEffController::GetBounds() const {
  if (ColumnCount() <= 0 || RowCount() <= 0) return {};
  return {RoundI(columns_.front()), RoundI(rows_.front()), RoundI(columns_.back()), RoundI(rows_.back())};
}

TMultiTile* TEffController::GetMultiTile() {
  if (!multi_) multi_ = std::make_unique<TMultiTile>(this, GetBounds(), columns_, rows_);
  return multi_.get();
}

}  // namespace zem
