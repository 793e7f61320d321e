#include "render/drawer/tri_tile.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"
#include "render/textures.h"

namespace zem {

TVertex MakeTileVertex(const TEffVertex& v, const TRectI& output, TPointI origin, float invW, float invH) {
  TVertex r;
  r.x = v.x == float(output.left) ? v.x - 2 : v.x;
  r.y = v.y == float(output.top) ? v.y - 2 : v.y;
  r.z = 0;
  const uint32_t alpha = uint32_t(std::clamp(std::lround(v.value), 0L, 255L));
  r.color = (alpha << 24) | 0xFFFFFFu;
  r.tex[0][0] = (r.x - float(origin.x)) * invW;
  r.tex[0][1] = (r.y - float(origin.y)) * invH;
  return r;
}

TVertex MakeMapVertex(const TEffVertex& src, const TVec3& dst, TPointI origin, float invW, float invH) {
  TVertex r;
  r.x = dst.x;
  r.y = dst.y;
  r.z = dst.z;
  const uint32_t g = uint32_t(std::clamp(std::lround(src.value), 0L, 255L));
  r.color = 0xFF000000u | (g << 16) | (g << 8) | g;
  r.tex[0][0] = (src.x - float(origin.x)) * invW;
  r.tex[0][1] = (src.y - float(origin.y)) * invH;
  return r;
}

// ---------------------------------------------------------------------------------------------

TD3DTriController::TD3DTriController(T3DScreen* screen)
    : screen_(screen), textured_(screen), untextured_(screen) {
  ZEM_ASSERT(screen != nullptr);
}

TD3DTriController::~TD3DTriController() = default;

std::unique_ptr<TEffTile> TD3DTriController::CreateCell(const TRectI& rect, TPointI position) {
  return std::make_unique<TD3DTriTile>(this, rect, position);
}

void TD3DTriController::SetRect(const TRectI& output) {
  if (output == output_ && ColumnCount() == 1) return;  // keeps the cells between frames
  output_ = output;
  SetGrid({float(output.left), float(output.right)}, {float(output.top), float(output.bottom)});
}

void TD3DTriController::OpenBatch(bool textured) {
  if (textured) {
    TCustomTexture* set[1] = {capture_};
    open_ = &textured_;
    open_->Begin(set, 1);
  } else {
    open_ = &untextured_;
    open_->Begin(nullptr, 0);
  }
}

void TD3DTriController::Add(const TVertex& a, const TVertex& b, const TVertex& c) {
  if (open_) open_->AddTriangle(a, b, c);
}

void TD3DTriController::FlushBatch() {
  if (open_) open_->Flush();
  open_ = nullptr;
  if (openTile_) openTile_->open_ = false;
  openTile_ = nullptr;
}

// ---------------------------------------------------------------------------------------------

TD3DTriTile::TD3DTriTile(TD3DTriController* owner, const TRectI& rect, TPointI position)
    : TEffTile(owner, rect, position), ctl_(owner) {}

float TD3DTriTile::InvW() const { return ctl_->Capture() ? ctl_->Capture()->InvWidth() : 0.0f; }
float TD3DTriTile::InvH() const { return ctl_->Capture() ? ctl_->Capture()->InvHeight() : 0.0f; }

void TD3DTriTile::Begin(bool textured, uint8_t option) {
  ZEM_ASSERT(!open_);
  if (textured) ZEM_ASSERT(ctl_->Capture() != nullptr);
  option_ = option;
  open_ = true;
  ctl_->openTile_ = this;
  ctl_->OpenBatch(textured);
}

void TD3DTriTile::DrawTriangle(const TEffVertex& a, const TEffVertex& b, const TEffVertex& c) {
  ZEM_ASSERT(open_);
  const TRectI& out = ctl_->Output();
  const float iw = InvW(), ih = InvH();
  ctl_->Add(MakeTileVertex(a, out, Origin(), iw, ih), MakeTileVertex(b, out, Origin(), iw, ih),
            MakeTileVertex(c, out, Origin(), iw, ih));
}

void TD3DTriTile::FillTriangle(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) {
  const TVec3 flat[3] = {{pos[0].x, pos[0].y, 0}, {pos[1].x, pos[1].y, 0}, {pos[2].x, pos[2].y, 0}};
  FillTriangleDepth(flat, colours);
}

void TD3DTriTile::FillTriangleDepth(const TVec3 (&pos)[3], const uint32_t (&colours)[3]) {
  ZEM_ASSERT(open_);
  TVertex v[3];
  for (int i = 0; i < 3; ++i) {
    v[i].x = pos[i].x;
    v[i].y = pos[i].y;
    v[i].z = pos[i].z;
    v[i].color = colours[i];
  }
  ctl_->Add(v[0], v[1], v[2]);
}

void TD3DTriTile::MapTriangle(const TEffVertex (&src)[3], const TPointF (&dst)[3]) {
  const TVec3 d[3] = {{dst[0].x, dst[0].y, 0}, {dst[1].x, dst[1].y, 0}, {dst[2].x, dst[2].y, 0}};
  MapTriangleDepth(src, d);
}

void TD3DTriTile::MapTriangleDepth(const TEffVertex (&src)[3], const TVec3 (&dst)[3]) {
  ZEM_ASSERT(open_);
  const float iw = InvW(), ih = InvH();
  ctl_->Add(MakeMapVertex(src[0], dst[0], Origin(), iw, ih), MakeMapVertex(src[1], dst[1], Origin(), iw, ih),
            MakeMapVertex(src[2], dst[2], Origin(), iw, ih));
}

void TD3DTriTile::End() {
  ZEM_ASSERT(open_);
  ctl_->FlushBatch();
  open_ = false;
}

}  // namespace zem
