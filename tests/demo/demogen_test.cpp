// The demo's generated media: pictures that decode through the player's own decoders, music whose
// notes are the score's and which loops without a seam, and a show script that refers to exactly
// the files the generator makes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "demo_media.h"
#include "demo_music.h"
#include "demo_pictures.h"
#include "demo_test_util.h"
#include "foundation/assert.h"
#include "foundation/stream.h"
#include "jpeg_writer.h"
#include "model/slide_source.h"
#include "resources/decoders.h"
#include "resources/exif.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"
#include "sound/media_info.h"
#include "sound/music/music_source.h"

namespace zem {
namespace {

using demotest::LoudestNotes;
using demotest::LumaDeviation;
using demotest::MeanDifference;

TRef<TBitmapStore> DecodeBytes(const std::vector<uint8_t>& bytes, const char16_t* name) {
  TMemoryStream s(bytes);
  return Decode(s, name);
}

std::vector<double> Mono(const TStereoPcm& pcm, double from_s, double seconds) {
  const size_t first = static_cast<size_t>(from_s * pcm.rate);
  const size_t count = std::min(static_cast<size_t>(seconds * pcm.rate), pcm.Frames() - first);
  std::vector<double> v(count);
  for (size_t i = 0; i < count; ++i) v[i] = (pcm.samples[2 * (first + i)] + pcm.samples[2 * (first + i) + 1]) / 2.0;
  return v;
}

TEST(DemoPictures, AreReproducibleVariedAndSurviveTheJpegDecoder) {
  struct TCase {
    const char* name;
    TBitmap (*paint)(int32_t, int32_t);
  };
  const TCase cases[] = {{"landscape", PaintLandscape}, {"plasma", PaintPlasma}, {"dunes", PaintDunes}, {"night", PaintNight}};
  std::vector<TBitmap> pictures;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TBitmap a = c.paint(320, 180), b = c.paint(320, 180);
    ASSERT_EQ(a.Width(), 320);
    ASSERT_EQ(a.Height(), 180);
    ASSERT_EQ(a.DataSize(), b.DataSize());
    EXPECT_EQ(0, std::memcmp(a.Data(), b.Data(), a.DataSize()));
    EXPECT_GT(LumaDeviation(a), 15.0);  // a picture, not a flat colour

    std::vector<uint8_t> jpeg;
    ASSERT_TRUE(EncodeJpeg(a, 90, jpeg));
    auto store = DecodeBytes(jpeg, u"x.jpg");
    ASSERT_TRUE(store);
    const TBitmap& back = store->Bitmap();
    ASSERT_EQ(back.Width(), 320);
    ASSERT_EQ(back.Height(), 180);
    EXPECT_LT(MeanDifference(a, back), 3.0);
    pictures.push_back(std::move(a));
  }
  // Four different pictures.
  for (size_t i = 0; i < pictures.size(); ++i)
    for (size_t j = i + 1; j < pictures.size(); ++j) EXPECT_GT(MeanDifference(pictures[i], pictures[j]), 20.0);
}

TEST(DemoPictures, TheLandscapeCarriesItsCameraFacts) {
  TDemoFile file;
  ASSERT_TRUE(MakeDemoFile("landscape.jpg", TDemoMediaOptions{}, file));
  TBufferStream stream(file.bytes.data(), int64_t(file.bytes.size()));
  TExif exif;
  ASSERT_TRUE(exif.LoadFromJpeg(stream));
  EXPECT_EQ(exif.Text(kExifDateTime), u"2026:05:17 06:12:40");
  EXPECT_EQ(exif.Text(kExifImageDescription), u"Dawn over the hills");
  EXPECT_TRUE(DecodeBytes(file.bytes, u"landscape.jpg"));  // still an ordinary JPEG
}

TEST(DemoPictures, JpegEncoderRefusesWhatItCannotWrite) {
  std::vector<uint8_t> out{1, 2, 3};
  EXPECT_FALSE(EncodeJpeg(TBitmap(), 85, out));
  EXPECT_TRUE(out.empty());
  TBitmap grey;
  ASSERT_TRUE(grey.Allocate(8, 8, TPixelFormat::Grey8));
  EXPECT_FALSE(EncodeJpeg(grey, 85, out));
  // A 32-bit picture is written without its alpha.
  TBitmap argb;
  ASSERT_TRUE(argb.Allocate(16, 16, TPixelFormat::Argb32));
  argb.Fill(0x80336699u);
  ASSERT_TRUE(EncodeJpeg(argb, 100, out));
  auto store = DecodeBytes(out, u"a.jpg");
  ASSERT_TRUE(store);
  const uint32_t p = store->Bitmap().GetPixel(8, 8);
  EXPECT_NEAR(int((p >> 16) & 255), 0x33, 3);
  EXPECT_NEAR(int((p >> 8) & 255), 0x66, 3);
  EXPECT_NEAR(int(p & 255), 0x99, 3);
}

TEST(DemoPictures, LogoIsOpaqueInsideTransparentOutsideAndKeepsItsAlphaAsPng) {
  TBitmap logo = PaintLogo(128);
  ASSERT_EQ(logo.Format(), TPixelFormat::Argb32);
  EXPECT_EQ(logo.GetPixel(0, 0) >> 24, 0u);
  EXPECT_EQ(logo.GetPixel(127, 127) >> 24, 0u);
  EXPECT_EQ(logo.GetPixel(64, 64) >> 24, 255u);
  EXPECT_EQ(logo.GetPixel(64, 4) >> 24, 255u);  // on the ring
  // Partly covered pixels along the ring's outer edge: smooth, not jagged.
  int partial = 0;
  for (int32_t x = 0; x < 128; ++x) {
    const uint32_t a = logo.GetPixel(x, 64) >> 24;
    partial += a > 0 && a < 255;
  }
  EXPECT_GE(partial, 2);

  std::vector<uint8_t> png;
  ASSERT_TRUE(EncodePng(logo, png, 9));
  auto store = DecodeBytes(png, u"logo.png");
  ASSERT_TRUE(store);
  const TBitmap& back = store->Bitmap();
  ASSERT_EQ(back.Format(), TPixelFormat::Argb32);
  for (int32_t y = 0; y < 128; y += 7)
    for (int32_t x = 0; x < 128; x += 5) ASSERT_EQ(back.GetPixel(x, y), logo.GetPixel(x, y)) << x << "," << y;
}

TEST(DemoPictures, TilesAreFlatColoursOnAGrid) {
  TBitmap t = PaintTiles(240, 160, 40);
  // Every tile's centre differs from its right neighbour's (the checker of two palettes), while
  // the grout lines are the same dark colour everywhere.
  for (int32_t ty = 0; ty < 4; ++ty) {
    for (int32_t tx = 0; tx + 1 < 6; ++tx) {
      EXPECT_NE(t.GetPixel(tx * 40 + 28, ty * 40 + 28), t.GetPixel(tx * 40 + 68, ty * 40 + 28));
      EXPECT_EQ(t.GetPixel(tx * 40, ty * 40 + 20), t.GetPixel(0, 0));
    }
  }
  EXPECT_THROW(PaintTiles(64, 64, 4), EAssertionFailed);
}

TEST(DemoNoise, StaysInRangeAndVariesSmoothly) {
  double lo = 1, hi = 0, largest_step = 0, prev = FractalNoise(0, 0.5, 3, 4);
  for (int i = 1; i < 4000; ++i) {
    const double v = FractalNoise(i * 0.005, 0.5, 3, 4);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
    largest_step = std::max(largest_step, std::abs(v - prev));
    prev = v;
  }
  EXPECT_GE(lo, 0.0);
  EXPECT_LE(hi, 1.0);
  EXPECT_GT(hi - lo, 0.3);
  EXPECT_LT(largest_step, 0.05);
  EXPECT_NE(ValueNoise(1.5, 2.5, 1), ValueNoise(1.5, 2.5, 2));  // the seed matters
  EXPECT_EQ(ValueNoise(3, 4, 7), ValueNoise(3, 4, 7));
}

TEST(DemoMusic, ScoreIsEightBarsOfFourAtNinetySix) {
  const TDemoScore s = MakeDemoScore();
  ASSERT_EQ(s.bars.size(), 8u);
  EXPECT_DOUBLE_EQ(s.LengthSeconds(), 20.0);
  for (const TDemoNote& n : s.notes) {
    EXPECT_GE(n.start, 0);
    EXPECT_LT(n.start, s.LengthSeconds());
    EXPECT_GE(n.pan, -1);
    EXPECT_LE(n.pan, 1);
    // Every note belongs to the harmony of its bar.
    const TDemoBar& bar = s.bars[static_cast<size_t>(n.start / s.BarSeconds())];
    std::set<int32_t> classes{bar.bass % 12};
    for (int32_t c : bar.chord) classes.insert(c % 12);
    EXPECT_TRUE(classes.count(n.midi % 12)) << n.midi;
  }
  EXPECT_DOUBLE_EQ(MidiFrequency(69), 440.0);
  EXPECT_NEAR(MidiFrequency(60), 261.626, 0.001);
}

TEST(DemoMusic, RendersTheScoreNotesAtTheRequestedPeakAndLength) {
  const TDemoScore score = MakeDemoScore();
  const TStereoPcm pcm = RenderDemoMusic(score, 22050, 0.7);
  ASSERT_EQ(pcm.rate, 22050u);
  ASSERT_EQ(pcm.Frames(), 20u * 22050u);
  int peak = 0;
  for (int16_t s : pcm.samples) peak = std::max(peak, std::abs(int(s)));
  EXPECT_NEAR(peak, 0.7 * 32767, 1);
  // Within each bar (past the previous bar's release) the loudest notes are the bar's harmony.
  for (size_t b = 0; b < score.bars.size(); ++b) {
    SCOPED_TRACE(b);
    const TDemoBar& bar = score.bars[b];
    std::set<int32_t> classes{bar.bass % 12};
    for (int32_t c : bar.chord) classes.insert(c % 12);
    auto loud = LoudestNotes(Mono(pcm, b * score.BarSeconds() + 1.0, 1.4), pcm.rate, 5);
    for (int32_t m : loud) EXPECT_TRUE(classes.count(m % 12)) << m;
  }
  // Deterministic: a second rendering is the same to the sample.
  EXPECT_EQ(RenderDemoMusic(score, 22050, 0.7).samples, pcm.samples);
}

TEST(DemoMusic, LoopsWithoutAClick) {
  const TStereoPcm pcm = RenderDemoMusic(MakeDemoScore(), 11025);
  // The largest step between neighbouring samples anywhere in the piece...
  int largest = 0;
  for (size_t i = 2; i < pcm.samples.size(); ++i)
    largest = std::max(largest, std::abs(pcm.samples[i] - pcm.samples[i - 2]));
  // ...bounds the step across the loop point (last frame to the first), for both channels.
  const size_t n = pcm.samples.size();
  EXPECT_LE(std::abs(pcm.samples[0] - pcm.samples[n - 2]), largest);
  EXPECT_LE(std::abs(pcm.samples[1] - pcm.samples[n - 1]), largest);
  // The release of the last bar sounds at the very beginning: the loop does not start silent.
  double early = 0;
  for (size_t i = 0; i < 200; ++i) early = std::max(early, std::abs(double(pcm.samples[i])));
  EXPECT_GT(early, 300);
}

TEST(DemoMusic, WaveFileIsReadByThePlayersRiffReader) {
  TStereoPcm pcm;
  pcm.rate = 22050;
  pcm.samples = {1, -1, 2, -2, 32767, -32768};
  const std::vector<uint8_t> wav = EncodeWave(pcm);
  ASSERT_EQ(wav.size(), 44u + 12u);
  TMemoryStream s(wav);
  TMediaInfo info;
  ASSERT_TRUE(TRiffInfo::Read(s, info));
  EXPECT_EQ(info.wave_format.channels, 2);
  EXPECT_EQ(info.wave_format.samples_per_sec, 22050u);
  EXPECT_EQ(info.wave_format.bits_per_sample, 16);
  EXPECT_EQ(info.data_offset, 44u);
  EXPECT_EQ(info.data_size, 12u);
  int16_t last = 0;
  std::memcpy(&last, &wav[54], 2);
  EXPECT_EQ(last, -32768);
}

class DemoMediaFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = (std::filesystem::temp_directory_path() / ("zem_demo_media_" + std::to_string(getpid()))).string();
    options.width = 96;
    options.height = 54;
    options.logo_side = 32;
    options.sample_rate = 8000;
  }
  void TearDown() override { std::filesystem::remove_all(folder); }
  std::string folder;
  TDemoMediaOptions options;
};

