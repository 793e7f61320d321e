#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "foundation/assert.h"
#include "model/slide_source.h"
#include "script/ini_file.h"

namespace zem {
namespace {

TRef<TZemSource> Source(const std::u16string& text, uint32_t seed = 3, bool screenSaver = false) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  TZemSourceOptions o;
  o.fixedSeed = true;
  o.seed = seed;
  o.screenSaver = screenSaver;
  return MakeRef<TZemSource>(std::move(ini), nullptr, o);
}

std::u16string ThreeSlides(const std::u16string& extraMain = u"") {
  return u"[Main]\nopt_slidescount=3\nopt_synchpos1=3000\nopt_synchpos2=6000\nopt_synchpos3=9000\n"
         u"opt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\n" +
         extraMain + u"[Slide1]\npicture=pics\\Beach.JPG\n[Slide2]\nslideid=second\n[Slide3]\n";
}
const std::u16string kThreeSlides = ThreeSlides();

TEST(SlideTiming, ThreeSlidesWithOneSecondTransitions) {
  auto s = Source(kThreeSlides);
  ASSERT_EQ(s->SlideCount(), 3);
  EXPECT_EQ(s->TotalDuration(), 9000);
  const TSlideInfo& first = s->Infos()[0];
  EXPECT_EQ(first.start, 0);
  EXPECT_EQ(first.inLength, 1000);
  EXPECT_EQ(first.id, u"Beach");
  const TSlideInfo& i1 = s->Infos()[1];
  EXPECT_EQ(i1.start, 3000);
  EXPECT_EQ(i1.start + i1.inLength, 4000);  // PrevEffectEnd
  EXPECT_EQ(i1.next, 6000);
  EXPECT_EQ(i1.end, 7000);
  EXPECT_EQ(i1.id, u"second");
  // Repeat mode: the last slide hands over to slide 0 of the next pass.
  EXPECT_EQ(s->Infos()[2].outLength, 1000);
  EXPECT_EQ(s->Infos()[2].end, 10000);
}

TEST(SlideTiming, TransitionLongerThanItsSlotIsCappedOnlyForTheIncomingSlide) {
  auto s = Source(
      u"[Main]\nopt_slidescount=3\nopt_synchpos1=4000\nopt_synchpos2=6000\nopt_synchpos3=10000\nopt_repeat=stop\n"
      u"[Slide1]\n[Slide2]\nPers_Effect=1\nEffect_Class=2\nEffectTime=5000\n[Slide3]\n");
  const TSlideInfo& a = s->Infos()[0];
  const TSlideInfo& b = s->Infos()[1];
  EXPECT_EQ(b.inLength, 2000);  // its slot is 2000 ms
  EXPECT_EQ(a.outLength, 5000);
  EXPECT_EQ(a.end, 9000);  // the previous slide stays 5000 ms after its next time
  for (const TSlideInfo& i : s->Infos()) {
    EXPECT_GE(i.inLength, 0);
    EXPECT_GE(i.outLength, 0);
    EXPECT_LE(i.inLength, i.next - i.start);
  }
}

TEST(SlideTiming, RepeatModeDecidesTheLastOutLength) {
  auto stop = Source(ThreeSlides(u"opt_repeat=stop\n"));
  EXPECT_EQ(stop->RepeatMode(), kStopAtEnd);
  EXPECT_EQ(stop->Infos()[2].outLength, 0);
  auto close = Source(ThreeSlides(u"opt_repeat=close\n"));
  EXPECT_EQ(close->RepeatMode(), kCloseAtEnd);
  EXPECT_EQ(close->Infos()[2].outLength, 0);
  // Names are compared exactly: anything else is the default, repeat.
  auto other = Source(ThreeSlides(u"opt_repeat=Stop\n"));
  EXPECT_EQ(other->RepeatMode(), kRepeatShow);
  EXPECT_EQ(other->Infos()[2].outLength, 1000);
}

TEST(SlideTiming, WrapAroundTakesSlideZerosTransition) {
  auto s = Source(
      u"[Main]\nopt_slidescount=2\nopt_synchpos1=2000\nopt_synchpos2=5000\n"
      u"[Slide1]\nPers_Effect=1\nEffect_Class=2\nEffectTime=1500\n[Slide2]\n");
  EXPECT_EQ(s->Infos()[0].inLength, 1500);
  EXPECT_EQ(s->Infos()[1].outLength, 1500);
  EXPECT_EQ(s->GetTransitionLength(2), 1500);
}

TEST(SlideTiming, PositionsBeyondTheCountAreRepeats) {
  auto s = Source(kThreeSlides);
  TSlideInfo info;
  EXPECT_EQ(s->GetSlideInfo(4, info), 1);  // count + 1: slide 1 of the second pass
  EXPECT_EQ(info.start, 3000 + 9000);
  EXPECT_EQ(info.next, 6000 + 9000);
  EXPECT_EQ(info.end, 7000 + 9000);
  EXPECT_EQ(info.inLength, 1000);
}

TEST(SlideTiming, VirtualRecordsBeforeTheShow) {
  auto s = Source(kThreeSlides);
  TSlideInfo v1, v2;
  s->GetSlideInfo(-1, v1);
  s->GetSlideInfo(-2, v2);
  EXPECT_EQ(v1.start, -1073741823);
  EXPECT_EQ(v1.next, 0);
  EXPECT_EQ(v1.outLength, 1000);
  EXPECT_EQ(v1.end, 1000);
  EXPECT_EQ(v2.start, -2147483647);
  EXPECT_EQ(v2.next, -1073741823);
  EXPECT_EQ(v2.end, -1073741823);
}

TEST(SlideTiming, SlideAtTime) {
  auto s = Source(kThreeSlides);
  EXPECT_EQ(s->SlideAtTime(-5), -1);
  EXPECT_EQ(s->SlideAtTime(0), -1);  // position -1 ends at 0
  EXPECT_EQ(s->SlideAtTime(1), 0);
  EXPECT_EQ(s->SlideAtTime(3000), 0);
  EXPECT_EQ(s->SlideAtTime(3001), 1);
  EXPECT_EQ(s->SlideAtTime(9000), 2);
  EXPECT_EQ(s->SlideAtTime(9001), 3);
  EXPECT_EQ(s->SlideAtTime(9000.0 * 1000 + 3500), 3001);
  // Zero-length slots: the earlier position wins at the shared moment.
  auto z = Source(u"[Main]\nopt_slidescount=3\nopt_synchpos1=1000\nopt_synchpos2=1000\nopt_synchpos3=2000\n");
  EXPECT_EQ(z->SlideAtTime(1000), 0);
  EXPECT_EQ(z->SlideAtTime(1001), 2);
}

TEST(SlideTiming, DecreasingSynchPointsAreRejected) {
  try {
    Source(u"[Main]\nopt_slidescount=2\nopt_synchpos1=5000\nopt_synchpos2=4000\n");
    FAIL() << "accepted a time line that goes backwards";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("Incorrect time"), std::string::npos);
  }
}

