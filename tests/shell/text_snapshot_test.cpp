// Text drawn by the player's snapshot mode: aligned, styled lines compared with reference frames,
// edges that stay sharp when keypoints zoom a text four times, and a published show that draws
// its stored outlines instead of the installed font.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>

#include "../package/test_util.h"
#include "foundation/bitmap.h"
#include "package/show_locator.h"
#include "player_process.h"
#include "resources/bitmap_store.h"
#include "resources/decoders.h"
#include "resources/png_writer.h"
#include "resources/text/text_names.h"
#include "resources/text/vector_text.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using test::RunPlayerProcess;
using test::TRun;

const std::vector<std::string> kDrawingEnv = {"ASAN_OPTIONS=detect_leaks=0"};

TBitmap ReadPng(const std::string& path) {
  TBitmap out;
  auto stream = TFileStream::Open(path, TFileMode::Read);
  if (!stream) return out;
  TRef<TBitmapStore> store = Decode(std::move(stream), u"shot.png");
  if (store) out = store->Bitmap();
  return out;
}

int Luma(const TBitmap& b, int x, int y) {
  const uint32_t p = b.GetPixel(x, y);
  return int((((p >> 16) & 255) * 299 + ((p >> 8) & 255) * 587 + (p & 255) * 114) / 1000);
}

// Compares with tests/shell/golden/<name>.png; on failure the actual picture and a difference
// picture are written to golden-failures/ in the working folder. ZEM_UPDATE_GOLDEN writes the
// reference instead.
void ExpectGolden(const TBitmap& actual, const std::string& name, int tolerance = 12, double allowed = 0.004) {
  const std::string ref = std::string(ZEM_SOURCE_DIR) + "/tests/shell/golden/" + name + ".png";
  if (std::getenv("ZEM_UPDATE_GOLDEN")) {
    ASSERT_TRUE(WritePngFile(actual, ref));
    return;
  }
  TBitmap want = ReadPng(ref);
  ASSERT_FALSE(want.Empty()) << "missing reference " << ref << " (set ZEM_UPDATE_GOLDEN=1)";
  ASSERT_EQ(want.Width(), actual.Width());
  ASSERT_EQ(want.Height(), actual.Height());
  TBitmap diff;
  diff.Allocate(actual.Width(), actual.Height(), TPixelFormat::Argb32);
  int64_t bad = 0;
  for (int y = 0; y < actual.Height(); ++y)
    for (int x = 0; x < actual.Width(); ++x) {
      const uint32_t a = actual.GetPixel(x, y), b = want.GetPixel(x, y);
      int d = 0;
      for (int s = 0; s < 24; s += 8) d = std::max(d, std::abs(int((a >> s) & 255) - int((b >> s) & 255)));
      bad += d > tolerance;
      const uint32_t v = uint32_t(std::min(255, d * 4));
      diff.SetPixel(x, y, 0xFF000000u | v << 16 | v << 8 | v);
    }
  if (double(bad) / (double(actual.Width()) * actual.Height()) > allowed) {
    fs::create_directories("golden-failures");
    WritePngFile(actual, "golden-failures/" + name + ".actual.png");
    WritePngFile(diff, "golden-failures/" + name + ".diff.png");
    ADD_FAILURE() << name << ": " << bad << " pixels differ; pictures in " << fs::absolute("golden-failures");
  }
}

void WriteText(const std::string& path, const std::string& text) {
  ASSERT_TRUE(WriteFileBytes(path, text.data(), text.size()));
}

// Three aligned, styled paragraphs; "HIH" zooms from ScaleY 8 to 32 between 0 and 4 s.
constexpr const char* kTextShow =
    "[Main]\r\nopt_scr_full=0\r\nopt_scr_width=480\r\nopt_scr_height=270\r\nopt_slidescount=1\r\n"
    "opt_synchpos1=6000\r\n[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=4210752\r\n"
    "object text: left\r\n  Text=Left aligned^&second line\r\n  TextAlign=Left\r\n  FontStyle=Bold\r\n"
    "  TextColor=255,220,0\r\n  object keypoint:\r\n    Time=0\r\n    ScaleY=14\r\n    ScaleX=14\r\n"
    "    Position=-60,-60\r\n  end\r\nend\r\n"
    "object text: centre\r\n  Text=Centred^&in italics\r\n  FontStyle=Italic\r\n  FontName=Times New Roman\r\n"
    "  object keypoint:\r\n    Time=0\r\n    ScaleY=14\r\n    ScaleX=14\r\n    Position=0,-60\r\n  end\r\nend\r\n"
    "object text: right\r\n  Text=Right^&underlined text\r\n  TextAlign=Right\r\n  FontStyle=Underline\r\n"
    "  TextColor=120,200,255\r\n  object keypoint:\r\n    Time=0\r\n    ScaleY=14\r\n    ScaleX=14\r\n"
    "    Position=60,-60\r\n  end\r\nend\r\n"
    "object text: zoom\r\n  Text=HIH\r\n  object keypoint:\r\n    Time=0\r\n    ScaleY=8\r\n    ScaleX=8\r\n"
    "    Position=0,20\r\n  end\r\n  object keypoint:\r\n    Time=4000\r\n    ScaleY=32\r\n    ScaleX=32\r\n"
    "    Position=0,20\r\n  end\r\nend\r\n";

