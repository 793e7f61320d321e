// Generated pictures at the pixel level: spread curves and their stored form, the shadow's
// halving caps, silhouettes, blur and spread; preset masks; the nine-piece button layout and
// the colour adjustment.
#include <gtest/gtest.h>

#include <cmath>

#include "resources/generated/button_pixels.h"
#include "resources/generated/preset_mask.h"
#include "resources/generated/shadow_builder.h"

namespace zem {
namespace {

uint32_t Alpha(const TBitmap& b, int x, int y) { return b.GetPixel(x, y) >> 24; }
uint8_t Grey(const TBitmap& b, int x, int y) { return uint8_t(b.GetPixel(x, y) & 255); }

// A square silhouette of side `side` in the middle of its layout, blurred with `radius`.
TBitmap SquareShadow(int32_t side, double radius, int spread, float opacity = 100) {
  const TShadowLayout l = ComputeShadowLayout(side, side, radius);
  TAlphaPlane sil;
  BoxSilhouette(side, side, 0, 0, 0, 255, 255, 8, l, sil);
  TBitmap out;
  EXPECT_TRUE(RenderShadow(sil, l, {spread, 10, 20, 30, opacity}, out));
  return out;
}

TEST(SpreadCurves, StoredFormIsReadBackAndBadCurvesBecomeTheIdentity) {
  for (int i = 0; i < kSpreadCurveCount; ++i) {
    std::vector<TPointI> points;
    EXPECT_TRUE(ReadStoredCurve(SpreadCurveBytes(i), points)) << SpreadCurveName(i);
    EXPECT_GE(points.size(), 2u);
  }
  // Big-endian 16-bit values: "Ring" has 4 points, the second at (86, 255).
  const std::vector<uint8_t> ring = SpreadCurveBytes(7);
  ASSERT_EQ(ring.size(), 2u + 4 * 4);
  EXPECT_EQ(ring[0], 0);
  EXPECT_EQ(ring[1], 4);
  EXPECT_EQ(ring[6], 0);
  EXPECT_EQ(ring[7], 86);
  EXPECT_EQ(ring[9], 255);
  const std::vector<TPointI> identity{{0, 0}, {255, 255}};
  std::vector<TPointI> points;
  const std::vector<uint8_t> one{0, 1, 0, 5, 0, 5};                        // fewer than 2 points
  const std::vector<uint8_t> wide{0, 2, 0, 0, 0, 0, 1, 0, 0, 255};         // x = 256
  const std::vector<uint8_t> shortened{0, 3, 0, 0, 0, 0, 0, 255, 0, 255};  // a point missing
  std::vector<uint8_t> many{1, 0};                                         // 256 points
  many.resize(2 + 256 * 4, 0);
  for (const std::vector<uint8_t>* bad : {&one, &wide, &shortened, static_cast<const std::vector<uint8_t>*>(&many)}) {
    EXPECT_FALSE(ReadStoredCurve(*bad, points));
    EXPECT_EQ(points.size(), identity.size());
    EXPECT_EQ(points[1].x, 255);
    EXPECT_EQ(points[1].y, 255);
  }
  TSpreadTable t{};
  EXPECT_FALSE(SpreadCurveTable(10, t));
  for (int i = 0; i < 256; ++i) EXPECT_EQ(t[size_t(i)], i);
}

TEST(SpreadCurves, TablesPassThroughTheirPointsAndHoldOutsideThem) {
  TSpreadTable linear{}, ring{}, deep{};
  ASSERT_TRUE(SpreadCurveTable(0, linear));
  for (int i = 0; i < 256; ++i) EXPECT_NEAR(linear[size_t(i)], i, 1);
  ASSERT_TRUE(SpreadCurveTable(7, ring));
  EXPECT_EQ(ring[0], 0);
  EXPECT_EQ(ring[86], 255);
  EXPECT_EQ(ring[172], 0);
  EXPECT_EQ(ring[255], 255);
  EXPECT_GT(ring[43], 60);
  EXPECT_LT(ring[129], 200);
  // "Cove - Deep" starts at (1, 63) and ends at (192, 255): entries outside hold those values.
  ASSERT_TRUE(SpreadCurveTable(3, deep));
  EXPECT_EQ(deep[0], 63);
  for (int i = 192; i < 256; ++i) EXPECT_EQ(deep[size_t(i)], 255);
  // A repeated x is dropped, the curve still passes through the points kept.
  const TSpreadTable dup = MakeSpreadTable({{0, 0}, {100, 50}, {100, 200}, {255, 255}});
  EXPECT_EQ(dup[100], 50);
}

TEST(ShadowLayout, HalvesToThePixelAndSideCapsAndBoundsThePadding) {
  // 24 megapixels: three halvings give 750 x 500.
  TShadowLayout l = ComputeShadowLayout(6000, 4000, 16);
  EXPECT_EQ(l.halvings, 3);
  EXPECT_EQ(l.silWidth, 750);
  EXPECT_EQ(l.silHeight, 500);
  EXPECT_FLOAT_EQ(l.radius, 2);
  EXPECT_EQ(l.pad, 8);  // ceil(2.5 x (2 + 1))
  // A long thin one is halved for its side alone; odd sides round up.
  l = ComputeShadowLayout(20001, 3, 0);
  EXPECT_EQ(l.halvings, 2);
  EXPECT_EQ(l.silWidth, 5001);
  EXPECT_EQ(l.silHeight, 1);
  // A small one stays whole; an absurd radius is capped and the padding kept bounded.
  l = ComputeShadowLayout(100, 80, 1e30);
  ASSERT_TRUE(l.Valid());
  EXPECT_LE(int64_t(l.Width()) * l.Height(), kShadowMaxPaddedPixels);
  EXPECT_LE(l.Width(), kShadowMaxPaddedSide);
  EXPECT_TRUE(ComputeShadowLayout(100, 80, std::nan("")).Valid());
  EXPECT_FALSE(ComputeShadowLayout(0, 80, 4).Valid());
  EXPECT_FALSE(ComputeShadowLayout(-5, 80, 4).Valid());
}

TEST(ShadowSilhouette, PictureAlphaIsAveragedWithMarginsAndLevels) {
  // 8 x 4, left half opaque, right half transparent; a 24-bit picture counts as opaque.
  TBitmap pic;
  ASSERT_TRUE(pic.Allocate(8, 4, TPixelFormat::Argb32));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) pic.SetPixel(x, y, 0xFF000000u);
  TAlphaPlane sil;
  // Level 1: the picture is 4 x 2; its rectangle (1, 0)-(3, 2) covers half and half; margins of
  // one pixel at alpha 100.
  TShadowLayout l = ComputeShadowLayout(2 + 2, 2 + 2, 0);
  ASSERT_TRUE(PictureSilhouette(pic, 1, {1, 0, 3, 2}, 1, 1, 100, l, sil));
  ASSERT_EQ(sil.width, 4);
  EXPECT_EQ(sil.At(0, 0), 100);
  EXPECT_EQ(sil.At(1, 1), 255);
  EXPECT_EQ(sil.At(2, 1), 0);
  EXPECT_EQ(sil.At(3, 2), 100);
  // Halved once more: each pixel mixes margin and inner pixels.
  TShadowLayout half = l;
  half.halvings = 1;
  half.silWidth = half.silHeight = 2;
  ASSERT_TRUE(PictureSilhouette(pic, 1, {1, 0, 3, 2}, 1, 1, 100, half, sil));
  EXPECT_EQ(sil.At(0, 0), (100 * 3 + 255 + 2) / 4);
  EXPECT_EQ(sil.At(1, 0), (100 * 3 + 0 + 2) / 4);
  TBitmap opaque;
  ASSERT_TRUE(opaque.Allocate(8, 4, TPixelFormat::Rgb24));
  ASSERT_TRUE(PictureSilhouette(opaque, 0, {0, 0, 8, 4}, 0, 0, 0, ComputeShadowLayout(8, 4, 0), sil));
  EXPECT_EQ(sil.At(7, 3), 255);
  // The continue test stops the work.
  EXPECT_FALSE(PictureSilhouette(pic, 0, {0, 0, 8, 4}, 0, 0, 0, ComputeShadowLayout(8, 4, 0), sil, [] { return false; }));
}

TEST(ShadowSilhouette, BoxGradientsFollowTheFillStyles) {
  TAlphaPlane sil;
  const TShadowLayout l = ComputeShadowLayout(100, 10, 0);
  BoxSilhouette(100, 10, 0, 0, 0, 255, 0, 6, l, sil);  // left to right
  EXPECT_GT(sil.At(0, 5), 250);
  EXPECT_LT(sil.At(99, 5), 5);
  EXPECT_NEAR(sil.At(50, 5), 127, 4);
  BoxSilhouette(100, 10, 0, 0, 0, 255, 0, 5, l, sil);  // top to bottom
  EXPECT_GT(sil.At(50, 0), 220);
  EXPECT_LT(sil.At(50, 9), 35);
}

TEST(ShadowBlur, PlainBlurFallsOffAndTheRingCurveRisesFallsAndRises) {
  const TBitmap plain = SquareShadow(120, 8, 0, 59);
  ASSERT_FALSE(plain.Empty());
  const int c = plain.Width() / 2;
  // Colour everywhere, full opacity trunc(59 x 255 / 100) = 150 in the middle, none at the edge.
  EXPECT_EQ(plain.GetPixel(c, c) & 0xFFFFFF, 0x0A141Eu);
  EXPECT_EQ(Alpha(plain, c, c), 150u);
  EXPECT_EQ(Alpha(plain, 0, c), 0u);
  EXPECT_EQ(Alpha(plain, c, 0), 0u);
  uint32_t last = 0;
  bool monotone = true;
  for (int x = 0; x <= c; ++x) {
    monotone &= Alpha(plain, x, c) >= last;
    last = Alpha(plain, x, c);
  }
  EXPECT_TRUE(monotone);
  // Symmetric.
  for (int x = 0; x < plain.Width(); ++x) EXPECT_NEAR(Alpha(plain, x, c), Alpha(plain, c, x), 1);
  // "Ring": from outside to the middle the alpha rises, falls and rises again.
  const TBitmap ring = SquareShadow(120, 8, 7);
  int turns = 0, direction = 0;
  for (int x = 1; x <= ring.Width() / 2; ++x) {
    const int d = int(Alpha(ring, x, c)) - int(Alpha(ring, x - 1, c));
    if (std::abs(d) < 3) continue;
    const int dir = d > 0 ? 1 : -1;
    if (dir != direction) {
      ++turns;
      direction = dir;
    }
  }
  EXPECT_EQ(turns, 3);  // up, down, up
  // A spread index outside 0..9 leaves the plain blur.
  const TBitmap odd = SquareShadow(120, 8, 42, 59);
  for (int x = 0; x < plain.Width(); ++x) EXPECT_EQ(Alpha(odd, x, c), Alpha(plain, x, c));
  TBitmap none;
  EXPECT_FALSE(RenderShadow(TAlphaPlane{}, ComputeShadowLayout(60, 60, 8), {}, none));
}

TEST(PresetMask, NamesDefaultAndCap) {
  TPresetMask m;
  ASSERT_TRUE(ParsePresetMaskName(u"PresetedMask: 256:  128:1:50.5:20", m));
  EXPECT_EQ(m.width, 256);
  EXPECT_EQ(m.height, 128);
  EXPECT_EQ(m.shape, 1);
  EXPECT_FLOAT_EQ(m.softness, 50.5f);
  EXPECT_FLOAT_EQ(m.corner, 20);
  ASSERT_TRUE(ParsePresetMaskName(u"PresetedMask:x:7:9:nan:-3", m));
  EXPECT_EQ(m.width, 512);
  EXPECT_EQ(m.height, 7);
  EXPECT_EQ(m.shape, 0);
  EXPECT_EQ(m.softness, 0);
  EXPECT_EQ(m.corner, 0);
  ASSERT_TRUE(ParsePresetMaskName(u"PresetedMask:", m));
  EXPECT_EQ(m.width, 512);
  EXPECT_FALSE(ParsePresetMaskName(u"Mask: x", m));
  EXPECT_TRUE(MakePresetMask({kMaxPresetMaskSide + 1, 4, 0, 0, 0}).Empty());
  EXPECT_TRUE(MakePresetMask({0, 4, 0, 0, 0}).Empty());
}

TEST(PresetMask, EllipseIsHardWithoutSoftnessAndFadesOverItsBand) {
  const TBitmap hard = MakePresetMask({256, 256, 1, 0, 0});
  ASSERT_EQ(hard.Format(), TPixelFormat::Rgb24);
  int greys = 0;
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) greys += Grey(hard, x, y) != 0 && Grey(hard, x, y) != 255;
  EXPECT_EQ(greys, 0);
  EXPECT_EQ(Grey(hard, 128, 128), 255);
  EXPECT_EQ(Grey(hard, 2, 128), 255);
  EXPECT_EQ(Grey(hard, 0, 0), 0);
  EXPECT_EQ(Grey(hard, 0, 127), 0);  // at the radius itself
  // Softness 50: a band of 64 pixels inside the radius fades along the ease curve.
  const TBitmap soft = MakePresetMask({256, 256, 1, 50, 0});
  EXPECT_EQ(Grey(soft, 128, 127), 255);
  EXPECT_EQ(Grey(soft, 128 - 63, 127), 255);  // 63.5 from the centre: the band begins
  const int mid = Grey(soft, 128 - 96, 127);  // distance 95.5, x = 0.5 into the band
  EXPECT_NEAR(mid, 127, 2);
  int last = 255;
  for (int x = 127 - 64; x >= 0; --x) {
    EXPECT_LE(Grey(soft, x, 127), last);
    last = Grey(soft, x, 127);
  }
  EXPECT_EQ(Grey(soft, 0, 127), 0);
  // Wide ellipses stretch the vertical distance: 128 x 64 reaches the top edge at the middle.
  const TBitmap wide = MakePresetMask({128, 64, 1, 0, 0});
  EXPECT_EQ(Grey(wide, 64, 1), 255);
  EXPECT_EQ(Grey(wide, 1, 1), 0);
}

