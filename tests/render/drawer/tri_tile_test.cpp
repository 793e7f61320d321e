// Vertices the OpenGL tiles hand to the device.
#include <gtest/gtest.h>

#include "foundation/assert.h"
#include "render/drawer/tri_tile.h"

namespace zem {
namespace {

constexpr TRectI kOutput{100, 50, 500, 350};

TEST(GlTriTile, EdgeVerticesMoveOutwardsAndCarryTheOpacity) {
  const float iw = 1.0f / 512, ih = 1.0f / 512;
  // On the left and top edges: 2 pixels beyond them, the texture following the position.
  TVertex v = MakeTileVertex({100, 50, 127.6f}, kOutput, {100, 50}, iw, ih);
  EXPECT_EQ(v.x, 98);
  EXPECT_EQ(v.y, 48);
  EXPECT_FLOAT_EQ(v.tex[0][0], -2 * iw);
  EXPECT_FLOAT_EQ(v.tex[0][1], -2 * ih);
  EXPECT_EQ(v.color, 0x80FFFFFFu);
  // Right and bottom edges stay; opacity rounds and clamps.
  v = MakeTileVertex({500, 350, 300}, kOutput, {100, 50}, iw, ih);
  EXPECT_EQ(v.x, 500);
  EXPECT_EQ(v.y, 350);
  EXPECT_FLOAT_EQ(v.tex[0][0], 400 * iw);
  EXPECT_FLOAT_EQ(v.tex[0][1], 300 * ih);
  EXPECT_EQ(v.color, 0xFFFFFFFFu);
  v = MakeTileVertex({250.5f, 60, -4}, kOutput, {100, 50}, iw, ih);
  EXPECT_EQ(v.x, 250.5f);
  EXPECT_EQ(v.color, 0x00FFFFFFu);
}

TEST(GlTriTile, MappedVerticesAreGreyAtTheBrightnessAndOpaque) {
  const float iw = 1.0f / 256, ih = 1.0f / 128;
  const TVertex v = MakeMapVertex({120, 70, 64}, {30, 40, 0.5f}, {100, 50}, iw, ih);
  EXPECT_EQ(v.x, 30);
  EXPECT_EQ(v.y, 40);
  EXPECT_EQ(v.z, 0.5f);
  EXPECT_EQ(v.color, 0xFF404040u);
  EXPECT_FLOAT_EQ(v.tex[0][0], 20 * iw);
  EXPECT_FLOAT_EQ(v.tex[0][1], 20 * ih);
}

TEST(GlTriTile, ControllerNeedsAScreen) { EXPECT_THROW(TD3DTriController(nullptr), EAssertionFailed); }

}  // namespace
}  // namespace zem
