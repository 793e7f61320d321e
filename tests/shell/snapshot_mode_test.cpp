// The player's snapshot mode run as a process: a project on disk and a published show drawn at
// a show time into a PNG that is read back and measured.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <memory>

#include "../package/test_util.h"
#include "foundation/bitmap.h"
#include "player_process.h"
#include "resources/bitmap_store.h"
#include "resources/decoders.h"
#include "shell/show_options.h"
#include "shell/snapshot_mode.h"
#include "test_data.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using test::RunPlayerProcess;
using test::TRun;

// A windowed 320 × 240 show: a red slide with a blue square in the middle (an object is fitted
// to the slide's height, so the square spans x 40 .. 280).
constexpr const char* kBoxShow =
    "[Main]\r\nZemVersion=5.6\r\nopt_exefn=boxshow\r\nopt_scr_full=0\r\nopt_scr_width=320\r\n"
    "opt_scr_height=240\r\nopt_slidescount=1\r\nopt_synchpos1=3000\r\n"
    "[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=255\r\n"
    "object box: Middle\r\n  Size=1,1\r\n  FillMode=Solid\r\n  Color1=0,0,255\r\n"
    "  object keypoint:\r\n    Time=0\r\n  end\r\nend\r\n";

void WriteText(const std::string& path, const std::string& text) {
  ASSERT_TRUE(WriteFileBytes(path, text.data(), text.size()));
}

// The PNG read back through the project's own decoders; empty when unreadable.
TBitmap ReadPng(const std::string& path) {
  TBitmap out;
  auto stream = TFileStream::Open(path, TFileMode::Read);
  if (!stream) return out;
  TRef<TBitmapStore> store = Decode(std::move(stream), u"snapshot.png");
  if (store) out = store->Bitmap();
  return out;
}

uint32_t Rgb(const TBitmap& b, int32_t x, int32_t y) { return b.GetPixel(x, y) & 0xFFFFFFu; }

// Mean of each colour channel over a bitmap, as 0xRRGGBB-ordered triple.
std::array<double, 3> MeanColour(const TBitmap& b) {
  std::array<double, 3> sum{};
  for (int32_t y = 0; y < b.Height(); ++y)
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint32_t p = b.GetPixel(x, y);
      sum[0] += (p >> 16) & 0xFF;
      sum[1] += (p >> 8) & 0xFF;
      sum[2] += p & 0xFF;
    }
  const double n = double(b.Width()) * b.Height();
  for (double& s : sum) s /= n;
  return sum;
}

TEST(SnapshotOptions, SizesFromTheShowAndTheSwitch) {
  TMainOptions o;
  int32_t w = 0, h = 0;
  DefaultSnapshotSize(o, w, h);  // full screen by default
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  o.scr_full = 0;
  o.scr_width = 1024;
  o.scr_height = 768;
  DefaultSnapshotSize(o, w, h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 768);
  o.scr_width = -5;  // a broken window size falls back to the default size
  DefaultSnapshotSize(o, w, h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);

  EXPECT_TRUE(ParseOutputSize("64x48", w, h));
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 48);
  EXPECT_TRUE(ParseOutputSize("16384X1", w, h));
  for (const char* bad : {"", "64", "x48", "64x", "0x10", "10x-1", "16385x10", "64x48x2", " 64x48", "64 x48"})
    EXPECT_FALSE(ParseOutputSize(bad, w, h)) << bad;
  EXPECT_EQ(w, 16384);  // unchanged by the failures

  std::vector<double> t;
  EXPECT_TRUE(ParseSnapshotTimes("1000,2000.5,0", t));
  EXPECT_EQ(t, (std::vector<double>{1000, 2000.5, 0}));
  for (const char* bad : {"", ",", "1000,", "1,,2", "a", "1 000", "nan"}) EXPECT_FALSE(ParseSnapshotTimes(bad, t)) << bad;
  std::string name;
  bool numbered = false;
  EXPECT_TRUE(SnapshotFileName("out/f%04d.png", 7, name, numbered));
  EXPECT_EQ(name, "out/f0007.png");
  EXPECT_TRUE(numbered);
  EXPECT_TRUE(SnapshotFileName("100%% f%d", 12, name, numbered));
  EXPECT_EQ(name, "100% f12");
  EXPECT_TRUE(SnapshotFileName("plain.png", 3, name, numbered));
  EXPECT_FALSE(numbered);
  for (const char* bad : {"%d%d.png", "50%.png", "%x.png", "%0123456789d"})
    EXPECT_FALSE(SnapshotFileName(bad, 1, name, numbered)) << bad;
}

