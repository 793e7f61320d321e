#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "foundation/assert.h"
#include "model/transition_catalogue.h"
#include "model/transition_choice.h"
#include "script/ini_file.h"

namespace zem {
namespace {

std::unique_ptr<TIniFile> Script(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  return ini;
}

// A set read from the main section with a fixed seed, so draws repeat.
struct TSetFixture {
  std::unique_ptr<TIniFile> ini;
  TTransitionSet set;
  explicit TSetFixture(const std::u16string& text, uint32_t seed = 7) : ini(Script(text)) {
    set.Random().SetFixedSeed(seed);
    set.ReadGlobal(ini->FindSection(u"Main"));
  }
  const TIniSection* Section(const char16_t* name) const { return ini->FindSection(name); }
};

TEST(TransitionGlobalSet, EnableWithZeroTimeSwitchesEffectsOff) {
  TSetFixture f(u"[Main]\nopt_fx_enable=1\nopt_fx_time=0\nopt_fx_eff3=1\n");
  EXPECT_FALSE(f.set.Enabled());
  EXPECT_EQ(f.set.Duration(), 0);
  int32_t c = -5, t = -5;
  f.set.PickFromSet(c, t);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(f.set.TransitionLength(nullptr), 0);
}

TEST(TransitionGlobalSet, NoGroupsSwitchesEffectsOffAndNegativeTimeIsNone) {
  TSetFixture none(u"[Main]\nopt_fx_enable=1\nopt_fx_time=800\n");
  EXPECT_FALSE(none.set.Enabled());
  EXPECT_EQ(none.set.Duration(), 0);
  TSetFixture negative(u"[Main]\nopt_fx_enable=1\nopt_fx_time=-800\nopt_fx_eff3=1\n");
  EXPECT_FALSE(negative.set.Enabled());
  EXPECT_EQ(negative.set.TransitionLength(nullptr), 0);
}

TEST(TransitionGlobalSet, LettersGroupsAndParameters) {
  TSetFixture f(
      u"[Main]\nopt_fx_enable=1\nopt_fx_time=1500\nopt_fx_eff2=12Ab\nopt_fx_eff12=h?\n"
      u"opt_fx_smoothline=25\nopt_fx_broomoffset=50\nopt_fx_rolldiameter=200\nopt_fx_rollvariants=0\n"
      u"opt_fx_rollusebackcolor=1\nopt_fx_rollbackcolor=$0000FF\nopt_fx_mosaic_dx=8\nopt_fx_center_x=10\n");
  ASSERT_TRUE(f.set.Enabled());
  EXPECT_EQ(f.set.Duration(), 1500);
  const TEffGroup& g = f.set.Group(1);
  EXPECT_EQ(g.letterCount, 4);
  EXPECT_EQ(g.types, (1u << 0) | (1u << 1) | (1u << 8) | (1u << 9));  // 1, 2, 9 (A), 10 (b)
  // "h" is 16; an unknown letter counts as type 1.
  EXPECT_EQ(f.set.Group(11).types, (1u << 15) | 1u);
  std::set<int32_t> order(f.set.Order().begin(), f.set.Order().end());
  EXPECT_EQ(order, (std::set<int32_t>{1, 11}));
  const TEffectParams& p = f.set.Params();
  EXPECT_FLOAT_EQ(p.smoothLine, 0.025f);
  EXPECT_FLOAT_EQ(p.broomOffset, 0.5f);
  EXPECT_FLOAT_EQ(p.rollDiameter, 0.2f);
  EXPECT_EQ(p.rollVariants, 0);
  EXPECT_EQ(p.rollBackR, 0xFF);  // red sits in the low byte of a colour code
  EXPECT_EQ(p.rollBackB, 0);
  EXPECT_EQ(p.mosaicDX, 8);
  EXPECT_EQ(p.centerX, 10);
  EXPECT_EQ(p.centerY, 50);
}

TEST(TransitionGlobalSet, DisabledSetKeepsDefaultsExceptSmoothLine) {
  TSetFixture f(u"[Main]\nopt_fx_smoothline=30\nopt_fx_broomoffset=50\nopt_fx_swapdepth=9\n");
  EXPECT_FLOAT_EQ(f.set.Params().smoothLine, 0.03f);
  EXPECT_EQ(f.set.Params().broomOffset, 0);
  EXPECT_EQ(f.set.Params().swapDepth, 4);
}

TEST(TransitionPick, GroupOneIsAHardCut) {
  TSetFixture f(u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff1=1\n");
  int32_t c = -1, t = -1;
  f.set.PickFromSet(c, t);
  EXPECT_EQ(c, 0);
  TSlideEffect e = f.set.GetSlideEffect(nullptr, nullptr);
  EXPECT_EQ(e.effectClass, 0);
  EXPECT_EQ(e.Length(), 0);
  // A set whose only group is the cut has no transitions to lay on the time line.
  EXPECT_EQ(f.set.TransitionLength(nullptr), 0);
}

TEST(TransitionPick, AlternatesOddAndEvenLetterPositions) {
  // Letters 1..8 at positions 0..7: even positions hold odd types and vice versa.
  TSetFixture f(u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff4=12345678\n");
  for (int i = 0; i < 40; ++i) {
    const bool alternation = f.set.Alternation();
    int32_t c = 0, t = 0;
    f.set.PickFromSet(c, t);
    EXPECT_EQ(c, 3);
    const int32_t position = t - 1;
    EXPECT_EQ((position & 1) != 0, alternation) << "pick " << i;
  }
}

TEST(TransitionPick, OddPositionPastTheLastLetterWrapsToZero) {
  // Three letters: a draw of the last (even) position while odd positions are due moves on to
  // position 0 instead of running off the end.
  TSetFixture f(u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff4=135\n");
  std::set<int32_t> seen;
  for (int i = 0; i < 200; ++i) {
    int32_t c = 0, t = 0;
    f.set.PickFromSet(c, t);
    seen.insert(t);
  }
  EXPECT_TRUE(seen.count(1));
  EXPECT_TRUE(seen.count(3));
  for (int32_t t : seen) EXPECT_TRUE(t == 1 || t == 3 || t == 5);
}

TEST(TransitionPick, TwoGroupsReshuffleEverySecondPickAndVisitBoth) {
  TSetFixture f(u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\nopt_fx_eff5=1\n");
  std::map<int32_t, int> counts;
  for (int pair = 0; pair < 50; ++pair) {
    int32_t c1 = 0, c2 = 0, t = 0;
    f.set.PickFromSet(c1, t);
    f.set.PickFromSet(c2, t);
    // Each cycle of the order visits every group once.
    EXPECT_NE(c1, c2);
    ++counts[c1];
  }
  EXPECT_EQ(f.set.PickCounter(), 100);
  // Reshuffled at the start of each cycle: both groups come first now and then.
  EXPECT_GT(counts[2], 0);
  EXPECT_GT(counts[4], 0);
}

TEST(TransitionPick, SameSeedSameSequence) {
  const std::u16string text = u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=12\nopt_fx_eff6=1234\nopt_fx_eff9=AB\n";
  TSetFixture a(text, 99), b(text, 99);
  for (int i = 0; i < 30; ++i) {
    TSlideEffect x = a.set.GetSlideEffect(nullptr, nullptr), y = b.set.GetSlideEffect(nullptr, nullptr);
    EXPECT_EQ(x.effectClass, y.effectClass);
    EXPECT_EQ(x.effectType, y.effectType);
    EXPECT_EQ(x.params.seed, y.params.seed);
  }
}

TEST(TransitionSlide, OwnClassZeroHasNoTransitionWhateverTheSet) {
  TSetFixture f(
      u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\n"
      u"[Slide1]\nPers_Effect=1\nEffect_Class=0\nEffectTime=2000\n");
  TSlideEffect e = f.set.GetSlideEffect(f.Section(u"Slide1"), f.Section(u"Main"));
  EXPECT_EQ(e.effectClass, 0);
  EXPECT_EQ(e.duration, 0);
  EXPECT_EQ(f.set.TransitionLength(f.Section(u"Slide1")), 0);
  // No draw was spent on it.
  EXPECT_EQ(f.set.PickCounter(), 0);
}

TEST(TransitionSlide, OwnClassTypeLetterAndOwnParameters) {
  TSetFixture f(
      u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\nopt_fx_swapdepth=7\nopt_fx_broomoffset=30\n"
      u"[Slide1]\nPers_Effect=1\nEffect_Class=11\nEffect_Type=b\nEffectTime=2500\n"
      u"EffectUseSmoothline=1\nEffectSmoothline=40\nEffectSwapWidth=3\nEffectRollVariants=0\n");
  TSlideEffect e = f.set.GetSlideEffect(f.Section(u"Slide1"), f.Section(u"Main"));
  EXPECT_EQ(e.effectClass, 11);
  EXPECT_EQ(e.effectType, 10);  // "b"
  EXPECT_EQ(e.duration, 2500);
  EXPECT_FLOAT_EQ(e.params.smoothLine, 0.04f);
  EXPECT_FLOAT_EQ(e.params.swapWidth, 3);
  EXPECT_FLOAT_EQ(e.params.swapDepth, 7);      // the global value
  EXPECT_FLOAT_EQ(e.params.broomOffset, 0.3f); // global x 100, rounded, x 0.01
  EXPECT_EQ(e.params.rollVariants, 0);
  EXPECT_GE(e.params.seed, 0);
  EXPECT_LT(e.params.seed, 4096 * 4096);
  EXPECT_EQ(f.set.TransitionLength(f.Section(u"Slide1")), 2500);
}

TEST(TransitionSlide, RandomClassUsesOwnTimeButGlobalParameters) {
  TSetFixture f(
      u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff5=1\nopt_fx_swapdepth=7\n"
      u"[Slide1]\nPers_Effect=1\nEffect_Class=-1\nEffectTime=3000\nEffectSwapDepth=2\n"
      u"[Slide2]\nPers_Effect=1\nEffect_Class=-1\nEffectTime=3000\n");
  TSlideEffect e = f.set.GetSlideEffect(f.Section(u"Slide1"), f.Section(u"Main"));
  EXPECT_EQ(e.effectClass, 4);
  EXPECT_EQ(e.duration, 3000);
  EXPECT_FLOAT_EQ(e.params.swapDepth, 7);
  // With the set off, the random choice gives no transition.
  TSetFixture off(u"[Main]\n[Slide1]\nPers_Effect=1\nEffect_Class=-1\nEffectTime=3000\n");
  EXPECT_EQ(off.set.GetSlideEffect(off.Section(u"Slide1"), off.Section(u"Main")).Length(), 0);
  EXPECT_EQ(off.set.TransitionLength(off.Section(u"Slide1")), 0);
}

TEST(TransitionSlide, CustomClassTakesTheNamedEffectFile) {
  TSetFixture f(
      u"[Main]\nopt_fx_custom2=fx\\wave.fx\n"
      u"[Slide1]\nPers_Effect=1\nEffect_Class=18\nEffect_Type=2\nEffectTime=900\n");
  TSlideEffect e = f.set.GetSlideEffect(f.Section(u"Slide1"), f.Section(u"Main"));
  EXPECT_EQ(e.effectClass, kCustomEffectClass);
  EXPECT_EQ(e.effectType, 0);
  EXPECT_EQ(e.params.customEffect, u"fx\\wave.fx");
  EXPECT_EQ(e.duration, 900);
}

TEST(TransitionSlide, GlobalCustomListJoinsNamedFiles) {
  TSetFixture f(
      u"[Main]\nopt_fx_enable=1\nopt_fx_time=700\nopt_fx_custom_count=3\nopt_fx_eff19=0,2,5\n"
      u"opt_fx_custom0=a.fx\nopt_fx_custom1=b.fx\nopt_fx_custom2=c.fx\n");
  EXPECT_EQ(f.set.Params().customEffect, u"a.fx|c.fx");
  int32_t c = 0, t = 0;
  f.set.PickFromSet(c, t);
  EXPECT_EQ(c, kCustomEffectClass);
}

TEST(TransitionSlide, OwnClassBelowMinusOneTakesItsOwnTime) {
  // Only 0 (none) and −1 (the random choice) differ; any other class lasts "EffectTime".
  TSetFixture f(u"[Main]\n[Slide1]\nPers_Effect=1\nEffect_Class=-3\nEffectTime=800\n");
  EXPECT_EQ(f.set.TransitionLength(f.Section(u"Slide1")), 800);
  EXPECT_EQ(f.set.PickCounter(), 0);
}

TEST(TransitionSlide, OwnRollVariantsDefaultsToTheGlobalValueNotTheRandomOne) {
  // "3" randomises the global roll variants per slide; a slide's own settings without the key
  // take the global value (0 here), never the random draw.
  TSetFixture f(
      u"[Main]\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff15=1\nopt_fx_rollvariants=3\n"
      u"[Slide1]\nPers_Effect=1\nEffect_Class=14\nEffect_Type=1\nEffectTime=900\n"
      u"[Slide2]\nPers_Effect=1\nEffect_Class=14\nEffect_Type=1\nEffectTime=900\nEffectRollVariants=1\n");
  ASSERT_TRUE(f.set.RollVariants3());
  std::set<int> own, set;
  for (int i = 0; i < 40; ++i) {
    own.insert(f.set.GetSlideEffect(f.Section(u"Slide1"), f.Section(u"Main")).params.rollVariants);
    set.insert(f.set.GetSlideEffect(nullptr, f.Section(u"Main")).params.rollVariants);
  }
  EXPECT_EQ(own, (std::set<int>{0}));
  EXPECT_EQ(set, (std::set<int>{0, 1}));  // slides without own settings keep the random draw
  EXPECT_EQ(f.set.GetSlideEffect(f.Section(u"Slide2"), f.Section(u"Main")).params.rollVariants, 1);
}

TEST(TransitionSlide, NegativeOwnTimeGivesNoLength) {
  TSetFixture f(u"[Main]\n[Slide1]\nPers_Effect=1\nEffect_Class=2\nEffectTime=-500\n");
  TSlideEffect e = f.set.GetSlideEffect(f.Section(u"Slide1"), f.Section(u"Main"));
  EXPECT_EQ(e.effectClass, 2);
  EXPECT_EQ(e.duration, 0);
  EXPECT_EQ(f.set.TransitionLength(f.Section(u"Slide1")), 0);
}

TEST(TransitionCatalogue, ClassesAndTypesMapToFilters) {
  TEffectParams p;
  p.centerX = 20;
  p.centerY = 70;
  p.flipCenter = 1;
  p.mosaicDX = 0;
  p.mosaicDY = 5000;
  p.mosaicSC = 150;
  EXPECT_EQ(DescribeFilter(0, 1, p).kind, TFilterKind::None);
  TFilterDescriptor r = DescribeFilter(1, 1, p);
  EXPECT_EQ(r.kind, TFilterKind::Random);
  EXPECT_EQ(r.gridX, 1);     // a grid of 0 would have no tiles
  EXPECT_EQ(r.gridY, 1024);  // and a huge one no memory
  EXPECT_EQ(r.softness, 1000);
  // Clock type 2 mirrors the hand; it still reveals the newer slide (not a reverse).
  EXPECT_FALSE(DescribeFilter(3, 2, p).reverse);
  EXPECT_EQ(DescribeFilter(3, 2, p).variant, 2);
  TFilterDescriptor circle = DescribeFilter(4, 1, p);
  EXPECT_EQ(circle.kind, TFilterKind::Circle);
  EXPECT_TRUE(circle.reverse);
  EXPECT_FLOAT_EQ(circle.centreX, 0.2f);
  EXPECT_FLOAT_EQ(circle.centreY, 0.7f);
  EXPECT_EQ(DescribeFilter(7, 3, p).kind, TFilterKind::VLines);
  EXPECT_TRUE(DescribeFilter(7, 3, p).reverse);
  EXPECT_EQ(DescribeFilter(7, 5, p).kind, TFilterKind::Alpha);
  TFilterDescriptor edge = DescribeFilter(9, 4, p);
  EXPECT_EQ(edge.kind, TFilterKind::VLines);
  EXPECT_EQ(edge.centreY, 1);
  TFilterDescriptor broom = DescribeFilter(11, 12, p);
  EXPECT_TRUE(broom.reverse);
  EXPECT_EQ(broom.variant, 4);
  EXPECT_TRUE(DescribeFilter(15, 6, p).reverse);
  EXPECT_EQ(DescribeFilter(16, 3, p).variant, 7);
  EXPECT_EQ(DescribeFilter(18, 0, p).kind, TFilterKind::Custom);
  EXPECT_EQ(DescribeFilter(42, 1, p).kind, TFilterKind::Alpha);
}

// A filter that remembers its request.
struct TProbeFilter : TObj {
  TFilterRequest request;
};

TEST(TransitionCatalogue, CreateFilterConvertsParametersAndFallsBackToCrossFade) {
  TFilterMaker previous = InstallFilterMaker([](const TFilterRequest& r) -> std::unique_ptr<TObj> {
    auto f = std::make_unique<TProbeFilter>();
    f->request = r;
    return f;
  });
  TFilterMaker previousCustom = InstallCustomEffectMaker(nullptr);
  TEffectParams p;
  p.rollDiameter = 0.1f;
  p.broomOffset = 0.5f;
  p.smoothLine = 0.0125f;
  const TRectI rect{0, 0, 800, 600};
  EXPECT_EQ(CreateFilter(rect, 0, 1, nullptr, p, 1000), nullptr);
  auto made = CreateFilter(rect, 14, 2, nullptr, p, 1000);
  auto* probe = dynamic_cast<TProbeFilter*>(made.get());
  ASSERT_NE(probe, nullptr);
  EXPECT_FLOAT_EQ(probe->request.params.rollDiameter, 80);
  EXPECT_FLOAT_EQ(probe->request.params.broomOffset, 350);
  EXPECT_EQ(probe->request.smoothWidth, 10);
  EXPECT_EQ(probe->request.desc.kind, TFilterKind::Roll);
  // No custom maker: a custom effect enters by a cross-fade.
  auto custom = CreateFilter(rect, 18, 0, nullptr, p, 1000);
  ASSERT_NE(dynamic_cast<TProbeFilter*>(custom.get()), nullptr);
  EXPECT_EQ(dynamic_cast<TProbeFilter*>(custom.get())->request.desc.kind, TFilterKind::Alpha);
  InstallFilterMaker(previous);
  InstallCustomEffectMaker(previousCustom);
  // Without any maker nothing is made.
  TFilterMaker none = InstallFilterMaker(nullptr);
  EXPECT_EQ(CreateFilter(rect, 2, 0, nullptr, p, 1000), nullptr);
  InstallFilterMaker(none);
}

TEST(TransitionLetters, LetterValues) {
  EXPECT_EQ(EffectLetterType(u'1'), 1);
  EXPECT_EQ(EffectLetterType(u'8'), 8);
  EXPECT_EQ(EffectLetterType(u'9'), 1);
  EXPECT_EQ(EffectLetterType(u'A'), 9);
  EXPECT_EQ(EffectLetterType(u'h'), 16);
  EXPECT_EQ(EffectLetterType(u'i'), 1);
}

}  // namespace
}  // namespace zem
