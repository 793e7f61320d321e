#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "foundation/assert.h"
#include "model/slide_producer.h"
#include "model/zem_image.h"
#include "package/show_locator.h"
#include "script/ini_file.h"
#include "test_data.h"

namespace zem {
namespace {

TRef<TZemSource> Source(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  TZemSourceOptions o;
  o.fixedSeed = true;
  o.seed = 5;
  return MakeRef<TZemSource>(std::move(ini), nullptr, o);
}

const std::u16string kBox =
    u"object box: B\n  Size=10,10\n  object keypoint:\n    Time=1000\n  end\n"
    u"  object keypoint:\n    Origin=NextEffectBegin\n    Time=0\n  end\nend\n";

std::u16string Show(const std::u16string& extraMain = u"", const std::u16string& slide2 = u"") {
  return u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=3\n"
         u"opt_synchpos1=3000\nopt_synchpos2=6000\nopt_synchpos3=9000\n"
         u"opt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\n" +
         extraMain + u"[Slide1]\n" + kBox + u"[Slide2]\n" + slide2 + kBox + u"[Slide3]\n" + kBox;
}

TEST(SlideDisplay, FitModesAndViewScale) {
  TSlideProducer p(Source(Show()));
  p.SetOutput({1920, 1080}, TSlideProducer::kFitInside, 100, 100);
  EXPECT_EQ(p.DisplayedSize(), (TPointI{1440, 1080}));
  EXPECT_EQ(p.GetViewRect(), (TRectI{240, 0, 1680, 1080}));
  p.SetOutput({1920, 1080}, TSlideProducer::kFitCover, 100, 100);
  EXPECT_EQ(p.DisplayedSize(), (TPointI{1920, 1440}));
  EXPECT_EQ(p.GetViewRect(), (TRectI{0, 0, 1920, 1080}));  // clipped to the output
  p.SetOutput({1920, 1080}, TSlideProducer::kFitStretch, 100, 100);
  EXPECT_EQ(p.DisplayedSize(), (TPointI{1920, 1080}));
  p.SetOutput({1000, 1000}, TSlideProducer::kFitInside, 50, 50);
  EXPECT_EQ(p.DisplayedSize(), (TPointI{1000, 750}));
  EXPECT_EQ(p.GetCameraPosition(), (TVec3{500, 500, -1000}));
}

TEST(SlideDisplay, OddSidesGrowByOnePixelAndFixedSizeNeverEnlarges) {
  TSlideProducer odd(Source(u"[Main]\nopt_scr_width=801\nopt_scr_height=600\n"));
  odd.SetOutput({1000, 700}, TSlideProducer::kFitInside, 100, 100);
  EXPECT_EQ(odd.DisplayedSize(), (TPointI{936, 700}));  // 935 is odd and narrower than the output
  TSlideProducer fixed(Source(u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_scr_fullfixedsize=1\n"));
  fixed.SetOutput({1920, 1080}, TSlideProducer::kFitInside, 100, 100);
  EXPECT_EQ(fixed.DisplayedSize(), (TPointI{800, 600}));
  fixed.SetOutput({640, 400}, TSlideProducer::kFitInside, 100, 100);
  EXPECT_EQ(fixed.DisplayedSize(), (TPointI{534, 400}));
}

TEST(SlideDisplay, ZeroHeightAndOlderShows) {
  TSlideProducer current(Source(u"[Main]\nopt_scr_width=800\n"));
  try {
    current.SetOutput({800, 600}, 0, 100, 100);
    FAIL() << "a current show without height was accepted";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("ZeroSize of Presentation!"), std::string::npos);
  }
  TSlideProducer older(Source(u"[Main]\nMinorVersion=12\n"));
  older.SetOutput({1000, 500}, 0, 100, 100);  // the output's own aspect
  EXPECT_EQ(older.DisplayedSize(), (TPointI{1000, 500}));
  older.SetOutput({1000, 0}, 0, 100, 100);  // no height: nothing to show, no division by 0
  EXPECT_EQ(older.DisplayedSize(), (TPointI{0, 0}));
  EXPECT_TRUE(older.GetViewRect().IsEmpty());
}

TEST(SlideBuild, AnchorsFromTheTimeLine) {
  TSlideProducer p(Source(Show()));
  p.SetOutput({800, 600}, 0, 100, 100);
  std::unique_ptr<TZemFilter> fx;
  auto slide = p.CreateSlide(1, 0, &fx);
  ASSERT_NE(slide, nullptr);
  EXPECT_EQ(slide->GetAnchorTime(kSlideBegin), 3000);
  EXPECT_EQ(slide->GetAnchorTime(kPrevEffectEnd), 4000);
  EXPECT_EQ(slide->GetAnchorTime(kNextEffectBegin), 6000);
  EXPECT_EQ(slide->GetAnchorTime(kSlideEnd), 7000);
  EXPECT_EQ(slide->Size(), (TPointI{800, 600}));
  ASSERT_NE(fx, nullptr);
  // The drawer reads the descriptor as filter parameters.
  const TFilterParams& params = *fx;
  EXPECT_EQ(params.effectClass, 2);
  EXPECT_EQ(params.duration, 1000);
  ASSERT_EQ(slide->ChildCount(), 1);
  EXPECT_EQ(slide->Child(0)->Keys().At(0)->Time(), 4000);  // 1000 after SlideBegin
}

TEST(SlideBuild, TimeScaleKeepsKeypointsInPlace) {
  // Slide 2 now lasts 8000 ms but was designed for 4000.
  const std::u16string text =
      u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=2\nopt_synchpos1=1000\nopt_synchpos2=9000\n"
      u"[Slide1]\n[Slide2]\nScaleMode=2\nScaleTimes=4000, 1000,\t1000\n" + kBox;
  TSlideProducer p(Source(text));
  p.SetOutput({800, 600}, 0, 100, 100);
  auto slide = p.CreateSlide(1, 0);
  ASSERT_NE(slide, nullptr);
  const TKeyPoints& k = slide->Child(0)->Keys();
  ASSERT_EQ(k.Count(), 2);
  EXPECT_EQ(k.At(0)->Time(), 1000 + 2000);  // 1000 ms after the start, doubled
  EXPECT_EQ(k.At(1)->Time(), 9000);         // the designed NextEffectBegin lands on the real one
  // The real anchors are back after reading.
  EXPECT_EQ(slide->GetAnchorTime(kNextEffectBegin), 9000);
  EXPECT_EQ(slide->GetAnchorTime(kPrevEffectEnd), 1000);
}

TEST(SlideBuild, MissingOrBrokenSectionsGiveNoSlide) {
  const std::u16string text =
      u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=3\nopt_synchpos1=1\nopt_synchpos2=2\nopt_synchpos3=3\n"
      u"[Slide1]\nobject box: bad profile\nPanSpeed=3;0;1;2;0;\nobject keypoint:\nTime=0\nend\nend\n[Slide3]\n";
  TSlideProducer p(Source(text));
  p.SetOutput({800, 600}, 0, 100, 100);
  std::unique_ptr<TZemFilter> fx;
  EXPECT_EQ(p.CreateSlide(0, 0, &fx), nullptr);
  EXPECT_EQ(fx, nullptr);
  EXPECT_EQ(p.CreateSlide(1, 0), nullptr);
  EXPECT_NE(p.CreateSlide(2, 0), nullptr);
  EXPECT_NE(p.CreateSlide(5, 1), nullptr);  // index reduced modulo the count
  TSlideProducer empty(Source(u"[Main]\nopt_scr_width=8\nopt_scr_height=6\n"));
  empty.SetOutput({8, 6}, 0, 100, 100);
  EXPECT_THROW(empty.CreateSlide(0, 0), EAssertionFailed);
  // The slide before the show exists even without slides.
  auto before = empty.CreateSlide(-1, 0);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(before->GetAnchorTime(kSlideBegin), kVirtualStart1);
  EXPECT_EQ(before->ChildCount(), 0);
}

TEST(SlideActive, TwoSlidesDuringATransitionBothEndsIncluded) {
  TSlideProducer p(Source(Show(u"", u"Pers_Effect=1\nEffect_Class=0\n")));
  int32_t first = 0, last = 0;
  p.FindActiveSlides(2999, first, last);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 0);
  // Slide 1 has no incoming transition: slide 0 ends at its next time, and that one
  // millisecond shows both.
  p.FindActiveSlides(3000, first, last);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(last, 1);
  p.FindActiveSlides(3001, first, last);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 1);
  p.FindActiveSlides(6000, first, last);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 2);
  p.FindActiveSlides(7000, first, last);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 2);
  p.FindActiveSlides(7001, first, last);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 2);
  p.FindActiveSlides(0, first, last);
  EXPECT_EQ(first, -1);
  EXPECT_EQ(last, 0);
}