// The GL driver keeps one-time allocations until exit and unloads its modules first, so a leak
// check in a sanitized player could not tell them from ours; the drawing itself is leak-checked
// in process by the drawer's tests.
const std::vector<std::string> kDrawingEnv = {"ASAN_OPTIONS=detect_leaks=0"};

class SnapshotProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Path("proj"));
    WriteText(dir_.Path("proj/show.zem"), kBoxShow);
  }
  TRun Snapshot(std::vector<std::string> extra) {
    std::vector<std::string> argv = {ZEMVIEWER_PATH};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return RunPlayerProcess(argv, dir_.Path("err.txt"), kDrawingEnv);
  }
  test::TScratch dir_;
};

TEST_F(SnapshotProcess, ProjectOnDiskAtTheShowsWindowSizeAndAnOutputSize) {
  TRun r = Snapshot({"-filename", dir_.Path("proj/show.zem"), "-snapshot", dir_.Path("a.png"), "-at", "1000"});
  ASSERT_EQ(r.status, 0) << r.err;
  TBitmap a = ReadPng(dir_.Path("a.png"));
  ASSERT_EQ(a.Width(), 320);
  ASSERT_EQ(a.Height(), 240);
  EXPECT_EQ(Rgb(a, 160, 120), 0x0000FFu);  // the box
  EXPECT_EQ(Rgb(a, 45, 2), 0x0000FFu);
  EXPECT_EQ(Rgb(a, 274, 236), 0x0000FFu);
  EXPECT_EQ(Rgb(a, 5, 120), 0xFF0000u);  // the slide's own background
  EXPECT_EQ(Rgb(a, 35, 5), 0xFF0000u);
  EXPECT_EQ(Rgb(a, 285, 234), 0xFF0000u);

  r = Snapshot({"-filename", dir_.Path("proj/show.zem"), "-snapshot", dir_.Path("b.png"), "-at", "2500", "-outsize",
                "64x48"});
  ASSERT_EQ(r.status, 0) << r.err;
  TBitmap b = ReadPng(dir_.Path("b.png"));
  ASSERT_EQ(b.Width(), 64);
  ASSERT_EQ(b.Height(), 48);
  EXPECT_EQ(Rgb(b, 32, 24), 0x0000FFu);
  EXPECT_EQ(Rgb(b, 2, 24), 0xFF0000u);
  EXPECT_EQ(Rgb(b, 61, 40), 0xFF0000u);
}

TEST_F(SnapshotProcess, FailuresAreOneLineAndANonZeroStatus) {
  const std::string show = dir_.Path("proj/show.zem");
  const std::string png = dir_.Path("x.png");
  struct TCase {
    std::vector<std::string> args;
    const char* says;
  };
  const std::vector<TCase> cases = {
      {{"-filename", show, "-snapshot", png}, "-at"},
      {{"-filename", show, "-snapshot", png, "-at", "soon"}, "-at"},
      {{"-filename", show, "-snapshot", png, "-at", "0", "-outsize", "wide"}, "-outsize"},
      {{"-filename", show, "-snapshot", png, "-at", "0", "-outsize", "0x0"}, "-outsize"},
      {{"-filename", dir_.Path("proj/none.zem"), "-snapshot", png, "-at", "0"}, "Can`t Load .zem File"},
      {{"-filename", show, "-snapshot", dir_.Path("no/such/folder/x.png"), "-at", "0"}, "cannot write"},
      {{"-filename", show, "-snapshot", png, "-at", "0,500"}, "%d"},
      {{"-filename", show, "-snapshot", dir_.Path("x%d.png"), "-at", "0,,500"}, "-at"},
  };
  for (const TCase& c : cases) {
    TRun r = Snapshot(c.args);
    EXPECT_GT(r.status, 0) << c.args.back();
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
  }
  EXPECT_FALSE(fs::exists(png));
}

