// Golden frames of a slide with a themed button in its three looks, driven through the engine's
// mouse path (hover, then a press held over a few frames), a picture and a text with drop
// shadows and a viewport masked by a preset ellipse.
#include <gtest/gtest.h>

#include <thread>

#include "engine/application.h"
#include "engine/engine.h"
#include "foundation/clock.h"
#include "model/button_test_util.h"
#include "render/draw_device.h"
#include "render/drawer/drawer_support.h"
#include "render/gl_device.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"
#include "transitions/filter_factory.h"

namespace zem::test {
namespace {

constexpr int32_t kW = 240, kH = 160;

std::vector<uint8_t> Png(const TBitmap& b) {
  std::vector<uint8_t> out;
  EncodePng(b, out);
  return out;
}

// A 64 x 64 orange disc on transparency.
TBitmap Disc() {
  TBitmap b;
  b.Allocate(64, 64, TPixelFormat::Argb32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if ((x - 31.5) * (x - 31.5) + (y - 31.5) * (y - 31.5) < 30 * 30) b.SetPixel(x, y, 0xFFF08020u);
  return b;
}

const char kShow[] = R"([Main]
opt_scr_full=0
opt_scr_width=240
opt_scr_height=160
opt_slidescount=1
opt_synchpos1=5000
opt_fx_enable=0
PathToButtons=Buttons\
[Slide1]
Pers_Fon=1
bstyle=1
bname=7364688
object image: logo
  ImageName=logo.png
  ShadowEnable=1
  ShadowSize=40
  ShadowDistance=12
  object keypoint:
    Time=0
    ScaleX=35
    ScaleY=35
    Position=-55,-45
  end
end
object text: title
  Text=Zem
  ShadowOpacity=90
  ShadowDistance=4
  object keypoint:
    Time=0
    ScaleX=30
    ScaleY=30
    Position=45,-50
  end
end
object viewport: vp
  Size=100,100
  object keypoint:
    Time=0
    ScaleX=45
    ScaleY=45
    Position=-50,45
  end
  object mask: m
    ImageName=PresetedMask:128:128:1:40
    object keypoint:
      Time=0
    end
  end
  object image: content
    ImageName=checker.png
    object keypoint:
      Time=0
    end
  end
end
object button: go
  Theme=aqua
  Action=nextslide
  ShadowEnable=1
  object keypoint:
    Time=0
    ScaleX=20
    ScaleY=20
    Position=50,50
  end
  object text: label
    Text=Go
    object keypoint:
      Time=0
    end
  end
end
)";

class ButtonFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    T3DEngineGL::Instance().SetUiThread(std::this_thread::get_id());
    InstallTransitionFilters();
  }
  void TearDown() override { engine_.reset(); }

  bool Open() {
    auto device = THeadlessDevice::Create(kW, kH);
    if (!device) return false;
    auto files = MakeRef<TThemeSource>();
    AddTheme(*files, "aqua", ThemeIni("Color=10,20,30\nBtnOffset=20\n"));
    files->members["logo.png"] = Png(Disc());
    files->members["checker.png"] = Png(*Checker(64, 64)->Pixels());
    engine_ = std::make_unique<TZemEngine>(&app_, device.release(), 0, true, true);
    engine_->SetMusicDeviceFactory([] { return std::unique_ptr<TMusicPlayer>(); });
    engine_->SetOnFirstFrame([this] { ++firstFrames_; });
    engine_->SetOnEvent([this](TZemEventData& e) {
      if (e.code == kUiCaptured) captured_ = dynamic_cast<TPictureValue&>(*e.objectValue).picture;
    });
    auto ini = std::make_unique<TIniFile>();
    EXPECT_TRUE(ini->LoadFromText(Utf8ToWide(kShow)));
    engine_->OpenShow(std::make_unique<TFileAccessor>(TRef<TFileSource>(files.get())), std::move(ini), 1000);
    PinDriverModules();
    return engine_->Start() && PumpUntil([&] { return firstFrames_ >= 1; });
  }
  bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs = 8000) {
    const uint32_t start = TimeGetTime();
    while (TimeGetTime() - start < timeoutMs) {
      app_.ProcessMessages();
      T3DEngineGL::Instance().RunPendingRequests();
      if (done()) return true;
      SleepMs(2);
    }
    return done();
  }
  // The frame as it stands now, opaque.
  TBitmap Capture() {
    captured_.reset();
    engine_->Capture();
    if (!PumpUntil([&] { return captured_.get() != nullptr; }) || !captured_->Pixels()) return {};
    TBitmap b = *captured_->Pixels();
    b.ConvertTo(TPixelFormat::Argb32);
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) b.SetPixel(x, y, b.GetPixel(x, y) | 0xFF000000u);
    return b;
  }

  TZemApplication app_;
  std::unique_ptr<TZemEngine> engine_;
  int firstFrames_ = 0;
  TRef<TDrawPicture> captured_;
};

TEST_F(ButtonFrames, ButtonLooksFollowTheMouseAndShadowsAndMasksDraw) {
  if (!Open()) GTEST_SKIP() << "no offscreen video driver";
  // The button's top band: its pieces' colour (red, green, blue per look), above the caption.
  const int bx = 180, by = 105;
  const TBitmap normal = Capture();
  ASSERT_FALSE(normal.Empty());
  EXPECT_LE(ChannelDiff(Px(normal, bx, by), 0xFFFF0000u), 40);
  // The picture's shadow falls below and right of it, darker than the background.
  EXPECT_LT(Px(normal, 75, 65) & 0xFF, (Px(normal, 4, 4) & 0xFF) - 20);
  // The viewport shows the checker inside the ellipse only.
  EXPECT_EQ(Px(normal, 60 - 35, 116 - 35), Px(normal, 4, 4));
  ExpectGolden(normal, "buttons_normal");

  engine_->PostMouse({kMouseMove, bx, 120, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return engine_->HoverLink(); }));
  const TBitmap hover = Capture();
  EXPECT_LE(ChannelDiff(Px(hover, bx, by), 0xFF00FF00u), 40);
  ExpectGolden(hover, "buttons_hover");

  // Pressed and held over several frames: the click look stays.
  engine_->PostMouse({kMouseDown, bx, 120, 16, 1});
  const uint32_t frames = engine_->FramesDrawn();
  ASSERT_TRUE(PumpUntil([&] { return engine_->FramesDrawn() > frames; }));
  PumpUntil([] { return false; }, 100);
  const TBitmap click = Capture();
  EXPECT_LE(ChannelDiff(Px(click, bx, by), 0xFF0000FFu), 40);
  ExpectGolden(click, "buttons_click");
}

}  // namespace
}  // namespace zem::test
