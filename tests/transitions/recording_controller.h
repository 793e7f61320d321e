// A triangle controller whose cells log what they are asked to draw.
#pragma once
#include <cmath>
#include <vector>

#include "transitions/tri_pipeline.h"

namespace zem::test {

struct TLoggedTri {
  TEffVertex v[3];
  TPointI cell;
};
struct TLoggedMap {
  TEffVertex src[3];
  TPointF dst[3];
  TPointI cell;
  float depth[3] = {0, 0, 0};
};
struct TLoggedFill {
  TVec3 pos[3];
  uint32_t colour[3];
  TPointI cell;
};

class TRecordingController;

class TRecordingTile : public TEffTile {
 public:
  TRecordingTile(TRecordingController* owner, const TRectI& r, TPointI pos);
  void Begin(bool, uint8_t) override;
  void DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) override;
  void FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) override;
  void MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) override;
  void FillTriangleDepth(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) override { FillTriangle(pos, colours); }
  void MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) override;
  void End() override;

 private:
  TRecordingController* rec_;
};

class TRecordingController : public TEffController {
 public:
  explicit TRecordingController(const TRectI& clip) : clip_(clip) {
    SetGrid({float(clip.left), float(clip.right)}, {float(clip.top), float(clip.bottom)});
  }
  std::unique_ptr<TEffTile> CreateCell(const TRectI& r, TPointI pos) override {
    return std::make_unique<TRecordingTile>(this, r, pos);
  }
  TRectI GetClipRect() const override { return clip_; }

  void Reset() {
    tris.clear();
    maps.clear();
    fills.clear();
    begins = ends = texturedBegins = 0;
  }

  TRectI clip_;
  std::vector<TLoggedTri> tris;
  std::vector<TLoggedMap> maps;
  std::vector<TLoggedFill> fills;
  int begins = 0, ends = 0, texturedBegins = 0;
};

inline TRecordingTile::TRecordingTile(TRecordingController* owner, const TRectI& r, TPointI pos)
    : TEffTile(owner, r, pos), rec_(owner) {}
inline void TRecordingTile::Begin(bool textured, uint8_t) {
  ++rec_->begins;
  rec_->texturedBegins += textured;
}
inline void TRecordingTile::End() { ++rec_->ends; }
inline void TRecordingTile::DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
  rec_->tris.push_back({{a, b, c}, Position()});
}
inline void TRecordingTile::MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) {
  rec_->maps.push_back({{src[0], src[1], src[2]}, {dst[0], dst[1], dst[2]}, Position()});
}

inline void TRecordingTile::MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) {
  TLoggedMap m{{src[0], src[1], src[2]}, {{dst[0].x, dst[0].y}, {dst[1].x, dst[1].y}, {dst[2].x, dst[2].y}}, Position()};
  for (int i = 0; i < 3; ++i) m.depth[i] = dst[i].z;
  rec_->maps.push_back(m);
}
inline void TRecordingTile::FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) {
  rec_->fills.push_back({{pos[0], pos[1], pos[2]}, {colours[0], colours[1], colours[2]}, Position()});
}

inline double TriArea(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
  return std::abs(double(b.x - a.x) * (c.y - a.y) - double(c.x - a.x) * (b.y - a.y)) / 2;
}
inline double TotalArea(const std::vector<TLoggedTri>& tris) {
  double s = 0;
  for (const auto& t : tris) s += TriArea(t.v[0], t.v[1], t.v[2]);
  return s;
}

}  // namespace zem::test
