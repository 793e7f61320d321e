// The overlay above the slides: placement, logo, navigation panel set-up and mouse routing,
// the panel's actions, auto-hide fades, dialog fades and the drawing order with the border.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/mouse_move_detector.h"
#include "engine/nav_bar.h"
#include "engine/nav_panel.h"
#include "engine/placement.h"
#include "engine/third_slide.h"
#include "foundation/assert.h"
#include "model/recording_drawer.h"
#include "model/slide_producer.h"
#include "model/zem_box.h"
#include "package/file_accessor.h"
#include "render/drawer/root_item.h"
#include "resources/file_access.h"
#include "script/ini_file.h"

namespace zem {
namespace {

// ---------------------------------------------------------------------------------------------
// Test doubles

// Members held in memory, opened by exact name.
class TMemorySource : public TFileSource {
 public:
  std::map<std::string, std::string> files;

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override {
    auto it = files.find(name);
    if (it == files.end()) return nullptr;
    return std::make_unique<TMemoryStream>(std::vector<uint8_t>(it->second.begin(), it->second.end()));
  }
};

constexpr int32_t kNoClick = 1000;

// A bar that reads its action names and picture size from a "[Fake]" section, records every
// call and reports a click on each button release.
class TFakeBar : public TCustomNavBar {
 public:
  explicit TFakeBar(bool video) : video_(video) {}

  void LoadTheme(const TIniStorage& storage, const WideString& folder) override {
    calls.push_back("LoadTheme " + WideToUtf8(folder));
    if (const TIniSection* s = storage.FindSection(u"Fake")) {
      std::vector<WideString> names;
      s->ReadStrings(u"Names", names);
      for (const WideString& n : names) actionNames.push_back(TrimBlanks(n));
      if (s->ReadBool(u"Fail", false)) throw std::runtime_error("Incorrect number of parameters in field \"Cell\"");
    }
    width_ = storage.ReadInteger(u"Fake", u"Width", 200);
    height_ = storage.ReadInteger(u"Fake", u"Height", 40);
    exitSide_ = storage.ReadInteger(u"Fake", u"ExitSide", 50);
    if (loadPicture) themePicture = loadPicture(folder + u"cells.png");
  }
  void SetButtons(std::span<const int32_t> indexes) override {
    buttonIndexes.assign(indexes.begin(), indexes.end());
    std::string line = "SetButtons";
    for (int32_t i : indexes) line += " " + std::to_string(i);
    calls.push_back(line);
    Render();
  }
  void MouseEvent(int32_t button, uint8_t state, uint8_t kind, int32_t y, int32_t x) override {
    calls.push_back("Mouse b=" + std::to_string(button) + " s=" + std::to_string(state) + " k=" +
                    std::to_string(kind) + " y=" + std::to_string(y) + " x=" + std::to_string(x) +
                    (exitHalf && exitHalf() ? " exit" : ""));
    if (kind == 2 && clickOnUp != kNoClick && onClick) onClick(clickOnUp);
  }
  void Update(double t) override { calls.push_back("Update " + TRecordingDrawer::Num(t)); }
  void SetVolume(float v) override { calls.push_back("SetVolume " + TRecordingDrawer::Num(v)); }
  void SetWidth(int32_t w) override { calls.push_back("SetWidth " + std::to_string(w)); }
  void SetHeight(int32_t h) override { calls.push_back("SetHeight " + std::to_string(h)); }
  void SetScale(float s) override { calls.push_back("SetScale " + TRecordingDrawer::Num(s)); }

  void Render() {
    picture.Allocate(width_, height_, TPixelFormat::Argb32);
    if (onPictureChanged) onPictureChanged({0, 0, width_, height_});
    if (video_ && onExitPictureChanged) {
      exitPicture.Allocate(exitSide_, exitSide_, TPixelFormat::Argb32);
      onExitPictureChanged({0, 0, exitSide_, exitSide_});
    }
  }
  size_t MouseCalls() const {
    size_t n = 0;
    for (const std::string& c : calls) n += c.rfind("Mouse", 0) == 0;
    return n;
  }

  std::vector<std::string> calls;
  int32_t clickOnUp = kNoClick;
  TBitmap themePicture;

