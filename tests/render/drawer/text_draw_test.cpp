// Text drawn headless: a text picture is drawn from its own full-size texture whatever level or
// grid the parameters name, and a text's hover and click colours reach the screen.
#include "drawer_support.h"
#include "model/show_loader.h"
#include "model/text_picture.h"
#include "model/zem_text.h"
#include "script/ini_file.h"

namespace zem::test {
namespace {

TEST(TextDrawing, PictureWithItsOwnTextureIgnoresLevelAndGrid) {
  TDrawerRig rig(96, 64);
  ZEM_REQUIRE_DRAWER(rig);
  TTextRaster raster;
  raster.bitmap = *Checker(64, 48)->Pixels();
  auto text = MakeRef<TTextPicture>(std::move(raster), u"Text: checker");
  auto plain = Checker(64, 48);
  auto draw = [&](TDrawPicture* pic, int32_t level, int32_t grid) {
    TFnItem item([&](TDeviceDrawer& d) {
      d.Clear(0xFF000000u, true);
      TImageParams p;
      p.mipLevel = level;
      p.spriteColumns = p.spriteRows = grid;
      d.DrawImage(pic, {16, 8, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
    });
    return rig.Render(item);
  };
  const TBitmap reference = draw(plain.get(), 0, 1);
  const TBitmap own = draw(text.get(), 2, 2);
  const TBitmap reduced = draw(plain.get(), 2, 1);
  int ownDiff = 0, reducedDiff = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 96; ++x) {
      ownDiff = std::max(ownDiff, ChannelDiff(Px(own, x, y), Px(reference, x, y)));
      reducedDiff = std::max(reducedDiff, ChannelDiff(Px(reduced, x, y), Px(reference, x, y)));
    }
  EXPECT_LE(ownDiff, 2);       // the full picture, at full size
  EXPECT_GT(reducedDiff, 60);  // an ordinary picture at level 2 loses the 8-pixel squares
}

TEST(TextDrawing, HoverAndClickColoursReachTheScreen) {
  TDrawerRig rig(240, 60);
  ZEM_REQUIRE_DRAWER(rig);
  TIniFile ini;
  std::string text = "[Main]\nopt_scr_width=240\nopt_scr_height=60\nopt_slidescount=1\nopt_synchpos1=5000\n[Slide1]\n";
  for (int i = 0; i < 3; ++i)
    text += "object text: t" + std::to_string(i) +
            "\nText=Go\nTextColor=255,255,255\nTextColorHover=255,200,0\nTextColorClick=0,160,255\n"
            "Action=nextslide\nobject keypoint:\nTime=0\nScaleY=60\nScaleX=60\nPosition=" +
            std::to_string(-66 + 66 * i) + ",0\nend\nend\n";
  ini.LoadFromText(Utf8ToWide(text));
  auto host = MakeRef<TSimpleSlideHost>(240, 60);
  std::string error;
  auto slide = BuildSectionTree(ini, u"Slide1", host, &error);
  ASSERT_TRUE(slide) << error;
  slide->SetTimeAndUpdate(true, 0);
  for (int i = 0; i < 3; ++i)
    dynamic_cast<TZemText*>(slide->Child(i))->SetState(uint8_t(i));
  TBitmap b = rig.Render(*slide);
  // The fullest ink pixel of each third has the colour of that text's state.
  const uint32_t want[3] = {0xFFFFFFFFu, 0xFFFFC800u, 0xFF00A0FFu};
  for (int i = 0; i < 3; ++i) {
    uint32_t best = 0;
    int bestLuma = -1;
    for (int y = 0; y < 60; ++y)
      for (int x = i * 80; x < i * 80 + 80; ++x) {
        const uint32_t p = Px(b, x, y);
        const int l = int(((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255));
        if (l > bestLuma) bestLuma = l, best = p;
      }
    EXPECT_LE(ChannelDiff(best, want[i]), 3) << i;
  }
  ExpectGolden(b, "text_states");
}

}  // namespace
}  // namespace zem::test