TEST(PresetMask, RoundedRectangleCornersAndEdges) {
  // Corner 50 % of 32: radius 16; softness 0 leaves a one-pixel band.
  const TBitmap m = MakePresetMask({64, 64, 0, 0, 50});
  EXPECT_EQ(Grey(m, 32, 32), 255);
  EXPECT_EQ(Grey(m, 32, 1), 255);  // along the top edge
  EXPECT_EQ(Grey(m, 1, 1), 0);     // outside the rounded corner
  EXPECT_EQ(Grey(m, 3, 3), 0);
  EXPECT_EQ(Grey(m, 12, 12), 255);
  EXPECT_NEAR(Grey(m, 32, 0), 128, 1);  // the edge pixel is half covered
  // Without a corner the rectangle is square.
  const TBitmap sq = MakePresetMask({64, 32, 0, 80, 0});
  EXPECT_EQ(Grey(sq, 1, 1), 255);
}

TEST(ButtonPixels, OnlyTheMiddleColumnsStretch) {
  // A 12 x 6 piece picture: each piece a colour of its own, laid out 4 | 4 | 4 by 2 | 2 | 2.
  TBitmap pic;
  ASSERT_TRUE(pic.Allocate(12, 6, TPixelFormat::Argb32));
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) pic.SetPixel(x, y, 0xFF000000u | uint32_t(x / 4) << 16 | uint32_t(y / 2) << 8 | uint32_t(x));
  TButtonPieceImage p[kPieceCount];
  p[kPieceLeftTop] = {&pic, {0, 0, 4, 2}};
  p[kPieceTop] = {&pic, {4, 0, 8, 2}};
  p[kPieceRightTop] = {&pic, {8, 0, 12, 2}};
  p[kPieceLeft] = {&pic, {0, 2, 4, 4}};
  p[kPieceCenter] = {&pic, {4, 2, 8, 4}};
  p[kPieceRight] = {&pic, {8, 2, 12, 4}};
  p[kPieceLeftBottom] = {&pic, {0, 4, 4, 6}};
  p[kPieceBottom] = {&pic, {4, 4, 8, 6}};
  p[kPieceRightBottom] = {&pic, {8, 4, 100000, 100000}};  // clipped to its picture
  TBitmap out;
  ASSERT_TRUE(ComposeButton(p, 30, 6, out));
  // Left pieces in place, right pieces moved to the right end, the middle repeats column 4.
  EXPECT_EQ(out.GetPixel(3, 3), pic.GetPixel(3, 3));
  EXPECT_EQ(out.GetPixel(26, 0), pic.GetPixel(8, 0));
  EXPECT_EQ(out.GetPixel(29, 5), pic.GetPixel(11, 5));
  for (int x = 4; x < 26; ++x) {
    EXPECT_EQ(out.GetPixel(x, 1), pic.GetPixel(4, 1)) << x;
    EXPECT_EQ(out.GetPixel(x, 3), pic.GetPixel(4, 3)) << x;
    EXPECT_EQ(out.GetPixel(x, 5), pic.GetPixel(4, 5)) << x;
  }
  // Pieces without picture leave the cleared picture.
  TButtonPieceImage none[kPieceCount];
  ASSERT_TRUE(ComposeButton(none, 5, 5, out));
  EXPECT_EQ(out.GetPixel(2, 2), 0u);
}