TEST(SlideActive, FarJumpsAreImmediate) {
  TSlideProducer p(Source(Show()));
  int32_t first = 0, last = 0;
  const auto t0 = std::chrono::steady_clock::now();
  p.FindActiveSlides(9000.0 * 100000 + 3500, first, last);
  EXPECT_EQ(first, 300000);
  EXPECT_EQ(last, 300001);
  p.FindActiveSlides(100, first, last);  // the first transition, from the empty slide
  EXPECT_EQ(first, -1);
  EXPECT_EQ(last, 0);
  p.FindActiveSlides(1e300, first, last);  // beyond every position: still ends
  EXPECT_GT(first, 0);
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 1000);
}

TEST(SlideActive, ShowWithoutLengthEnds) {
  TSlideProducer p(Source(u"[Main]\nopt_slidescount=2\n[Slide1]\n[Slide2]\n"));
  int32_t first = 0, last = 0;
  p.FindActiveSlides(5000, first, last);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(last, 1);
  TSlideProducer none(Source(u"[Main]\n"));
  none.FindActiveSlides(5000, first, last);
  EXPECT_EQ(first, -1);
}

TEST(SlideCacheTest, LoadsOneSlidePerStepAndDropsOldOnes) {
  TSlideProducer p(Source(Show()));
  p.SetOutput({800, 600}, 0, 100, 100);
  TSlideCache cache(p, 2);
  EXPECT_THROW(cache.Update(0), EAssertionFailed);  // no current timing yet
  p.SetCurrentTiming(MakeRef<TTiming>());
  int changes = 0, loads = 0;
  cache.SetOnChange([&] { ++changes; });
  cache.SetOnLoaded([&](TDrawContainer&) { ++loads; });
  EXPECT_TRUE(cache.Update(0));
  EXPECT_TRUE(cache.Update(0));
  EXPECT_FALSE(cache.Update(0));
  ASSERT_EQ(cache.Containers().size(), 2u);
  EXPECT_EQ(cache.Containers()[0]->position, -1);
  EXPECT_EQ(cache.Containers()[1]->position, 0);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(cache.Update(3500));  // drops -1, loads 1
  ASSERT_EQ(cache.Containers().size(), 2u);
  EXPECT_EQ(cache.Containers()[0]->position, 0);
  EXPECT_EQ(cache.Containers()[1]->position, 1);
  EXPECT_EQ(changes, 4);
  // A jump far ahead keeps one old container until the new ones arrive.
  EXPECT_TRUE(cache.Update(9000.0 * 3 + 500));
  EXPECT_LE(cache.Containers().size(), size_t(TSlideCache::kMaxContainers));
  while (cache.Update(9000.0 * 3 + 500)) {
  }
  ASSERT_EQ(cache.Containers().size(), 2u);
  EXPECT_EQ(cache.Containers()[0]->position, 8);
  EXPECT_EQ(cache.Containers()[1]->position, 9);
  const TDrawContainer& c = *cache.Containers()[1];
  EXPECT_EQ(c.repeatOffset, 27000);
  EXPECT_EQ(c.info.start, 27000);
  ASSERT_NE(c.slide, nullptr);
  EXPECT_EQ(c.slide->GetAnchorTime(kSlideBegin), 0);
}