 private:
  bool video_;
  int32_t width_ = 200, height_ = 40, exitSide_ = 50;
};

TFakeBar* g_bar = nullptr;  // the bar the factory made last

// Everything an overlay needs: a show in memory, a clock the test moves, the root item and the
// engine callbacks.
class OverlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetNavBarFactory([](bool video) {
      auto bar = std::make_unique<TFakeBar>(video);
      g_bar = bar.get();
      return bar;
    });
    g_bar = nullptr;
    source = MakeRef<TMemorySource>();
    files = std::make_unique<TFileAccessor>(source);
    provider = AddPictureProvider(*source, [this](const std::string& name, void*) -> std::unique_ptr<TImage> {
      auto it = pictures.find(name);
      if (it == pictures.end()) return nullptr;
      return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(it->second));
    });
    root.backgroundColour = 0x112233;
  }
  void TearDown() override {
    overlay.reset();
    SetNavBarFactory(previous_);
    g_bar = nullptr;
  }

  void AddPicture(const std::string& name, int32_t w, int32_t h, uint32_t argb = 0xFF808080u,
                  TPixelFormat format = TPixelFormat::Argb32) {
    TBitmap b;
    ASSERT_TRUE(b.Allocate(w, h, format));
    b.Fill(argb);
    pictures[name] = std::move(b);
  }
  void AddTheme(const std::string& body, const std::string& name = "themes\\nav.ini") {
    source->files[name] = body;
  }

  TThirdSlide& Make(const std::string& mainKeys, TRectI showRect = {100, 50, 900, 650},
                    TPointI window = {1000, 800}, float screenScale = 1.5f) {
    script = std::make_unique<TIniFile>();
    EXPECT_TRUE(script->LoadFromText(Utf8ToWide("[Main]\n" + mainKeys)));
    TThirdSlideOptions options;
    options.clock = [this] { return now; };
    options.screenScale = screenScale;
    overlay = std::make_unique<TThirdSlide>(
        files.get(), *script, showRect, &root, uint8_t(0), [this](float v) { volumes.push_back(v); },
        [this](float t) { seeks.push_back(t); }, [this] { return playing; }, window,
        TPointI{showRect.Width(), showRect.Height()}, 0.5f, 90000.0, options);
    return *overlay;
  }

  // A dialog of the design size 800 x 600 with one 80 x 60 box centred at (200, 300).
  std::unique_ptr<TZemDialog> MakeDialog(const std::u16string& name, bool pause = false,
                                         const char16_t* action = u"nextslide") {
    auto d = std::make_unique<TZemDialog>(MakeRef<TSimpleSlideHost>(800, 600), name);
    d->SetGeometry({800, 600}, 100, 100, {800, 600});
    d->SetAnchors(0, 0, 0, 0);
    d->dialogPause = pause;
    TZemBox* box = TZemObject::Create<TZemBox>(d.get(), u"box");
    box->SetSize(800, 600);
    box->SetPosMode(kModeAbsolute);
    box->Keys().current.scaleX = box->Keys().current.scaleY = 10;
    box->Keys().current.posX = -200;
    box->SetAction(action);
    d->SetTimeAndUpdate(true, 0);
    return d;
  }

  // One whole frame of the overlay; the drawer clips to the show rectangle.
  std::vector<std::string> DrawFrame(TRectI clip = {100, 50, 900, 650}) {
    TRecordingDrawer drawer(1000, 800);
    drawer.SetClipRect(clip);
    drawer.ClearLog();
    drawer.DrawItem(overlay.get());
    std::vector<std::string> kept;
    for (const std::string& l : drawer.Lines())
      if (l.rfind("DrawImage", 0) == 0 || l.rfind("ClearRect", 0) == 0 || l == "DrawItem depth=1")
        kept.push_back(l.substr(0, l.find(' ', 10)));
    return kept;
  }

  uint32_t now = 1000;
  bool playing = true;
  std::vector<float> volumes, seeks;
  TRef<TMemorySource> source;
  std::unique_ptr<TFileAccessor> files;
  std::unique_ptr<TCallbackHandle> provider;
  std::map<std::string, TBitmap> pictures;
  std::unique_ptr<TIniFile> script;
  TRootItem root{true};
  std::unique_ptr<TThirdSlide> overlay;

 private:
  TNavBarFactory previous_;
};

const std::string kClassicTheme = "[Fake]\nNames=home,backward,forward,print,pause,help,exit\n";
const std::string kPanel = "opt_fcp=1\nopt_nav_inifile=themes\\nav.ini\n";

// ---------------------------------------------------------------------------------------------
// Placement and picture reduction

TEST(OverlayPlacement, NamedPositionsFollowTheFormula) {
  const TRectI area{100, 50, 900, 650};  // 800 x 600
  // Centre: the element's middle on the area's middle.
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::Center, 30), 100, 50), (TRectI{450, 325, 550, 375}));
  // Corners with offset 10: 10 % of half the area (40 and 30 pixels) inside.
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::LeftTop, 10), 100, 50), (TRectI{140, 80, 240, 130}));
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::RightBottom, 10), 100, 50), (TRectI{760, 570, 860, 620}));
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::RightTop, 0), 100, 50), (TRectI{800, 50, 900, 100}));
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::LeftBottom, 0), 100, 50), (TRectI{100, 600, 200, 650}));
  // Edge middles: the offset moves only across the edge.
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::Top, 10), 100, 50), (TRectI{450, 80, 550, 130}));
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::Bottom, 10), 100, 50), (TRectI{450, 570, 550, 620}));
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::Left, 10), 100, 50), (TRectI{140, 325, 240, 375}));
  EXPECT_EQ(PlaceRect(area, PlacementFor(TPlacePosition::Right, 10), 100, 50), (TRectI{760, 325, 860, 375}));
  EXPECT_EQ(PlacementNames()[4], u"Right-Bottom");
}

TEST(OverlayPlacement, LogoCodesMapToPositions) {
  EXPECT_EQ(LogoPosition(0), TPlacePosition::Left);
  EXPECT_EQ(LogoPosition(1), TPlacePosition::Top);
  EXPECT_EQ(LogoPosition(2), TPlacePosition::Right);
  EXPECT_EQ(LogoPosition(3), TPlacePosition::Bottom);
  EXPECT_EQ(LogoPosition(5), TPlacePosition::LeftTop);
  EXPECT_EQ(LogoPosition(6), TPlacePosition::RightTop);
  EXPECT_EQ(LogoPosition(7), TPlacePosition::RightBottom);
  EXPECT_EQ(LogoPosition(8), TPlacePosition::LeftBottom);
  for (int32_t code : {4, 9, -1, 1000}) EXPECT_EQ(LogoPosition(code), TPlacePosition::Center) << code;
}

TEST(OverlayPlacement, HalvingStopsBelowTwiceTheTarget) {
  // 4000 x 3000 for 133.3 x 100: four halvings.
  EXPECT_EQ(HalvedSize(4000, 3000, 400.0 / 3, 100), (TPointI{250, 188}));
  // Already small enough: unchanged.
  EXPECT_EQ(HalvedSize(200, 100, 200, 100), (TPointI{200, 100}));
  // Exactly twice the target still halves once.
  EXPECT_EQ(HalvedSize(400, 200, 200, 100), (TPointI{200, 100}));
  // A target of nothing, or a tiny one, never loops without end.
  EXPECT_EQ(HalvedSize(64, 64, 0, 0), (TPointI{64, 64}));
  EXPECT_EQ(HalvedSize(5, 3, 1e-9, 1e-9), (TPointI{1, 1}));
}

