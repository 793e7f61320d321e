// The compact storage of objects and keypoints: values kept in a block made on first use, and
// keypoint pointers held inline until a list outgrows them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "model_test_util.h"

namespace zem {
namespace {

using test::Box;
using test::ShowText;
using test::TTestShow;

TEST(ObjectStorage, RarelySetValuesSurviveTheBlockBeingMadeAtAnyStep) {
  TTestShow s(ShowText(Box("A", "") + Box("B", "GUID=g-b\nDeltaTime1=100\nDeltaTime2=200\nAction=exit\n")));
  ASSERT_TRUE(s.slide) << s.error;
  TZemObject* a = s.Node(u"A");
  TZemObject* b = s.Node(u"B");
  ASSERT_TRUE(a && b);
  EXPECT_TRUE(a->Action().IsNone());
  EXPECT_TRUE(a->ActionText().empty());
  EXPECT_EQ(a->DeltaTime1(), 0);
  EXPECT_EQ(a->TimeScale(), 0);
  EXPECT_EQ(b->Guid(), u"g-b");
  EXPECT_EQ(b->DeltaTime2(), 200);
  EXPECT_EQ(b->ActionText(), u"exit");

  // Values set before and after the block is made stay, whichever comes first.
  a->SetTimeScale(0);  // the default: still nothing to keep
  a->changedProps_ = false;
  a->SetDeltaTimes(0, 0);
  EXPECT_FALSE(a->changedProps_);
  const WideString guid = a->Guid();
  EXPECT_EQ(guid.size(), 38u);
  a->SetDeltaTimes(5, 6);
  EXPECT_TRUE(a->changedProps_);
  a->SetAction(u"GotoSlide(3)");
  a->SetTimeScale(1.5f);
  EXPECT_EQ(a->Guid(), guid);
  EXPECT_EQ(a->DeltaTime1(), 5);
  EXPECT_EQ(a->DeltaTime2(), 6);
  EXPECT_EQ(a->Action().number, 3);
  EXPECT_EQ(a->TimeScale(), 1.5f);
  a->changedProps_ = false;
  a->SetDeltaTimes(5, 6);
  EXPECT_FALSE(a->changedProps_);
  a->SetAction(u"");
  EXPECT_TRUE(a->Action().IsNone());
  EXPECT_EQ(a->DeltaTime2(), 6);

  // Another node's defaults are untouched by all of that.
  TZemObject* c = TZemObject::Create<TZemBox>(s.slide.get(), WideString());
  EXPECT_TRUE(c->Action().IsNone());
  EXPECT_EQ(c->DeltaTime1(), 0);
  EXPECT_EQ(c->TimeScale(), 0);
  EXPECT_NE(c->Guid(), guid);
}

class TFixedAnchors : public TKeyPointList {
 public:
  double GetAnchor(uint8_t origin) const override {
    static constexpr double kAnchors[4] = {0, 1000, 9000, 10000};
    return kAnchors[origin & 3];
  }
};

TEST(KeyPointStorage, PointersOrderAndValuesHoldBeyondTheInlineSlots) {
  TFixedAnchors l;
  std::vector<TKeyPoint*> made;
  for (double t : {500.0, 100.0, 900.0, 300.0, 300.0, 700.0, 200.0}) {
    TKeyPoint* k = l.AddKeypoint(kSlideBegin, t);
    k->SetPosX(float(made.size()));  // the order of making
    made.push_back(k);
  }
  ASSERT_EQ(l.Count(), 7);
  std::vector<TKeyPoint*> listed;
  for (int32_t i = 0; i < l.Count(); ++i) {
    listed.push_back(l.At(i));
    EXPECT_EQ(l.At(i)->Owner(), &l);
    if (i > 0) {
      EXPECT_LE(l.At(i - 1)->Time(), l.At(i)->Time());
    }
  }
  // The same keypoints, each where its time puts it; equal times keep the order of making.
  EXPECT_TRUE(std::is_permutation(listed.begin(), listed.end(), made.begin()));
  EXPECT_EQ(l.At(2), made[3]);
  EXPECT_EQ(l.At(3), made[4]);
  for (size_t i = 0; i < made.size(); ++i) EXPECT_EQ(made[i]->Values().posX, float(i));
  made[0]->SetOffset(50);  // moves to the front through the owner
  EXPECT_EQ(l.At(0), made[0]);

  l.Clear();
  EXPECT_EQ(l.Count(), 0);
  TKeyPoint* again = l.AddKeypoint(kSlideEnd, 0);
  l.AddKeypoint(kSlideBegin, 0);
  EXPECT_EQ(l.At(1), again);
  l.SetTime(10000);
  EXPECT_EQ(l.current.posX, 0);
}

// A keypoint keeps only the values that differ from a new one's: set in any order, back to the
// default and beyond the four kept in place, every value reads back as set, bit for bit.
TEST(KeyPointStorage, ValuesReadBackAsSetInAnyOrderAndCount) {
  using TSet = void (TKeyPoint::*)(float);
  const TSet setters[] = {&TKeyPoint::SetBlur,    &TKeyPoint::SetPosY,    &TKeyPoint::SetOpacity, &TKeyPoint::SetAngleX,
                          &TKeyPoint::SetScaleX,  &TKeyPoint::SetZPos,    &TKeyPoint::SetAngle,   &TKeyPoint::SetCenterY,
                          &TKeyPoint::SetPosX,    &TKeyPoint::SetAngleY,  &TKeyPoint::SetScaleY,  &TKeyPoint::SetCenterX};
  float TKeyValues::*fields[] = {&TKeyValues::blur,   &TKeyValues::posY,    &TKeyValues::opacity, &TKeyValues::angleX,
                                 &TKeyValues::scaleX, &TKeyValues::zPos,    &TKeyValues::angle,   &TKeyValues::centerY,
                                 &TKeyValues::posX,   &TKeyValues::angleY,  &TKeyValues::scaleY,  &TKeyValues::centerX};
  TFixedAnchors l;
  TKeyPoint* k = l.AddKeypoint(kSlideBegin, 0);
  TKeyValues want;
  auto same = [](const TKeyValues& a, const TKeyValues& b) {
    return memcmp(&a, &b, sizeof(TKeyValues)) == 0;
  };
  EXPECT_TRUE(same(k->Values(), want));
  for (size_t i = 0; i < std::size(setters); ++i) {
    const float v = i == 0 ? -0.0f : float(i) + 0.5f;
    (k->*setters[i])(v);
    want.*fields[i] = v;
    if (i == 1) {  // back to the default and set again: nothing else moves
      k->SetPosY(0);
      want.posY = 0;
      ASSERT_TRUE(same(k->Values(), want));
      k->SetPosY(1.5f);
      want.posY = 1.5f;
    }
    ASSERT_TRUE(same(k->Values(), want)) << "after " << i + 1 << " values";
    EXPECT_EQ(k->Value(kKeyPosY), want.posY);
  }
  k->SetColorisation(false, 1, 2, 3, 0.25f);
  const TKeyValues got = k->Values();
  EXPECT_EQ(got.colorAmount, 0.25f);
  EXPECT_EQ(got.colorR + got.colorG + got.colorB + got.colorOff, 6);
  EXPECT_EQ(got.centerX, want.centerX);
}

}  // namespace
}  // namespace zem
