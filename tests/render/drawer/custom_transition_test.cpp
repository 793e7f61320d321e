// Custom transitions from effect files drawn by the drawer: both slides are captured and the
// effect slide shows them in its buffer images.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "drawer_support.h"
#include "model/zem_image.h"
#include "package/show_locator.h"
#include "transitions/filter_factory.h"
#include "transitions/slide_eff_filter.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using test::ChannelDiff;
using test::Px;
using test::TFnItem;

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

void Fill(TDeviceDrawer& d, uint32_t colour) {
  TBoxParams p;
  p.colour1 = p.colour2 = colour;
  p.width = 80;
  p.height = 60;
  d.DrawBox({0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
}

// An effect show of the frame's size whose one image shows capture `buffer` over the slide.
std::string EffectFile(int buffer) {
  return "[Main]\nopt_scr_width=80\nopt_scr_height=60\nopt_slidescount=1\nopt_synchpos1=2000\n"
         "[Slide1]\nPers_Fon=1\nbstyle=1\nbname=0\n"
         "object image: shown\n  ReplaceWithEffectBuffer=" + std::to_string(buffer) +
         "\n  object keypoint:\n    Time=0\n  end\nend\n";
}

class CustomTransitions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterImageKinds();
    InstallTransitionFilters();
  }
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("zem_drawfx_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    std::ofstream(dir_ / "older.zem") << EffectFile(1);
    std::ofstream(dir_ / "newer.zem") << EffectFile(2);
    files_ = std::shared_ptr<const TFileAccessor>(CreateDiskAccessor(dir_.string()));
    previous_ = InstallCustomEffectMaker(MakeCustomEffectMaker(files_));
  }
  void TearDown() override {
    InstallCustomEffectMaker(previous_);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  static std::unique_ptr<TZemFilter> Descriptor(const char16_t* effect, double progress) {
    auto f = std::make_unique<TZemFilter>();
    f->effectClass = 18;
    f->duration = 1000;
    f->progressTime = progress;
    f->params.customEffect = effect;
    return f;
  }
  TBitmap Frame(TZemFilter& descriptor) {
    TFnItem root([&](TDeviceDrawer& d) {
      d.Clear(0xFF404040u, true);
      d.DrawTransition(&older_, &newer_, &descriptor);
    });
    return rig_.Render(root);
  }

  test::TDrawerRig rig_{80, 60};
  fs::path dir_;
  std::shared_ptr<const TFileAccessor> files_;
  TFilterMaker previous_;
  TFnItem older_{[](TDeviceDrawer& d) { Fill(d, kRed); }};
  TFnItem newer_{[](TDeviceDrawer& d) { Fill(d, kBlue); }};
};

TEST_F(CustomTransitions, EffectSlideShowsTheCapturedSlides) {
  ZEM_REQUIRE_DRAWER(rig_);
  auto showNewer = Descriptor(u"newer.zem", 500);
  TBitmap b = Frame(*showNewer);
  ASSERT_NE(dynamic_cast<TRealSlideFilter*>(showNewer->filter.get()), nullptr);
  EXPECT_LE(ChannelDiff(Px(b, 40, 30), kBlue), 3) << std::hex << Px(b, 40, 30);
  auto showOlder = Descriptor(u"older.zem", 500);
  b = Frame(*showOlder);
  EXPECT_LE(ChannelDiff(Px(b, 40, 30), kRed), 3) << std::hex << Px(b, 40, 30);
  // The captures are handed back after the frame: the buffer images hold no picture.
  auto* fx = dynamic_cast<TRealSlideFilter*>(showOlder->filter.get());
  ASSERT_NE(fx, nullptr);
  for (show::TZemImage* image : fx->Effect().BufferImages(1)) EXPECT_FALSE(image->Picture());
  EXPECT_FALSE(older_.effectCapture_);
  EXPECT_FALSE(newer_.effectCapture_);
  // Past its end only the newer slide shows.
  showOlder->progressTime = 1000;
  EXPECT_EQ(Px(Frame(*showOlder), 40, 30), kBlue);
}

TEST_F(CustomTransitions, TheWholeTargetIsClearedBeforeTheEffectDraws) {
  ZEM_REQUIRE_DRAWER(rig_);
  // A frame confined to the middle of the target: what was there outside it before the
  // effect (the grey of the first clear) must not show through.
  rig_.drawer->SetClipRect({10, 10, 70, 50});
  auto showNewer = Descriptor(u"newer.zem", 500);
  TBitmap b = Frame(*showNewer);
  EXPECT_EQ(Px(b, 2, 2), 0xFF000000u) << std::hex << Px(b, 2, 2);
  EXPECT_EQ(Px(b, 77, 57), 0xFF000000u) << std::hex << Px(b, 77, 57);
  EXPECT_LE(ChannelDiff(Px(b, 40, 30), kBlue), 3) << std::hex << Px(b, 40, 30);
}

TEST_F(CustomTransitions, MissingEffectFileFallsBackToACrossFade) {
  ZEM_REQUIRE_DRAWER(rig_);
  auto missing = Descriptor(u"nothing.zem", 500);
  TBitmap b = Frame(*missing);
  ASSERT_NE(dynamic_cast<TAlphaFilter*>(missing->filter.get()), nullptr);
  EXPECT_LE(ChannelDiff(Px(b, 40, 30), 0xFF800080u), 3) << std::hex << Px(b, 40, 30);
}

TEST_F(CustomTransitions, PreparingASlideMakesItsCustomEffectReady) {
  ZEM_REQUIRE_DRAWER(rig_);
  // Slides are prepared once the device exists (it is made by the first frame).
  TFnItem blank([](TDeviceDrawer& d) { d.Clear(0xFF000000u, true); });
  rig_.Render(blank);
  auto custom = Descriptor(u"newer.zem", 250);
  PrepareSlideTransition(custom.get(), nullptr, *rig_.drawer);
  auto* fx = dynamic_cast<TRealSlideFilter*>(custom->filter.get());
  ASSERT_NE(fx, nullptr);
  EXPECT_FLOAT_EQ(fx->Progress(), 0.25f);
  const double begin = fx->EffectSlide()->GetAnchorTime(kSlideBegin);
  const double next = fx->EffectSlide()->GetAnchorTime(kNextEffectBegin);
  EXPECT_NEAR(fx->EffectSlide()->LastTime(), begin + (next - begin) * 0.25, 1e-6);
  // Other transitions are left to the drawer.
  auto fade = Descriptor(u"", 250);
  fade->effectClass = 2;
  PrepareSlideTransition(fade.get(), nullptr, *rig_.drawer);
  EXPECT_EQ(fade->filter, nullptr);
  PrepareSlideTransition(nullptr, nullptr, *rig_.drawer);
  // A custom effect that cannot be read leaves its cross-fade to the drawer.
  auto missing = Descriptor(u"nothing.zem", 250);
  PrepareSlideTransition(missing.get(), nullptr, *rig_.drawer);
  EXPECT_EQ(missing->filter, nullptr);
}

}  // namespace
}  // namespace zem