TEST(OverlayPlacement, HalvingAveragesByAlpha) {
  TBitmap b;
  ASSERT_TRUE(b.Allocate(3, 3, TPixelFormat::Argb32));
  b.Fill(0x00000000u);
  b.SetPixel(0, 0, 0xFFFF0000u);  // opaque red next to transparent black
  b.SetPixel(2, 0, 0xFF0000FFu);
  b.SetPixel(2, 2, 0x80FFFFFFu);
  TBitmap h = HalvePicture(b);
  ASSERT_EQ(h.Width(), 2);
  ASSERT_EQ(h.Height(), 2);
  // Red keeps its colour; alpha is the cell average (255 / 4).
  EXPECT_EQ(h.GetPixel(0, 0), 0x40FF0000u);
  // The odd column averages two pixels: blue and transparent.
  EXPECT_EQ(h.GetPixel(1, 0), 0x800000FFu);
  // The odd corner is a single pixel.
  EXPECT_EQ(h.GetPixel(1, 1), 0x80FFFFFFu);
  // A fully transparent cell keeps the plain average.
  EXPECT_EQ(h.GetPixel(0, 1), 0x00000000u);
}

// ---------------------------------------------------------------------------------------------
// Pointer idleness

TEST(OverlayMoveDetector, JitterIsNoMovementAndIdleFollowsTheInterval) {
  uint32_t now = 500;
  TMouseMoveDetector d([&] { return now; });
  d.SetInterval(3000);
  EXPECT_FALSE(d.Feed(10, 10));  // first position only recorded
  EXPECT_FALSE(d.Feed(13, 12));  // 5 pixels
  EXPECT_TRUE(d.Feed(14, 12));   // 6 pixels from (10, 10)
  EXPECT_EQ(d.MoveTime(), 500);
  now = 3500;
  EXPECT_FALSE(d.IsIdle());  // exactly the interval
  now = 3501;
  EXPECT_TRUE(d.IsIdle());
  // Small steps never restart the time, however many.
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(d.Feed(14 + (i % 2) * 5, 12));
  EXPECT_TRUE(d.IsIdle());

  // SetIdle(false) restarts the idle time at the next question.
  d.SetIdle(false);
  now = 5000;
  EXPECT_FALSE(d.IsIdle());
  EXPECT_EQ(d.MoveTime(), 5000);
  now = 8001;
  EXPECT_TRUE(d.IsIdle());
  // SetIdle(true): idle at once.
  now = 9000;
  ASSERT_TRUE(d.Feed(100, 100));
  EXPECT_FALSE(d.IsIdle());
  d.SetIdle(true);
  EXPECT_TRUE(d.IsIdle());
}

// ---------------------------------------------------------------------------------------------
// Logo

TEST_F(OverlayTest, LogoPositionsFourAndNineAreTheCentre) {
  AddPicture("logo.png", 200, 100);
  for (const char* code : {"4", "9"}) {
    TThirdSlide& o = Make(std::string("opt_logo=1\nopt_logo_fn=logo.png\nopt_logo_pos=") + code +
                          "\nopt_logo_offset=20\n");
    ASSERT_EQ(o.LogoIndex(), 0);
    // 10 % of the 600-pixel show height: 60 high, 120 wide, centred in the show rectangle.
    EXPECT_EQ(o.Pictures()[0].rect, (TRectI{440, 320, 560, 380})) << code;
  }
  // Position 0 is the left edge, moved in by the offset (20 % of half the width = 80).
  TThirdSlide& left = Make("opt_logo=1\nopt_logo_fn=logo.png\nopt_logo_pos=0\nopt_logo_offset=20\n");
  EXPECT_EQ(left.Pictures()[0].rect, (TRectI{180, 320, 300, 380}));
}

TEST_F(OverlayTest, LargeLogoIsHalvedFourTimes) {
  AddPicture("big.jpg", 4000, 3000, 0xFF336699u, TPixelFormat::Rgb24);
  TThirdSlide& o = Make("opt_logo=1\nopt_logo_fn=big.jpg\nopt_logo_pos=7\nopt_logo_size=10\nopt_logo_opacity=40\n",
                        {0, 0, 1400, 1000}, {1400, 1000});
  ASSERT_EQ(o.LogoIndex(), 0);
  const TThirdSlide::TPictureEntry& e = o.Pictures()[0];
  EXPECT_EQ(e.picture->Width(), 250);
  EXPECT_EQ(e.picture->Height(), 188);
  ASSERT_NE(e.picture->Pixels(), nullptr);
  EXPECT_EQ(e.picture->Pixels()->GetPixel(100, 100), 0xFF336699u);
  // Shown at 133 x 100 in the bottom-right corner, at the logo's opacity.
  EXPECT_EQ(e.rect, (TRectI{1267, 900, 1400, 1000}));
  EXPECT_FLOAT_EQ(e.params.opacity, 40);
  TImageParams expected;
  expected.opacity = 40;
  EXPECT_EQ(e.params, expected);
}

