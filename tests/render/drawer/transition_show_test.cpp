// A show with one slide per flat transition kind and custom effect, drawn headless through the
// snapshot path at points of each transition: every kind must mix the two slides cleanly, and a
// few representative kinds are compared with reference frames.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "drawer_support.h"
#include "model/slide_source.h"
#include "model/transition_catalogue.h"
#include "model/zem_image.h"
#include "package/show_locator.h"
#include "render/drawer/headless_window.h"
#include "render/drawer/snapshot.h"
#include "script/ini_file.h"
#include "transitions/filter_factory.h"
#include "transitions/slide_eff_filter.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

struct TKind {
  int32_t effectClass;
  const char* type;  // the "Effect_Type" letter
  const char* extra;  // further slide keys
};

// Every class and type the flat filters and the custom effects serve. Clock (3), broom (11),
// page roll (14, 15), flip (16) and swap (17) have their own show (solid_transition_show_test).
const std::vector<TKind>& Kinds() {
  static const std::vector<TKind> kinds = {
      {1, "1", "EffectMosaicDX=8\nEffectMosaicDY=6\nEffectMosaicSC=50\n"},
      {1, "1", "EffectMosaicDX=4\nEffectMosaicDY=3\nEffectMosaicSC=0\n"},
      {2, "1", ""},
      {4, "1", ""}, {4, "2", "EffectCenterX=20\nEffectCenterY=70\n"},
      {5, "1", ""}, {5, "2", ""},
      {6, "1", ""}, {6, "2", ""},
      {7, "1", ""}, {7, "2", ""}, {7, "3", ""}, {7, "4", ""}, {7, "5", ""},
      {8, "1", ""}, {8, "2", ""}, {8, "3", ""}, {8, "4", ""},
      {9, "1", ""}, {9, "2", ""}, {9, "3", ""}, {9, "4", ""}, {9, "5", ""},
      {10, "1", ""}, {10, "2", ""}, {10, "3", ""}, {10, "4", ""},
      {12, "1", ""}, {12, "2", ""}, {12, "3", ""}, {12, "4", ""},
      {13, "1", ""}, {13, "2", ""}, {13, "3", ""}, {13, "4", ""},
      {18, "0", ""},
  };
  return kinds;
}

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;
constexpr int32_t kSlideMs = 2000, kEffectMs = 1000;

// Slide 1 red; slide k + 2 enters through kind k; colours alternate red and blue. Soft edges
// of a tenth of the width on every other kind.
std::string ShowScript() {
  const auto& kinds = Kinds();
  std::string s = "[Main]\nopt_scr_width=160\nopt_scr_height=120\nopt_slidescount=" +
                  std::to_string(kinds.size() + 1) + "\nopt_fx_custom_count=1\nopt_fx_custom0=fx.zem\n";
  for (size_t i = 0; i <= kinds.size(); ++i)
    s += "opt_synchpos" + std::to_string(i + 1) + "=" + std::to_string((i + 1) * kSlideMs) + "\n";
  for (size_t i = 0; i <= kinds.size(); ++i) {
    s += "[Slide" + std::to_string(i + 1) + "]\nPers_Fon=1\nbstyle=1\nbname=" +
         std::to_string(i % 2 ? 16711680 : 255) + "\n";
    if (i == 0) continue;
    const TKind& k = kinds[i - 1];
    s += "Pers_Effect=1\nEffect_Class=" + std::to_string(k.effectClass) + "\nEffect_Type=" + k.type +
         "\nEffectTime=" + std::to_string(kEffectMs) + "\n" + k.extra;
    if (i % 2) s += "EffectUseSmoothline=1\nEffectSmoothline=100\n";
  }
  return s;
}

// The custom effect: a slide of the show's size showing the incoming slide in its left half
// over the outgoing one.
constexpr const char* kEffect =
    "[Main]\nopt_scr_width=160\nopt_scr_height=120\nopt_slidescount=1\nopt_synchpos1=2000\n"
    "[Slide1]\nPers_Fon=1\nbstyle=1\nbname=0\n"
    "object image: outgoing\n  ReplaceWithEffectBuffer=1\n  object keypoint:\n    Time=0\n  end\nend\n"
    "object image: incoming\n  ReplaceWithEffectBuffer=2\n  object keypoint:\n    Time=0\n    Position=-80,0\n"
    "  end\nend\n";