class TextSnapshots : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(dir_.Path("proj")); }
  TBitmap Shot(const std::string& show, const char* at) {
    TRun r = RunPlayerProcess({ZEMVIEWER_PATH, "-filename", show, "-snapshot", dir_.Path("t.png"), "-at", at},
                              dir_.Path("err.txt"), kDrawingEnv);
    EXPECT_EQ(r.status, 0) << r.err;
    return ReadPng(dir_.Path("t.png"));
  }
  test::TScratch dir_;
};

// Pixels of the first dark-to-light edge along row y from x0: those between 10 % and 90 % of
// the way from the background to the ink.
int EdgeWidth(const TBitmap& b, int y, int x0, int bg, int ink) {
  int x = x0;
  while (x < b.Width() && Luma(b, x, y) < bg + (ink - bg) / 10) ++x;
  int w = 0;
  while (x < b.Width() && Luma(b, x, y) < bg + (ink - bg) * 9 / 10) ++x, ++w;
  return x < b.Width() ? w : 1000;
}

TEST_F(TextSnapshots, AlignedStyledLinesAndSharpEdgesWhenZoomed) {
  WriteText(dir_.Path("proj/text.zem"), kTextShow);
  TBitmap one = Shot(dir_.Path("proj/text.zem"), "0");
  TBitmap four = Shot(dir_.Path("proj/text.zem"), "4000");
  ASSERT_EQ(one.Width(), 480);
  ASSERT_EQ(four.Width(), 480);
  ExpectGolden(one, "text_1x");
  ExpectGolden(four, "text_4x");
  // "HIH" sits at 135 + 27 = 162; its rows are ink across the stems. The first stem's left edge
  // is as narrow at four times the size as at the first keypoint: the text was rasterized at the
  // largest size it reaches, not stretched.
  const int bg = 64;
  const int narrow = EdgeWidth(one, 162, 200, bg, 255), wide = EdgeWidth(four, 162, 100, bg, 255);
  EXPECT_LE(narrow, 2);
  EXPECT_LE(wide, 2);
  // The block is 8 % and 32 % of the slide's height.
  auto inkRows = [&](const TBitmap& b) {
    int lo = b.Height(), hi = -1;
    for (int y = 100; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x)
        if (Luma(b, x, y) > 160) lo = std::min(lo, y), hi = std::max(hi, y);
    return hi - lo + 1;
  };
  EXPECT_NEAR(double(inkRows(four)) / inkRows(one), 4.0, 0.25);
}

// A square glyph of 800 units in a 1000-unit em: what the stored outlines of "AB" draw.
std::vector<uint8_t> SquareFont() {
  TGlyphOutline g;
  g.index = 1;
  g.left_bearing = 100, g.black_width = 800, g.right_bearing = 100;
  g.ascent = 800, g.descent = 200;
  g.design_size = 1000;
  g.points = {{100, -800, kPathMoveTo}, {900, -800, kPathLineTo}, {900, 0, kPathLineTo}, {100, 0, kPathLineTo}};
  return WriteGlyphCache(u"Squares", {&g});
}