TEST_F(OverlayTest, LogoNeedsBothKeysAndAUsableSize) {
  AddPicture("logo.png", 200, 100);
  EXPECT_EQ(Make("opt_logo_fn=logo.png\n").LogoIndex(), -1);
  EXPECT_EQ(Make("opt_logo=1\n").LogoIndex(), -1);
  EXPECT_EQ(Make("opt_logo=1\nopt_logo_fn=logo.png\nopt_logo_size=0\n").LogoIndex(), -1);
  EXPECT_EQ(Make("opt_logo=1\nopt_logo_fn=logo.png\nopt_logo_size=-5\n").Pictures().size(), 0u);
  // A small logo is shown as loaded; a missing one as the placeholder picture.
  TThirdSlide& small = Make("opt_logo=1\nopt_logo_fn=logo.png\n");
  EXPECT_EQ(small.Pictures()[0].picture->Width(), 200);
  TThirdSlide& missing = Make("opt_logo=1\nopt_logo_fn=gone.png\n");
  ASSERT_EQ(missing.LogoIndex(), 0);
  EXPECT_GT(missing.Pictures()[0].picture->Width(), 0);
}

// ---------------------------------------------------------------------------------------------
// Panel set-up

TEST_F(OverlayTest, PanelIsSetUpInOrderWithTheFoundButtons) {
  AddTheme("[Fake]\nNames=home,forward\n");
  AddPicture("themes\\cells.png", 8, 4, 0xFF00FF00u, TPixelFormat::Rgb24);
  TThirdSlide& o = Make(kPanel + "opt_newnavbuttons_count=3\nopt_newnavbutton1=help\nopt_newnavbutton2=forward\n"
                                 "opt_newnavbutton3=home\nopt_nav_showbg=1\nopt_nav_hue=40\n");
  ASSERT_NE(o.Panel(), nullptr);
  ASSERT_NE(g_bar, nullptr);
  // "help" is not in the theme: no button for it, the later names still count.
  const std::vector<std::string> expected = {"LoadTheme themes\\", "SetWidth 1000", "SetScale 1.5",
                                             "SetButtons 1 0", "Update 0", "SetVolume 0.5"};
  EXPECT_EQ(g_bar->calls, expected);
  EXPECT_TRUE(g_bar->showBackground);
  EXPECT_EQ(g_bar->hue, 40);
  // Theme pictures come as 32-bit pictures through the show's files, folder in front.
  EXPECT_EQ(g_bar->themePicture.Format(), TPixelFormat::Argb32);
  EXPECT_EQ(g_bar->themePicture.GetPixel(3, 3), 0xFF00FF00u);
  // The engine's callbacks and the show's duration reach the bar.
  ASSERT_TRUE(g_bar->duration && g_bar->seek && g_bar->setVolume && g_bar->isPlaying);
  EXPECT_EQ(g_bar->duration(), 90000.0);
  g_bar->seek(1234);
  g_bar->setVolume(0.25f);
  playing = false;
  EXPECT_FALSE(g_bar->isPlaying());
  EXPECT_EQ(seeks, std::vector<float>{1234});
  EXPECT_EQ(volumes, std::vector<float>{0.25f});
  // A classic bar has no exit box.
  EXPECT_FALSE(g_bar->exitHalf);
  EXPECT_FALSE(g_bar->onExitPictureChanged);
}

TEST_F(OverlayTest, VideoScaleSetsTheHeightInsteadOfTheScale) {
  AddTheme(kClassicTheme);
  Make(kPanel + "opt_nav_usevideoscale=1\nopt_nav_viewscale=12.5\nopt_nav_wndbottom=0\n");
  ASSERT_NE(g_bar, nullptr);
  // The area is the show rectangle (600 high): 600 x 12.5 % = 75.
  EXPECT_EQ(g_bar->calls[1], "SetWidth 800");
  EXPECT_EQ(g_bar->calls[2], "SetHeight 75");
}

TEST_F(OverlayTest, ClassicBarTakesTheViewScaleShareAtItsPosition) {
  AddTheme(kClassicTheme);
  TThirdSlide& o = Make(kPanel + "opt_cp=rIGHT-bottom\nopt_nav_offset=5\n");
  ASSERT_NE(o.Panel(), nullptr);
  ASSERT_EQ(o.Panel()->BarIndex(), 0);
  // 10 % of the 800-pixel window: 80 high, 400 wide (200 x 40 picture); the bottom-right
  // corner 5 % of half the window inside: 25 and 20 pixels.
  EXPECT_EQ(o.Pictures()[0].rect, (TRectI{575, 700, 975, 780}));
  EXPECT_EQ(o.Panel()->BarRect(), o.Pictures()[0].rect);
  // A new bar picture replaces the entry in place and keeps its parameters.
  TImageParams params = o.Pictures()[0].params;
  g_bar->Render();
  EXPECT_EQ(o.Pictures().size(), 1u);
  EXPECT_EQ(o.Pictures()[0].params, params);
}

TEST_F(OverlayTest, PanelWithoutThemeOrBarKindShowsAndTakesNothing) {
  // No theme member.
  TThirdSlide& o = Make(kPanel);
  ASSERT_NE(o.Panel(), nullptr);
  EXPECT_EQ(o.Panel()->Bar(), nullptr);
  EXPECT_TRUE(o.Pictures().empty());
  TThirdSlide::TMouseResult r = o.HandleMouse(0, 500, 760, 1, 1);
  EXPECT_FALSE(r.handled);
  EXPECT_TRUE(r.action.IsNone());

  // A theme, but no bar of its kind can be made.
  AddTheme(kClassicTheme);
  SetNavBarFactory({});
  TThirdSlide& bare = Make(kPanel);
  EXPECT_EQ(bare.Panel()->Bar(), nullptr);
  EXPECT_FALSE(bare.HandleMouse(0, 500, 760, 1, 1).handled);
  EXPECT_EQ(bare.NavHoverState(), 1);

  // Without "opt_fcp" there is no panel at all.
  TThirdSlide& none = Make("opt_nav_inifile=themes\\nav.ini\n");
  EXPECT_EQ(none.Panel(), nullptr);
  EXPECT_EQ(none.NavHoverState(), 0);
}