TEST(SlideCacheTest, ContainerTimeIsShiftedByTheRepeat) {
  TSlideProducer p(Source(Show()));
  p.SetOutput({800, 600}, 0, 100, 100);
  p.SetCurrentTiming(MakeRef<TTiming>());
  auto c = p.CreateContainer(4);  // slide 1 of the second pass
  ASSERT_NE(c->slide, nullptr);
  ASSERT_NE(c->transition, nullptr);
  EXPECT_EQ(c->repeatOffset, 9000);
  c->SetTime(12500);
  EXPECT_EQ(c->slide->TimeInSlide(), 500);
  EXPECT_EQ(c->transition->progressTime, 500);
  EXPECT_TRUE(c->slide->Child(0)->InWindow());
}

TEST(SlideBuild, PicturesComeThroughTheShowFiles) {
  auto ini = std::make_unique<TIniFile>();
  ASSERT_TRUE(ini->LoadFromText(
      u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=1\nopt_synchpos1=5000\n[Slide1]\n"
      u"object image: still\n  ImageName=gif\\giflib\\porsche.gif\n  object keypoint:\n  end\nend\n"
      u"object image: strip\n  ImageName=gif\\giflib\\welcome2.gif\n  object keypoint:\n  end\nend\n"));
  auto files = CreateDiskAccessor(zem::test::DataFile("images"));
  ASSERT_NE(files, nullptr);
  TSlideProducer p(MakeRef<TZemSource>(std::move(ini), std::move(files)));
  p.SetOutput({800, 600}, 0, 100, 100);
  auto slide = p.CreateSlide(0, 0);
  ASSERT_NE(slide, nullptr);
  slide->SetTimeAndUpdate(true, 0);
  auto* still = dynamic_cast<show::TZemImage*>(slide->Child(0));
  auto* strip = dynamic_cast<show::TZemImage*>(slide->Child(1));
  ASSERT_TRUE(still && strip);
  ASSERT_NE(still->Picture(), nullptr);
  EXPECT_EQ(still->Size(), (TPointI{320, 200}));
  EXPECT_FALSE(still->IsSpriteSheet());
  // An animated GIF arrives as a strip of its six frames and describes its own animation.
  ASSERT_NE(strip->Picture(), nullptr);
  EXPECT_EQ(strip->Picture()->Width(), 6 * 290);
  EXPECT_EQ(strip->Animation().columns, 6);
  EXPECT_EQ(strip->Size(), (TPointI{290, 48}));
  ASSERT_EQ(strip->Animation().intervals.size(), 6u);
  EXPECT_GT(strip->Animation().intervals[0], 0);
  EXPECT_EQ(strip->SpriteFrame(strip->Animation().intervals[0] + 1.0), 1);
}