TEST(SlideTiming, ZeroSlidesAndMissingSectionsStayUsable) {
  auto none = Source(u"[Main]\nopt_slidescount=0\n");
  EXPECT_EQ(none->TotalDuration(), 0);
  EXPECT_EQ(none->SlideAtTime(5000), -1);
  TSlideInfo info;
  EXPECT_THROW(none->GetSlideInfo(0, info), EAssertionFailed);
  EXPECT_THROW(none->GetSlideEffect(0), EAssertionFailed);
  auto negative = Source(u"[Main]\nopt_slidescount=-4\n");
  EXPECT_EQ(negative->SlideCount(), 0);
  EXPECT_FALSE(negative->Warnings().empty());
  auto noMain = Source(u"[Slide1]\n");
  EXPECT_EQ(noMain->SlideCount(), 0);
  // More slides than sections: the time line stands, the missing ones have no section.
  auto more = Source(u"[Main]\nopt_slidescount=3\nopt_synchpos1=100\nopt_synchpos2=200\nopt_synchpos3=300\n[Slide1]\n");
  EXPECT_EQ(more->TotalDuration(), 300);
  EXPECT_NE(more->SlideSection(0), nullptr);
  EXPECT_EQ(more->SlideSection(2), nullptr);
  // A huge count is cut, with a note.
  auto huge = Source(u"[Main]\nopt_slidescount=2000000000\n");
  EXPECT_EQ(huge->SlideCount(), kMaxSlideCount);
  EXPECT_FALSE(huge->Warnings().empty());
  // Every slot of zero length: nothing lies after 0 and lookups still end.
  EXPECT_EQ(huge->TotalDuration(), 0);
  EXPECT_EQ(huge->SlideAtTime(1e12), kMaxSlideCount - 1);
}

TEST(SlideEndAction, PauseLoopAndManualShow) {
  auto s = Source(
      u"[Main]\nopt_slidescount=4\nopt_synchpos1=3000\nopt_synchpos2=6000\nopt_synchpos3=9000\nopt_synchpos4=9500\n"
      u"opt_manualshow=1\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\n"
      u"[Slide1]\nPers_EndAction=pause\n[Slide2]\nPers_EndAction=loop\n[Slide3]\nPers_EndAction=\n"
      u"[Slide4]\nPers_EndAction=loop\n");
  double loop = -1;
  EXPECT_EQ(s->GetEndAction(0, loop), TEndAction::Pause);
  EXPECT_EQ(s->GetEndAction(1, loop), TEndAction::Loop);
  EXPECT_EQ(loop, 3000 - 1000);  // the part after the incoming transition
  EXPECT_EQ(s->GetEndAction(2, loop), TEndAction::Pause);  // empty text + manual show
  // A loop with nothing after its transition holds the slide instead of looping in place.
  EXPECT_EQ(s->GetEndAction(3, loop), TEndAction::Pause);
  EXPECT_EQ(loop, 0);

  auto automatic = Source(u"[Main]\nopt_slidescount=2\nopt_synchpos1=1\nopt_synchpos2=2\n[Slide1]\nPers_EndAction=\n[Slide2]\nPers_EndAction=Pause\n");
  EXPECT_EQ(automatic->GetEndAction(0, loop), TEndAction::None);
  EXPECT_EQ(automatic->GetEndAction(1, loop), TEndAction::None);  // compared exactly
  auto absent = Source(u"[Main]\nopt_slidescount=1\nopt_synchpos1=1\nopt_manualshow=1\n[Slide1]\n");
  EXPECT_EQ(absent->GetEndAction(0, loop), TEndAction::None);
}