TEST_F(OverlayTest, MalformedThemeLeavesThePanelWithoutBar) {
  AddTheme("[Fake]\nFail=1\n");
  TThirdSlide* o = nullptr;
  ASSERT_NO_THROW(o = &Make(kPanel));
  ASSERT_NE(o->Panel(), nullptr);
  EXPECT_EQ(o->Panel()->Bar(), nullptr);
  EXPECT_TRUE(o->Pictures().empty());
  EXPECT_FALSE(o->HandleMouse(0, 500, 760, 1, 1).handled);
}

// ---------------------------------------------------------------------------------------------
// Mouse routing and actions

TEST_F(OverlayTest, PanelConsumesClicksThatHitNoButton) {
  AddTheme(kClassicTheme);
  TThirdSlide& o = Make(kPanel + "opt_cp=Right-Bottom\nopt_nav_offset=5\n");  // bar at (575,700)-(975,780)
  ASSERT_NE(g_bar, nullptr);
  g_bar->calls.clear();
  TThirdSlide::TMouseResult r = o.HandleMouse(0, 675, 720, 1, 1);
  EXPECT_TRUE(r.handled);
  EXPECT_EQ(r.action.kind, TZemActionKind::Consumed);
  EXPECT_EQ(r.hovered, nullptr);
  // Window pixels mapped into the 200 x 40 picture shown at twice its size.
  ASSERT_EQ(g_bar->calls.size(), 1u);
  EXPECT_EQ(g_bar->calls[0], "Mouse b=1 s=0 k=1 y=10 x=50");
  EXPECT_TRUE(o.Panel()->Pressed());
  EXPECT_EQ(o.NavHoverState(), 2);

  // Dragged off the panel: the bar still hears the move (always as the left button), but the
  // slides get the event.
  r = o.HandleMouse(16, 100, 100, 0, 3);
  EXPECT_EQ(g_bar->calls.back(), "Mouse b=1 s=16 k=0 y=-300 x=-238");
  EXPECT_FALSE(r.handled);
  EXPECT_TRUE(r.action.IsNone());
  // Released outside: the bar hears it, the press ends.
  r = o.HandleMouse(0, 100, 100, 2, 1);
  EXPECT_EQ(g_bar->MouseCalls(), 3u);
  EXPECT_FALSE(o.Panel()->Pressed());
  EXPECT_FALSE(r.handled);
  // Away from the panel nothing reaches the bar.
  o.HandleMouse(0, 100, 100, 0, 0);
  o.HandleMouse(0, 100, 100, 1, 1);
  EXPECT_EQ(g_bar->MouseCalls(), 3u);
  EXPECT_EQ(o.NavHoverState(), 1);
}

TEST_F(OverlayTest, OnlyTheLeftButtonPressesAndDoubleClicksGoNowhere) {
  AddTheme(kClassicTheme);
  TThirdSlide& o = Make(kPanel + "opt_cp=Right-Bottom\nopt_nav_offset=5\n");
  g_bar->calls.clear();
  // A right button on the panel is not passed on, but the panel counts as hovered.
  TThirdSlide::TMouseResult r = o.HandleMouse(0, 700, 740, 1, 2);
  EXPECT_EQ(g_bar->MouseCalls(), 0u);
  EXPECT_TRUE(r.handled);
  EXPECT_TRUE(r.action.IsNone());
  // A double click goes to neither the panel nor anything else.
  r = o.HandleMouse(0, 700, 740, 3, 1);
  EXPECT_EQ(g_bar->MouseCalls(), 0u);
  EXPECT_TRUE(r.action.IsNone());
  // A move over it is passed on with its state.
  o.HandleMouse(4, 700, 740, 0, 0);
  EXPECT_EQ(g_bar->calls.back(), "Mouse b=1 s=4 k=0 y=20 x=63");
  // Other kinds are programming errors.
  EXPECT_THROW(o.HandleMouse(0, 700, 740, 7, 1), EAssertionFailed);
}

TEST_F(OverlayTest, ButtonIndexesMapToActions) {
  AddTheme(kClassicTheme);
  TThirdSlide& o = Make(kPanel + "opt_newnavbuttons_count=8\nopt_newnavbutton1=exit\nopt_newnavbutton2=home\n"
                                 "opt_newnavbutton3=forward\nopt_newnavbutton4=backward\nopt_newnavbutton5=print\n"
                                 "opt_newnavbutton6=pause\nopt_newnavbutton7=help\nopt_newnavbutton8=Exit\n");
  ASSERT_NE(g_bar, nullptr);
  // "Exit" in other case is not a theme name.
  EXPECT_EQ(g_bar->buttonIndexes, (std::vector<int32_t>{6, 0, 2, 1, 3, 4, 5}));
  const TRectI bar = o.Panel()->BarRect();
  auto click = [&](int32_t index) {
    g_bar->clickOnUp = index;
    o.HandleMouse(0, bar.left + 5, bar.top + 5, 1, 1);
    return o.HandleMouse(0, bar.left + 5, bar.top + 5, 2, 1);
  };
  using K = TZemActionKind;
  const K kinds[] = {K::Exit, K::GotoSlide, K::NextSlide, K::PrevSlide, K::Print, K::Pause, K::Help};
  for (int32_t i = 0; i < 7; ++i) {
    TThirdSlide::TMouseResult r = click(i);
    EXPECT_TRUE(r.handled);
    EXPECT_EQ(r.action.kind, kinds[i]) << i;
    EXPECT_EQ(r.action.number, 0);
  }
  // Indexes outside the buttons, and the video bar's own indexes on a classic bar, give no
  // action: the release is only consumed.
  for (int32_t i : {7, -1, -2}) EXPECT_EQ(click(i).action.kind, K::Consumed) << i;
}

