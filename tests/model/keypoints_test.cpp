#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "foundation/assert.h"
#include "model/keypoints.h"
#include "model/speed_profile.h"

namespace zem {
namespace {

// A list with fixed anchors (SlideBegin 0, PrevEffectEnd 1000, NextEffectBegin 9000, SlideEnd 10000).
class TFixedList : public TKeyPointList {
 public:
  double anchors[4] = {0, 1000, 9000, 10000};
  double GetAnchor(uint8_t origin) const override {
    ZEM_ASSERT(origin <= 3);
    return anchors[origin];
  }
  TKeyPoint* Add(double t, float posX, float opacity = 100) {
    TKeyPoint* k = AddKeypoint(kSlideBegin, t);
    k->SetPosX(posX);
    k->SetOpacity(opacity);
    return k;
  }
};

TEST(SpeedProfile, TextFormat) {
  TSpeedStorage s;
  s.keys = {0, 2000, 4000};
  s.intervals.push_back({0, 2, 0.3L, 0.7L});
  EXPECT_EQ(s.ToText(), "3;0;2000;4000;1;0;2;0.3;0.7;0;1;");

  TSpeedStorage r;
  ASSERT_TRUE(r.FromText(s.ToText()));
  EXPECT_EQ(r.keys, s.keys);
  ASSERT_EQ(r.intervals.size(), 1u);
  EXPECT_EQ(r.ToText(), s.ToText());
  EXPECT_EQ(TSpeedStorage::FormatFraction(0.5L), "0.5");
  EXPECT_EQ(TSpeedStorage::FormatFraction(1.0L), "1");

  // Defaults are optional; an interval from a key to itself is dropped with more than one key.
  ASSERT_TRUE(r.FromText("2;0;1000;2;1;1;0.2;0.8;0;1;0.5;0.5;"));
  ASSERT_EQ(r.intervals.size(), 1u);
  EXPECT_EQ(r.intervals[0].from, 0);
  EXPECT_EQ(double(r.intervals[0].second), 0.5);
  EXPECT_EQ(double(r.defaultFirst), 0.0);
  ASSERT_TRUE(r.FromText("2;0;1000;0;0.1;0.9;"));
  EXPECT_NEAR(double(r.defaultFirst), 0.1, 1e-15);
  EXPECT_NEAR(double(r.defaultSecond), 0.9, 1e-15);
  ASSERT_TRUE(r.FromText("1;5;1;0;0;0.1;0.9;"));
  EXPECT_EQ(r.intervals.size(), 1u);
}

TEST(SpeedProfile, MalformedTextLeavesOneZeroKey) {
  const char* bad[] = {"",          "2;0;1000",        "2;0;x;0;",        "10001;",         "-1;",
                       "1;0;1;0;1", "1;0;1;0;1;0.5;z;", "1;0;20000;",      "1;0;1;0;1;nan;1;",
                       "1;0;0;0.5;0.5"};
  for (const char* text : bad) {
    TSpeedStorage s;
    s.keys = {7, 8};
    EXPECT_FALSE(s.FromText(text)) << text;
    EXPECT_EQ(s.keys, std::vector<int32_t>{0}) << text;
    EXPECT_TRUE(s.intervals.empty()) << text;
  }
}

TEST(Smoother, TrapezoidProfile) {
  TSmoother s;
  // Ta = Td = 500, Tc = 0 over 0..100: m = 0.1.
  s.SetupSmoother(500, 0, 500, 0, 100);
  EXPECT_DOUBLE_EQ(s.Smooth(-5), 0);
  EXPECT_DOUBLE_EQ(s.Smooth(250), 12.5);
  EXPECT_DOUBLE_EQ(s.Smooth(500), 50);
  EXPECT_DOUBLE_EQ(s.Smooth(750), 87.5);
  EXPECT_DOUBLE_EQ(s.Smooth(1000), 100);
  EXPECT_DOUBLE_EQ(s.Smooth(5000), 100);
  // With a constant phase the speed is continuous: the value grows linearly in the middle.
  s.SetupSmoother(200, 600, 200, 0, 800);
  const double a = s.Smooth(400), b = s.Smooth(500), c = s.Smooth(600);
  EXPECT_NEAR(b - a, c - b, 1e-9);
  EXPECT_NEAR(s.Smooth(200) - s.Smooth(199), s.Smooth(201) - s.Smooth(200), 5e-3);
  // A zero-length motion stays at the start until its end.
  s.SetupSmoother(0, 0, 0, 3, 9);
  EXPECT_DOUBLE_EQ(s.Smooth(0), 3);
  EXPECT_DOUBLE_EQ(s.Smooth(1), 9);
}

TEST(KeyPointList, BasicEvaluation) {
  TFixedList l;
  // No keypoints: the start values stay.
  l.SetTime(500);
  EXPECT_EQ(l.current.opacity, 100);
  EXPECT_EQ(l.current.scaleX, 100);
  EXPECT_EQ(l.current.posX, 0);
  EXPECT_TRUE(l.InWindow());
  l.SetTime(10001);
  EXPECT_FALSE(l.InWindow());

  l.Add(0, 0, 0);
  l.SetTime(-5000);
  EXPECT_EQ(l.current.opacity, 0);
  l.SetTime(5000);
  EXPECT_EQ(l.current.opacity, 0);  // one keypoint holds everywhere

  l.Add(1000, 0, 100);
  for (auto [t, want] : {std::pair{500.0, 50.0f}, {-100.0, 0.0f}, {5000.0, 100.0f}, {250.0, 25.0f}}) {
    l.SetTime(t);
    EXPECT_FLOAT_EQ(l.current.opacity, want) << t;
  }
}

TEST(KeyPointList, EqualTimesUseFirstBeforeAndLastFromThenOn) {
  TFixedList l;
  l.Add(0, 0);
  l.Add(1000, 10);
  l.Add(1000, 20);
  l.Add(2000, 30);
  l.SetTime(999.99);
  EXPECT_NEAR(l.current.posX, 10, 0.01);
  l.SetTime(1000);
  EXPECT_EQ(l.current.posX, 20);
  l.SetTime(1500);
  EXPECT_FLOAT_EQ(l.current.posX, 25);

  TFixedList m;
  m.Add(500, 1);
  m.Add(500, 2);
  m.SetTime(0);
  EXPECT_EQ(m.current.posX, 1);
  m.SetTime(500);
  EXPECT_EQ(m.current.posX, 2);
}

TEST(KeyPointList, OriginsResolveAgainstAnchorsAndResort) {
  TFixedList l;
  TKeyPoint* a = l.AddKeypoint(kSlideEnd, -500);      // 9500
  TKeyPoint* b = l.AddKeypoint(kPrevEffectEnd, 0);    // 1000
  TKeyPoint* c = l.AddKeypoint(kNextEffectBegin, 0);  // 9000
  EXPECT_EQ(l.At(0), b);
  EXPECT_EQ(l.At(1), c);
  EXPECT_EQ(l.At(2), a);
  EXPECT_EQ(a->Time(), 9500);
  b->SetOffset(9999);
  EXPECT_EQ(l.At(2), b);
  // A moved anchor moves its keypoints once the times are refreshed.
  l.anchors[kNextEffectBegin] = 100;
  l.RefreshTimes();
  EXPECT_EQ(l.At(0), c);
  EXPECT_EQ(c->Time(), 100);
}

TEST(KeyPointList, NonFiniteTimesDoNotBreakOrdering) {
  TFixedList l;
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  l.Add(nan, 1);
  l.Add(inf, 2);
  l.Add(-inf, 3);
  l.Add(1e300, 4);
  l.Add(500, 5);
  for (int32_t i = 0; i + 1 < l.Count(); ++i) EXPECT_LE(l.At(i)->Time(), l.At(i + 1)->Time());
  for (int32_t i = 0; i < l.Count(); ++i) EXPECT_TRUE(std::isfinite(l.At(i)->Time()));
  l.SetTime(nan);
  l.SetTime(inf);
  l.SetTime(-inf);
  l.SetTime(250);
  EXPECT_TRUE(std::isfinite(l.current.posX));
  // Profiles built from saturated times still work.
  l.PanProfile();
  l.SyncProfileKeys();
  EXPECT_EQ(l.PanProfile().keys.size(), 5u);
}

TEST(KeyPointList, EasedPanProfile) {
  TFixedList l;
  l.Add(0, 0);
  l.Add(1000, 100);
  ASSERT_TRUE(l.PanProfile().FromText("2;0;1000;1;0;1;0.5;0.5;"));
  l.SyncProfileKeys();
  for (auto [t, want] : {std::pair{250.0, 12.5f}, {500.0, 50.0f}, {750.0, 87.5f}, {1000.0, 100.0f}}) {
    l.SetTime(t);
    EXPECT_NEAR(l.current.posX, want, 1e-4) << t;
  }
  // Opacity is not in the pan group: it stays linear.
  l.At(1)->SetOpacity(0);
  l.SetTime(250);
  EXPECT_FLOAT_EQ(l.current.opacity, 75);
  // Fractions 0 and 1: linear although the interval exists.
  ASSERT_TRUE(l.PanProfile().FromText("2;0;1000;1;0;1;0;1;"));
  l.SetTime(250);
  EXPECT_FLOAT_EQ(l.current.posX, 25);
}

TEST(KeyPointList, EasedIntervalAcrossSeveralKeypoints) {
  TFixedList l;
  l.Add(0, 0);
  l.Add(1000, 500);  // ignored by the eased pan: the motion goes straight from 0 to 100
  l.Add(2000, 100);
  l.Add(3000, 0);
  TKeyPoint* k1 = l.At(1);
  k1->SetOpacity(0);
  ASSERT_TRUE(l.PanProfile().FromText("4;0;1000;2000;3000;1;0;2;0.5;0.5;"));
  l.SyncProfileKeys();
  l.SetTime(500);
  EXPECT_NEAR(l.current.posX, 12.5, 1e-4);
  l.SetTime(1000);
  EXPECT_NEAR(l.current.posX, 50, 1e-4);
  EXPECT_EQ(l.current.opacity, 0);  // linear values still meet every keypoint
  l.SetTime(1500);
  EXPECT_NEAR(l.current.posX, 87.5, 1e-4);
  // After the interval the plain pairwise interpolation resumes.
  l.SetTime(2500);
  EXPECT_FLOAT_EQ(l.current.posX, 50);
  // Rotation and zoom groups ease with their own profiles only.
  l.At(0)->SetAngle(0);
  l.At(2)->SetAngle(float(std::numbers::pi));
  l.At(1)->SetAngle(0);
  ASSERT_TRUE(l.RotateProfile().FromText("4;0;0;0;0;1;0;2;0.25;0.75;"));
  l.SyncProfileKeys();
  EXPECT_EQ(l.RotateProfile().keys, (std::vector<int32_t>{0, 1000, 2000, 3000}));
  l.SetTime(1000);
  EXPECT_NEAR(l.current.angle, std::numbers::pi / 2, 1e-5);  // symmetric easing: half way at the middle
  l.SetTime(250);
  // Ta = Td = 500, Tc = 1000: m = pi / (2000 + 1000); half way through the acceleration the
  // value is m * Ta * (1/2)^2.
  EXPECT_NEAR(l.current.angle, (std::numbers::pi / 3000) * 500 * 0.25, 1e-5);
}

TEST(KeyPointList, DamagedProfilesAreRejectedOrIgnored) {
  TFixedList l;
  l.Add(0, 0);
  l.Add(1000, 100);
  EXPECT_FALSE(l.ZoomProfile().FromText("garbage"));
  EXPECT_THROW(l.SyncProfileKeys(), EAssertionFailed);  // one key for two keypoints
  // An interval naming missing keypoints is passed over.
  ASSERT_TRUE(l.ZoomProfile().FromText("2;0;1000;1;0;7;0.5;0.5;"));
  l.SyncProfileKeys();
  l.At(1)->SetScaleX(200);
  l.SetTime(500);
  EXPECT_FLOAT_EQ(l.current.scaleX, 150);

  TFixedList empty;
  EXPECT_THROW(empty.PanProfile(), EAssertionFailed);
}

TEST(KeyPointList, PerspectiveCorrection) {
  TFixedList l;
  l.Add(0, 0)->SetScaleX(100);
  l.Add(1000, 90)->SetScaleX(200);
  l.SetTime(500);
  EXPECT_FLOAT_EQ(l.current.scaleX, 150);
  l.perspectiveCorrection = 1;
  l.SetTime(500);
  EXPECT_NEAR(l.current.scaleX, 133.3333, 1e-3);  // f' = 1/3
  EXPECT_NEAR(l.current.posX, 30, 1e-3);          // the pan group uses the same fraction
  // Time form with an eased zoom interval: the corrected time is eased.
  ASSERT_TRUE(l.ZoomProfile().FromText("2;0;1000;1;0;1;0.5;0.5;"));
  l.SyncProfileKeys();
  l.SetTime(500);
  // corrected time 333.3: inside the accelerating half, 100 + m*500*(333.3/500)^2 with m = 0.1
  EXPECT_NEAR(l.current.scaleX, 100 + 0.1 * 500 * (1.0 / 3 / 0.5) * (1.0 / 3 / 0.5), 1e-2);
}

TEST(KeyPointList, ColorisationFades) {
  TFixedList l;
  l.Add(0, 0)->SetColorisation(false, 255, 0, 0, 1);
  l.Add(1000, 0);  // colorisation off
  l.SetTime(500);
  EXPECT_EQ(l.current.colorOff, 0);
  EXPECT_FLOAT_EQ(l.current.colorAmount, 0.5f);
  EXPECT_EQ(l.current.colorR, 255);
  EXPECT_EQ(l.current.colorG, 0);
  l.SetTime(2000);
  EXPECT_EQ(l.current.colorOff, 1);
  EXPECT_EQ(l.current.colorAmount, 0);
  // Between two coloured keypoints the colour itself is interpolated.
  l.At(1)->SetColorisation(false, 0, 0, 255, 0.5f);
  l.SetTime(500);
  EXPECT_EQ(l.current.colorR, 128);
  EXPECT_EQ(l.current.colorB, 128);
  EXPECT_FLOAT_EQ(l.current.colorAmount, 0.75f);
}

TEST(KeyPointList, AnglesAreNotWrapped) {
  TFixedList l;
  l.Add(0, 0)->SetAngle(0);
  l.Add(1000, 0)->SetAngle(float(720 * std::numbers::pi / 180));
  l.SetTime(500);
  EXPECT_NEAR(l.current.angle, 2 * std::numbers::pi, 1e-5);
  l.At(0)->SetAngle(float(350 * std::numbers::pi / 180));
  l.At(1)->SetAngle(float(10 * std::numbers::pi / 180));
  l.SetTime(500);
  EXPECT_NEAR(l.current.angle, std::numbers::pi, 1e-5);  // back through 180
}

TEST(KeyPoint, ChangeFlagsAndClamping) {
  TFixedList l;
  TKeyPoint* k = l.Add(0, 0);
  l.ClearChanged(false);
  k->SetPosX(0.00001f);  // equal at four decimals
  EXPECT_FALSE(l.AnyKeypointChanged());
  k->SetPosX(0.001f);
  EXPECT_TRUE(l.AnyKeypointChanged());
  l.ClearChanged(false);
  k->SetScaleX(-5);
  EXPECT_FLOAT_EQ(k->Values().scaleX, 0.001f);
  k->SetScaleY(0);
  EXPECT_FLOAT_EQ(k->Values().scaleY, 0.001f);
  EXPECT_TRUE(l.AnyKeypointChanged());
  l.ClearChanged(false);
  k->SetColorisation(true, 255, 255, 255, 0);
  EXPECT_FALSE(l.AnyKeypointChanged());
  k->SetOpacity(std::numeric_limits<float>::quiet_NaN());
  EXPECT_TRUE(l.AnyKeypointChanged());
  // Copying the current values in goes through the setters.
  l.ClearChanged(false);
  l.current.scaleY = 0;
  l.CopyCurrentTo(k);
  EXPECT_FLOAT_EQ(k->Values().scaleY, 0.001f);
  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  EXPECT_FALSE(l.HasPanProfile());
}

}  // namespace
}  // namespace zem