TEST(SlideRunApp, FlagAndName) {
  auto s = Source(u"[Main]\nopt_slidescount=2\nopt_synchpos1=1\nopt_synchpos2=2\n"
                  u"[Slide1]\nPers_RunApp=1\nRunAppFN=tool.sh\n[Slide2]\nPers_RunApp=1\n");
  WideString name;
  EXPECT_TRUE(s->GetRunApp(0, name));
  EXPECT_EQ(name, u"tool.sh");
  EXPECT_FALSE(s->GetRunApp(1, name));
}

std::u16string RandomShow(const std::u16string& path, int count) {
  std::u16string t = u"[Main]\nProjectFilePath=" + path + u"\nopt_random=1\nopt_slidescount=" +
                     Utf8ToWide(std::to_string(count)) + u"\n";
  for (int i = 1; i <= count; ++i)
    t += u"opt_synchpos" + Utf8ToWide(std::to_string(i)) + u"=" + Utf8ToWide(std::to_string(i * 1000)) + u"\n";
  for (int i = 1; i <= count; ++i) t += u"[Slide" + Utf8ToWide(std::to_string(i)) + u"]\nslideid=s" + Utf8ToWide(std::to_string(i)) + u"\n";
  return t;
}

TEST(SlideOrder, RandomOrderIsAPermutationKeptForRepeatsAndReopening) {
  ClearSlideOrders();
  auto s = Source(RandomShow(u"a.zem", 40), 11);
  ASSERT_NE(s->RandomList(), nullptr);
  std::vector<int32_t> order;
  for (int32_t i = 0; i < 40; ++i) order.push_back(s->SlideNumber(i));
  std::vector<int32_t> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(sorted[size_t(i)], i) << "slide repeated or missing in one cycle";
  std::vector<int32_t> identity(40);
  for (int32_t i = 0; i < 40; ++i) identity[size_t(i)] = i;
  EXPECT_NE(order, identity);
  // Positions follow the order: the record's identifier is that of the slide shown there.
  EXPECT_EQ(s->Infos()[5].id, u"s" + Utf8ToWide(std::to_string(order[5] + 1)));
  // Reopened in the same run (even with another seed): the same order.
  auto again = Source(RandomShow(u"a.zem", 40), 12);
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(again->SlideNumber(i), order[size_t(i)]);
  // The same seed gives the same order for a fresh show.
  ClearSlideOrders();
  auto fresh = Source(RandomShow(u"a.zem", 40), 11);
  for (int32_t i = 0; i < 40; ++i) EXPECT_EQ(fresh->SlideNumber(i), order[size_t(i)]);
  // Beyond the list: identity.
  EXPECT_EQ(fresh->SlideNumber(45), 45);
  ClearSlideOrders();
}

TEST(SlideOrder, EqualKeysFollowTheSwapOfTheLargestKey) {
  // Slides 0 and 2 draw the same key: the first largest goes to the end first, so slide 0 ends
  // up last (a stable sort would keep 0 before 2).
  std::vector<int32_t> keys{5, 3, 5, 1}, numbers{0, 1, 2, 3};
  SortBySwappingLargestKey(keys, numbers);
  EXPECT_EQ(numbers, (std::vector<int32_t>{3, 1, 2, 0}));
  EXPECT_EQ(keys, (std::vector<int32_t>{1, 3, 5, 5}));
  keys = {7, 7, 7};
  numbers = {0, 1, 2};
  SortBySwappingLargestKey(keys, numbers);
  EXPECT_EQ(numbers, (std::vector<int32_t>{1, 2, 0}));
}

TEST(SlideOrder, NoProjectPathMeansPlainOrder) {
  ClearSlideOrders();
  auto s = Source(u"[Main]\nopt_random=1\nopt_slidescount=3\nopt_synchpos1=1\nopt_synchpos2=2\nopt_synchpos3=3\n[Slide3]\n");
  EXPECT_EQ(s->RandomList(), nullptr);
  EXPECT_EQ(s->SlideNumber(2), 2);
  EXPECT_NE(s->SlideSection(2), nullptr);
}

TEST(SlideSource, ScreenSaverForcesMainKeys) {
  auto s = Source(u"[Main]\nopt_repeat=stop\nopt_ssaver=0\n", 1, true);
  EXPECT_EQ(s->RepeatMode(), kRepeatShow);
  EXPECT_TRUE(s->Main()->ReadBool(u"opt_ssaver", false));
  EXPECT_TRUE(s->Main()->ReadBool(u"opt_hidecursor", false));
  auto normal = Source(u"[Main]\nopt_ssaver=1\n");
  EXPECT_FALSE(normal->Main()->ReadBool(u"opt_ssaver", true));
}

}  // namespace
}  // namespace zem