TEST_F(OverlayTest, VideoBarSitsAtTheBottomWithAnExitBox) {
  AddTheme("[Common]\nVideoStyle=1\n[Fake]\nNames=backward,forward\nWidth=600\nHeight=50\nExitSide=40\n");
  TThirdSlide& o = Make(kPanel + "opt_newnavbuttons_count=1\nopt_newnavbutton1=forward\n");
  ASSERT_NE(g_bar, nullptr);
  TNavPanel& p = *o.Panel();
  EXPECT_TRUE(p.VideoStyle());
  // The bar at its own size, centred on the window's bottom edge; the exit box in the top-right
  // corner.
  EXPECT_EQ(p.BarRect(), (TRectI{200, 750, 800, 800}));
  EXPECT_EQ(p.ExitRect(), (TRectI{960, 0, 1000, 40}));
  ASSERT_EQ(o.Pictures().size(), 2u);
  EXPECT_EQ(o.Pictures()[size_t(p.ExitIndex())].rect, p.ExitRect());

  g_bar->calls.clear();
  // Upper half of the area: the event goes to the exit box, in its own pixels.
  g_bar->clickOnUp = -2;
  o.HandleMouse(0, 970, 10, 1, 1);
  EXPECT_EQ(g_bar->calls.back(), "Mouse b=1 s=0 k=1 y=10 x=10 exit");
  TThirdSlide::TMouseResult r = o.HandleMouse(0, 970, 10, 2, 1);
  EXPECT_EQ(r.action.kind, TZemActionKind::Exit);
  // Lower half: the bar; -1 is play/pause, custom button 0 is "forward".
  g_bar->clickOnUp = -1;
  o.HandleMouse(0, 210, 760, 1, 1);
  EXPECT_EQ(g_bar->calls.back(), "Mouse b=1 s=0 k=1 y=10 x=10");
  EXPECT_EQ(o.HandleMouse(0, 210, 760, 2, 1).action.kind, TZemActionKind::Pause);
  g_bar->clickOnUp = 0;
  o.HandleMouse(0, 210, 760, 1, 1);
  EXPECT_EQ(o.HandleMouse(0, 210, 760, 2, 1).action.kind, TZemActionKind::NextSlide);
}

TEST_F(OverlayTest, VideoBarWithoutExitBoxWhenSwitchedOff) {
  AddTheme("[Common]\nVideoStyle=1\n[Fake]\nWidth=600\nHeight=50\n");
  TThirdSlide& o = Make(kPanel + "opt_nav_videoexit=0\n");
  ASSERT_NE(g_bar, nullptr);
  EXPECT_FALSE(g_bar->exitHalf);
  EXPECT_EQ(o.Panel()->ExitIndex(), -1);
  EXPECT_EQ(o.Pictures().size(), 1u);
  // Upper-half events are not routed anywhere special.
  g_bar->calls.clear();
  o.HandleMouse(0, 970, 10, 1, 1);
  EXPECT_EQ(g_bar->MouseCalls(), 0u);
}

