// The two navigation bars on themes written here: theme reading and its errors, the classic
// bar's layout, button states, clicks and play textures, the video bar's layout, scale, time and
// volume drags, mute, the time display, and golden pictures of both; then the panel making them
// from PNG members, and refusing a bad theme with one log line.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/nav_bar_classic.h"
#include "engine/nav_bar_pictures.h"
#include "engine/nav_bar_video.h"
#include "engine/nav_panel.h"
#include "foundation/log.h"
#include "package/file_accessor.h"
#include "resources/decoders.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

void Paint(TBitmap& b, const TRectI& r, uint32_t argb) {
  for (int32_t y = r.top; y < r.bottom; ++y)
    for (int32_t x = r.left; x < r.right; ++x) b.SetPixel(x, y, argb);
}

TBitmap Picture(int32_t w, int32_t h, uint32_t argb) {
  TBitmap b;
  b.Allocate(w, h, TPixelFormat::Argb32);
  b.Fill(argb);
  return b;
}

std::unique_ptr<TIniFile> Theme(const std::string& text) {
  auto t = std::make_unique<TIniFile>();
  EXPECT_TRUE(t->LoadFromText(Utf8ToWide(text)));
  return t;
}

// Compares with tests/engine/golden/<name>.png; on failure writes the actual picture and a
// difference picture to golden-failures/. ZEM_UPDATE_GOLDEN=1 writes the reference instead.
void ExpectGolden(const TBitmap& actual, const std::string& name) {
  const std::string ref = std::string(ZEM_SOURCE_DIR) + "/tests/engine/golden/" + name + ".png";
  if (std::getenv("ZEM_UPDATE_GOLDEN")) {
    ASSERT_TRUE(WritePngFile(actual, ref));
    return;
  }
  auto file = TFileStream::Open(ref, TFileMode::Read);
  ASSERT_TRUE(file) << "missing reference " << ref << " (set ZEM_UPDATE_GOLDEN=1)";
  TRef<TBitmapStore> store = Decode(std::move(file), Utf8ToWide(ref));
  ASSERT_TRUE(store);
  const TBitmap& want = store->Bitmap();
  if (want.Width() != actual.Width() || want.Height() != actual.Height()) {
    fs::create_directories("golden-failures");
    WritePngFile(actual, "golden-failures/" + name + ".actual.png");
    FAIL() << name << ": " << actual.Width() << "x" << actual.Height() << ", the reference is " << want.Width()
           << "x" << want.Height() << "; the picture is in " << fs::absolute("golden-failures");
  }
  TBitmap diff = Picture(actual.Width(), actual.Height(), 0xFF000000u);
  int64_t bad = 0;
  for (int32_t y = 0; y < actual.Height(); ++y)
    for (int32_t x = 0; x < actual.Width(); ++x) {
      const uint32_t a = actual.GetPixel(x, y), b = want.GetPixel(x, y);
      int d = 0;
      for (int s = 0; s < 32; s += 8) d = std::max(d, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
      bad += d > 2;
      const uint32_t v = uint32_t(std::min(255, d * 8));
      diff.SetPixel(x, y, 0xFF000000u | v << 16 | v << 8 | v);
    }
  if (bad > 0) {
    fs::create_directories("golden-failures");
    WritePngFile(actual, "golden-failures/" + name + ".actual.png");
    WritePngFile(diff, "golden-failures/" + name + ".diff.png");
    ADD_FAILURE() << name << ": " << bad << " pixels differ; pictures in " << fs::absolute("golden-failures");
  }
}

// ---------------------------------------------------------------------------------------------
// Classic bar

// cells.png: six 6x4 textures in a row; buttons.png: 10x10 button textures in a row (normal,
// hover, pressed, disabled, play normal, play hover); play.png: the last four; bg.png: 14x14 backgrounds per state.
std::map<std::string, TBitmap> ClassicPictures() {
  std::map<std::string, TBitmap> p;
  TBitmap cells = Picture(36, 4, 0);
  const uint32_t cellColours[6] = {0xFF2040A0u, 0xFF3050B0u, 0xFF4060C0u, 0x80A02020u, 0xFF20A040u, 0xFF80A020u};
  for (int i = 0; i < 6; ++i) Paint(cells, {i * 6, 0, i * 6 + 6, 4}, cellColours[i]);
  cells.SetPixel(0, 0, 0xFFFFFFFFu);  // marks the tiling origin
  p["nav\\cells.png"] = cells;
  TBitmap buttons = Picture(60, 10, 0);
  const uint32_t buttonColours[6] = {0xFFF0F0F0u, 0xFFFFFF40u, 0xFFFF4040u, 0xFF40A0FFu, 0xFF40FF40u, 0xFF80FF80u};
  for (int i = 0; i < 6; ++i) {
    Paint(buttons, {i * 10 + 1, 1, i * 10 + 9, 9}, buttonColours[i]);
    Paint(buttons, {i * 10 + 3, 3, i * 10 + 7, 7}, 0xFF000000u);
  }
  p["nav\\buttons.png"] = buttons;
  p["nav\\play.png"] = CutPicture(buttons, {20, 0, 60, 10});
  TBitmap bg = Picture(56, 14, 0);
  const uint32_t bgColours[4] = {0xC0303030u, 0xC0606030u, 0xC0603030u, 0x60303030u};
  for (int i = 0; i < 4; ++i) Paint(bg, {i * 14, 0, i * 14 + 14, 14}, bgColours[i]);
  p["nav\\bg.png"] = bg;
  return p;
}

std::string ClassicButtonSection(const std::string& name, bool play) {
  std::string s = "[" + name + "]\n"
                  "BtnTextureNormalBounds=0,0,10,10\nBtnTextureHoverBounds=10,0,10,10\n"
                  "BtnTexturePressedBounds=20,0,10,10\nBtnTextureDisabledBounds=30,0,10,10\n"
                  "flnm_BtnTextureNormal=buttons.png\n"
                  "BgTextureNormalBounds=0,0,14,14\nBgTextureHoverBounds=14,0,14,14\n"
                  "BgTexturePressedBounds=28,0,14,14\nBgTextureDisabledBounds=42,0,14,14\n"
                  "flnm_BgTextureNormal=bg.png\n";
  if (play) s += "flnm_BtnTextureNormalPlay=play.png\nflnm_BtnTextureHoverPlay=play.png\n";
  return s;
}

// Three columns, two rows; the buttons sit in cell (2, 1).
std::string ClassicTheme(int count = 5) {
  std::string t = "[Common]\nColsCount=3\nRowsCount=2\n"
                  "[CellWithObjects]\nCell=2,1\nLeftOffset=3\nTopOffset=2\nRightOffset=4\nBottomOffset=1\n";
  for (int c = 1; c <= 3; ++c)
    for (int r = 1; r <= 2; ++r)
      t += "[Cell(" + std::to_string(c) + ":" + std::to_string(r) + ")]\nBounds=" +
           std::to_string(((c - 1) * 2 + (r - 1)) * 6) + ",0,6,4\nflnm_Texture=cells.png\n";
  t += "[Objects]\nCount=" + std::to_string(count) + "\n";
  t += "[Object1]\nShiftPressed=2\nSpace=2\n[Object2]\nGrayNormal=1\nGrayDisabled=1\nSpace=1\n";
  t += ClassicButtonSection("Action-home", false);
  t += ClassicButtonSection("action-Help", false);  // "Help" is not a lower-case name: ignored
  t += ClassicButtonSection("ACTION-pause", true);
  t += ClassicButtonSection(" Action-forward ", false);
  t += ClassicButtonSection("Action-exit", false);
  return t;
}

// A classic bar with recording callbacks; tests may hold more than one.
struct TClassicRig {
  void Load(const std::string& theme, std::vector<int32_t> buttons = {0, 1, 2}) {
    storage = Theme(theme);
    bar.loadPicture = [this](const WideString& name) {
      ++loads;
      auto it = pictures.find(WideToUtf8(name));
      return it == pictures.end() ? TBitmap() : it->second;
    };
    bar.isPlaying = [this] { return playing; };
    bar.onClick = [this](int32_t i) { clicks.push_back(i); };
    bar.onPictureChanged = [this](const TRectI& r) { changes.push_back(r); };
    bar.LoadTheme(*storage, u"nav\\");
    bar.SetButtons(buttons);
    bar.Update(0);
  }
  // Mouse events at a button's centre (or a point) in bar pixels.
  void Event(uint8_t kind, int32_t x, int32_t y, uint8_t state = 0) { bar.MouseEvent(1, state, kind, y, x); }
  TPointI Centre(size_t button) const {
    const TRectI& r = bar.Buttons()[button].rect;
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  }

  std::map<std::string, TBitmap> pictures = ClassicPictures();
  std::unique_ptr<TIniFile> storage;
  TNavBar bar;
  bool playing = true;
  int loads = 0;
  std::vector<int32_t> clicks;
  std::vector<TRectI> changes;
};

class ClassicBarTest : public ::testing::Test, public TClassicRig {};

TEST_F(ClassicBarTest, ThemeNamesLayoutAndCache) {
  Load(ClassicTheme());
  // Prefix in any case, name in lower case only, in theme order.
  EXPECT_EQ(bar.actionNames, (std::vector<WideString>{u"home", u"pause", u"forward", u"exit"}));
  ASSERT_EQ(bar.Buttons().size(), 3u);
  // Object cell: 3 + 4 offsets + buttons 14 + 2, 14 + 1, 14 + 0 wide; 2 + 1 + 14 high.
  EXPECT_EQ(bar.Cell(2, 1).rect, (TRectI{6, 0, 6 + 52, 17}));
  EXPECT_EQ(bar.Cell(2, 2).rect, (TRectI{6, 17, 58, 21}));  // the object column's width
  EXPECT_EQ(bar.Cell(3, 1).rect, (TRectI{58, 0, 64, 17}));  // the object row's height
  EXPECT_EQ(bar.Cell(1, 2).rect, (TRectI{0, 17, 6, 21}));
  EXPECT_EQ(bar.Buttons()[0].rect, (TRectI{9, 2, 23, 16}));
  EXPECT_EQ(bar.Buttons()[1].rect, (TRectI{25, 2, 39, 16}));
  EXPECT_EQ(bar.Buttons()[2].rect, (TRectI{40, 2, 54, 16}));
  EXPECT_EQ(bar.picture.Width(), 64);
  EXPECT_EQ(bar.picture.Height(), 21);
  // One load per file however many parts come from it.
  EXPECT_EQ(loads, 4);
  EXPECT_EQ(bar.Cache()->PictureCount(), 4u);

  // Fewer buttons than asked when "Count" says so; all found ones when it allows more.
  TClassicRig other;
  other.Load(ClassicTheme(2), {0, 1, 2, 3});
  EXPECT_EQ(other.bar.Buttons().size(), 2u);
}

TEST_F(ClassicBarTest, MalformedAndAbsurdThemesAreRefused) {
  auto message = [this](const std::string& theme, std::vector<int32_t> buttons = {0}) {
    TNavBar fresh;
    auto s = Theme(theme);
    fresh.loadPicture = [this](const WideString& name) {
      auto it = pictures.find(WideToUtf8(name));
      return it == pictures.end() ? TBitmap() : it->second;
    };
    try {
      fresh.LoadTheme(*s, u"nav\\");
      fresh.SetButtons(buttons);
    } catch (const ENavThemeError& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  std::string t = ClassicTheme();
  EXPECT_EQ(message(std::string(t).replace(t.find("Cell=2,1"), 8, "Cell=2")),
            "Incorrect number of parameters in field \"Cell\"");
  EXPECT_EQ(message(std::string(t).replace(t.find("Bounds=6,0,6,4"), 14, "Bounds=6,0,6")),
            "Incorrect number of parameters in field \"Bounds\" in [Cell(1:2)]");
  EXPECT_EQ(message(std::string(t).replace(t.find("BtnTextureNormalBounds=0,0,10,10"), 32, "BtnTextureNormalBounds=0,0,1")),
            "Bounds should contains 4 values. For example: BtnTextureNormalBounds=0,0,20,20. But ZEM found only 3 "
            "values.");
  // Rectangles outside their picture, absurd counts, a cell outside the grid, a missing picture.
  EXPECT_NE(message(std::string(t).replace(t.find("Bounds=6,0,6,4"), 14, "Bounds=34,0,6,4")).find("outside"),
            std::string::npos);
  EXPECT_NE(message(std::string(t).replace(t.find("Bounds=6,0,6,4"), 14, "Bounds=-1,0,6,4")), "accepted");
  EXPECT_NE(message(std::string(t).replace(t.find("ColsCount=3"), 11, "ColsCount=99999")), "accepted");
  EXPECT_NE(message(std::string(t).replace(t.find("Count=5"), 7, "Count=-1")), "accepted");
  EXPECT_NE(message(std::string(t).replace(t.find("Cell=2,1"), 8, "Cell=7,1")), "accepted");
  EXPECT_NE(message(std::string(t).replace(t.find("ShiftPressed=2"), 14, "ShiftPressed=99999")), "accepted");
  pictures.erase("nav\\bg.png");
  EXPECT_NE(message(t).find("missing"), std::string::npos);
}

TEST_F(ClassicBarTest, HoverPressClickAndDisabled) {
  Load(ClassicTheme());
  const TPointI a = Centre(0), b = Centre(1);
  Event(0, a.x, a.y);
  EXPECT_EQ(bar.Buttons()[0].state, TNavObject::Hover);
  Event(1, a.x, a.y);
  EXPECT_EQ(bar.Buttons()[0].state, TNavObject::Pressed);
  // The pressed picture sits 2 pixels right and down: its black centre starts at +3 +2.
  const TRectI r = bar.Buttons()[0].rect;
  EXPECT_EQ(bar.picture.GetPixel(r.left + 2 + 3 + 2, r.top + 2 + 3 + 2), 0xFF000000u);
  EXPECT_NE(bar.picture.GetPixel(r.left + 2 + 3, r.top + 2 + 3), 0xFF000000u);
  Event(2, a.x, a.y);
  EXPECT_EQ(clicks, std::vector<int32_t>{0});
  EXPECT_EQ(bar.Buttons()[0].state, TNavObject::Hover);

  // Pressed, moved off, released elsewhere: no click.
  clicks.clear();
  Event(1, a.x, a.y);
  Event(0, b.x, b.y, 16);
  EXPECT_EQ(bar.Buttons()[0].state, TNavObject::Normal);
  EXPECT_EQ(bar.Buttons()[1].state, TNavObject::Normal);
  Event(2, b.x, b.y, 16);
  EXPECT_TRUE(clicks.empty());
  // Moving back onto it before the release fires it.
  Event(1, a.x, a.y);
  Event(0, b.x, b.y, 16);
  Event(0, a.x, a.y, 16);
  EXPECT_EQ(bar.Buttons()[0].state, TNavObject::Pressed);
  Event(2, a.x, a.y, 16);
  EXPECT_EQ(clicks, std::vector<int32_t>{0});
  // Released outside the bar after leaving it: no click, nothing left pressed.
  clicks.clear();
  Event(1, a.x, a.y);
  Event(2, 500, 500, 16);
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(bar.Buttons()[0].state, TNavObject::Normal);

  // A drag that began off the bar does not light buttons up.
  Event(0, 500, 500);
  Event(0, b.x, b.y, 16);
  EXPECT_EQ(bar.Buttons()[1].state, TNavObject::Normal);

  // A disabled button is neither hit nor changed; its grey variant has a quarter of the alpha.
  bar.SetButtonDisabled(1, true);
  Event(0, b.x, b.y);
  Event(1, b.x, b.y);
  Event(2, b.x, b.y);
  EXPECT_EQ(bar.Buttons()[1].state, TNavObject::Disabled);
  EXPECT_TRUE(clicks.empty());
  EXPECT_EQ(bar.Buttons()[1].button[TNavObject::Disabled]->GetPixel(1, 1) >> 24, 0xFFu / 4);
}

TEST_F(ClassicBarTest, PlayTexturesFollowThePlayState) {
  Load(ClassicTheme());
  const TRectI pause = bar.Buttons()[1].rect;
  const TRectI home = bar.Buttons()[0].rect;
  // Playing: the plain (grey) normal texture of "pause" at its centre ring.
  const uint32_t plain = bar.picture.GetPixel(pause.left + 3, pause.top + 3);
  changes.clear();
  playing = false;
  bar.Update(1000);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_TRUE(IntersectRect(changes[0], home).IsEmpty());  // only that button is redrawn
  const uint32_t play = bar.picture.GetPixel(pause.left + 3, pause.top + 3);
  EXPECT_NE(play, plain);
  changes.clear();
  bar.Update(2000);  // unchanged answer: nothing drawn
  EXPECT_TRUE(changes.empty());
}

TEST_F(ClassicBarTest, GoldenPictures) {
  Load(ClassicTheme());
  bar.showBackground = true;
  bar.SetButtons(std::vector<int32_t>{0, 1, 2});  // redrawn with the cells behind
  const TPointI a = Centre(0), c = Centre(2);
  Event(0, c.x, c.y);  // forward: hover
  Event(1, a.x, a.y);  // home: pressed (and forward back to normal)
  bar.SetButtonDisabled(1, true);
  ExpectGolden(bar.picture, "classic_bar");
  bar.hue = 120;
  bar.SetButtons(std::vector<int32_t>{0, 1, 2});
  ExpectGolden(bar.picture, "classic_bar_hue120");
}

// ---------------------------------------------------------------------------------------------
// Video bar

// Seven 12x12 button images per strip, each a frame in the strip's colour around a centre in the
// image's own colour.
std::map<std::string, TBitmap> VideoPictures() {
  std::map<std::string, TBitmap> p;
  TBitmap back = Picture(40, 20, 0xFF203040u);
  Paint(back, {0, 0, 5, 20}, 0xFF805020u);
  Paint(back, {35, 0, 40, 20}, 0xFF205080u);
  Paint(back, {5, 9, 35, 11}, 0xFF304860u);
  p["theme\\back.png"] = back;
  TBitmap line = Picture(20, 4, 0xFFA0A0A0u);
  Paint(line, {0, 0, 3, 4}, 0xFFE0E0E0u);
  Paint(line, {17, 0, 20, 4}, 0xFF606060u);
  p["theme\\line.png"] = line;
  TBitmap slider = Picture(6, 10, 0xFFFFC020u);
  Paint(slider, {2, 0, 4, 10}, 0xFF000000u);
  p["theme\\polzun.png"] = slider;
  const uint32_t stripColours[3] = {0xFF808080u, 0xFFC0C040u, 0xFFFFFFFFu};
  const uint32_t imageColours[7] = {0xFF00C000u, 0xFFC00000u, 0xFF0000C0u, 0xFF400040u,
                                    0xFF00C0C0u, 0xFFC0C000u, 0xFFC000C0u};
  const char* names[3] = {"theme\\normal.png", "theme\\hover.png", "theme\\click.png"};
  for (int s = 0; s < 3; ++s) {
    TBitmap strip = Picture(84, 12, 0);
    for (int i = 0; i < 7; ++i) {
      Paint(strip, {i * 12 + 1, 1, i * 12 + 11, 11}, stripColours[s]);
      Paint(strip, {i * 12 + 3, 3, i * 12 + 9, 9}, imageColours[i]);
    }
    p[names[s]] = strip;
  }
  return p;
}

const char* kVideoTheme =
    "[Common]\nVideoStyle=1\nBgLeft=5\nBgRight=5\nflnm_back=back.png\n"
    "[Pixel positions]\nBarSize=400,20\nTrackHeight=4\nBtnSize=12,12\nDigitSize=6,10\n"
    "VolumeControlLength=50\nLeftSpace=4\nButtonsTrackSpace=6\nTrackDigitsSpace=4\n"
    "DigitsSoundBtnSpace=4\nSoundBtnTrackSpace=4\nRightSpace=4\n"
    "[Trackbar]\nTrackLineLeft=3\nTrackLineRight=3\nflnm_Line=line.png\nflnm_Polzun=polzun.png\n"
    "[Buttons]\nflnm_Normal=normal.png\nflnm_Hover=hover.png\nflnm_Click=click.png\n";

// A video bar with recording callbacks; the pause click toggles the play state as the engine does.
struct TVideoRig {
  void Load(int32_t width, float scale, double durationMs, std::vector<int32_t> buttons = {0, 1},
            const std::string& theme = kVideoTheme) {
    storage = Theme(theme);
    bar.loadPicture = [this](const WideString& name) {
      auto it = pictures.find(WideToUtf8(name));
      return it == pictures.end() ? TBitmap() : it->second;
    };
    bar.isPlaying = [this] { return playing; };
    bar.duration = [durationMs] { return durationMs; };
    bar.onClick = [this](int32_t i) {
      clicks.push_back(i);
      if (i == -1) playing = !playing;  // as the engine does with the pause action
    };
    bar.seek = [this](float t) { seeks.push_back(t); };
    bar.setVolume = [this](float v) { volumes.push_back(v); };
    bar.onPictureChanged = [this](const TRectI& r) { changes.push_back(r); };
    bar.LoadTheme(*storage, u"theme\\");
    bar.SetWidth(width);
    bar.SetScale(scale);
    bar.SetButtons(buttons);
    bar.Update(0);
    bar.SetVolume(1);
  }
  void Event(uint8_t kind, int32_t x, int32_t y) { bar.MouseEvent(1, 0, kind, y, x); }
  int32_t MidY() const { return bar.Layout().height / 2; }

  std::map<std::string, TBitmap> pictures = VideoPictures();
  std::unique_ptr<TIniFile> storage;
  TVideoNavBar bar;
  bool playing = true;
  std::vector<int32_t> clicks;
  std::vector<float> seeks, volumes;
  std::vector<TRectI> changes;
};

class VideoBarTest : public ::testing::Test, public TVideoRig {};

TEST_F(VideoBarTest, LayoutHoursAndDisplay) {
  Load(480, 1, 3599000);
  const TVideoNavLayout& l = bar.Layout();
  EXPECT_EQ(l.height, 20);
  EXPECT_EQ(l.soundRight, 480 - 4 - 50 - 4 - 12 - 4);
  EXPECT_EQ(l.t0, 4 + 3 * 12 + 6);
  EXPECT_EQ(l.t1, l.soundRight - 12 * 6);
  EXPECT_EQ(l.v0, 480 - 4 - 50);
  EXPECT_EQ(l.v1, 476);
  EXPECT_FALSE(bar.HoursShown());
  EXPECT_EQ(bar.DisplayText(), u"00:00 / 59:59");
  EXPECT_EQ(bar.picture.Width(), 480);
  bar.Update(61400);
  EXPECT_EQ(bar.DisplayText(), u"01:01 / 59:59");
  // Past the end the time wraps (a repeating show).
  bar.Update(3599000.0 + 2000);
  EXPECT_EQ(bar.DisplayText(), u"00:02 / 59:59");

  TVideoRig hours;
  hours.Load(480, 1, 3600000);
  EXPECT_TRUE(hours.bar.HoursShown());
  EXPECT_EQ(hours.bar.Layout().t1, hours.bar.Layout().soundRight - 18 * 6);
  EXPECT_EQ(hours.bar.DisplayText(), u"00:00:00 / 01:00:00");
}

TEST_F(VideoBarTest, ScaleHalvingAndTooNarrow) {
  // At scale 2 the track would be 100 pixels or shorter: the scale is halved.
  Load(400, 2, 60000);
  EXPECT_FLOAT_EQ(bar.Scale(), 1);
  EXPECT_FALSE(bar.Disabled());
  // Too narrow for the slider at all: disabled, no picture, no events, no updates.
  TVideoRig narrow;
  narrow.Load(160, 1, 60000);
  EXPECT_TRUE(narrow.bar.Disabled());
  EXPECT_TRUE(narrow.bar.picture.Empty());
  narrow.Event(1, 10, 10);
  narrow.bar.Update(5000);
  EXPECT_TRUE(narrow.clicks.empty());
  EXPECT_TRUE(narrow.changes.empty());
  // The height form: 40 pixels high is scale 2.
  TVideoRig tall;
  tall.storage = Theme(kVideoTheme);
  tall.bar.loadPicture = [&tall](const WideString& name) { return tall.pictures[WideToUtf8(name)]; };
  tall.bar.LoadTheme(*tall.storage, u"theme\\");
  tall.bar.SetWidth(1000);
  tall.bar.SetHeight(40);
  EXPECT_FLOAT_EQ(tall.bar.Scale(), 2);
  // A theme outside a folder.
  TVideoNavBar outside;
  EXPECT_THROW(outside.LoadTheme(*tall.storage, u"theme"), ENavThemeError);
}

TEST_F(VideoBarTest, TrackClickPausesSeeksAndResumes) {
  Load(480, 1, 100000);
  const TVideoNavLayout& l = bar.Layout();
  const int32_t mid = l.t0 + (l.t1 - l.t0) / 2;
  Event(1, mid, MidY());
  EXPECT_EQ(clicks, std::vector<int32_t>{-1});  // paused for the drag
  EXPECT_TRUE(bar.TimeDragging());
  bar.Update(20000);  // ignored during the drag
  Event(0, mid + 20, MidY());
  ASSERT_EQ(seeks.size(), 1u);
  Event(2, l.t1 + 30, MidY());  // released past the track: clamped, no extra seek there
  EXPECT_EQ(clicks, (std::vector<int32_t>{-1, -1}));  // resumed
  EXPECT_FALSE(bar.Paused());
  EXPECT_FALSE(bar.TimeDragging());
  // The seek lands where the pointer was, in proportion along the track.
  const double expect = 100000.0 * (mid + 20 - l.t0 - l.sw / 2) / double(l.t1 - l.t0 - l.sw);
  EXPECT_NEAR(seeks[0], expect, 1);

  // A paused show stays paused: no clicks, one seek at the release.
  playing = false;
  bar.Update(30000);
  clicks.clear();
  seeks.clear();
  Event(1, l.t0 + 1, MidY());
  Event(2, l.t0 + 1, MidY());
  EXPECT_TRUE(clicks.empty());
  ASSERT_EQ(seeks.size(), 1u);
  EXPECT_FLOAT_EQ(seeks[0], 0);
  EXPECT_TRUE(bar.Paused());
}

TEST_F(VideoBarTest, MuteRestoresAndVolumeDrags) {
  Load(480, 1, 100000);
  bar.SetVolume(0.7f);
  const TVideoNavLayout& l = bar.Layout();
  const int32_t sx = l.soundRight + 4 + l.bw / 2;
  const int32_t iy = (l.height - l.bh) / 2 + l.bh / 2;
  Event(1, sx, MidY());
  Event(2, sx, MidY());
  ASSERT_EQ(volumes, std::vector<float>{0});
  EXPECT_EQ(bar.Volume(), 0);
  // The sound-off image (its centre colour) is shown.
  EXPECT_EQ(bar.picture.GetPixel(sx, iy), 0xFF400040u);
  Event(1, sx, MidY());
  Event(2, sx, MidY());
  EXPECT_EQ(volumes.back(), 0.7f);
  EXPECT_EQ(bar.picture.GetPixel(sx, iy), 0xFF0000C0u);

  // A drag along the volume track: values clamped to 0..1, the sound button follows 0.
  volumes.clear();
  Event(1, l.v0 + 2, MidY());
  EXPECT_TRUE(bar.VolumeDragging());
  Event(0, l.v0, MidY());
  Event(0, l.v1, MidY());
  Event(2, l.v1, MidY());
  ASSERT_GE(volumes.size(), 2u);
  EXPECT_EQ(volumes[0], 0);
  EXPECT_EQ(volumes.back(), 1);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(VideoBarTest, ButtonsHoverAndTheExitBox) {
  bool exitHalf = false;
  bar.exitHalf = [&exitHalf] { return exitHalf; };
  std::vector<TRectI> exitChanges;
  bar.onExitPictureChanged = [&exitChanges](const TRectI& r) { exitChanges.push_back(r); };
  Load(480, 1, 100000);
  const TVideoNavLayout& l = bar.Layout();
  ASSERT_EQ(bar.exitPicture.Width(), l.height);
  EXPECT_FALSE(exitChanges.empty());
  Event(0, 4 + 1, MidY());
  EXPECT_EQ(bar.ElementState(TVideoNavBar::PlayPause), 1);
  // Custom buttons: backward then forward; the click gives k - 1.
  Event(1, 4 + 12 + 1, MidY());
  Event(2, 4 + 12 + 1, MidY());
  Event(1, 4 + 24 + 1, MidY());
  Event(2, 4 + 24 + 1, MidY());
  EXPECT_EQ(clicks, (std::vector<int32_t>{0, 1}));
  // The exit box: its own pixels, image centred.
  exitHalf = true;
  Event(1, l.height / 2, l.height / 2);
  EXPECT_EQ(bar.ElementState(TVideoNavBar::ExitBox), 2);
  EXPECT_EQ(clicks.back(), -2);
  EXPECT_EQ(bar.exitPicture.GetPixel(l.height / 2, l.height / 2), 0xFFC000C0u);
  EXPECT_EQ(bar.exitPicture.GetPixel(0, 0), 0u);
}

TEST_F(VideoBarTest, UpdatesRedrawOnlyWhatChanged) {
  Load(480, 1, 100000);
  changes.clear();
  bar.Update(100);  // same slider pixel and second
  EXPECT_TRUE(changes.empty());
  bar.Update(50000);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_GE(changes[0].left, bar.Layout().t0);
  EXPECT_LE(changes[0].right, bar.Layout().soundRight);
  changes.clear();
  playing = false;
  bar.Update(50000);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].left, 4);  // the play/pause button
}

TEST_F(VideoBarTest, GoldenPictures) {
  Load(480, 1, 100000);
  bar.Update(40000);
  bar.SetVolume(0.4f);
  ExpectGolden(bar.picture, "video_bar_480_1x");
  TVideoRig big;
  big.Load(720, 1.5f, 4000000, {1});
  big.bar.Update(1234000);
  big.bar.SetVolume(0);
  big.Event(0, 4 + 1, big.MidY());  // play/pause hovered
  ExpectGolden(big.bar.picture, "video_bar_720_1.5x");
}

// ---------------------------------------------------------------------------------------------
// The panel makes the bars from PNG members and refuses bad themes

class TMemberSource : public TFileSource {
 public:
  std::map<std::string, std::vector<uint8_t>> files;

 protected:
  std::unique_ptr<TStream> DoOpen(const std::string& name) override {
    auto it = files.find(name);
    return it == files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
  }
};

TEST(NavPanelBars, VideoThemeFromPngMembersAndARefusedTheme) {
  auto good = MakeRef<TMemberSource>();
  for (const auto& [name, bitmap] : VideoPictures()) ASSERT_TRUE(EncodePng(bitmap, good->files[name]));
  const std::string theme = kVideoTheme;
  good->files["theme\\video.ini"].assign(theme.begin(), theme.end());
  // The same theme with a strip too narrow for seven buttons.
  auto bad = MakeRef<TMemberSource>();
  bad->files = good->files;
  ASSERT_TRUE(EncodePng(Picture(20, 12, 0xFF808080u), bad->files["theme\\normal.png"]));
  std::vector<std::string> lines;
  CurrentLog().SetOutputRoutine([&lines](const std::string& l) { lines.push_back(l); });

  auto makePanel = [](TFileAccessor& files, std::vector<TRectI>& placed) {
    TNavPanelConfig c;
    c.area = {0, 0, 640, 480};
    c.customNames = {u"forward"};
    c.files = &files;
    c.durationMs = 60000;
    auto panel = std::make_unique<TNavPanel>(c, [&placed](int32_t index, TRef<TDrawPicture> p, const TRectI& r) {
      placed.push_back(p ? r : TRectI{});
      return index < 0 ? int32_t(placed.size() - 1) : index;
    });
    panel->LoadTheme(u"theme\\video.ini");
    return panel;
  };
  TFileAccessor goodFiles(good), badFiles(bad);
  std::vector<TRectI> placed, none;
  auto panel = makePanel(goodFiles, placed);
  auto refused = makePanel(badFiles, none);
  CurrentLog().SetOutputRoutine({});

  ASSERT_NE(panel->Bar(), nullptr);
  EXPECT_TRUE(panel->VideoStyle());
  ASSERT_NE(dynamic_cast<TVideoNavBar*>(panel->Bar()), nullptr);
  EXPECT_EQ(panel->BarRect(), (TRectI{0, 460, 640, 480}));  // full width, on the bottom edge
  EXPECT_EQ(panel->Bar()->buttonIndexes, std::vector<int32_t>{1});
  EXPECT_FALSE(placed.empty());
  // The refused theme: no bar, nothing shown, one log line.
  EXPECT_EQ(refused->Bar(), nullptr);
  EXPECT_TRUE(none.empty());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("TNavPanel: theme theme\\video.ini refused"), std::string::npos);
}

}  // namespace
}  // namespace zem
