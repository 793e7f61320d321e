// The clock and broom wipes against the recording controller: how much of the picture each
// reveals at 0, 25, 50, 75 and 100 %, where, and how soft the edges are.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "foundation/assert.h"
#include "model/transition_catalogue.h"
#include "recording_controller.h"
#include "transitions/broom_effect.h"
#include "transitions/clock_effect.h"
#include "transitions/filter_factory.h"

namespace zem {
namespace {

using test::TLoggedTri;
using test::TRecordingController;

constexpr double kPi = std::numbers::pi;
constexpr TRectI kRect{0, 0, 200, 100};
constexpr double kArea = 200.0 * 100.0;

std::unique_ptr<TDrawFilter> Make(int32_t cls, int32_t type, float smoothLine = 0, float broomOffset = 0) {
  TEffectParams p;
  p.smoothLine = smoothLine;
  p.broomOffset = broomOffset;
  return MakeTransitionFilter(MakeFilterRequest(kRect, cls, type, nullptr, p, 1000));
}

// The pieces drawn at fraction p.
std::vector<TLoggedTri> At(TDrawFilter& f, double p) {
  TRecordingController rec(kRect);
  f.SetTime(float(p * 1000));
  f.Draw(&rec);
  return rec.tris;
}

// The revealed area: every piece weighted by its mean opacity (linear across the piece).
double Revealed(const std::vector<TLoggedTri>& tris) {
  double s = 0;
  for (const auto& t : tris)
    s += test::TriArea(t.v[0], t.v[1], t.v[2]) * (t.v[0].value + t.v[1].value + t.v[2].value) / (3 * 255);
  return s;
}

// The opacity at a point: interpolated in the piece that holds it, 0 where none does.
float OpacityAt(const std::vector<TLoggedTri>& tris, float x, float y) {
  for (const auto& t : tris) {
    const TEffVertex &a = t.v[0], &b = t.v[1], &c = t.v[2];
    const double d = double(b.y - c.y) * (a.x - c.x) + double(c.x - b.x) * (a.y - c.y);
    if (std::abs(d) < 1e-9) continue;
    const double l1 = ((b.y - c.y) * (x - c.x) + (c.x - b.x) * (y - c.y)) / d;
    const double l2 = ((c.y - a.y) * (x - c.x) + (a.x - c.x) * (y - c.y)) / d;
    const double l3 = 1 - l1 - l2;
    if (l1 >= -1e-6 && l2 >= -1e-6 && l3 >= -1e-6) return float(l1 * a.value + l2 * b.value + l3 * c.value);
  }
  return 0;
}

TEST(ClockWipe, RevealsTheSectorTheHandSwept) {
  auto f = Make(3, 1);
  auto* clock = dynamic_cast<TClockEffect*>(f.get());
  ASSERT_NE(clock, nullptr);
  EXPECT_FALSE(clock->Mirror());
  EXPECT_FALSE(clock->Reverse());  // it always reveals the newer slide
  EXPECT_TRUE(At(*f, 0).empty());
  const double share[] = {0, 0.25, 0.5, 0.75, 1};
  for (int q = 1; q <= 4; ++q) {
    const auto tris = At(*f, q * 0.25);
    EXPECT_NEAR(clock->HandAngle(), q * kPi / 2, 1e-5);
    EXPECT_NEAR(Revealed(tris), share[q] * kArea, 0.005 * kArea) << q * 25 << " %";
  }
  EXPECT_EQ(At(*f, 1).size(), 2u);  // the whole picture
  // A quarter: the top-right quarter of the picture, nothing else.
  const auto quarter = At(*f, 0.25);
  EXPECT_EQ(OpacityAt(quarter, 150, 25), 255);
  EXPECT_EQ(OpacityAt(quarter, 50, 25), 0);
  EXPECT_EQ(OpacityAt(quarter, 150, 75), 0);
}

TEST(ClockWipe, TypeTwoTurnsCounterClockwise) {
  auto f = Make(3, 2);
  ASSERT_TRUE(dynamic_cast<TClockEffect*>(f.get())->Mirror());
  const auto quarter = At(*f, 0.25);
  EXPECT_EQ(OpacityAt(quarter, 50, 25), 255);
  EXPECT_EQ(OpacityAt(quarter, 150, 25), 0);
  EXPECT_NEAR(Revealed(quarter), kArea / 4, 0.005 * kArea);
}

TEST(ClockWipe, HalfWayHasItsEdgeOnTheCentreLineSoftOrHard) {
  // Smooth line 0.1 of the width: a band of 20 pixels centred on x = 100.
  const auto soft = At(*Make(3, 1, 0.1f), 0.5);
  EXPECT_EQ(OpacityAt(soft, 111, 70), 255);
  EXPECT_EQ(OpacityAt(soft, 89, 70), 0);
  EXPECT_NEAR(OpacityAt(soft, 100, 70), 127.5, 8);
  EXPECT_NEAR(OpacityAt(soft, 100, 20), 127.5, 8);
  EXPECT_GT(OpacityAt(soft, 105, 70), OpacityAt(soft, 100, 70));
  // Smooth line 0: a band of 0.001 pixels.
  const auto hard = At(*Make(3, 1), 0.5);
  EXPECT_EQ(OpacityAt(hard, 100.2f, 70), 255);
  EXPECT_EQ(OpacityAt(hard, 99.8f, 70), 0);
}

TEST(BroomWipe, EveryDirectionSweepsFromNothingToTheWholePicture) {
  for (int32_t type = 1; type <= 16; ++type) {
    SCOPED_TRACE("type " + std::to_string(type));
    auto f = Make(11, type, 0.05f, type % 3 == 0 ? 0.2f : 0.0f);
    auto* broom = dynamic_cast<TBroomEffect*>(f.get());
    ASSERT_NE(broom, nullptr);
    EXPECT_EQ(broom->Direction(), type > 8 ? type - 8 : type);
    EXPECT_EQ(broom->Reverse(), type > 8);
    double previous = -1;
    for (int q = 0; q <= 4; ++q) {
      const double a = Revealed(At(*f, q * 0.25));
      // Reversed: the picture starts revealed and is swept back.
      const double expected = type > 8 ? 4 - q : q;
      if (expected == 0) {
        EXPECT_LT(a, 0.002 * kArea) << q * 25 << " %";
      }
      if (expected == 4) {
        EXPECT_GT(a, 0.998 * kArea) << q * 25 << " %";
      }
      if (q > 0) {
        EXPECT_EQ(a < previous, type > 8) << q * 25 << " %";
        EXPECT_NE(a, previous);
      }
      previous = a;
    }
  }
}

TEST(BroomWipe, PivotsAndSweepsOfTheDirections) {
  // Offset 0: the upward broom pivots on the middle of the top edge and turns from the right
  // half-line down to the left one.
  auto up = TBroom::Make(1, kRect, 0, 0);
  EXPECT_EQ(up->Pivot(), (TPointF{100, 0}));
  EXPECT_NEAR(up->StartAngle(), kPi / 2, 1e-9);
  EXPECT_NEAR(up->EndAngle(), 3 * kPi / 2, 1e-9);
  // The downward broom runs through straight up.
  auto down = TBroom::Make(3, kRect, 10, 20);
  EXPECT_TRUE(down->Wraps());
  EXPECT_EQ(down->Pivot(), (TPointF{100, 120}));
  EXPECT_GT(down->EndAngle(), 2 * kPi);
  EXPECT_NEAR(down->BandAngle(), 2 * std::atan(10.0 / (2 * 70)), 1e-9);
  // A corner broom far outside still reaches past the far corner.
  auto corner = TBroom::Make(8, kRect, 0, 2000);
  EXPECT_EQ(corner->Pivot(), (TPointF{-2000, -2000}));
  EXPECT_GT(corner->Reach(), std::hypot(2200.0, 2100.0));
  EXPECT_THROW(TBroom::Make(9, kRect, 0, 0), EAssertionFailed);
  // Half-way the side brooms (offset 0, hard edge) reveal one half: up the right, right the
  // bottom, down the left, left the top. The line is as sharp as one step of the fan (2π / 1000).
  const TPointF revealedPoint[4] = {{150, 50}, {100, 75}, {50, 50}, {100, 25}};
  for (int32_t dir = 1; dir <= 4; ++dir) {
    const auto half = At(*Make(11, dir), 0.5);
    EXPECT_NEAR(Revealed(half), kArea / 2, 0.004 * kArea) << "direction " << dir;
    const TPointF in = revealedPoint[dir - 1];
    EXPECT_EQ(OpacityAt(half, in.x, in.y), 255) << "direction " << dir;
    EXPECT_EQ(OpacityAt(half, 200 - in.x, 100 - in.y), 0) << "direction " << dir;
  }
}

}  // namespace
}  // namespace zem