TEST_F(DemoMediaFolder, WritesEveryNamedFileOnceAndLeavesUnchangedFilesAlone) {
  std::vector<TDemoFile> made;
  std::string error;
  ASSERT_TRUE(WriteDemoMedia(folder + "/sub", options, made, error)) << error;
  ASSERT_EQ(made.size(), DemoMediaNames().size());
  for (const TDemoFile& f : made) {
    std::vector<uint8_t> disk;
    ASSERT_TRUE(ReadFileBytes(folder + "/sub/" + f.name, disk)) << f.name;
    EXPECT_EQ(disk, f.bytes) << f.name;
    if (f.name.ends_with(".jpg") || f.name.ends_with(".png")) {
      auto store = DecodeBytes(f.bytes, Utf8ToWide(f.name).c_str());
      ASSERT_TRUE(store) << f.name;
      // The bar's pictures have sizes of their own: a strip holds seven 32-pixel buttons.
      if (f.name.starts_with("navbar/")) {
        if (f.name.ends_with("hover.png")) {
          EXPECT_EQ(store->Bitmap().Width(), 7 * 32);
        }
        continue;
      }
      EXPECT_EQ(store->Bitmap().Width(), f.name == "logo.png" ? 32 : f.name.starts_with("Buttons/") ? 48 : 96);
    }
  }
  const auto stamp = std::filesystem::last_write_time(folder + "/sub/music.wav");
  // A changed file is rewritten; an unchanged one keeps its time.
  ASSERT_TRUE(WriteFileBytes(folder + "/sub/tiles.png", "x", 1));
  ASSERT_TRUE(WriteDemoMedia(folder + "/sub", options, made, error)) << error;
  EXPECT_EQ(std::filesystem::last_write_time(folder + "/sub/music.wav"), stamp);
  std::vector<uint8_t> tiles;
  ASSERT_TRUE(ReadFileBytes(folder + "/sub/tiles.png", tiles));
  EXPECT_GT(tiles.size(), 1u);

  TDemoFile none;
  EXPECT_FALSE(MakeDemoFile("readme.txt", options, none));
  // A folder that cannot be made is reported.
  ASSERT_TRUE(WriteFileBytes(folder + "/plain", "x", 1));
  EXPECT_FALSE(WriteDemoMedia(folder + "/plain/inner", options, made, error));
  EXPECT_NE(error.find("cannot create"), std::string::npos);
}

