// The outline rasterizer and system-font glyph outlines.
#include <gtest/gtest.h>

#include <cmath>

#include "foundation/assert.h"
#include "resources/text/outline_rasterizer.h"
#include "resources/text/system_font.h"
#include "resources/text/text_layout.h"

namespace zem {
namespace {

TBitmap Canvas(int w, int h) {
  TBitmap b;
  b.Allocate(w, h, TPixelFormat::Argb32);
  return b;  // transparent black
}

TPath Rect(float l, float t, float r, float b, bool clockwise = true) {
  if (clockwise) return {{l, t, kPathMoveTo}, {r, t, kPathLineTo}, {r, b, kPathLineTo}, {l, b, kPathLineTo}};
  return {{l, t, kPathMoveTo}, {l, b, kPathLineTo}, {r, b, kPathLineTo}, {r, t, kPathLineTo}};
}

uint32_t Alpha(const TBitmap& b, int x, int y) { return b.GetPixel(x, y) >> 24; }

TEST(OutlineRasterizer, CoverageIsSampledSixteenBySixteen) {
  TBitmap b = Canvas(8, 8);
  TOutlineRasterizer r;
  // Pixel (1,1) fully covered, pixel (3,1) half (left half), pixel (5,1) a quarter.
  r.AddPath(Rect(1, 1, 2, 2));
  r.AddPath(Rect(3, 1, 3.5f, 2));
  r.AddPath(Rect(5, 1, 5.5f, 1.5f));
  r.Fill(b, 0xFFFF0000u);
  EXPECT_EQ(b.GetPixel(1, 1), 0xFFFF0000u);  // coverage 256: the colour itself
  EXPECT_EQ(Alpha(b, 3, 1), 255u * 128 / 256);
  EXPECT_EQ(Alpha(b, 5, 1), 255u * 64 / 256);
  EXPECT_EQ(Alpha(b, 0, 0), 0u);
  EXPECT_EQ(Alpha(b, 2, 1), 0u);
  // Colour alpha scales the coverage.
  TBitmap c = Canvas(4, 4);
  TOutlineRasterizer half;
  half.AddPath(Rect(0, 0, 2, 2));
  half.Fill(c, 0x80FFFFFFu);
  EXPECT_EQ(Alpha(c, 1, 1), 0x80u);
}

TEST(OutlineRasterizer, NonZeroWindingFillsOverlapsAndLeavesCounterHoles) {
  TBitmap b = Canvas(20, 10);
  TOutlineRasterizer r;
  // Two overlapping squares in the same direction: the overlap stays filled.
  r.AddPath(Rect(0, 0, 6, 6));
  r.AddPath(Rect(3, 3, 9, 9));
  // A square with a counter-wound hole (as the inside of an "o").
  TPath ring = Rect(11, 1, 19, 9);
  TPath hole = Rect(13, 3, 17, 7, false);
  ring.insert(ring.end(), hole.begin(), hole.end());
  r.AddPath(ring);
  r.Fill(b, 0xFF00FF00u);
  EXPECT_EQ(Alpha(b, 4, 4), 255u);
  EXPECT_EQ(Alpha(b, 7, 1), 0u);
  EXPECT_EQ(Alpha(b, 12, 5), 255u);
  EXPECT_EQ(Alpha(b, 15, 5), 0u);
}

TEST(OutlineRasterizer, CurvesAreFlattenedCloseToTheTrueShape) {
  // A disc of radius 20 from four cubic quarter arcs: area within 1 % of pi r^2.
  const float k = 0.5523f * 20, cx = 25, cy = 25, rr = 20;
  TPath disc = {{cx + rr, cy, kPathMoveTo},
                {cx + rr, cy + k, kPathCubicTo}, {cx + k, cy + rr, kPathCubicTo}, {cx, cy + rr, kPathCubicTo},
                {cx - k, cy + rr, kPathCubicTo}, {cx - rr, cy + k, kPathCubicTo}, {cx - rr, cy, kPathCubicTo},
                {cx - rr, cy - k, kPathCubicTo}, {cx - k, cy - rr, kPathCubicTo}, {cx, cy - rr, kPathCubicTo},
                {cx + k, cy - rr, kPathCubicTo}, {cx + rr, cy - k, kPathCubicTo}, {cx + rr, cy, kPathCubicTo}};
  TBitmap b = Canvas(50, 50);
  TOutlineRasterizer r;
  r.AddPath(disc);
  r.Fill(b, 0xFFFFFFFFu);
  double area = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 50; ++x) area += Alpha(b, x, y) / 255.0;
  EXPECT_NEAR(area, M_PI * rr * rr, M_PI * rr * rr * 0.01);
  // A quadratic segment: the triangle under the parabola y = x^2 from (0,0) to (10,10) with control (5,0)
  // encloses 2/3 of the 10 x 10 box's lower-right triangle area... here: area between chord and curve = 100/6.
  TPath lens = {{0, 0, kPathMoveTo}, {5, 10, kPathQuadTo}, {10, 0, kPathQuadTo}};
  TBitmap c = Canvas(12, 12);
  TOutlineRasterizer q;
  q.AddPath(lens, 1, 1, 1);
  q.Fill(c, 0xFFFFFFFFu);
  double lens_area = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) lens_area += Alpha(c, x, y) / 255.0;
  EXPECT_NEAR(lens_area, 2.0 / 3.0 * 10 * 5, 1.5);
}

