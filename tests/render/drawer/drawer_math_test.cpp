#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "foundation/assert.h"
#include "render/drawer/drawer_math.h"

namespace zem {
namespace {

TEST(BoxColours, CornersFollowTheStyleTable) {
  const uint32_t a = 0xFFFF0000u, b = 0xFF0000FEu, m = AverageColour(a, b);
  EXPECT_EQ(m, 0xFF7F007Fu);  // channel-wise, rounded down
  using C = std::array<uint32_t, 4>;
  const C want[9] = {{a, m, m, b}, {m, a, b, m}, {b, m, m, a}, {m, b, a, m}, {b, b, a, a},
                     {a, a, b, b}, {a, b, a, b}, {b, a, b, a}, {a, a, a, a}};
  for (int s = 0; s < 9; ++s) EXPECT_EQ(BoxCornerColours(uint8_t(s), a, b, 100), want[s]) << "style " << s;
}

TEST(BoxColours, OpacityScalesAlphaRounded) {
  auto c = BoxCornerColours(5, 0xFFFF0000u, 0x80FFFFFFu, 50);
  EXPECT_EQ(c[0], 0x80FF0000u);  // 255 × 0.5 = 127.5 -> 128
  EXPECT_EQ(c[2], 0x40FFFFFFu);  // 128 × 0.5
  EXPECT_EQ(BoxCornerColours(8, 0x12345678u, 0, 150)[0], 0x12345678u);  // above 100 unchanged
  EXPECT_EQ(ScaleAlpha(0xFF000000u, 0), 0x00000000u);
}

TEST(BoxColours, StyleOutsideTheTableIsAProgrammingError) {
  EXPECT_THROW(BoxCornerColours(9, 0, 0, 100), EAssertionFailed);
  EXPECT_THROW(BoxCornerColours(255, 0, 0, 100), EAssertionFailed);
}

TEST(BlurPlan, SmallRadiiUseTheMix) {
  // Radius 1 target pixel: t = 0.5, one mix draw with weight 0.49999...
  TBlurPlan p = PlanBlur(0.5f);
  EXPECT_FALSE(p.separable);
  EXPECT_NEAR(p.mixWeight, (0.5 - 0.00001) / 0.99999, 1e-6);
  EXPECT_LT(p.mixWeight, 0.5f);
}

TEST(BlurPlan, PassesGrowWithTheLogarithmOfTheRadius) {
  // Radius 14: t = 7, no dilated passes, final weight 1.
  TBlurPlan p = PlanBlur(7);
  EXPECT_TRUE(p.separable);
  EXPECT_EQ(p.passes, 0);
  EXPECT_FLOAT_EQ(p.lastWeight, 1);
  p = PlanBlur(1);
  EXPECT_TRUE(p.separable);
  EXPECT_FLOAT_EQ(p.lastWeight, 0);
  p = PlanBlur(4);
  EXPECT_FLOAT_EQ(p.lastWeight, 0.5f);
  // t = 14: n = 1 exactly: one full pass, final weight 1.
  p = PlanBlur(14);
  EXPECT_EQ(p.passes, 1);
  EXPECT_FLOAT_EQ(p.lastWeight, 1);
  // n = log2(20 / 7) = 1.51: rounds to 2, f < 0: weight f + 1.
  p = PlanBlur(20);
  EXPECT_EQ(p.passes, 2);
  EXPECT_NEAR(p.lastWeight, std::log2(20.0 / 7.0) - 2 + 1, 1e-5);
  // n = log2(9 / 7) = 0.36: rounds to 0, f > 0: one more pass with weight f.
  p = PlanBlur(9);
  EXPECT_EQ(p.passes, 1);
  EXPECT_NEAR(p.lastWeight, std::log2(9.0 / 7.0), 1e-5);
  // Zero (and tiny) radii are separable with no blur at all.
  p = PlanBlur(0);
  EXPECT_TRUE(p.separable);
  EXPECT_EQ(p.lastWeight, 0);
}

TEST(BlurPlan, TapWeightsAreNormalisedAndBlendToIdentity) {
  auto w = GaussWeights(1);
  EXPECT_NEAR(2 * (w[0] + w[1] + w[2]) + w[3], 1.0, 1e-5);
  auto none = GaussWeights(0);
  EXPECT_EQ(none[0], 0);
  EXPECT_FLOAT_EQ(none[3], 1);
  auto half = GaussWeights(0.5f);
  EXPECT_NEAR(2 * (half[0] + half[1] + half[2]) + half[3], 1.0, 1e-5);
}

TEST(LogNumbers, FixedPointWithoutTrailingZeros) {
  EXPECT_EQ(FormatAmount(40), "40");
  EXPECT_EQ(FormatAmount(2.5), "2.5");
  EXPECT_EQ(FormatAmount(0.1234567), "0.123457");
  EXPECT_EQ(FormatAmount(0), "0");
  EXPECT_EQ(FormatAmount(-1.25), "-1.25");
}

TEST(Letterbox, BandsAroundTheInnerRectangle) {
  auto bands = BorderBands({0, 0, 100, 80}, {9, 19, 91, 61});
  ASSERT_EQ(bands.size(), 4u);
  EXPECT_EQ(bands[0].bottom, 19);
  EXPECT_EQ(bands[0].Width(), 100);  // top band full width
  EXPECT_EQ(bands[1].right, 9);      // left band beside the inner area
  EXPECT_EQ(bands[1].top, 19);
  EXPECT_EQ(bands[2].left, 91);
  EXPECT_EQ(bands[3].top, 61);
  int64_t area = 0;
  for (auto& b : bands) area += int64_t(b.Width()) * b.Height();
  EXPECT_EQ(area, 100 * 80 - 82 * 42);
  // Inner area covering the whole target (widened past it): nothing to paint.
  EXPECT_TRUE(BorderBands({0, 0, 100, 80}, {-1, -1, 101, 81}).empty());
  // Only a letterbox above and below: empty side bands are skipped.
  EXPECT_EQ(BorderBands({0, 0, 100, 80}, {-1, 10, 101, 70}).size(), 2u);
}

TEST(DrawnBounds, GrowAndClampToTheTarget) {
  TBRect target{0, 0, 100, 50}, bounds;
  float xs[4] = {10.5f, 20, 10, 20}, ys[4] = {5, 5, 15.2f, 15};
  bool ok[4] = {true, true, true, true};
  GrowBounds(bounds, target, xs, ys, ok, 4);
  EXPECT_EQ(bounds.left, 10);
  EXPECT_EQ(bounds.bottom, 16);
  float xs2[4] = {-30, 150, 90, 90}, ys2[4] = {40, 40, 60, 45};
  GrowBounds(bounds, target, xs2, ys2, ok, 4);
  EXPECT_EQ(bounds.left, 0);
  EXPECT_EQ(bounds.right, 100);
  EXPECT_EQ(bounds.bottom, 50);
  // A point behind the camera counts as the target's edges.
  TBRect b2;
  bool behind[4] = {true, false, true, true};
  GrowBounds(b2, target, xs, ys, behind, 4);
  EXPECT_EQ(b2.left, 0);
  EXPECT_EQ(b2.right, 100);
  EXPECT_EQ(b2.top, 0);
}

}  // namespace
}  // namespace zem
