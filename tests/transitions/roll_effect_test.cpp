// The page roll against the recording controller: where the sheet lies at 0, 25, 50, 75 and
// 100 %, how it is shaded, its back, and the directions of the classes and types.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "foundation/assert.h"
#include "model/transition_catalogue.h"
#include "recording_controller.h"
#include "transitions/filter_factory.h"
#include "transitions/roll_effect.h"

namespace zem {
namespace {

using test::TRecordingController;

constexpr TRectI kRect{0, 0, 400, 300};

std::unique_ptr<TRollEffect2> Make(int32_t cls, int32_t type, TEffectParams p = {}) {
  if (p.rollDiameter == 0) p.rollDiameter = 0.1f;  // 40 pixels
  auto f = MakeTransitionFilter(MakeFilterRequest(kRect, cls, type, nullptr, p, 1000));
  return std::unique_ptr<TRollEffect2>(dynamic_cast<TRollEffect2*>(f.release()));
}

void DrawAt(TRollEffect2& f, TRecordingController& rec, double p) {
  rec.Reset();
  f.SetTime(float(p * 1000));
  f.Draw(&rec);
}

double DstArea(const test::TLoggedMap& m) {
  return test::TriArea({m.dst[0].x, m.dst[0].y, 0}, {m.dst[1].x, m.dst[1].y, 0}, {m.dst[2].x, m.dst[2].y, 0});
}

TEST(PageRoll, DirectionsOfTheClassesAndTypes) {
  EXPECT_EQ(TRoller3::DirectionOf(14, 1), 1);
  EXPECT_EQ(TRoller3::DirectionOf(14, 2), 4);
  EXPECT_EQ(TRoller3::DirectionOf(14, 5), 2);
  EXPECT_EQ(TRoller3::DirectionOf(14, 6), 3);
  EXPECT_EQ(TRoller3::DirectionOf(15, 3), 8);  // from the bottom-right corner to the top-left
  EXPECT_EQ(TRoller3::DirectionOf(15, 8), 7);
  EXPECT_EQ(TRoller3::DirectionOf(14, 9), 0);
  auto f = Make(15, 3);
  EXPECT_TRUE(f->Reverse() == false && f->ExtendsEdges());
  TRecordingController rec(kRect);
  DrawAt(*f, rec, 0.5);
  EXPECT_EQ(f->Roller()->Direction(), (TPointF{-0.70710677f, -0.70710677f}));
  // Types 9 and above have no direction: the frame ends with an error.
  auto bad = Make(14, 9);
  EXPECT_THROW(DrawAt(*bad, rec, 0.5), EAssertionFailed);
}

TEST(PageRoll, StartsWoundUpOutsideAndEndsFlatAndUnshaded) {
  for (int32_t cls : {14, 15})
    for (int32_t type = 1; type <= 4; ++type)
      for (uint8_t threeD : {0, 1}) {
        SCOPED_TRACE("class " + std::to_string(cls) + " type " + std::to_string(type) + " 3D " + std::to_string(threeD));
        TEffectParams p;
        p.roll3D = threeD;
        auto f = Make(cls, type, p);
        TRecordingController rec(kRect);
        DrawAt(*f, rec, 0);
        ASSERT_FALSE(rec.maps.empty());
        // Every wound point lies on or before the start edge: nothing of the sheet shows.
        for (const auto& m : rec.maps)
          for (const TPointF& d : m.dst) ASSERT_LE(f->Roller()->Along(d.x, d.y), 0.01f);
        DrawAt(*f, rec, 1);
        double area = 0;
        for (const auto& m : rec.maps) {
          area += DstArea(m);
          for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(m.dst[i], (TPointF{m.src[i].x, m.src[i].y}));
            ASSERT_EQ(m.depth[i], 0);
            ASSERT_NEAR(m.src[i].value, 255, 0.01);
          }
        }
        EXPECT_NEAR(area, 400.0 * 300.0, 1);
      }
}

TEST(PageRoll, UnrollsUpToTheRollLineAndShowsTheBackBeyondIt) {
  auto f = Make(14, 1);  // from the left edge to the right
  TRecordingController rec(kRect);
  const float r = f->RollSize();
  ASSERT_EQ(r, 40);
  float previous = -1e9f;
  for (double p : {0.25, 0.5, 0.75}) {
    DrawAt(*f, rec, p);
    const float pos = f->RollPosition();
    EXPECT_GT(pos, previous);
    previous = pos;
    int flat = 0, wound = 0;
    for (const auto& m : rec.maps)
      for (int i = 0; i < 3; ++i) {
        if (m.src[i].x <= pos) {
          // Unrolled: in place and unshaded.
          EXPECT_EQ(m.dst[i].x, m.src[i].x);
          EXPECT_NEAR(m.src[i].value, 255, 0.01);
          ++flat;
        } else {
          // On the roll: never beyond its front, darker towards its edge.
          EXPECT_LE(m.dst[i].x, pos + r + 0.01f);
          EXPECT_EQ(m.dst[i].y, m.src[i].y);
          EXPECT_LT(m.src[i].value, 255);
          ++wound;
        }
      }
    EXPECT_GT(flat, 0) << p;
    EXPECT_GT(wound, 0) << p;
  }
  // Half-way: the line a quarter turn onto the roll is edge-on (brightness 50), the switch to
  // the back of the sheet.
  DrawAt(*f, rec, 0.5);
  const float pos = f->RollPosition();
  EXPECT_NEAR(f->Roller()->Brightness(pos + r * float(std::numbers::pi / 2), pos), 50, 0.01);
  EXPECT_NEAR(f->Roller()->SwitchPoint(pos), pos + r * float(std::numbers::pi / 2), 0.01);
  // A roll size of 0 is a roll of 2 pixels.
  TEffectParams tiny;
  tiny.rollDiameter = 1e-9f;
  EXPECT_EQ(Make(14, 1, tiny)->RollSize(), 2);
}

TEST(PageRoll, BackColourReplacesThePictureOnTheBack) {
  TEffectParams p;
  p.rollUseBackColour = 1;
  p.rollBackR = 200, p.rollBackG = 100, p.rollBackB = 0;
  auto f = Make(14, 2, p);  // from the top down
  TRecordingController rec(kRect);
  DrawAt(*f, rec, 0.5);
  ASSERT_FALSE(rec.fills.empty());
  const float s = f->Roller()->SwitchPoint(f->RollPosition());
  // The picture only on the front; the back is the colour darkened by the shading.
  for (const auto& m : rec.maps)
    for (const TEffVertex& v : m.src) EXPECT_LE(f->Roller()->Along(v.x, v.y), s + 0.01f);
  for (const auto& fill : rec.fills)
    for (int i = 0; i < 3; ++i) {
      const uint32_t c = fill.colour[i];
      const uint32_t red = (c >> 16) & 255, green = (c >> 8) & 255;
      EXPECT_EQ(c >> 24, 255u);
      EXPECT_EQ(c & 255, 0u);
      EXPECT_LE(red, 200u);
      EXPECT_GE(red, 200u * 50 / 256);
      EXPECT_NEAR(double(green), red / 2.0, 1);  // one brightness for all channels
    }
}

TEST(PageRoll, ThreeDLiftsTheRollTowardsTheEyeAndReverseWindsUp) {
  TEffectParams p;
  p.roll3D = 1;
  auto f = Make(14, 3, p);  // from the right edge to the left
  TRecordingController rec(kRect);
  DrawAt(*f, rec, 0.5);
  bool lifted = false;
  for (const auto& m : rec.maps)
    for (float z : m.depth) {
      EXPECT_LE(z, 0);
      lifted = lifted || z < -1;
    }
  EXPECT_TRUE(lifted);
  // The eye stands above the middle: the back begins near a quarter turn, not at it.
  const double switchAngle = f->Roller()->SwitchAngle(f->RollPosition());
  EXPECT_NE(switchAngle, std::numbers::pi / 2);
  EXPECT_NEAR(switchAngle, std::numbers::pi / 2, 0.3);
  // Reversed (type 5 rolls like type 3, backwards): flat at the start, wound up at the end.
  auto back = Make(14, 5);
  EXPECT_TRUE(back->Reverse());
  DrawAt(*back, rec, 0);
  for (const auto& m : rec.maps) EXPECT_EQ(m.dst[0], (TPointF{m.src[0].x, m.src[0].y}));
  DrawAt(*back, rec, 1);
  for (const auto& m : rec.maps) EXPECT_LE(back->Roller()->Along(m.dst[0].x, m.dst[0].y), 0.01f);
}

}  // namespace
}  // namespace zem