TEST(OutlineRasterizer, PathCommandsEndAndUnknownKindsAreRejected) {
  TBitmap b = Canvas(10, 10);
  TOutlineRasterizer r;
  // Kind 9 ends a path; the next must start with a move, else filling stops there.
  TPath p = Rect(0, 0, 4, 4);
  p.push_back({0, 0, kPathEnd});
  TPath q = Rect(5, 5, 9, 9);
  p.insert(p.end(), q.begin(), q.end());
  p.push_back({0, 0, kPathEnd});
  p.push_back({0, 9, kPathLineTo});  // not a move: ignored from here on
  p.push_back({9, 0, kPathLineTo});
  r.AddPath(p);
  r.Fill(b, 0xFFFFFFFFu);
  EXPECT_EQ(Alpha(b, 2, 2), 255u);
  EXPECT_EQ(Alpha(b, 7, 7), 255u);
  EXPECT_EQ(Alpha(b, 7, 2), 0u);
  // Absurd coordinates (as a damaged stored outline may hold) fill safely.
  TOutlineRasterizer far;
  far.AddPath(TPath{{-1e30f, 2, kPathMoveTo}, {1e30f, 2, kPathLineTo}, {1e30f, 3e30f, kPathLineTo},
                    {NAN, 5, kPathLineTo}, {-1e30f, 8, kPathQuadTo}, {3, 1e20f, kPathQuadTo}});
  // A curve far larger than any picture is flattened into a bounded number of pieces.
  far.AddPath(TPath{{0, 0, kPathMoveTo}, {1e5f, 0, kPathCubicTo}, {-1e5f, 1e5f, kPathCubicTo}, {0, 1e5f, kPathCubicTo}});
  TBitmap any = Canvas(10, 10);
  far.Fill(any, 0xFFFFFFFFu);
  TOutlineRasterizer bad;
  TPath unknown = {{0, 0, kPathMoveTo}, {1, 1, 5}};
  EXPECT_THROW(bad.AddPath(unknown), EAssertionFailed);
  // Blending keeps what was there: half coverage over opaque blue.
  TBitmap blue;
  blue.Allocate(2, 1, TPixelFormat::Rgb24);
  blue.Fill(0xFF0000FFu);
  TOutlineRasterizer h;
  h.AddPath(Rect(0, 0, 0.5f, 1));
  h.Fill(blue, 0xFFFFFF00u);
  uint32_t px = blue.GetPixel(0, 0);
  EXPECT_NEAR(int((px >> 16) & 255), 128, 2);
  EXPECT_NEAR(int(px & 255), 127, 2);
}