TEST_F(OverlayTest, DialogsTakeTheMouseFirstFromTheTop) {
  TThirdSlide& o = Make("");
  o.ShowDialog(MakeDialog(u"lower", false, u"nextslide"));
  o.ShowDialog(MakeDialog(u"upper", false, u"prevslide"));
  TThirdSlide::TMouseResult r = o.HandleMouse(0, 200, 300, 1, 1);
  EXPECT_TRUE(r.handled);
  ASSERT_NE(r.hovered, nullptr);
  EXPECT_EQ(r.hovered->GetSlide(), o.TopDialog());
  r = o.HandleMouse(0, 200, 300, 2, 1);
  EXPECT_EQ(r.action.kind, TZemActionKind::PrevSlide);
  // Nothing under the pointer: not handled.
  r = o.HandleMouse(0, 600, 300, 1, 1);
  EXPECT_FALSE(r.handled);
  EXPECT_EQ(r.hovered, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Auto-hide

TEST_F(OverlayTest, AutoHideFadesOutAfterTheIntervalAndBackIn) {
  AddTheme(kClassicTheme);
  TThirdSlide& o = Make(kPanel + "opt_hidenavbar=1\nopt_nav_hideinterval=3\n");
  ASSERT_TRUE(o.AutoHide());
  const size_t bar = size_t(o.Panel()->BarIndex());
  o.HandleMouse(0, 10, 10, 0, 0);  // first position
  o.UpdateTime(0);
  EXPECT_FLOAT_EQ(o.Pictures()[bar].params.opacity, 100);
  now = 4000;  // exactly the interval after start-up
  o.UpdateTime(1);
  EXPECT_FALSE(o.Hidden());
  EXPECT_EQ(o.NavHoverState(), 1);
  now = 4001;
  o.UpdateTime(2);
  EXPECT_TRUE(o.Hidden());
  EXPECT_EQ(o.NavHoverState(), 0);
  now = 4501;  // half way through the 1000 ms fade-out
  o.UpdateTime(3);
  EXPECT_FLOAT_EQ(o.Pictures()[bar].params.opacity, 50);
  EXPECT_TRUE(o.IsChanged());

  // A jitter of 5 pixels changes nothing; a real movement reverses the fade from 40 %.
  o.HandleMouse(0, 13, 12, 0, 0);
  now = 4601;
  o.UpdateTime(4);
  EXPECT_TRUE(o.Hidden());
  EXPECT_NEAR(o.Pictures()[bar].params.opacity, 40, 1e-3);
  o.HandleMouse(0, 30, 10, 0, 0);
  o.UpdateTime(5);  // the turn itself
  EXPECT_FALSE(o.Hidden());
  EXPECT_NEAR(o.Pictures()[bar].params.opacity, 40, 1e-3);
  now = 4651;
  o.UpdateTime(6);  // fading in over 500 ms from 40 %: 50 ms later 10 % more
  EXPECT_NEAR(o.Pictures()[bar].params.opacity, 50, 1e-3);
  now = 4901;
  o.UpdateTime(7);
  EXPECT_FLOAT_EQ(o.Pictures()[bar].params.opacity, 100);
}

TEST_F(OverlayTest, HoveredPanelStaysAndHiddenStartStartsInvisible) {
  AddTheme(kClassicTheme);
  TThirdSlide& o = Make(kPanel + "opt_hidenavbar=1\nopt_nav_hideinterval=1\nopt_cp=Bottom\n");
  const TRectI bar = o.Panel()->BarRect();
  o.HandleMouse(0, bar.left + 2, bar.top + 2, 0, 0);
  EXPECT_EQ(o.NavHoverState(), 2);
  now = 60000;  // long idle, but the pointer rests on the panel
  o.UpdateTime(0);
  EXPECT_FALSE(o.Hidden());

  // Hidden on start-up: the bar picture enters the list invisible and fades in on a movement.
  TThirdSlide& h = Make(kPanel + "opt_hidenavbar=1\nopt_nav_hideonstartup=1\nopt_nav_hideinterval=2\n"
                                 "opt_nav_fadein=400\n");
  const size_t index = size_t(h.Panel()->BarIndex());
  EXPECT_TRUE(h.Hidden());
  EXPECT_FLOAT_EQ(h.PanelOpacity(), 0);
  EXPECT_FLOAT_EQ(h.Pictures()[index].params.opacity, 0);
  h.UpdateTime(0);
  EXPECT_TRUE(h.Hidden());
  h.HandleMouse(0, 10, 10, 0, 0);
  h.HandleMouse(0, 50, 10, 0, 0);
  h.UpdateTime(1);
  EXPECT_FALSE(h.Hidden());
  now += 100;
  h.UpdateTime(2);
  EXPECT_NEAR(h.Pictures()[index].params.opacity, 25, 1e-3);
}

// ---------------------------------------------------------------------------------------------
// Dialogs

TEST_F(OverlayTest, DialogFadesInOnceDrawnAndShowingItAgainClosesIt) {
  TThirdSlide& o = Make("");
  o.ShowDialog(nullptr);
  EXPECT_EQ(o.DialogCount(), 0);
  o.ShowDialog(MakeDialog(u"help"));
  TZemDialog* d = o.TopDialog();
  ASSERT_NE(d, nullptr);
  o.UpdateTime(0);
  EXPECT_EQ(d->Fade(), 0);  // not drawn yet: the fade waits
  DrawFrame();
  EXPECT_FALSE(o.IsChanged());
  now = 1100;
  o.UpdateTime(0);
  EXPECT_EQ(d->Fade(), 0);
  EXPECT_FALSE(o.IsChanged());  // the fade starts at 0: nothing to redraw yet
  now = 1200;
  o.UpdateTime(0);
  EXPECT_FLOAT_EQ(d->Fade(), 50);
  EXPECT_TRUE(o.IsChanged());
  now = 1300;
  o.UpdateTime(0);
  EXPECT_FLOAT_EQ(d->Fade(), 100);

  // "help" again: the open one closes and the new one is discarded.
  o.ShowDialog(MakeDialog(u"help"));
  EXPECT_EQ(o.DialogCount(), 1);
  EXPECT_TRUE(o.Closing());
  // While it closes, new dialogs are discarded.
  o.ShowDialog(MakeDialog(u"other"));
  EXPECT_EQ(o.DialogCount(), 1);
  now = 1400;
  o.UpdateTime(0);
  now = 1500;
  o.UpdateTime(0);
  EXPECT_FLOAT_EQ(d->Fade(), 50);
  now = 1600;
  o.UpdateTime(0);
  EXPECT_EQ(o.DialogCount(), 0);
  EXPECT_FALSE(o.Closing());
  EXPECT_EQ(o.TopDialog(), nullptr);
}

TEST_F(OverlayTest, CloseOutOfRangeMeansTheTopAndOpeningAnotherFinishesTheFirst) {
  TThirdSlide& o = Make("");
  o.ShowDialog(MakeDialog(u"a"));
  TZemDialog* a = o.TopDialog();
  DrawFrame();
  o.UpdateTime(0);
  now = 1100;
  o.UpdateTime(0);
  EXPECT_FLOAT_EQ(a->Fade(), 50);
  // The animation moves to the new dialog; the first is shown whole.
  o.ShowDialog(MakeDialog(u"b"));
  EXPECT_FLOAT_EQ(a->Fade(), 100);
  o.BeginCloseDialog(99);
  EXPECT_TRUE(o.Closing());
  DrawFrame();
  o.UpdateTime(0);
  now = 1400;
  o.UpdateTime(0);
  ASSERT_EQ(o.DialogCount(), 1);
  EXPECT_EQ(o.TopDialog(), a);
}

TEST_F(OverlayTest, CloseHoldingDialogsKeepsOnlyTheTopmostHolderClosing) {
  TThirdSlide& o = Make("");
  EXPECT_FALSE(o.DialogHoldsPlayback());
  o.ShowDialog(MakeDialog(u"A", true));
  o.ShowDialog(MakeDialog(u"B", false));
  o.ShowDialog(MakeDialog(u"C", true));
  o.ShowDialog(MakeDialog(u"D", true));
  EXPECT_TRUE(o.DialogHoldsPlayback());
  TZemDialog* b = o.Dialog(1);
  TZemDialog* d = o.Dialog(3);
  o.CloseHoldingDialogs();
  ASSERT_EQ(o.DialogCount(), 2);
  EXPECT_EQ(o.Dialog(0), b);
  EXPECT_EQ(o.Dialog(1), d);
  EXPECT_TRUE(o.Closing());
  DrawFrame();
  o.UpdateTime(0);
  now = 1200;
  o.UpdateTime(0);
  ASSERT_EQ(o.DialogCount(), 1);
  EXPECT_EQ(o.TopDialog(), b);
  EXPECT_FALSE(o.DialogHoldsPlayback());
}

TEST_F(OverlayTest, CloseHoldingDialogsIsNotBlockedByAnotherClosingFade) {
  TThirdSlide& o = Make("");
  o.ShowDialog(MakeDialog(u"hold", true));
  o.ShowDialog(MakeDialog(u"plain", false));
  o.BeginCloseDialog(1);  // "plain" starts closing
  o.CloseHoldingDialogs();
  ASSERT_EQ(o.DialogCount(), 1);
  EXPECT_TRUE(o.TopDialog()->Name() == u"hold");
  EXPECT_TRUE(o.Closing());
  DrawFrame();
  o.UpdateTime(0);
  now = 1200;
  o.UpdateTime(0);
  EXPECT_EQ(o.DialogCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// Drawing

TEST_F(OverlayTest, BorderComesAfterThePicturesWithoutAPanel) {
  AddPicture("logo.png", 200, 100);
  Make("opt_logo=1\nopt_logo_fn=logo.png\n");
  overlay->ShowDialog(MakeDialog(u"help"));
  EXPECT_TRUE(overlay->IsChanged());
  const std::vector<std::string> expected = {"DrawItem depth=1", "DrawImage 'logo.png'", "ClearRect FF112233",
                                             "ClearRect FF112233", "ClearRect FF112233", "ClearRect FF112233"};
  EXPECT_EQ(DrawFrame(), expected);
  EXPECT_FALSE(overlay->IsChanged());
}

TEST_F(OverlayTest, BorderComesBeforeThePanelAndCaptureLeavesThePanelOut) {
  AddPicture("logo.png", 200, 100);
  AddTheme(kClassicTheme);
  Make(kPanel + "opt_logo=1\nopt_logo_fn=logo.png\n");
  ASSERT_EQ(overlay->Panel()->BarIndex(), 1);
  // The exit box's index is unassigned and counts as 0: the border goes first.
  std::vector<std::string> expected = {"ClearRect FF112233", "ClearRect FF112233", "ClearRect FF112233",
                                       "ClearRect FF112233", "DrawImage 'logo.png'", "DrawImage 'NavBar'"};
  EXPECT_EQ(DrawFrame(), expected);

  overlay->SetCaptureMode(true);
  EXPECT_TRUE(overlay->IsChanged());
  expected = {"DrawImage 'logo.png'", "ClearRect FF112233", "ClearRect FF112233", "ClearRect FF112233",
              "ClearRect FF112233"};
  EXPECT_EQ(DrawFrame(), expected);
  overlay->SetCaptureMode(false);
  EXPECT_EQ(DrawFrame().back(), "DrawImage 'NavBar'");
}

TEST_F(OverlayTest, VideoBorderGoesBeforeTheFirstPanelPicture) {
  AddPicture("logo.png", 200, 100);
  AddTheme("[Common]\nVideoStyle=1\n[Fake]\nWidth=600\nHeight=50\n");
  Make(kPanel + "opt_logo=1\nopt_logo_fn=logo.png\n");
  ASSERT_EQ(overlay->Panel()->BarIndex(), 1);
  ASSERT_EQ(overlay->Panel()->ExitIndex(), 2);
  const std::vector<std::string> frame = DrawFrame();
  ASSERT_EQ(frame.size(), 7u);
  EXPECT_EQ(frame[0], "DrawImage 'logo.png'");
  EXPECT_EQ(frame[1], "ClearRect FF112233");
  EXPECT_EQ(frame[5], "DrawImage 'NavBar'");
  EXPECT_EQ(frame[6], "DrawImage 'NavExitBox'");
}

TEST_F(OverlayTest, RootItemLeavesTheBorderToTheOverlay) {
  AddPicture("logo.png", 200, 100);
  Make("opt_logo=1\nopt_logo_fn=logo.png\n");
  TDrawContainer container;
  container.slide = std::make_unique<TZemSlide>(MakeRef<TSimpleSlideHost>(800, 600));
  container.info.end = 5000;
  container.info.next = 5000;
  TDrawContainer* list[] = {&container};
  ASSERT_TRUE(root.Compose(list, 1, overlay.get(), 100.0));
  TRecordingDrawer drawer(1000, 800);
  drawer.SetClipRect({100, 50, 900, 650});
  drawer.DrawItem(&root);
  EXPECT_EQ(drawer.Count("ClearRect"), 4u);
  EXPECT_EQ(drawer.Count("DrawImage 'logo.png'"), 1u);
}

TEST_F(OverlayTest, PicturesAreDrawnScaledIntoTheirRectangles) {
  AddPicture("mid.jpg", 800, 600);
  Make("opt_logo=1\nopt_logo_fn=mid.jpg\nopt_logo_pos=5\nopt_logo_opacity=70\n", {0, 0, 1400, 1000}, {1400, 1000});
  TRecordingDrawer drawer(1400, 1000);
  drawer.DrawItem(overlay.get());
  ASSERT_EQ(drawer.Count("DrawImage"), 1u);
  std::string line;
  for (const std::string& l : drawer.Lines())
    if (l.rfind("DrawImage", 0) == 0) line = l;
  // Halved twice to 200 x 150 pixels, drawn into 133 x 100 at the top-left corner.
  const std::string x = TRecordingDrawer::Num(133.0f / 200), y = TRecordingDrawer::Num(100.0f / 150);
  EXPECT_NE(line.find("pos=(0,0,0) off=(0,0) X=(" + x + ",0,0) Y=(0," + y + ",0)"), std::string::npos) << line;
  EXPECT_NE(line.find("op=70"), std::string::npos) << line;
}

}  // namespace
}  // namespace zem