TEST_F(TextSnapshots, PublishedShowDrawsItsStoredOutlines) {
  const std::string script =
      "[Main]\r\nopt_scr_full=0\r\nopt_scr_width=320\r\nopt_scr_height=240\r\nopt_slidescount=1\r\n"
      "opt_synchpos1=3000\r\n[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=0\r\n"
      "object text: t\r\n  Text=AB\r\n  object keypoint:\r\n    Time=0\r\n    ScaleY=40\r\n    ScaleX=40\r\n"
      "  end\r\nend\r\n";
  WriteText(dir_.Path("proj/show.zem"), script);
  TBitmap system = Shot(dir_.Path("proj/show.zem"), "500");

  TVectorText t;
  t.ascent = 800, t.descent = 200;
  t.fonts = {u"Squares"};
  t.lines = {{{0, 1000, 1, 0}, {1000, 1000, 1, 0}}};
  // A published show: the player with the package appended.
  std::vector<uint8_t> player;
  ASSERT_TRUE(ReadFileBytes(ZEMVIEWER_PATH, player));
  const std::string published = dir_.Path("textshow");
  ASSERT_GT(test::WritePackage(published,
                               {{"Project.zem", test::Bytes(script), 0},
                                {WideToUtf8(VectTextStreamName(u"Arial", 0, {u"AB"})), WriteVectorText(t), 0},
                                {"VectTextCache: Squares", SquareFont(), 0},
                                {"ExeGUID", WriteExeGuid(u"{TEXT-TEST}"), 0}},
                               true, player),
            0);
  ASSERT_EQ(::chmod(published.c_str(), 0755), 0);
  TRun r = RunPlayerProcess({published, "-snapshot", dir_.Path("pub.png"), "-at", "500"}, dir_.Path("err.txt"),
                            kDrawingEnv);
  ASSERT_EQ(r.status, 0) << r.err;
  TBitmap stored = ReadPng(dir_.Path("pub.png"));
  ASSERT_EQ(stored.Width(), 320);
  // The block is 96 pixels high and 192 wide, centred: two squares of 76.8 pixels, 19.2 apart.
  const int top = 120 - 48, left = 160 - 96;
  for (int square = 0; square < 2; ++square) {
    const int cx = left + 48 + 96 * square, cy = top + 38;
    EXPECT_EQ(Luma(stored, cx, cy), 255) << square;
    EXPECT_EQ(Luma(stored, cx - 30, cy + 30), 255) << square;  // a square's corner area is full
  }
  EXPECT_EQ(Luma(stored, 160, top + 38), 0);    // the gap between them
  EXPECT_EQ(Luma(stored, 160 - 48, top + 88), 0);  // below the baseline
  int differ = 0;
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) differ += std::abs(Luma(stored, x, y) - Luma(system, x, y)) > 64;
  EXPECT_GT(differ, 2000);  // the installed font's "AB" looks nothing like two squares
}

TEST_F(TextSnapshots, PackedVectorTextsDrawAsTheProjectDoes) {
  WriteText(dir_.Path("proj/text.zem"), kTextShow);
  const std::string published = dir_.Path("packed");
  TRun pack = RunPlayerProcess({ZEMTOOL_PATH, "pack", dir_.Path("proj/text.zem"), published, "--player", ZEMVIEWER_PATH,
                                "--vector-text"},
                               dir_.Path("pack.txt"));
  ASSERT_EQ(pack.status, 0) << pack.err;
  // The package holds each text laid out, its fonts' outlines and the show's identity.
  std::string error;
  auto files = CreatePackedAccessor(published, error);
  ASSERT_TRUE(files) << error;
  EXPECT_TRUE(files->Exists(WideToUtf8(VectTextStreamName(u"Arial", kFontBold, {u"Left aligned", u"second line"}))));
  EXPECT_TRUE(files->Exists(WideToUtf8(VectTextStreamName(u"Times New Roman", kFontItalic, {u"Centred", u"in italics"}))));
  EXPECT_TRUE(files->Exists("VectTextCache: Arial Bold"));
  EXPECT_TRUE(files->Exists("VectTextCache: Times New Roman Italic"));
  EXPECT_TRUE(files->Exists("ExeGUID"));
  TRun r = RunPlayerProcess({published, "-snapshot", dir_.Path("pub.png"), "-at", "4000"}, dir_.Path("err.txt"),
                            kDrawingEnv);
  ASSERT_EQ(r.status, 0) << r.err;
  TBitmap fromPackage = ReadPng(dir_.Path("pub.png"));
  TBitmap fromProject = Shot(dir_.Path("proj/text.zem"), "4000");
  ASSERT_EQ(fromPackage.Width(), fromProject.Width());
  int differ = 0;
  for (int y = 0; y < fromProject.Height(); ++y)
    for (int x = 0; x < fromProject.Width(); ++x)
      differ += std::abs(Luma(fromPackage, x, y) - Luma(fromProject, x, y)) > 24;
  EXPECT_LE(differ, 20);
}

}  // namespace
}  // namespace zem