TEST_F(SnapshotProcess, CrossFadeBetweenSlidesIsDrawnAtItsProgress) {
  // A black slide, then a white one faded in over 2 s from 3 s on.
  WriteText(dir_.Path("proj/fade.zem"),
            "[Main]\r\nopt_scr_full=0\r\nopt_scr_width=64\r\nopt_scr_height=48\r\nopt_slidescount=2\r\n"
            "opt_synchpos1=3000\r\nopt_synchpos2=6000\r\n[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=0\r\n"
            "[Slide2]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=16777215\r\nPers_Effect=1\r\nEffect_Class=2\r\n"
            "EffectTime=2000\r\n");
  // All four times in one call, numbered through the file name.
  TRun r = Snapshot({"-filename", dir_.Path("proj/fade.zem"), "-snapshot", dir_.Path("f%02d.png"), "-at",
                     "2500,3500,4000,5500"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto grey = [&](const char* file) {
    TBitmap b = ReadPng(dir_.Path(file));
    return b.Empty() ? -1 : int(b.GetPixel(32, 24) & 0xFF);
  };
  EXPECT_EQ(grey("f01.png"), 0);
  EXPECT_NEAR(grey("f02.png"), 64, 2);
  EXPECT_NEAR(grey("f03.png"), 128, 2);
  EXPECT_EQ(grey("f04.png"), 255);
}

TEST_F(SnapshotProcess, PictureFromTheProjectFolder) {
  const std::string source = zem::test::DataFile("images/jpeg/pillow/hopper.jpg");
  if (!fs::exists(source)) GTEST_SKIP() << "no test picture";
  fs::copy_file(source, dir_.Path("proj/hopper.jpg"));
  // The square picture fitted to a square 150 × 150 view: it covers all of it.
  WriteText(dir_.Path("proj/pic.zem"),
            "[Main]\r\nopt_scr_full=0\r\nopt_scr_width=150\r\nopt_scr_height=150\r\nopt_slidescount=1\r\n"
            "opt_synchpos1=3000\r\n[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=0\r\n"
            "object image: Photo\r\n  ImageName=hopper.jpg\r\n  Size=128,128\r\n"
            "  object keypoint:\r\n    Time=0\r\n  end\r\nend\r\n");
  TRun r = Snapshot({"-filename", dir_.Path("proj/pic.zem"), "-snapshot", dir_.Path("p.png"), "-at", "500"});
  ASSERT_EQ(r.status, 0) << r.err;
  TBitmap shot = ReadPng(dir_.Path("p.png"));
  ASSERT_EQ(shot.Width(), 150);
  ASSERT_EQ(shot.Height(), 150);
  auto stream = TFileStream::Open(source, TFileMode::Read);
  ASSERT_TRUE(stream);
  TRef<TBitmapStore> picture = Decode(std::move(stream), u"hopper.jpg");
  ASSERT_TRUE(picture);
  // Stretching and filtering keep the picture's mean colour; a missing picture (black) would not.
  const auto want = MeanColour(picture->Bitmap());
  const auto got = MeanColour(shot);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 6.0) << "channel " << i;
}

TEST_F(SnapshotProcess, PublishedShowDrawsItsOwnPackage) {
  const std::string published = dir_.Path("boxshow");
  TRun pack = RunPlayerProcess(
      {ZEMTOOL_PATH, "pack", dir_.Path("proj/show.zem"), published, "--player", ZEMVIEWER_PATH}, dir_.Path("pack.txt"));
  ASSERT_EQ(pack.status, 0) << pack.err;
  TRun r = RunPlayerProcess({published, "-snapshot", dir_.Path("pub.png"), "-at", "1000", "-outsize", "160x120"},
                            dir_.Path("err.txt"), kDrawingEnv);
  ASSERT_EQ(r.status, 0) << r.err;
  TBitmap shot = ReadPng(dir_.Path("pub.png"));
  ASSERT_EQ(shot.Width(), 160);
  ASSERT_EQ(shot.Height(), 120);
  EXPECT_EQ(Rgb(shot, 80, 60), 0x0000FFu);
  EXPECT_EQ(Rgb(shot, 2, 2), 0xFF0000u);
  EXPECT_EQ(Rgb(shot, 157, 60), 0xFF0000u);
}

}  // namespace
}  // namespace zem
