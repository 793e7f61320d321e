#include "transitions/gl_tri_tile.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"

namespace zem {

TPlainVertex MakeTileVertex(const TEffVertex& v, const TRectI& output, TPointI origin, float invW, float invH) {
  TPlainVertex r;
  r.x = v.x == float(output.left) ? v.x - 2 : v.x;
  r.y = v.y == float(output.top) ? v.y - 2 : v.y;
  r.z = 0;
  const uint32_t alpha = uint32_t(std::clamp(std::lround(v.value), 0L, 255L));
  r.color = (alpha << 24) | 0xFFFFFFu;
  r.u = (r.x - float(origin.x)) * invW;
  r.v = (r.y - float(origin.y)) * invH;
  return r;
}

TPlainVertex MakeMapVertex(const TEffVertex& src, const TVec3& dst, TPointI origin, float invW, float invH) {
  TPlainVertex r;
  r.x = dst.x;
  r.y = dst.y;
  r.z = dst.z;
  const uint32_t g = uint32_t(std::clamp(std::lround(src.value), 0L, 255L));
  r.color = 0xFF000000u | (g << 16) | (g << 8) | g;
  r.u = (src.x - float(origin.x)) * invW;
  r.v = (src.y - float(origin.y)) * invH;
  return r;
}

// ---------------------------------------------------------------------------------------------

TD3DTriController::TD3DTriController(T3DScreen* screen)
    : screen_(screen), batches_(screen) {
  ZEM_ASSERT(screen != nullptr);
}

TD3DTriController::~TD3DTriController() = default;

std::unique_ptr<TEffTile> TD3DTriController::CreateCell(const TRectI& rect, TPointI position) {
  return std::make_unique<TD3DTriTile>(this, rect, position);
}

void TD3DTriController::SetRect(const TRectI& output) {
  output_ = output;
  SetGrid({float(output.left), float(output.right)}, {float(output.top), float(output.bottom)});
}

// ---------------------------------------------------------------------------------------------

TD3DTriTile::TD3DTriTile(TD3DTriController* owner, const TRectI& rect, TPointI position)
    : TEffTile(owner, rect, position), ctl_(owner) {}

float TD3DTriTile::InvW() const { return TTriBatches::InvWidth(ctl_->Capture()); }
float TD3DTriTile::InvH() const { return TTriBatches::InvHeight(ctl_->Capture()); }

void TD3DTriTile::Begin(bool textured, uint8_t option) {
  ZEM_ASSERT(!open_);
  if (textured) ZEM_ASSERT(ctl_->Capture() != nullptr);
  option_ = option;
  open_ = true;
  ctl_->Batches().Begin(textured, ctl_->Capture());
}

void TD3DTriTile::DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
  ZEM_ASSERT(open_);
  const TRectI& out = ctl_->Output();
  const float iw = InvW(), ih = InvH();
  ctl_->Batches().Add(MakeTileVertex(a, out, Origin(), iw, ih), MakeTileVertex(b, out, Origin(), iw, ih),
                     MakeTileVertex(c, out, Origin(), iw, ih));
}

void TD3DTriTile::FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) {
  const TVec3 flat[3] = {{pos[0].x, pos[0].y, 0}, {pos[1].x, pos[1].y, 0}, {pos[2].x, pos[2].y, 0}};
  FillTriangleDepth(flat, colours);
}

void TD3DTriTile::FillTriangleDepth(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) {
  ZEM_ASSERT(open_);
  TPlainVertex v[3];
  for (int i = 0; i < 3; ++i) v[i] = {pos[i].x, pos[i].y, pos[i].z, colours[i], 0, 0};
  ctl_->Batches().Add(v[0], v[1], v[2]);
}

void TD3DTriTile::MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) {
  const TVec3 d[3] = {{dst[0].x, dst[0].y, 0}, {dst[1].x, dst[1].y, 0}, {dst[2].x, dst[2].y, 0}};
  MapTriangleDepth(src, d);
}

void TD3DTriTile::MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) {
  ZEM_ASSERT(open_);
  const float iw = InvW(), ih = InvH();
  ctl_->Batches().Add(MakeMapVertex(src[0], dst[0], Origin(), iw, ih), MakeMapVertex(src[1], dst[1], Origin(), iw, ih),
                     MakeMapVertex(src[2], dst[2], Origin(), iw, ih));
}

void TD3DTriTile::End() {
  ZEM_ASSERT(open_);
  ctl_->Batches().Flush();
  open_ = false;
}

}  // namespace zem
