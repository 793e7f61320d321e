// Video surfaces drawn by the drawer: YUV conversion, deinterlacing, chroma key, masks, packed
// RGBA, and video layers inside masked drawing; the one-pass masked path against the general one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "drawer_support.h"
#include "foundation/assert.h"
#include "render/yuv.h"

namespace zem::test {
namespace {

constexpr uint32_t kGrey = 0xFF404040u;

struct TYuv {
  uint8_t y, u, v;
};

// Video-range BT.601 values of an RGB colour (channels 0..255).
TYuv ToYuv(uint32_t argb) {
  const double r = ((argb >> 16) & 0xFF) / 255.0, g = ((argb >> 8) & 0xFF) / 255.0, b = (argb & 0xFF) / 255.0;
  auto c = [](double v) { return uint8_t(std::clamp(std::lround(v), 0L, 255L)); };
  return {c(16 + 65.481 * r + 128.553 * g + 24.966 * b), c(128 - 37.797 * r - 74.203 * g + 112.0 * b),
          c(128 + 112.0 * r - 93.786 * g - 18.214 * b)};
}

// The eight 75 % colour bars.
const uint32_t kBars[8] = {0xFFBFBFBFu, 0xFFBFBF00u, 0xFF00BFBFu, 0xFF00BF00u,
                           0xFFBF00BFu, 0xFFBF0000u, 0xFF0000BFu, 0xFF000000u};

// Writes a frame through the decoder-side interface: pixel (x, y) gets colour(x, y) in YUV.
template <class F>
void FillPlanar(T3DYUV& s, F colour) {
  TYUVPlane y, u, v;
  ASSERT_TRUE(s.OpenPlane(kPlaneY, y));
  ASSERT_TRUE(s.OpenPlane(kPlaneU, u));
  ASSERT_TRUE(s.OpenPlane(kPlaneV, v));
  for (int32_t r = 0; r < s.Height(); ++r)
    for (int32_t c = 0; c < s.Width(); ++c) {
      TYuv p = colour(c, r);
      y.rows[r][c] = p.y;
      if ((r & 1) == 0 && (c & 1) == 0) {
        u.rows[r / 2][c / 2] = p.u;
        v.rows[r / 2][c / 2] = p.v;
      }
    }
  ASSERT_TRUE(s.CommitPlane(kPlaneY, y));
  ASSERT_TRUE(s.CommitPlane(kPlaneU, u));
  ASSERT_TRUE(s.CommitPlane(kPlaneV, v));
}

class VideoDrawing : public ::testing::Test {
 protected:
  TDrawerRig rig{80, 60};
  TBitmap Scene(const std::function<void(TDeviceDrawer&)>& fn) {
    TFnItem root([&](TDeviceDrawer& d) {
      d.Clear(kGrey, true);
      fn(d);
    });
    return rig.Render(root);
  }
  // The whole surface one to one at (x, y).
  static void Draw(TDeviceDrawer& d, T3DYUV* s, float x, float y, TVideoParams p = {}) {
    if (p.sourceRect.IsEmpty()) p.sourceRect = {0, 0, float(s->Width()), float(s->Height())};
    d.DrawVideo(s, {x, y, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  }
};

TEST_F(VideoDrawing, ColourBarsInYuvComeOutAsTheirRgbColours) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(64, 48, false, false);
  ASSERT_TRUE(s);
  if (!dynamic_cast<T3DYUVGL*>(s.get())->Luma()) GTEST_SKIP() << "no pixel programs";
  FillPlanar(*s, [](int32_t x, int32_t) { return ToYuv(kBars[x / 8]); });
  TBitmap b = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 8, 6); });
  for (int i = 0; i < 8; ++i)
    EXPECT_LE(ChannelDiff(Px(b, 8 + i * 8 + 4, 30), kBars[i]), 4) << "bar " << i << " " << std::hex << Px(b, 12 + i * 8, 30);
  EXPECT_EQ(Px(b, 3, 3), kGrey);    // outside the picture
  EXPECT_EQ(Px(b, 40, 57), kGrey);  // below it
  ExpectGolden(b, "video_bars");
}

