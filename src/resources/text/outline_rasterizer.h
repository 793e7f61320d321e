// Fills vector outlines into a picture: non-zero winding rule, curves flattened by halving
// their parameter interval (at most 32 levels, until a piece's chord spans less than 2 pixels
// in x and in y), coverage sampled at 16 x 16 points per pixel. One rasterizer is used by one
// thread at a time.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/bitmap.h"
#include "resources/text/path.h"

namespace zem {

class TOutlineRasterizer {
 public:
  // Adds the contours of a path; each point becomes (x * scale + dx, y * scale + dy) pixels.
  // Stops at a path whose first point is not a move; an unknown kind raises
  // EAssertionFailed ("Unknown Path Command").
  void AddPath(const TPathPoint* points, size_t count, float scale, float dx, float dy);
  void AddPath(const TPath& path, float scale = 1, float dx = 0, float dy = 0) {
    AddPath(path.data(), path.size(), scale, dx, dy);
  }
  // A filled axis-aligned rectangle (underline and strike-out bars).
  void AddRect(float left, float top, float right, float bottom);
  // The size of the picture that will be filled, set before anything is added: edges that
  // cannot touch it are dropped, curves that cannot are not flattened, and the work of one fill
  // stays bounded however hostile the outlines (kMaxEdgeRows).
  void SetBounds(float width, float height);
  void Clear() {
    edges_.clear();
    edgeRows_ = 0;
  }
  bool Empty() const { return edges_.empty(); }

  // Blends `argb` over the picture (24- or 32-bit) with the coverage of everything added:
  // alpha = colour alpha x coverage / 256.
  void Fill(TBitmap& target, uint32_t argb) const;

 private:
  struct TEdge {
    float x0, y0, x1, y1;  // y0 < y1
    int winding;           // +1 downwards, -1 upwards in the original direction
  };
  // Rows of the picture all edges together may span (each is sampled 16 times per row).
  static constexpr int64_t kMaxEdgeRows = int64_t(1) << 27;

  void AddLine(float x0, float y0, float x1, float y1);
  // Whether a curve with these control points can touch the picture (always without bounds).
  bool MayTouch(float minX, float maxX, float minY, float maxY) const;
  void AddQuad(float x0, float y0, float cx, float cy, float x1, float y1, int depth);
  void AddCubic(float x0, float y0, float c1x, float c1y, float c2x, float c2y, float x1, float y1, int depth);

  std::vector<TEdge> edges_;
  bool bounded_ = false;
  float width_ = 0, height_ = 0;
  int64_t edgeRows_ = 0;
};

}  // namespace zem
