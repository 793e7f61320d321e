// Video surfaces: layouts, padded sizes, plane hand-over from a decoder thread with edge
// extension, and the frame reaching the device.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/assert.h"
#include "render/yuv.h"
#include "render_rig.h"

namespace zem::test {
namespace {

class TOwner : public TVideoSurfaceOwner {
 public:
  void SurfaceClosed(T3DYUVGL*) override { ++closed; }
  int closed = 0;
};

class VideoSurfaces : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_ = std::make_unique<TRig>(64, 64);
    if (!rig_->Ok()) GTEST_SKIP() << "no OpenGL context";
  }
  void TearDown() override {
    T3DEngineGL::Instance().ForceShaderLevel(-1);
    rig_.reset();
  }
  TRef<T3DYUVGL> Make(int32_t w, int32_t h, bool rgba = false, bool mask = false) {
    return TRef<T3DYUVGL>(new T3DYUVGL(rig_->screen.get(), &owner_, w, h, rgba, mask));
  }
  std::unique_ptr<TRig> rig_;
  TOwner owner_;
};

TEST(VideoPadding, PaddedSizes) {
  EXPECT_EQ(T3DYUVGL::PaddedSize(720), 728);
  EXPECT_EQ(T3DYUVGL::PaddedSize(576), 584);
  EXPECT_EQ(T3DYUVGL::PaddedSize(100), 108);
  EXPECT_EQ(T3DYUVGL::PaddedSize(250), 256);
  EXPECT_EQ(T3DYUVGL::PaddedSize(256), 256);
}

TEST_F(VideoSurfaces, LayoutFollowsShaderLevelAndFlags) {
  auto planar = Make(720, 576);
  EXPECT_EQ(planar->Layout(), TYUVLayout::Planar420);
  ASSERT_TRUE(planar->Luma() && planar->ChromaU() && planar->ChromaV());
  EXPECT_EQ(planar->Luma()->Width(), 728);
  EXPECT_EQ(planar->ChromaU()->Width(), 364);
  EXPECT_EQ(planar->ChromaU()->Height(), 292);
  EXPECT_EQ(Make(64, 64, true)->Layout(), TYUVLayout::Rgba);
  auto mask = Make(64, 64, false, true);
  EXPECT_EQ(mask->Layout(), TYUVLayout::Gray);
  EXPECT_EQ(mask->GreyOnly(), 1);
  EXPECT_EQ(mask->ChromaU(), nullptr);
  T3DEngineGL::Instance().ForceShaderLevel(1);
  EXPECT_EQ(Make(64, 64)->Layout(), TYUVLayout::Planar420);
  T3DEngineGL::Instance().ForceShaderLevel(0);
  auto grey = Make(64, 64);
  EXPECT_EQ(grey->Layout(), TYUVLayout::Grey565);
  EXPECT_EQ(grey->Grey()->Format(), kFmtGrey565);
  EXPECT_EQ(grey->Luma(), nullptr);
}

TEST_F(VideoSurfaces, CommitExtendsRightAndBottomEdges) {
  auto v = Make(10, 6);
  TYUVPlane y, u;
  ASSERT_TRUE(v->OpenPlane(kPlaneY, y));
  EXPECT_EQ(y.width, 16);  // min(10 + 8, 16)
  EXPECT_EQ(y.height, 8);  // min(6 + 8, 8)
  ASSERT_TRUE(v->OpenPlane(kPlaneU, u));
  EXPECT_EQ(u.width, 8);
  EXPECT_EQ(u.height, 4);
  EXPECT_FALSE(v->OpenPlane(kPlaneY, y));  // already open
  EXPECT_FALSE(v->OpenPlane(kPlaneRgba, y));  // no such texture in this layout
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 10; ++c) y.rows[r][c] = uint8_t(r * 20 + c);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 5; ++c) u.rows[r][c] = uint8_t(100 + r * 10 + c);
  EXPECT_EQ(v->OpenPlanes(), 2);
  ASSERT_TRUE(v->CommitPlane(kPlaneY, y));
  ASSERT_TRUE(v->CommitPlane(kPlaneU, u));
  EXPECT_EQ(v->OpenPlanes(), 0);
  int64_t pitch = 0;
  uint8_t* p = v->Luma()->LockStaging(pitch);
  for (int r = 0; r < 8; ++r)
    for (int c = 0; c < 16; ++c) {
      int sr = std::min(r, 5), sc = std::min(c, 9);
      ASSERT_EQ(p[r * pitch + c], sr * 20 + sc) << r << "," << c;
    }
  v->Luma()->UnlockStaging(false);
  p = v->ChromaU()->LockStaging(pitch);
  EXPECT_EQ(p[0 * pitch + 7], 104);
  EXPECT_EQ(p[3 * pitch + 7], 124);
  v->ChromaU()->UnlockStaging(false);
}