TEST_F(VideoDrawing, OpacityTintAndSourceRectangle) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(64, 48, false, false);
  ASSERT_TRUE(s);
  if (!dynamic_cast<T3DYUVGL*>(s.get())->Luma()) GTEST_SKIP() << "no pixel programs";
  FillPlanar(*s, [](int32_t x, int32_t) { return ToYuv(x < 32 ? 0xFFFFFFFFu : 0xFF000000u); });
  TVideoParams p;
  p.opacity = 50;
  p.sourceRect = {32, 0, 64, 48};  // the black half only
  TBitmap b = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  // The quad covers the source rectangle where it lies in the picture: x 32..64.
  EXPECT_LE(ChannelDiff(Px(b, 48, 20), 0xFF202020u), 3) << std::hex << Px(b, 48, 20);
  EXPECT_EQ(Px(b, 20, 20), kGrey);
}

TEST_F(VideoDrawing, DeinterlacingKeepsOneFieldAndItsOrderPicksWhichOne) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(32, 32, false, false);
  ASSERT_TRUE(s);
  if (!dynamic_cast<T3DYUVGL*>(s.get())->Luma()) GTEST_SKIP() << "no pixel programs";
  // Even rows white, odd rows black.
  FillPlanar(*s, [](int32_t, int32_t y) { return ToYuv((y & 1) ? 0xFF000000u : 0xFFFFFFFFu); });
  TVideoParams p;
  p.deinterlace = 1;
  TBitmap even = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  p.deinterlace = 2;
  TBitmap odd = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  p.deinterlace = 0;
  TBitmap both = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  for (int y : {4, 9, 16, 21}) {
    EXPECT_LE(ChannelDiff(Px(even, 10, y), 0xFFFFFFFFu), 3) << y;
    EXPECT_LE(ChannelDiff(Px(odd, 10, y), 0xFF000000u), 3) << y;
  }
  // Without deinterlacing the rows alternate.
  EXPECT_NE(Px(both, 10, 4), Px(both, 10, 5));
}

TEST_F(VideoDrawing, ChromaKeyClearsTheKeyColourOnly) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(32, 32, false, false);
  ASSERT_TRUE(s);
  if (!dynamic_cast<T3DYUVGL*>(s.get())->Luma()) GTEST_SKIP() << "no pixel programs";
  const TYuv key = ToYuv(0xFF00FF00u);
  FillPlanar(*s, [](int32_t x, int32_t) { return ToYuv(x < 16 ? 0xFF00FF00u : 0xFFFF0000u); });
  TVideoParams p;
  p.chromaKey[1] = key.u / 255.0f;
  p.chromaKey[2] = key.v / 255.0f;
  p.chromaTolerance = 0.1f;
  TBitmap b = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  EXPECT_EQ(Px(b, 6, 10), kGrey);                                    // keyed out
  EXPECT_LE(ChannelDiff(Px(b, 26, 10), 0xFFFF0000u), 4) << std::hex << Px(b, 26, 10);  // kept
}

TEST_F(VideoDrawing, MaskSurfaceTurnsLuminanceIntoOpacity) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(32, 32, false, true);
  ASSERT_TRUE(s);
  TYUVPlane y;
  ASSERT_TRUE(s->OpenPlane(kPlaneY, y));
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c) y.rows[r][c] = c < 16 ? 235 : 16;
  ASSERT_TRUE(s->CommitPlane(kPlaneY, y));
  TVideoParams p;
  TBitmap plain = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  p.maskInvert = 1;
  TBitmap inverted = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0, p); });
  EXPECT_LE(ChannelDiff(Px(plain, 6, 10), 0xFFFFFFFFu), 3);  // white: opaque white
  EXPECT_LE(ChannelDiff(Px(plain, 26, 10), kGrey), 3);        // black: transparent
  EXPECT_LE(ChannelDiff(Px(inverted, 6, 10), kGrey), 3);
  EXPECT_LE(ChannelDiff(Px(inverted, 26, 10), 0xFFFFFFFFu), 3);
}

TEST_F(VideoDrawing, PackedRgbaIsDrawnPlainlyWhateverTheTint) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(32, 32, true, false);
  ASSERT_TRUE(s);
  TYUVPlane p;
  ASSERT_TRUE(s->OpenPlane(kPlaneRgba, p));
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c) {
      uint8_t* px = p.rows[r] + c * 4;  // B, G, R, A
      px[0] = 0x30, px[1] = 0x90, px[2] = 0xE0, px[3] = 0xFF;
    }
  ASSERT_TRUE(s->CommitPlane(kPlaneRgba, p));
  TBitmap b = Scene([&](TDeviceDrawer& d) { Draw(d, s.get(), 0, 0); });
  EXPECT_LE(ChannelDiff(Px(b, 10, 10), 0xFFE09030u), 2) << std::hex << Px(b, 10, 10);
}