TEST(OutlineRasterizer, BoundsLeaveCoverageInsideThePictureUnchanged) {
  // A disc of radius 40 centred left of and above a 30 x 30 picture, a square reaching below it
  // and a curve wholly right of it: with bounds the pieces outside are dropped or not
  // flattened, and every pixel stays as it was.
  const float k = 0.5523f * 40, cx = -5, cy = 2, rr = 40;
  TPath disc = {{cx + rr, cy, kPathMoveTo},
                {cx + rr, cy + k, kPathCubicTo}, {cx + k, cy + rr, kPathCubicTo}, {cx, cy + rr, kPathCubicTo},
                {cx - k, cy + rr, kPathCubicTo}, {cx - rr, cy + k, kPathCubicTo}, {cx - rr, cy, kPathCubicTo},
                {cx - rr, cy - k, kPathCubicTo}, {cx - k, cy - rr, kPathCubicTo}, {cx, cy - rr, kPathCubicTo},
                {cx + k, cy - rr, kPathCubicTo}, {cx + rr, cy - k, kPathCubicTo}, {cx + rr, cy, kPathCubicTo}};
  TPath right = {{40, 0, kPathMoveTo}, {90, 15, kPathQuadTo}, {40, 30, kPathQuadTo}};
  TBitmap plain = Canvas(30, 30), bounded = Canvas(30, 30);
  for (TBitmap* b : {&plain, &bounded}) {
    TOutlineRasterizer r;
    if (b == &bounded) r.SetBounds(30, 30);
    r.AddPath(disc);
    r.AddPath(Rect(20, 20, 26, 400));
    r.AddPath(right);
    r.Fill(*b, 0xFFFFFFFFu);
  }
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(bounded.GetPixel(x, y), plain.GetPixel(x, y)) << x << "," << y;
  EXPECT_EQ(Alpha(bounded, 2, 2), 255u);
  EXPECT_EQ(Alpha(bounded, 23, 28), 255u);
}

TEST(SystemFont, ArialResolvesToAMetricCompatibleFaceWithOutlines) {
  auto font = TSystemFont::Get("Arial", 0);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->FamilyName(), "Liberation Sans");
  EXPECT_EQ(font->Metrics().design_size, 2048);
  EXPECT_EQ(font->Metrics().ascent, 1854);  // Arial's tmAscent at 2048 units
  EXPECT_EQ(font->Metrics().descent, 434);
  TGlyphOutline o;
  ASSERT_TRUE(font->Outline(font->GlyphIndex(U'o'), o));
  // "o" has two contours: two moves, curves of kind 2, and y grows downwards (above the baseline < 0).
  int moves = 0;
  float min_y = 0;
  for (auto& p : o.points) {
    moves += p.kind == kPathMoveTo;
    min_y = std::min(min_y, p.y);
  }
  EXPECT_EQ(moves, 2);
  EXPECT_LT(min_y, -900);
  EXPECT_EQ(o.Advance(), 1139);  // Arial's advance of "o"
  TGlyphOutline space;
  ASSERT_TRUE(font->Outline(font->GlyphIndex(U' '), space));
  EXPECT_TRUE(space.points.empty());
  EXPECT_EQ(space.Advance(), 569);
  EXPECT_EQ(TSystemFont::Get("ARIAL", 0), font);  // opened once
  EXPECT_NE(TSystemFont::Get("Arial", kFontBold), font);
}

TEST(SystemFont, TextBlocksRenderInsideTheirBox) {
  auto text = BuildSystemVectorText(u"Arial", 0, {u"oo"});
  ASSERT_TRUE(text);
  const TTextLayout unit = LayoutText(*text, 20 / kSystemFontSize, 0, kAlignLeft);
  EXPECT_NEAR(unit.lines[0].bottom - unit.lines[0].top, 20.0 * (1854 + 434) / 2048, 0.05);
  EXPECT_NEAR(unit.lines[0].cellRight - unit.lines[0].cellLeft, 2 * 1139 * 20.0 / 2048, 0.05);
  TBitmap b = RenderTextBlock({u"Hi", u"Hello"}, u"Arial", 20, 0xFFFFFF00u, 0xFF0000FFu, 4);
  EXPECT_EQ(b.Height(), int(std::ceil(2 * 20.0 * (1854 + 434) / 2048)) + 8);
  // Ink only inside the margins; the "H" stem sits at the left margin.
  int ink_left = b.Width(), ink_right = -1;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x)
      if (b.GetPixel(x, y) != 0xFF0000FFu) { ink_left = std::min(ink_left, x); ink_right = std::max(ink_right, x); }
  EXPECT_GE(ink_left, 4);
  EXPECT_LE(ink_left, 7);
  EXPECT_LT(ink_right, b.Width() - 3);
}

}  // namespace
}  // namespace zem
