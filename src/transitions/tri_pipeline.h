// The triangle pipeline of the flat transitions: filters emit triangles in screen pixels, the
// controller cuts them into its grid of cells and each cell draws its pieces textured with the
// captured slide.
//
// Threads: engine thread only (inside a frame).
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "model/geometry.h"

namespace zem {

// x, y in pixels; the value is an opacity 0..255 (DrawTriangle) or a brightness (MapTriangle).
struct TEffVertex {
  float x = 0, y = 0, value = 0;
  bool operator==(const TEffVertex&) const = default;
};

class TEffController;

// Keeps the part of a convex polygon where a·x + b·y + c >= 0 (values interpolated along the
// cut edges); the result replaces `poly`. `scratch` is reused storage.
void ClipToHalfPlane(std::vector<TEffVertex>& poly, float a, float b, float c, std::vector<TEffVertex>& scratch);

// One cell of a controller's grid that can draw.
class TEffTile : public TObj {
 public:
  TEffTile(TEffController* owner, const TRectI& rect, TPointI position)
      : owner_(owner), rect_(rect), position_(position) {}
  ~TEffTile() override = default;

  virtual void Begin(bool textured, uint8_t option) = 0;
  // Textured with the capture at the same positions, white with the vertex opacities.
  virtual void DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) = 0;
  // Untextured; colours are ARGB.
  virtual void FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) = 0;
  // Textured from the source positions onto the destinations, grey at the source brightness.
  virtual void MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) = 0;
  virtual void FillTriangleDepth(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) = 0;
  virtual void MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) = 0;
  virtual void End() = 0;

  const TRectI& Rect() const { return rect_; }
  TPointI Origin() const { return {rect_.left, rect_.top}; }
  TPointI Position() const { return position_; }
  TEffController* Owner() const { return owner_; }

 private:
  TEffController* owner_;
  TRectI rect_;
  TPointI position_;
};

// The pieces collected for one strip or cell: polygons stored back to back.
struct TCell {
  std::vector<TEffVertex> vertices;
  std::vector<int32_t> ends;  // one past the last vertex of each polygon

  TCell() {
    vertices.reserve(32);
    ends.reserve(8);
  }
  void Add(const TEffVertex& v) { vertices.push_back(v); }
  // Closes the vertices added since the last polygon as one polygon.
  void Close() {
    const int32_t last = ends.empty() ? 0 : ends.back();
    if (int32_t(vertices.size()) > last) ends.push_back(int32_t(vertices.size()));
  }
  void Clear() {
    vertices.clear();
    ends.clear();
  }
  bool Empty() const { return ends.empty(); }
};

// Splits polygons at a list of boundaries along one axis (x here) into strips.
class TXSeparator {
 public:
  explicit TXSeparator(const std::vector<float>& boundaries, int axis = 0);
  virtual ~TXSeparator() = default;

  int32_t StripCount() const { return int32_t(cells_.size()); }
  // Cuts one closed polygon; every strip it reaches gets its piece as one polygon.
  void Split(const TEffVertex* poly, int32_t count);
  TCell& Strip(int32_t i) { return cells_[size_t(i)]; }
  void Clear();

 protected:
  // Zone of a coordinate: 2i on boundary i, 2i + 1 strictly between boundaries i and i + 1.
  int32_t Zone(float v) const;
  void AddToZone(int32_t zone, const TEffVertex& v);

  std::vector<float> bounds_;  // padded: -3.4e38, boundaries..., +3.4e38
  std::vector<TCell> cells_;
  int axis_;
};

// Splits along y into rows, then each row along x into cells.
class T2DSeparator : public TXSeparator {
 public:
  T2DSeparator(const std::vector<float>& columns, const std::vector<float>& rows);

  void DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c);
  TCell& Cell(int32_t column, int32_t row) { return rowSplit_[size_t(row)].Strip(column); }
  void ClearCells();

 private:
  std::vector<TXSeparator> rowSplit_;
};

// A tile covering the whole controller: cuts triangles into the cells and draws each cell's
// pieces through that cell at End.
class TMultiTile : public TEffTile {
 public:
  TMultiTile(TEffController* owner, const TRectI& bounds, const std::vector<float>& columns,
             const std::vector<float>& rows);

  void Begin(bool textured, uint8_t option) override;
  void DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) override;
  void FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) override;
  void MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) override;
  void FillTriangleDepth(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) override;
  void MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) override;
  void End() override;

 private:
  T2DSeparator separator_;
  int32_t columns_, rows_;
  bool textured_ = true;
  uint8_t option_ = 0;
};

// The grid of cells a filter draws into.
class TEffController : public TObj {
 public:
  TEffController() = default;
  ~TEffController() override;

  virtual std::unique_ptr<TEffTile> CreateCell(const TRectI& rect, TPointI position) = 0;
  virtual TRectI GetClipRect() const = 0;

  // Column boundaries x0 < ... < xn, row boundaries y0 < ... < ym; frees all cells.
  void SetGrid(std::vector<float> columns, std::vector<float> rows);
  int32_t ColumnCount() const { return columns_.empty() ? 0 : int32_t(columns_.size()) - 1; }
  int32_t RowCount() const { return rows_.empty() ? 0 : int32_t(rows_.size()) - 1; }
  // The cell's rectangle without making the cell.
  TRectI CellRect(int32_t column, int32_t row) const;
  TEffTile* GetCell(int32_t column, int32_t row);
  TRectI GetBounds() const;
  TMultiTile* GetMultiTile();

 private:
  std::vector<float> columns_, rows_;
  std::vector<std::unique_ptr<TEffTile>> cells_;  // row-major
  std::unique_ptr<TMultiTile> multi_;
};

}  // namespace zem
