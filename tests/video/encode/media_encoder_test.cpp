// The encoder, read back through libavformat: each container with its codecs, pictures and
// repeats in order, the sound at its pitch and length; the temporary name until Finish; clear
// failures that leave no file behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "video/encode/media_encoder.h"
#include "video_probe.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
constexpr int kW = 64, kH = 48;

// A gradient with a bright block whose place depends on `n`: every picture differs.
std::vector<uint8_t> Picture(int n) {
  std::vector<uint8_t> p(size_t(kW) * kH * 4);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      uint8_t* q = &p[(size_t(y) * kW + x) * 4];
      const bool block = x >= 8 * n && x < 8 * n + 16 && y >= 16 && y < 32;
      q[0] = uint8_t(block ? 240 : 40 + 2 * x);
      q[1] = uint8_t(block ? 230 : 60 + 3 * y);
      q[2] = uint8_t(block ? 20 : 120);
      q[3] = 255;
    }
  return p;
}

std::vector<int16_t> Tone(int64_t first, int frames) {
  std::vector<int16_t> s;
  for (int64_t i = first; i < first + frames; ++i) {
    const int16_t v = int16_t(std::lround(16384 * std::sin(2 * M_PI * 440 * double(i) / 44100)));
    s.push_back(v);
    s.push_back(v);
  }
  return s;
}

double Frequency(const std::vector<double>& v) {
  int first = -1, last = -1, count = 0;
  for (size_t i = 1; i < v.size(); ++i)
    if (v[i - 1] < 0 && v[i] >= 0) {
      if (first < 0) first = int(i);
      last = int(i);
      ++count;
    }
  return count < 2 ? 0 : (count - 1) * 44100.0 / (last - first);
}

std::string TempPath(const std::string& ext) {
  return (fs::temp_directory_path() / ("zem_encoder_" + std::to_string(getpid()) + "." + ext)).string();
}

struct TCase {
  const char* ext;
  const char* video;
  const char* audio;
};

void PrintTo(const TCase& c, std::ostream* os) { *os << c.ext; }

class MediaEncoderContainers : public ::testing::TestWithParam<TCase> {};

TEST_P(MediaEncoderContainers, PicturesRepeatsAndSoundComeBackInOrder) {
  const TCase c = GetParam();
  const std::string path = TempPath(c.ext);
  TMediaEncoder enc;
  TEncodeSettings s;
  s.width = kW;
  s.height = kH;
  s.fps = 10;
  s.quality = 90;
  std::string error;
  ASSERT_TRUE(enc.Open(path, s, error)) << error;
  EXPECT_TRUE(fs::exists(PartialPath(path)));
  EXPECT_FALSE(fs::exists(path));
  // Frames 0, 1, 1, 2, 2, 2: pictures with repeats between them. 0 comes as BGRA, 1 and 2
  // converted into one picture, 2 while the encoder still keeps 1 for the repeat after it.
  const std::vector<int> shown = {0, 1, 1, 2, 2, 2};
  TPictureConverter converter(enc);
  TEncoderPicture held;
  ASSERT_TRUE(enc.AddPicture(Picture(0).data(), kW * 4, error)) << error;
  ASSERT_TRUE(converter.Convert(Picture(1).data(), kW * 4, held));
  ASSERT_TRUE(enc.AddPicture(held, error)) << error;
  ASSERT_TRUE(converter.Convert(Picture(2).data(), kW * 4, held));
  ASSERT_TRUE(enc.RepeatPicture(error)) << error;
  ASSERT_TRUE(enc.AddPicture(held, error)) << error;
  ASSERT_TRUE(enc.RepeatPicture(error) && enc.RepeatPicture(error)) << error;
  // 0.6 s of a 440 Hz tone in uneven pieces.
  int64_t at = 0;
  for (int n : {1000, 13000, 12460}) {
    const std::vector<int16_t> tone = Tone(at, n);
    ASSERT_TRUE(enc.AddAudio(tone.data(), n, error)) << error;
    at += n;
  }
  ASSERT_TRUE(enc.Finish(error)) << error;
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(fs::exists(PartialPath(path)));

  test::TVideoProbe probe;
  ASSERT_TRUE(test::ProbeVideo(path, {0, 1, 2, 3, 5}, probe, error)) << error;
  fs::remove(path);
  EXPECT_EQ(probe.videoCodec, c.video);
  EXPECT_EQ(probe.audioCodec, c.audio);
  EXPECT_EQ(probe.width, kW);
  EXPECT_EQ(probe.height, kH);
  EXPECT_NEAR(probe.fps, 10, 0.01);
  EXPECT_EQ(probe.frames, 6);
  for (const auto& [index, pixels] : probe.pictures) {
    const std::vector<uint8_t> want = Picture(shown[size_t(index)]);
    EXPECT_GT(test::PsnrBgra(pixels.data(), want.data(), size_t(kW) * kH), 34) << "frame " << index;
  }
  EXPECT_LT(test::PsnrBgra(probe.pictures[0].data(), probe.pictures[1].data(), size_t(kW) * kH), 25);
  // The sound lasts what was given, within a few milliseconds of codec padding.
  EXPECT_NEAR(double(probe.audio.size()), 26460, 441);
  EXPECT_NEAR(Frequency(std::vector<double>(probe.audio.begin() + 2000, probe.audio.end() - 2000)), 440, 1);
}

INSTANTIATE_TEST_SUITE_P(, MediaEncoderContainers,
                         ::testing::Values(TCase{"mp4", "h264", "aac"}, TCase{"mkv", "h264", "opus"},
                                           TCase{"webm", "vp9", "opus"}),
                         [](const auto& info) { return std::string(info.param.ext); });

TEST(MediaEncoder, FailuresAreClearAndLeaveNothingBehind) {
  TEncodeSettings s;
  s.width = kW;
  s.height = kH;
  std::string error;
  {
    TMediaEncoder enc;
    EXPECT_FALSE(enc.Open(TempPath("avi"), s, error));
    EXPECT_NE(error.find("not a video type"), std::string::npos) << error;
  }
  {
    TMediaEncoder enc;
    TEncodeSettings odd = s;
    odd.width = 63;
    EXPECT_FALSE(enc.Open(TempPath("mp4"), odd, error));
    EXPECT_NE(error.find("even"), std::string::npos) << error;
  }
  {
    TMediaEncoder enc;
    const std::string missing = "/nonexistent-zem-folder/out.mp4";
    EXPECT_FALSE(enc.Open(missing, s, error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  }
  const std::string path = TempPath("mkv");
  {
    // A folder of the target's name would only fail at the very end, when the file is named.
    fs::create_directory(path);
    TMediaEncoder enc;
    EXPECT_FALSE(enc.Open(path, s, error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    fs::remove(path);
  }
  {
    TMediaEncoder enc;
    ASSERT_TRUE(enc.Open(path, s, error)) << error;
    const std::vector<uint8_t> pic = Picture(0);
    ASSERT_TRUE(enc.AddPicture(pic.data(), kW * 4, error));
    // Destroyed unfinished: an abort.
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(fs::exists(PartialPath(path)));
}

}  // namespace
}  // namespace zem