TEST(SlideDialogs, NamesSectionsAndPause) {
  TSlideProducer p(Source(
      u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_customdialogscount=2\ncustom_dialog1=about\ncustom_dialog2=help\n"
      u"[dialog_2_]\nDialogPause=1\n" + kBox + u"[dialog_credits]\n"));
  p.SetOutput({800, 600}, 0, 100, 100);
  auto help = p.CreateDialog(u"help");
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->dialogPause);
  EXPECT_EQ(help->GetOpacityScale(), 0);
  EXPECT_EQ(help->ChildCount(), 1);
  EXPECT_EQ(help->GetAnchorTime(kSlideEnd), 0);
  auto credits = p.CreateDialog(u"credits");
  ASSERT_NE(credits, nullptr);
  EXPECT_FALSE(credits->dialogPause);
  EXPECT_EQ(p.CreateDialog(u"about"), nullptr);  // its section dialog_1_ is missing
  EXPECT_EQ(p.CreateDialog(u"nothing"), nullptr);
}

}  // namespace
}  // namespace zem

namespace zem {
namespace {

// The engine keeps the list it was last told about: a dropped container must outlive the report
// of the new list, and every container of the old list must still be readable inside it.
TEST(SlideCacheTest, ReportsTheNewListBeforeFreeingADroppedContainer) {
  TSlideProducer p(Source(Show()));
  p.SetOutput({800, 600}, 0, 100, 100);
  p.SetCurrentTiming(MakeRef<TTiming>());
  TSlideCache cache(p, 2);
  // Each container gets its own timing record; a record with a second owner means its
  // container is alive.
  std::vector<TRef<TTiming>> tokens;
  cache.SetOnLoaded([&](TDrawContainer& c) {
    auto own = MakeRef<TTiming>();
    own->current = c.timing ? c.timing->current.load() : 0.0;
    c.timing = own;
    tokens.push_back(own);
  });
  auto alive = [&] {
    size_t n = 0;
    for (const auto& t : tokens) n += t->RefCount() > 1 ? 1 : 0;
    return n;
  };
  std::vector<TDrawContainer*> reported;
  std::vector<size_t> aliveAtReport;
  int64_t positionSum = 0;
  cache.SetOnChange([&] {
    aliveAtReport.push_back(alive());
    for (TDrawContainer* c : reported) positionSum += c->position;  // the old list is still valid
    reported.clear();
    for (const auto& c : cache.Containers()) reported.push_back(c.get());
  });
  while (cache.Update(0)) {
  }
  ASSERT_EQ(cache.Containers().size(), 2u);
  aliveAtReport.clear();
  positionSum = 0;
  EXPECT_TRUE(cache.Update(3500));  // drops position -1, then loads position 1
  ASSERT_EQ(aliveAtReport.size(), 2u);
  EXPECT_EQ(aliveAtReport[0], 2u) << "the dropped container died before the new list was reported";
  EXPECT_EQ(aliveAtReport[1], 2u);
  EXPECT_EQ(alive(), 2u);  // and it is freed once the report is over
  EXPECT_EQ(positionSum, -1 + 0 + 0);
}

}  // namespace
}  // namespace zem
