// The screen's drawing operations: antialiased edges, blend modes, the render-target stack,
// the projection, clears and snapshots.
#include <gtest/gtest.h>

#include "foundation/assert.h"
#include "render/drawer/gl_backend.h"
#include "render_rig.h"

namespace zem::test {
namespace {

class ScreenDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_ = std::make_unique<TRig>(64, 48);
    if (!rig_->Ok()) GTEST_SKIP() << "no OpenGL context";
    s_ = rig_->screen.get();
    std::vector<uint8_t> white(32 * 32 * 4, 255);
    white_ = MakeTexture(s_, 32, 32, kFmtArgb32, white);
    white_->nearest = false;
    pool_ = std::make_unique<TRenderTargetManager>(s_, 64, 64, true);
  }
  void TearDown() override {
    white_.reset();
    pool_.reset();
    rig_.reset();
  }
  // Draws into a cleared 64 × 64 target with `draw` and reads it back.
  TBitmap Offscreen(const std::function<void()>& draw, uint32_t clear = 0) {
    TBitmap out;
    EXPECT_TRUE(s_->BeginScene());
    auto t = pool_->Take();
    s_->PushRenderTarget(t.get());
    s_->SetProjection({0, 0, 64, 64}, 64, 64);
    s_->Clear(clear, false);
    draw();
    EXPECT_TRUE(s_->ReadTarget(out));
    s_->PopRenderTarget();
    s_->EndScene();
    pool_->Return(std::move(t));
    return out;
  }
  void WhiteQuad(float l, float t, float r, float b, uint8_t edges, uint32_t color = 0xFFFFFFFF) {
    TVec3 c[4] = {{l, t, 0}, {r, t, 0}, {l, b, 0}, {r, b, 0}};
    uint32_t colors[4] = {color, color, color, color};
    TQuadTexture q{white_.get(), {0, 0, 32, 32}};
    s_->DrawTexturedQuad(c, &q, 1, colors, edges);
  }
  static int A(const TBitmap& b, int x, int y) { return int(b.GetPixel(x, y) >> 24); }

  std::unique_ptr<TRig> rig_;
  T3DScreen* s_ = nullptr;
  std::unique_ptr<TCustomTexture> white_;
  std::unique_ptr<TRenderTargetManager> pool_;
};

TEST_F(ScreenDrawing, AntialiasedEdgesFadeOverOnePixel) {
  TBitmap b = Offscreen([&] { WhiteQuad(10, 10, 30, 30, kEdgeLeft | kEdgeTop | kEdgeRight | kEdgeBottom); });
  for (int y = 12; y < 28; y += 5) {
    EXPECT_EQ(A(b, 10, y), 255);
    EXPECT_EQ(A(b, 29, y), 255);
    EXPECT_NEAR(A(b, 9, y), 128, 3) << "left ring";
    EXPECT_NEAR(A(b, 30, y), 128, 3) << "right ring";
    EXPECT_EQ(A(b, 8, y), 0);
    EXPECT_EQ(A(b, 31, y), 0);
  }
  for (int x = 12; x < 28; x += 5) {
    EXPECT_NEAR(A(b, x, 9), 128, 3) << "top ring";
    EXPECT_NEAR(A(b, x, 30), 128, 3) << "bottom ring";
    EXPECT_EQ(A(b, x, 8), 0);
  }
  // The corner piece fades out too: never above the edge strips.
  EXPECT_LE(A(b, 9, 9), 130);
  EXPECT_LE(A(b, 30, 30), 130);
  EXPECT_EQ(A(b, 8, 8), 0);
}

TEST_F(ScreenDrawing, OnlyFlaggedEdgesGetARing) {
  TBitmap b = Offscreen([&] { WhiteQuad(10, 10, 30, 30, kEdgeLeft); });
  EXPECT_NEAR(A(b, 9, 20), 128, 3);
  EXPECT_EQ(A(b, 20, 9), 0);
  EXPECT_EQ(A(b, 30, 20), 0);
  TBitmap plain = Offscreen([&] { WhiteQuad(10, 10, 30, 30, 0); });
  EXPECT_EQ(A(plain, 9, 20), 0);
  EXPECT_EQ(A(plain, 10, 20), 255);
}

// The drawer's box antialiaser: its white texture takes the corner colours, and only flagged
// edges get the soft ring.
TEST_F(ScreenDrawing, BoxAntialiaserTintsItsWhiteTextureWithTheCorners) {
  TBoxAntialiaser anti(s_);
  ASSERT_EQ(anti.Texture()->Width(), TBoxAntialiaser::kSize);
  TBitmap b = Offscreen([&] {
    TBVec c[4] = {{10, 10, 0}, {50, 10, 0}, {10, 40, 0}, {50, 40, 0}};
    const uint32_t red[4] = {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000};
    anti.DrawAntialiasedBox(c, red, kEdgeLeft);
  });
  EXPECT_EQ(b.GetPixel(30, 25), 0xFFFF0000u);
  EXPECT_NEAR(A(b, 9, 25), 128, 3) << "left ring";
  EXPECT_EQ(A(b, 30, 9), 0) << "no ring above";
}

