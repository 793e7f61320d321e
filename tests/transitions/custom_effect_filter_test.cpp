// Custom effects made by the catalogue from effect files, and their fall-back to a cross-fade.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "model/zem_slide.h"
#include "package/show_locator.h"
#include "transitions/filter_factory.h"
#include "transitions/slide_eff_filter.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

struct TEffectFiles {
  fs::path dir;
  std::shared_ptr<const TFileAccessor> files;
  TFilterMaker previous;
  TEffectFiles() {
    dir = fs::temp_directory_path() / ("zem_trfx_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    std::ofstream(dir / "fx.zem") << "[Main]\nopt_scr_width=400\nopt_scr_height=300\nopt_slidescount=1\n"
                                     "opt_synchpos1=2000\n"
                                     "[Slide1]\nTransparentBg=1\n"
                                     "object image: out\n  ReplaceWithEffectBuffer=1\n"
                                     "  object keypoint:\n    Position=40,20\n  end\nend\n";
    std::ofstream(dir / "empty.zem") << "";
    files = std::shared_ptr<const TFileAccessor>(CreateDiskAccessor(dir.string()));
    InstallTransitionFilters();
    previous = InstallCustomEffectMaker(MakeCustomEffectMaker(files));
  }
  ~TEffectFiles() {
    InstallCustomEffectMaker(previous);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

std::unique_ptr<TObj> Make(const char16_t* text) {
  TEffectParams p;
  p.customEffect = text;
  return CreateFilter({0, 0, 400, 300}, 18, 0, nullptr, p, 1200);
}

TEST(CustomEffectFilter, EffectFileGivesASlideFilterThatFollowsTheProgress) {
  TEffectFiles f;
  ASSERT_NE(f.files, nullptr);
  auto made = Make(u"fx.zem");
  auto* fx = dynamic_cast<TRealSlideFilter*>(made.get());
  ASSERT_NE(fx, nullptr);
  EXPECT_EQ(fx->CaptureFlag(), 1);
  ASSERT_NE(fx->EffectSlide(), nullptr);
  EXPECT_EQ(fx->Duration(), 1200);
  EXPECT_EQ(fx->Effect().BufferImages(1).size(), 1u);
  const double begin = fx->EffectSlide()->GetAnchorTime(kSlideBegin);
  const double next = fx->EffectSlide()->GetAnchorTime(kNextEffectBegin);
  fx->SetProgress(0.5f);
  EXPECT_NEAR(fx->EffectSlide()->LastTime(), begin + (next - begin) * 0.5, 1e-6);
  fx->SetItems(nullptr, nullptr);
  fx->Finish();
}

TEST(CustomEffectFilter, MissingOrEmptyEffectFallsBackToCrossFade) {
  TEffectFiles f;
  for (const char16_t* text : {u"", u"missing.zem", u"empty.zem"}) {
    auto made = Make(text);
    EXPECT_NE(dynamic_cast<TAlphaFilter*>(made.get()), nullptr);
  }
}

}  // namespace
}  // namespace zem