TEST(ButtonPixels, HueSaturationAndLightness) {
  // Hue 180 turns red into cyan; saturation -100 makes it grey; nothing changes without values.
  const uint32_t cyan = AdjustHslColour(0xFF0000, 180, 0, 0);
  EXPECT_LE((cyan >> 16) & 255, 2u);
  EXPECT_GE((cyan >> 8) & 255, 250u);
  EXPECT_GE(cyan & 255, 250u);
  const uint32_t grey = AdjustHslColour(0xFF0000, 0, -100, 0);
  EXPECT_EQ((grey >> 16) & 255, grey & 255);
  EXPECT_EQ(AdjustHslColour(0x336699, 0, 0, 100), 0xFFFFFFu);
  EXPECT_EQ(AdjustHslColour(0x336699, 360, 0, 0), AdjustHslColour(0x336699, 0, 0, 0));
  TBitmap b;
  ASSERT_TRUE(b.Allocate(2, 1, TPixelFormat::Argb32));
  b.SetPixel(0, 0, 0x80FF0000u);
  AdjustHsl(b, 180, 0, 0);
  EXPECT_EQ(b.GetPixel(0, 0) >> 24, 0x80u);  // alpha kept
  EXPECT_EQ(b.GetPixel(0, 0) & 0xFFFFFF, cyan);
}

}  // namespace
}  // namespace zem