TEST_F(VideoDrawing, MisuseIsAProgrammingErrorAndClosedSurfacesDrawNothing) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(32, 32, true, false);
  ASSERT_TRUE(s);
  TVideoParams empty;
  TBitmap b = Scene([&](TDeviceDrawer& d) {
    EXPECT_THROW(d.DrawVideo(s.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, empty), EAssertionFailed);
    EXPECT_THROW(d.DrawVideo(nullptr, {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, empty), EAssertionFailed);
    dynamic_cast<T3DYUVGL*>(s.get())->Close();
    Draw(d, s.get(), 0, 0);
  });
  EXPECT_EQ(Px(b, 10, 10), kGrey);
}

// A mask item: opaque white on the left half of the 80 × 60 frame.
void LeftHalfMask(TDeviceDrawer& d) {
  TBoxParams p;
  p.colour1 = p.colour2 = 0xFFFFFFFFu;
  p.width = 40;
  p.height = 60;
  d.DrawBox({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
}

TEST_F(VideoDrawing, VideoLayerInsideMaskedDrawing) {
  ZEM_REQUIRE_DRAWER(rig);
  TRef<T3DYUV> s = rig.drawer->CreateVideoSurface(64, 48, false, false);
  ASSERT_TRUE(s);
  if (!dynamic_cast<T3DYUVGL*>(s.get())->Luma()) GTEST_SKIP() << "no pixel programs";
  FillPlanar(*s, [](int32_t, int32_t) { return ToYuv(0xFF0000BFu); });
  TFnItem mask(LeftHalfMask);
  TBitmap b = Scene([&](TDeviceDrawer& d) {
    TMaskedLayer layer;
    layer.video = s.get();
    layer.position = {8, 6, 0};
    layer.axisX = {1, 0, 0};
    layer.axisY = {0, 1, 0};
    d.DrawMasked(&mask, std::span<const TMaskedLayer>(&layer, 1), nullptr);
  });
  EXPECT_LE(ChannelDiff(Px(b, 20, 30), 0xFF0000BFu), 4) << std::hex << Px(b, 20, 30);  // video under the mask
  EXPECT_EQ(Px(b, 60, 30), kGrey);  // masked out
  EXPECT_EQ(Px(b, 4, 3), kGrey);    // outside the video
}

TEST_F(VideoDrawing, OnePassMaskedImageMatchesTheLayerTargetPath) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(64, 48, 0xC0FFFFFFu, 0xFF2060C0u);  // half-transparent white squares
  TFnItem mask([](TDeviceDrawer& d) {
    TBoxParams p;
    p.fillStyle = 6;  // opaque on the left, fading to transparent on the right
    p.colour1 = 0xFFFFFFFFu;
    p.colour2 = 0x00FFFFFFu;
    p.width = 60;
    p.height = 40;
    d.DrawBox({10, 10, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  const float c = std::cos(0.3f), sn = std::sin(0.3f);
  TImageParams ip;
  ip.opacity = 80;
  ip.antialiased = 0;
  TMaskedLayer layer;
  layer.image = pic.get();
  layer.imageParams = ip;
  layer.position = {40, 30, 0};
  layer.offset = {32, 24};
  layer.axisX = {c, sn, 0};  // turned, but flat
  layer.axisY = {-sn, c, 0};
  auto draw = [&](TDeviceDrawer& d) { d.DrawMasked(&mask, std::span<const TMaskedLayer>(&layer, 1), nullptr); };
  const int before = rig.drawer->FastMaskedDraws();
  TBitmap fast = Scene(draw);
  EXPECT_EQ(rig.drawer->FastMaskedDraws(), before + 1);
  rig.drawer->SetMaskedFastPath(false);
  TBitmap general = Scene(draw);
  rig.drawer->SetMaskedFastPath(true);
  EXPECT_EQ(rig.drawer->FastMaskedDraws(), before + 1);
  int worst = 0, differing = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      int diff = ChannelDiff(Px(fast, x, y), Px(general, x, y));
      worst = std::max(worst, diff);
      if (diff > 2) ++differing;
    }
  EXPECT_LE(differing, 0) << "worst " << worst;
  // The picture does show through the opaque part of the mask.
  EXPECT_NE(Px(fast, 30, 30), kGrey);

  // A layer with depth takes the general path.
  layer.axisY = {0, 0.8f, 0.6f};
  Scene(draw);
  EXPECT_EQ(rig.drawer->FastMaskedDraws(), before + 1);
}

}  // namespace
}  // namespace zem::test