// The demo script in the repository against the generator: every medium it names is made, the
// music entry is the generated loop with its true length, the clip's sound is the slide sound of
// the slide where the clip starts, and the timing is as designed.
TEST(DemoScript, RefersToTheGeneratedMediaAndPlaysSixtySeconds) {
  std::ifstream in(std::string(ZEM_SOURCE_DIR) + "/demo/Project.zem", std::ios::binary);
  ASSERT_TRUE(in);
  std::stringstream text;
  text << in.rdbuf();
  const std::string script = text.str();
  const std::set<std::string> names(DemoMediaNames().begin(), DemoMediaNames().end());
  std::set<std::string> used;
  const std::regex medium("(?:ImageName|FileName)=([^\\r\\n]+)");
  for (auto it = std::sregex_iterator(script.begin(), script.end(), medium); it != std::sregex_iterator(); ++it) {
    const std::string name = (*it)[1];
    if (name.starts_with("PresetedMask:")) continue;  // made by the player
    EXPECT_TRUE(names.count(name)) << name;
    used.insert(name);
  }
  // Every picture, the music and the clip are named by their file names; the navigation bar's
  // theme is named by its member name; the rest is the button theme (four files).
  const size_t bar = size_t(std::count_if(names.begin(), names.end(), [](const std::string& n) {
    return n.starts_with("navbar/");
  }));
  EXPECT_EQ(used.size(), names.size() - bar - 4);
  EXPECT_TRUE(names.count("navbar/video.ini"));
  EXPECT_NE(script.find("opt_nav_inifile=navbar\\video.ini"), std::string::npos);

  auto ini = std::make_unique<TIniFile>();
  ASSERT_TRUE(ini->LoadFromText(Utf8ToWide(script)));
  auto show = MakeRef<TZemSource>(std::move(ini), nullptr);
  EXPECT_EQ(show->SlideCount(), 12);  // the title, eight pictures, the two slides of the clip, the buttons
  EXPECT_DOUBLE_EQ(show->TotalDuration(), 60000);
  for (int32_t i = 0; i < show->SlideCount(); ++i) EXPECT_GT(show->Infos()[size_t(i)].inLength, 0) << i;

  TZemMusicSource music(*show, 1);
  ASSERT_EQ(music.PlayList().Count(), 1);
  EXPECT_NE(music.PlayList().Get(0).fileName.find(u"FileName=music.wav"), WideString::npos);
  EXPECT_DOUBLE_EQ(music.PlayList().Get(0).duration, MakeDemoScore().LengthSeconds() * 1000);
  EXPECT_TRUE(music.SyncMode());
  EXPECT_TRUE(music.Repeat());  // the loop runs on under the whole show
  // The clip's sound starts with slide 10 (half a second in) and is not added again on slide 11.
  EXPECT_NE(music.Slide(9).sound.find(u"FileName=clip.avi"), WideString::npos);
  EXPECT_NE(music.Slide(9).sound.find(u"TimeLine=500"), WideString::npos);
  EXPECT_EQ(music.Slide(10).sound.find(u"clip.avi"), WideString::npos);
}

}  // namespace
}  // namespace zem
