// Cutting triangles into the controller's cells.
#include <gtest/gtest.h>

#include "foundation/assert.h"
#include "recording_controller.h"

namespace zem::test {
namespace {

// A 3 × 2 grid of uneven cells.
struct TGrid : TRecordingController {
  TGrid() : TRecordingController({0, 0, 300, 200}) { SetGrid({0, 100, 150, 300}, {0, 120, 200}); }
};

TEST(TrianglePipeline, PiecesStayInTheirCellsAndKeepTheArea) {
  TGrid c;
  TMultiTile* m = c.GetMultiTile();
  m->Begin(true, 0);
  // The value is a linear function of the position (2x + y), so every cut vertex must keep it.
  auto v = [](float x, float y) { return TEffVertex{x, y, 2 * x + y}; };
  m->DrawTriangle(v(10, 10), v(290, 40), v(60, 190));
  m->End();
  const double expected = TriArea(v(10, 10), v(290, 40), v(60, 190));
  EXPECT_NEAR(TotalArea(c.tris), expected, expected * 1e-4);
  EXPECT_EQ(c.begins, 6);  // every cell is opened once
  EXPECT_EQ(c.ends, 6);
  int cellsHit[3][2] = {};
  for (const auto& t : c.tris) {
    const TRectI r = c.CellRect(t.cell.x, t.cell.y);
    cellsHit[t.cell.x][t.cell.y] = 1;
    for (const auto& p : t.v) {
      EXPECT_GE(p.x, r.left - 1e-3f);
      EXPECT_LE(p.x, r.right + 1e-3f);
      EXPECT_GE(p.y, r.top - 1e-3f);
      EXPECT_LE(p.y, r.bottom + 1e-3f);
      EXPECT_NEAR(p.value, 2 * p.x + p.y, 0.05f);
    }
  }
  for (auto& col : cellsHit)
    for (int hit : col) EXPECT_EQ(hit, 1);
}

TEST(TrianglePipeline, TriangleInsideOneCellPassesWhole) {
  TGrid c;
  TMultiTile* m = c.GetMultiTile();
  m->Begin(true, 0);
  m->DrawTriangle({110, 10, 1}, {140, 10, 2}, {110, 100, 3});
  m->End();
  ASSERT_EQ(c.tris.size(), 1u);
  EXPECT_EQ(c.tris[0].cell, (TPointI{1, 0}));
  EXPECT_DOUBLE_EQ(TriArea(c.tris[0].v[0], c.tris[0].v[1], c.tris[0].v[2]), 15 * 90);
}

TEST(TrianglePipeline, VerticesOnBoundariesAndOutsideParts) {
  TGrid c;
  TMultiTile* m = c.GetMultiTile();
  m->Begin(true, 0);
  // Entirely outside: nothing.
  m->DrawTriangle({-50, -50, 0}, {-10, -50, 0}, {-50, -10, 0});
  // Edges exactly on the boundaries x = 100 and y = 120.
  m->DrawTriangle({100, 0, 0}, {150, 120, 0}, {100, 120, 0});
  // Half outside on the left: only the inside half remains.
  m->DrawTriangle({-100, 130, 0}, {100, 130, 0}, {-100, 180, 0});
  m->End();
  double cell10 = 0, cell01 = 0, other = 0;
  for (const auto& t : c.tris) {
    const double a = TriArea(t.v[0], t.v[1], t.v[2]);
    if (t.cell == TPointI{1, 0}) cell10 += a;
    else if (t.cell == TPointI{0, 1}) cell01 += a;
    else other += a;
  }
  EXPECT_NEAR(cell10, 50.0 * 120 / 2, 1e-3);
  // The exact area: the part x >= 0 of the triangle (-100,130),(100,130),(-100,180) is the
  // triangle (0,130),(100,130),(0,155).
  EXPECT_NEAR(cell01, 100.0 * 25 / 2, 1e-3);
  EXPECT_NEAR(other, 0, 1e-3);
}

TEST(TrianglePipeline, PiecesAreEmptiedBetweenFrames) {
  TGrid c;
  TMultiTile* m = c.GetMultiTile();
  m->Begin(true, 0);
  m->DrawTriangle({10, 10, 0}, {20, 10, 0}, {10, 20, 0});
  m->End();
  c.Reset();
  m->Begin(true, 0);
  m->End();
  EXPECT_TRUE(c.tris.empty());
}

TEST(TrianglePipeline, GridQueriesAndProgrammingErrors) {
  TGrid c;
  EXPECT_EQ(c.GetBounds(), (TRectI{0, 0, 300, 200}));
  EXPECT_EQ(c.GetCell(2, 1)->Rect(), (TRectI{150, 120, 300, 200}));
  EXPECT_EQ(c.GetCell(2, 1)->Origin(), (TPointI{150, 120}));
  EXPECT_THROW(c.GetCell(3, 0), EAssertionFailed);
  EXPECT_THROW(c.GetCell(0, -1), EAssertionFailed);
  TMultiTile* m = c.GetMultiTile();
  const TEffVertex src[3] = {};
  const TPointF dst[3] = {};
  EXPECT_THROW(m->MapTriangle(src, dst), EAssertionFailed);
  const TVec3 pos[3] = {};
  const uint32_t col[3] = {};
  EXPECT_THROW(m->FillTriangle(pos, col), EAssertionFailed);
  EXPECT_THROW(m->FillTriangleDepth(pos, col), EAssertionFailed);
  c.SetGrid({}, {});
  EXPECT_TRUE(c.GetBounds().IsEmpty());
}

}  // namespace
}  // namespace zem::test
