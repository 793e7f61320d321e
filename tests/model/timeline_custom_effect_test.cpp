#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

#include "model/effect_custom.h"
#include "package/show_locator.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

// An effect file in its own folder, reached through a disk accessor.
struct TEffectFolder {
  fs::path dir;
  std::unique_ptr<TFileAccessor> files;
  TEffectFolder() {
    dir = fs::temp_directory_path() / ("zem_fx_" + std::to_string(::getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    std::ofstream(dir / "fx.zem") << "[Main]\nopt_scr_width=400\nopt_scr_height=300\nopt_slidescount=1\n"
                                     "opt_synchpos1=2000\n"
                                     "[Slide1]\nCoverMode=1\nTransparentBg=1\nCustomEffBg=3\n"
                                     "object image: out\n  ReplaceWithEffectBuffer=1\n"
                                     "  object keypoint:\n    Position=40,20\n  end\nend\n"
                                     "object image: in\n  ReplaceWithEffectBuffer=2\n"
                                     "  object keypoint:\n    Position=-10,0\n  end\nend\n";
    std::ofstream(dir / "empty.zem") << "";
    files = CreateDiskAccessor(dir.string());
  }
  ~TEffectFolder() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

TEST(CustomEffect, ChoosesOneNameOfTheList) {
  TEffectRandom r;
  r.SetFixedSeed(4);
  EXPECT_EQ(TCustomEffect::ChooseName(u"", r), u"");
  EXPECT_EQ(TCustomEffect::ChooseName(u"|", r), u"");
  EXPECT_EQ(TCustomEffect::ChooseName(u"one.fx", r), u"one.fx");
  std::set<WideString> seen;
  for (int i = 0; i < 60; ++i) seen.insert(TCustomEffect::ChooseName(u"a|b|c", r));
  EXPECT_EQ(seen, (std::set<WideString>{u"a", u"b", u"c"}));
}

TEST(CustomEffect, EffectSlideRunsWithTheProgress) {
  TEffectFolder f;
  ASSERT_NE(f.files, nullptr);
  TCustomEffect fx;
  ASSERT_TRUE(fx.Open(*f.files, u"fx.zem", {800, 600}, 50, 50));
  EXPECT_TRUE(fx.coverMode);
  EXPECT_TRUE(fx.transparentBg);
  EXPECT_EQ(fx.customEffBg, 3);
  ASSERT_TRUE(fx.Init());
  ASSERT_EQ(fx.BufferImages(1).size(), 1u);
  ASSERT_EQ(fx.BufferImages(2).size(), 1u);
  // Positions are rescaled by 100 / view scale.
  EXPECT_FLOAT_EQ(fx.BufferImages(1)[0]->Keys().At(0)->Values().posX, 80);
  EXPECT_FLOAT_EQ(fx.BufferImages(1)[0]->Keys().At(0)->Values().posY, 40);
  EXPECT_FLOAT_EQ(fx.BufferImages(2)[0]->Keys().At(0)->Values().posX, -20);
  EXPECT_DOUBLE_EQ(fx.SetProgress(0.5), 1000);
  EXPECT_DOUBLE_EQ(fx.SetProgress(7), 2000);  // kept within the effect
  // Until captures arrive the buffer images show the stand-in picture.
  ASSERT_NE(fx.BufferImages(1)[0]->Picture(), nullptr);
  EXPECT_EQ(fx.BufferImages(1)[0]->Picture()->Name(), u"zaglushka for slide-effect buffer");
  TBitmap b;
  b.Allocate(8, 6, TPixelFormat::Argb32);
  TRef<TDrawPicture> older(new TBitmapPicture(b, u"older")), newer(new TBitmapPicture(b, u"newer"));
  fx.AttachCaptures(older, newer);
  EXPECT_EQ(fx.BufferImages(1)[0]->Picture(), older.get());
  EXPECT_EQ(fx.BufferImages(2)[0]->Picture(), newer.get());
  fx.Finish();
  EXPECT_EQ(fx.BufferImages(1)[0]->Picture(), nullptr);
  EXPECT_EQ(older->RefCount(), 1);
}

TEST(CustomEffect, MissingOrEmptyFilesFail) {
  TEffectFolder f;
  TCustomEffect fx;
  EXPECT_FALSE(fx.Open(*f.files, u"none.zem", {800, 600}, 100, 100));
  EXPECT_FALSE(fx.Open(*f.files, u"empty.zem", {800, 600}, 100, 100));
  EXPECT_FALSE(fx.Open(*f.files, u"", {800, 600}, 100, 100));
  EXPECT_FALSE(fx.Init());
  EXPECT_EQ(fx.SetProgress(0.5), 0);
}

}  // namespace
}  // namespace zem