class TransitionShow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterImageKinds();
    InstallTransitionFilters();
  }
  void SetUp() override {
    auto probe = THeadlessWindow::Create(8, 8);
    if (!probe) GTEST_SKIP() << "no headless window here";
    test::PinDriverModules();
    dir_ = fs::temp_directory_path() / ("zem_trshow_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "fx.zem") << kEffect;
    files_ = std::shared_ptr<const TFileAccessor>(CreateDiskAccessor(dir_.string()));
    previous_ = InstallCustomEffectMaker(MakeCustomEffectMaker(files_));
    auto ini = std::make_unique<TIniFile>();
    ASSERT_TRUE(ini->LoadFromText(Utf8ToWide(ShowScript())));
    // Dissolve patterns come from seeds drawn by the show: fixed, so the frames repeat.
    TZemSourceOptions options;
    options.fixedSeed = true;
    options.seed = 7;
    show_ = MakeRef<TZemSource>(std::move(ini), nullptr, options);
  }
  void TearDown() override {
    InstallCustomEffectMaker(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // The frame at fraction f of the transition into slide `index` (0-based).
  TBitmap At(int32_t index, double f, int32_t w, int32_t h) {
    TSlideInfo info;
    show_->GetSlideInfo(index, info);
    EXPECT_EQ(info.inLength, kEffectMs) << "slide " << index;
    TBitmap out;
    std::string error;
    EXPECT_TRUE(RenderShowSnapshot(show_, info.start + info.inLength * f, w, h, out, &error)) << error;
    if (out.Format() != TPixelFormat::Argb32) out.ConvertTo(TPixelFormat::Argb32);
    return out;
  }

  fs::path dir_;
  std::shared_ptr<const TFileAccessor> files_;
  TFilterMaker previous_;
  TRef<TZemSource> show_;
};

TEST_F(TransitionShow, EveryKindMixesTheTwoSlidesAtMidTransition) {
  const auto& kinds = Kinds();
  for (size_t k = 0; k < kinds.size(); ++k) {
    const int32_t index = int32_t(k) + 1;
    const uint32_t older = index % 2 ? kRed : kBlue, newer = index % 2 ? kBlue : kRed;
    const TBitmap b = At(index, 0.5, 160, 120);
    ASSERT_EQ(b.Width(), 160);
    const std::string what = "class " + std::to_string(kinds[k].effectClass) + " type " + kinds[k].type;
    int64_t asOld = 0, asNew = 0, garbage = 0;
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) {
        const uint32_t p = test::Px(b, x, y);
        const int r = int((p >> 16) & 255), g = int((p >> 8) & 255), bl = int(p & 255);
        if (test::ChannelDiff(p, older) <= 3) ++asOld;
        if (test::ChannelDiff(p, newer) <= 3) ++asNew;
        // Anything else must lie between red and blue: no green, red + blue full. The custom
        // effect's black background may show at its edges only.
        if (g > 4 || std::abs(r + bl - 255) > 6) ++garbage;
      }
    const int64_t all = int64_t(b.Width()) * b.Height();
    EXPECT_LT(asOld, all) << what << ": only the older slide";
    EXPECT_LT(asNew, all) << what << ": only the newer slide";
    EXPECT_LE(garbage, all / 200) << what << ": pixels that are neither slide nor a mix of them";
  }
}

TEST_F(TransitionShow, TimelineNamesEveryTransition) {
  const auto& kinds = Kinds();
  for (size_t k = 0; k < kinds.size(); ++k) {
    const TSlideEffect e = show_->GetSlideEffect(int32_t(k) + 1);
    EXPECT_EQ(e.effectClass, kinds[k].effectClass);
    const TFilterDescriptor described = DescribeFilter(e.effectClass, e.effectType, e.params);
    EXPECT_NE(described.kind, TFilterKind::None);
    EXPECT_STRNE(FilterKindName(described.kind), "");
  }
}

TEST_F(TransitionShow, ReferenceFramesOfRepresentativeKinds) {
  // Tiles dissolve, circle from an off-centre point, diagonal sweep, push, slide-in, custom.
  const struct {
    int32_t index;
    const char* name;
  } picks[] = {{1, "dissolve"}, {5, "circle"}, {24, "diagonal"}, {28, "push"}, {34, "slide_in"}, {36, "custom"}};
  for (const auto& pick : picks) {
    ASSERT_LE(pick.index, int32_t(Kinds().size()));
    for (int q = 1; q <= 3; ++q) {
      const TBitmap b = At(pick.index, q * 0.25, 80, 60);
      test::ExpectGolden(b, std::string("show_") + pick.name + "_" + std::to_string(q * 25), 12, 0.01);
    }
  }
}

}  // namespace
}  // namespace zem
