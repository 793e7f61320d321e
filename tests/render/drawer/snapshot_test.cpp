// A show drawn at one show time without a display.
#include <gtest/gtest.h>

#include "drawer_support.h"
#include "model/slide_source.h"
#include "render/drawer/headless_window.h"
#include "render/drawer/snapshot.h"
#include "script/ini_file.h"

namespace zem {
namespace {

TRef<TZemSource> Show(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  return MakeRef<TZemSource>(std::move(ini), nullptr);
}

TEST(ShowSnapshot, DrawsTheSlideOnScreenAtThatTimeInsideTheLetterbox) {
  auto probe = THeadlessWindow::Create(8, 8);
  if (!probe) GTEST_SKIP() << "no headless window here";
  test::PinDriverModules();  // keeps the driver's exit-time allocations nameable for the leak check
  // Slide 1 red, slide 2 blue; a 4:3 show into a 16:9 picture; hider colour green (code 0xFF00).
  auto show = Show(
      u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=2\n"
      u"opt_synchpos1=3000\nopt_synchpos2=6000\nopt_scr_hidercolor=65280\n"
      u"[Slide1]\nPers_Fon=1\nbstyle=1\nbname=255\n[Slide2]\nPers_Fon=1\nbstyle=1\nbname=16711680\n");
  TBitmap first, second;
  std::string error;
  ASSERT_TRUE(RenderShowSnapshot(show, 1000, 160, 90, first, &error)) << error;
  ASSERT_EQ(first.Width(), 160);
  ASSERT_EQ(first.Height(), 90);
  EXPECT_EQ(first.GetPixel(80, 45) | 0xFF000000u, 0xFFFF0000u);
  ASSERT_TRUE(RenderShowSnapshot(show, 4500, 160, 90, second, &error)) << error;
  EXPECT_EQ(second.GetPixel(80, 45) | 0xFF000000u, 0xFF0000FFu);
  // Outside the 120 × 90 view in the middle: the letterbox.
  EXPECT_EQ(second.GetPixel(3, 45) | 0xFF000000u, 0xFF00FF00u);
  EXPECT_EQ(second.GetPixel(156, 10) | 0xFF000000u, 0xFF00FF00u);
}

TEST(ShowSnapshot, RejectsBadSizes) {
  auto show = Show(u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=1\nopt_synchpos1=3000\n[Slide1]\n");
  TBitmap b;
  std::string error;
  EXPECT_FALSE(RenderShowSnapshot(show, 0, 0, 90, b, &error));
  EXPECT_FALSE(RenderShowSnapshot(show, 0, 100000, 90, b, &error));
  EXPECT_FALSE(RenderShowSnapshot(TRef<TZemSource>(), 0, 10, 10, b, &error));
}

}  // namespace
}  // namespace zem