TEST_F(VideoSurfaces, MisuseIsAProgrammingError) {
  auto v = Make(16, 16);
  TYUVPlane p;
  EXPECT_THROW(v->OpenPlane(5, p), EAssertionFailed);
  EXPECT_THROW(v->CommitPlane(kPlaneY, p), EAssertionFailed);  // not opened
  v->Close();
  EXPECT_EQ(owner_.closed, 1);
  EXPECT_FALSE(v->OpenPlane(kPlaneY, p));  // closed
  v->Close();
  EXPECT_EQ(owner_.closed, 1);
}

TEST_F(VideoSurfaces, CloseWaitsForTheDecoderToCommit) {
  auto v = Make(32, 32);
  TYUVPlane p;
  ASSERT_TRUE(v->OpenPlane(kPlaneY, p));
  std::atomic<bool> closed{false};
  std::thread closer([&] {
    v->Close();
    closed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(closed.load());
  EXPECT_FALSE(v->CommitPlane(kPlaneY, p));  // committed, but the surface is closing
  closer.join();
  EXPECT_TRUE(closed.load());
  EXPECT_EQ(v->Luma(), nullptr);
}

TEST_F(VideoSurfaces, DecodedFrameReachesTheScreenAndSurvivesInvalidate) {
  auto v = Make(32, 32);
  std::thread decoder([&] {
    for (int kind : {kPlaneY, kPlaneU, kPlaneV}) {
      TYUVPlane p;
      ASSERT_TRUE(v->OpenPlane(kind, p));
      int n = kind == kPlaneY ? 32 : 16;
      for (int r = 0; r < n; ++r)
        for (int c = 0; c < n; ++c) p.rows[r][c] = kind == kPlaneY ? 235 : 128;  // white
      v->CommitPlane(kind, p);
    }
    v->Finish();
  });
  decoder.join();
  auto prog = rig_->screen->CreateShader("yuv_lum");
  auto draw = [&](TBitmap& out) {
    return DrawProgram(*rig_, prog.get(), {v->Luma(), v->ChromaU(), v->ChromaV()}, 0xFFFFFFFF, 32, 32, out,
                       [](T3DScreen* s) {
                         float k[5] = {1.596f, 0.813f, 0.391f, 2.018f, 1.164f};
                         for (int i = 0; i < 5; ++i) s->SetShaderConstant(i, k[i]);
                       });
  };
  TBitmap out;
  ASSERT_TRUE(draw(out));
  EXPECT_GE(out.GetPixel(10, 10) & 0xFF, 254u);
  EXPECT_GE((out.GetPixel(10, 10) >> 16) & 0xFF, 254u);
  v->Invalidate();
  EXPECT_TRUE(v->TexturesLost());
  EXPECT_FALSE(v->Luma()->HasDeviceTexture());
  TBitmap again;
  ASSERT_TRUE(draw(again));
  EXPECT_EQ(again.GetPixel(10, 10), out.GetPixel(10, 10));
}

TEST_F(VideoSurfaces, LostPicturesAskForTheFrameAgainAndGreyLayoutsSaySo) {
  auto v = Make(32, 32);
  int told = 0;
  v->on_invalidated = [&](TYUVImage* image) {
    EXPECT_EQ(image, v.get());
    ++told;
  };
  v->needs_picture = false;
  v->Invalidate();
  EXPECT_TRUE(v->needs_picture);
  EXPECT_EQ(told, 1);  // once for all three planes
  // A texture that loses its device copy reports to its surface.
  v->needs_picture = false;
  v->TextureLost();
  EXPECT_TRUE(v->needs_picture);
  EXPECT_TRUE(v->TexturesLost());
  EXPECT_EQ(told, 2);
  // Both grey layouts hold a grey picture only.
  EXPECT_EQ(Make(32, 32, false, true)->GreyOnly(), 1);
  EXPECT_EQ(v->GreyOnly(), 0);
  T3DEngineGL::Instance().ForceShaderLevel(0);
  auto grey = Make(32, 32);
  ASSERT_EQ(grey->Layout(), TYUVLayout::Grey565);
  EXPECT_EQ(grey->GreyOnly(), 1);
}

}  // namespace
}  // namespace zem::test