TEST_F(ScreenDrawing, RotatedQuadEdgesAreSoft) {
  // A diamond: each edge 45 degrees; pixels crossing an edge get partial alpha.
  TBitmap b = Offscreen([&] {
    TVec3 c[4] = {{32, 10, 0}, {54, 32, 0}, {10, 32, 0}, {32, 54, 0}};
    uint32_t w[4] = {~0u, ~0u, ~0u, ~0u};
    TQuadTexture q{white_.get(), {0, 0, 32, 32}};
    s_->DrawTexturedQuad(c, &q, 1, w, 15);
  });
  EXPECT_EQ(A(b, 32, 32), 255);
  int partial = 0;
  for (int x = 0; x < 64; ++x) {
    int a = A(b, x, 20);
    if (a > 0 && a < 255) ++partial;
  }
  EXPECT_GE(partial, 2);  // one soft pixel or more on each side of the row
  EXPECT_EQ(A(b, 2, 2), 0);
}

TEST_F(ScreenDrawing, DegenerateQuadIsDrawnPlainly) {
  // Three corners in a line: no ring, no crash.
  TBitmap b = Offscreen([&] {
    TVec3 c[4] = {{10, 10, 0}, {20, 10, 0}, {30, 10, 0}, {30, 30, 0}};
    uint32_t w[4] = {~0u, ~0u, ~0u, ~0u};
    TQuadTexture q{white_.get(), {0, 0, 32, 32}};
    s_->DrawTexturedQuad(c, &q, 1, w, 15);
  });
  EXPECT_EQ(A(b, 5, 5), 0);
}

TEST_F(ScreenDrawing, BlendModes) {
  const uint32_t base = 0xFF643296;  // r 100, g 50, b 150
  // Mode 1 keeps the larger value per channel.
  TBitmap m1 = Offscreen([&] {
    s_->SetBlendMode(1);
    TVec3 c[4] = {{0, 0, 0}, {64, 0, 0}, {0, 64, 0}, {64, 64, 0}};
    uint32_t col[4] = {0x80C81414, 0x80C81414, 0x80C81414, 0x80C81414};
    s_->DrawColoredQuad(c, col);
    s_->SetBlendMode(0);
  }, base);
  EXPECT_EQ(m1.GetPixel(5, 5), 0xFFC83296u);
  // Mode 0 into a target with alpha: alpha adds up as a + d·(1 − a).
  TBitmap m0 = Offscreen([&] { WhiteQuad(0, 0, 64, 64, 0, 0x80FFFFFF); }, 0x40000000);
  EXPECT_NEAR(int(m0.GetPixel(5, 5) >> 24), 128 + 64 * 127 / 255, 2);
  EXPECT_NEAR(int(m0.GetPixel(5, 5) & 255), 128, 2);
  // A premultiplied source adds with factor 1.
  white_->premultiplied = true;
  TBitmap pm = Offscreen([&] { WhiteQuad(0, 0, 64, 64, 0, 0x80FFFFFF); }, 0xFF000000);
  white_->premultiplied = false;
  EXPECT_NEAR(int(pm.GetPixel(5, 5) & 255), 255, 1);
}

TEST_F(ScreenDrawing, RenderTargetStackRestoresTargets) {
  ASSERT_TRUE(s_->BeginScene());
  EXPECT_EQ(s_->TargetDepth(), 1u);
  EXPECT_EQ(s_->TargetRect(), (TIntRect{0, 0, 64, 48}));
  auto a = pool_->Take(), b = pool_->Take();
  s_->PushRenderTarget(a.get());
  s_->Clear(0xFFFF0000, false);
  // Target b sits at offset (5, 5): design (10, 10) lands on its texel (5, 5).
  s_->PushRenderTarget(b.get(), 5, 5);
  s_->Clear(0, false);
  TVec3 c[4] = {{10, 10, 0}, {11, 10, 0}, {10, 11, 0}, {11, 11, 0}};
  uint32_t green[4] = {0xFF00FF00, 0xFF00FF00, 0xFF00FF00, 0xFF00FF00};
  s_->DrawColoredQuad(c, green);
  TBitmap bb;
  ASSERT_TRUE(s_->ReadTarget(bb));
  EXPECT_EQ(bb.GetPixel(5, 5), 0xFF00FF00u);
  EXPECT_EQ(bb.GetPixel(10, 10), 0u);
  s_->PopRenderTarget();
  TBitmap ab;
  ASSERT_TRUE(s_->ReadTarget(ab));
  EXPECT_EQ(ab.GetPixel(10, 10), 0xFFFF0000u);
  s_->PopRenderTarget();
  EXPECT_EQ(s_->TargetDepth(), 1u);
  EXPECT_THROW(s_->PopRenderTarget(), EAssertionFailed);  // the back buffer entry stays
  s_->EndScene();
  pool_->Return(std::move(a));
  pool_->Return(std::move(b));
}

