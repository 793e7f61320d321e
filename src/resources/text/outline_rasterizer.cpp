#include "resources/text/outline_rasterizer.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"

namespace zem {

namespace {

constexpr int kSub = 16;       // samples per pixel in each direction
constexpr int kMaxDepth = 32;  // halving levels of a curve
constexpr float kChord = 2.0f;
// Far beyond any picture; keeps the arithmetic finite for damaged outlines.
constexpr float kFar = 262144.0f;  // four times the largest picture side
// Edges one rasterizer keeps at most; past it curves are drawn as their chords, so a damaged
// outline cannot make the flattening run away.
constexpr size_t kMaxEdges = size_t(1) << 22;

float Sane(float v) { return std::isfinite(v) ? std::clamp(v, -kFar, kFar) : 0.0f; }

bool ShortChord(float x0, float y0, float x1, float y1) {
  return std::fabs(x1 - x0) < kChord && std::fabs(y1 - y0) < kChord;
}

}  // namespace

void TOutlineRasterizer::SetBounds(float width, float height) {
  bounded_ = true;
  width_ = width;
  height_ = height;
}

bool TOutlineRasterizer::MayTouch(float minX, float maxX, float minY, float maxY) const {
  // A piece wholly above or below the picture changes no pixel; one left or right of it only
  // adds its winding (or ends spans), which its chord does as well.
  return !bounded_ || (maxY > 0 && minY < height_ && minX < width_ && maxX > 0);
}

void TOutlineRasterizer::AddLine(float x0, float y0, float x1, float y1) {
  if (y0 == y1 || edges_.size() >= kMaxEdges) return;
  TEdge e = y0 < y1 ? TEdge{x0, y0, x1, y1, 1} : TEdge{x1, y1, x0, y0, -1};
  if (bounded_) {
    if (e.y1 <= 0 || e.y0 >= height_) return;
    // Right of the picture an edge only ends spans: at the right border it ends them the same.
    if (std::min(x0, x1) >= width_) e.x0 = e.x1 = width_;
    const int64_t rows = int64_t(std::ceil(std::min(e.y1, height_))) - int64_t(std::floor(std::max(e.y0, 0.0f)));
    if (edgeRows_ + rows > kMaxEdgeRows) return;  // hostile outlines: the rest is left out
    edgeRows_ += rows;
  }
  edges_.push_back(e);
}

void TOutlineRasterizer::AddQuad(float x0, float y0, float cx, float cy, float x1, float y1, int depth) {
  if (depth >= kMaxDepth || edges_.size() >= kMaxEdges || ShortChord(x0, y0, x1, y1) ||
      !MayTouch(std::min({x0, cx, x1}), std::max({x0, cx, x1}), std::min({y0, cy, y1}), std::max({y0, cy, y1}))) {
    AddLine(x0, y0, x1, y1);
    return;
  }
  float ax = (x0 + cx) / 2, ay = (y0 + cy) / 2, bx = (cx + x1) / 2, by = (cy + y1) / 2;
  float mx = (ax + bx) / 2, my = (ay + by) / 2;
  AddQuad(x0, y0, ax, ay, mx, my, depth + 1);
  AddQuad(mx, my, bx, by, x1, y1, depth + 1);
}

void TOutlineRasterizer::AddCubic(float x0, float y0, float c1x, float c1y, float c2x, float c2y, float x1, float y1,
                                  int depth) {
  if (depth >= kMaxDepth || edges_.size() >= kMaxEdges || ShortChord(x0, y0, x1, y1) ||
      !MayTouch(std::min({x0, c1x, c2x, x1}), std::max({x0, c1x, c2x, x1}), std::min({y0, c1y, c2y, y1}),
                std::max({y0, c1y, c2y, y1}))) {
    AddLine(x0, y0, x1, y1);
    return;
  }
  float ax = (x0 + c1x) / 2, ay = (y0 + c1y) / 2;
  float bx = (c1x + c2x) / 2, by = (c1y + c2y) / 2;
  float cx = (c2x + x1) / 2, cy = (c2y + y1) / 2;
  float abx = (ax + bx) / 2, aby = (ay + by) / 2, bcx = (bx + cx) / 2, bcy = (by + cy) / 2;
  float mx = (abx + bcx) / 2, my = (aby + bcy) / 2;
  AddCubic(x0, y0, ax, ay, abx, aby, mx, my, depth + 1);
  AddCubic(mx, my, bcx, bcy, cx, cy, x1, y1, depth + 1);
}

void TOutlineRasterizer::AddRect(float left, float top, float right, float bottom) {
  AddLine(Sane(left), Sane(top), Sane(left), Sane(bottom));
  AddLine(Sane(right), Sane(bottom), Sane(right), Sane(top));
}

void TOutlineRasterizer::AddPath(const TPathPoint* pts, size_t n, float scale, float dx, float dy) {
  auto X = [&](size_t i) { return Sane(pts[i].x * scale + dx); };
  auto Y = [&](size_t i) { return Sane(pts[i].y * scale + dy); };
  size_t i = 0;
  while (i < n) {
    if (pts[i].kind != kPathMoveTo) return;  // a path must start with a move
    float sx = X(i), sy = Y(i), cx = sx, cy = sy;
    ++i;
    bool path_open = true;
    while (i < n && path_open) {
      switch (pts[i].kind) {
        case kPathMoveTo:
          AddLine(cx, cy, sx, sy);  // close the contour
          sx = cx = X(i);
          sy = cy = Y(i);
          ++i;
          break;
        case kPathLineTo:
          AddLine(cx, cy, X(i), Y(i));
          cx = X(i);
          cy = Y(i);
          ++i;
          break;
        case kPathQuadTo:
          if (i + 1 >= n) { i = n; break; }
          AddQuad(cx, cy, X(i), Y(i), X(i + 1), Y(i + 1), 0);
          cx = X(i + 1);
          cy = Y(i + 1);
          i += 2;
          break;
        case kPathCubicTo:
          if (i + 2 >= n) { i = n; break; }
          AddCubic(cx, cy, X(i), Y(i), X(i + 1), Y(i + 1), X(i + 2), Y(i + 2), 0);
          cx = X(i + 2);
          cy = Y(i + 2);
          i += 3;
          break;
        case kPathEnd:
          ++i;
          path_open = false;
          break;
        default:
          ZEM_FAIL("Unknown Path Command");
      }
    }
    AddLine(cx, cy, sx, sy);
  }
}

void TOutlineRasterizer::Fill(TBitmap& target, uint32_t argb) const {
  if (edges_.empty() || target.Empty() || target.Format() == TPixelFormat::Grey8) return;
  const int32_t W = target.Width(), H = target.Height();
  const int bpp = target.BytesPerPixel();
  const uint32_t ca = argb >> 24, cr = (argb >> 16) & 0xFF, cg = (argb >> 8) & 0xFF, cb = argb & 0xFF;

  std::vector<TEdge> edges = edges_;
  std::sort(edges.begin(), edges.end(), [](const TEdge& a, const TEdge& b) { return a.y0 < b.y0; });
  float min_y = edges.front().y0, max_y = 0;
  for (auto& e : edges) max_y = std::max(max_y, e.y1);
  // Clamped as doubles first: outlines may come from untrusted streams with absurd coordinates.
  int32_t row_first = int32_t(std::clamp(std::floor(double(min_y)), 0.0, double(H)));
  int32_t row_last = int32_t(std::clamp(std::ceil(double(max_y)), -1.0, double(H - 1)));

  std::vector<uint16_t> cov(size_t(W), 0);
  std::vector<const TEdge*> active;
  struct TCross { float x; int w; };
  std::vector<TCross> cross;
  size_t next = 0;
  const int64_t sub_w = int64_t(W) * kSub;

  for (int32_t row = row_first; row <= row_last; ++row) {
    std::fill(cov.begin(), cov.end(), 0);
    int32_t span_lo = W, span_hi = -1;
    for (int s = 0; s < kSub; ++s) {
      const float y = row + (s + 0.5f) / kSub;
      // Active edges: y0 <= y < y1.
      while (next < edges.size() && edges[next].y0 <= y) active.push_back(&edges[next++]);
      active.erase(std::remove_if(active.begin(), active.end(), [y](const TEdge* e) { return e->y1 <= y; }),
                   active.end());
      cross.clear();
      for (const TEdge* e : active) {
        if (e->y0 > y) continue;
        float t = (y - e->y0) / (e->y1 - e->y0);
        cross.push_back({e->x0 + (e->x1 - e->x0) * t, e->winding});
      }
      std::sort(cross.begin(), cross.end(), [](const TCross& a, const TCross& b) { return a.x < b.x; });
      int winding = 0;
      for (size_t k = 0; k + 1 < cross.size(); ++k) {
        winding += cross[k].w;
        if (winding == 0) continue;
        // Sample columns whose centres lie in [x_k, x_k+1).
        int64_t a = int64_t(std::clamp(std::ceil(double(cross[k].x) * kSub - 0.5), 0.0, double(sub_w)));
        int64_t b = int64_t(std::clamp(std::ceil(double(cross[k + 1].x) * kSub - 0.5), 0.0, double(sub_w)));
        if (a >= b) continue;
        int32_t pa = int32_t(a / kSub), pb = int32_t((b - 1) / kSub);
        span_lo = std::min(span_lo, pa);
        span_hi = std::max(span_hi, pb);
        if (pa == pb) { cov[size_t(pa)] = uint16_t(cov[size_t(pa)] + (b - a)); continue; }
        cov[size_t(pa)] = uint16_t(cov[size_t(pa)] + (kSub - a % kSub));
        for (int32_t p = pa + 1; p < pb; ++p) cov[size_t(p)] = uint16_t(cov[size_t(p)] + kSub);
        cov[size_t(pb)] = uint16_t(cov[size_t(pb)] + ((b - 1) % kSub) + 1);
      }
    }
    // Write the row: blend the colour with alpha = colour alpha x coverage / 256.
    uint8_t* dst = target.Row(row);
    for (int32_t x = span_lo; x <= span_hi; ++x) {
      uint32_t c = cov[size_t(x)];
      if (!c) continue;
      uint32_t a = c >= 256 ? ca : ca * c / 256;
      if (!a) continue;
      uint8_t* p = dst + int64_t(x) * bpp;
      if (a == 255) {
        p[0] = uint8_t(cb); p[1] = uint8_t(cg); p[2] = uint8_t(cr);
        if (bpp == 4) p[3] = 255;
        continue;
      }
      const uint32_t inv = 255 - a;
      if (bpp == 4) {
        // Straight (not premultiplied) alpha: out = src over dst.
        uint32_t da = p[3];
        uint32_t oa = a * 255 + da * inv;  // x 255
        if (oa == 0) continue;
        p[0] = uint8_t((cb * a * 255 + p[0] * da * inv + oa / 2) / oa);
        p[1] = uint8_t((cg * a * 255 + p[1] * da * inv + oa / 2) / oa);
        p[2] = uint8_t((cr * a * 255 + p[2] * da * inv + oa / 2) / oa);
        p[3] = uint8_t((oa + 127) / 255);
      } else {
        p[0] = uint8_t((cb * a + p[0] * inv + 127) / 255);
        p[1] = uint8_t((cg * a + p[1] * inv + 127) / 255);
        p[2] = uint8_t((cr * a + p[2] * inv + 127) / 255);
      }
    }
  }
}

}  // namespace zem