TEST_F(ScreenDrawing, SnapshotIsTopDownAndClearRectIsExact) {
  ASSERT_TRUE(s_->BeginScene());
  s_->Clear(0xFF000000, false);
  s_->ClearRect(0xFF0000FF, {2, 3, 6, 5});
  TVec3 c[4] = {{0, 0, 0}, {64, 0, 0}, {0, 1, 0}, {64, 1, 0}};
  uint32_t red[4] = {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFFFF0000};
  s_->DrawColoredQuad(c, red);
  TBitmap shot;
  ASSERT_TRUE(s_->CopyToBitmap(shot));
  s_->EndScene();
  EXPECT_EQ(shot.Width(), 64);
  EXPECT_EQ(shot.Height(), 48);
  EXPECT_EQ(shot.GetPixel(10, 0), 0xFFFF0000u);  // row 0 is the top
  EXPECT_EQ(shot.GetPixel(10, 1), 0xFF000000u);
  EXPECT_EQ(shot.GetPixel(2, 3), 0xFF0000FFu);
  EXPECT_EQ(shot.GetPixel(5, 4), 0xFF0000FFu);
  EXPECT_EQ(shot.GetPixel(6, 4), 0xFF000000u);
  EXPECT_EQ(shot.GetPixel(5, 5), 0xFF000000u);
}

TEST_F(ScreenDrawing, DesignSpaceMapsOntoTheDesignRectangle) {
  ASSERT_TRUE(s_->BeginScene());
  s_->Clear(0xFF000000, false);
  // Design 32 × 24 shown in the rectangle (0, 0, 64, 48): twice the size.
  s_->SetProjection({0, 0, 64, 48}, 32, 24);
  TVec3 c[4] = {{1, 1, 0}, {2, 1, 0}, {1, 2, 0}, {2, 2, 0}};
  uint32_t w[4] = {~0u, ~0u, ~0u, ~0u};
  s_->DrawColoredQuad(c, w);
  TBitmap shot;
  ASSERT_TRUE(s_->CopyToBitmap(shot));
  s_->EndScene();
  EXPECT_EQ(shot.GetPixel(2, 2), 0xFFFFFFFFu);
  EXPECT_EQ(shot.GetPixel(3, 3), 0xFFFFFFFFu);
  EXPECT_EQ(shot.GetPixel(4, 4), 0xFF000000u);
  EXPECT_EQ(shot.GetPixel(1, 1), 0xFF000000u);
}

TEST(Projection, DepthShrinksTowardsTheCentre) {
  TProjection p;
  p.scale_x = p.scale_y = 2;
  p.offset_x = 10;
  p.offset_y = 0;
  p.centre_x = 50;
  p.centre_y = 40;
  p.camera = 80;
  TPointF s;
  ASSERT_TRUE(p.Project({50, 40, 0}, s));
  EXPECT_FLOAT_EQ(s.x, 110);
  EXPECT_FLOAT_EQ(s.y, 80);
  // At z = camera distance a point appears half as far from the centre.
  ASSERT_TRUE(p.Project({70, 40, 80}, s));
  EXPECT_FLOAT_EQ(s.x, 110 + 20);
  EXPECT_FALSE(p.Project({0, 0, -80}, s));  // at the camera: behind the near plane
  // Unproject finds the point of a tilted plane again.
  TVec3 n{0.3f, -0.2f, 1}, q{30, 20, 15};
  TVec3 back;
  ASSERT_TRUE(p.Project(q, s));
  ASSERT_TRUE(p.Unproject(s, n, n.Dot(q), back));
  EXPECT_NEAR(back.x, q.x, 1e-3);
  EXPECT_NEAR(back.y, q.y, 1e-3);
  EXPECT_NEAR(back.z, q.z, 1e-3);
}

}  // namespace
}  // namespace zem::test

namespace zem::test {
namespace {

TEST(ScreenPrograms, FreedProgramIsNoLongerUsed) {
  TRig rig(16, 16);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  T3DScreen* s = rig.screen.get();
  ASSERT_TRUE(s->BeginScene());
  auto mask = s->CreateShader("videomask");
  s->SetShader(mask.get());
  mask.reset();  // freed while set: later draws fall back to plain drawing
  s->Clear(0xFF000000, false);
  TVec3 c[4] = {{0, 0, 0}, {16, 0, 0}, {0, 16, 0}, {16, 16, 0}};
  uint32_t col[4] = {0xFF4080C0, 0xFF4080C0, 0xFF4080C0, 0xFF4080C0};
  s->DrawColoredQuad(c, col);
  TBitmap shot;
  ASSERT_TRUE(s->CopyToBitmap(shot));
  s->EndScene();
  EXPECT_EQ(shot.GetPixel(4, 4), 0xFF4080C0u);
}

}  // namespace
}  // namespace zem::test
