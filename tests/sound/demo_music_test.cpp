// The published demo show's music, played by the music player through a real SDL audio device
// (the disk driver writes what was mixed to a file): what comes out is the generated loop, at its
// level and with its notes, taken from the package like any show's music.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <set>

#include "../demo/demo_test_util.h"
#include "foundation/clock.h"
#include "foundation/stream.h"
#include "model/slide_source.h"
#include "package/show_locator.h"
#include "script/ini_file.h"
#include "sound/backend/audio_output.h"
#include "sound/media_info.h"
#include "sound/music/music_player.h"

namespace zem {
namespace {

using demotest::LoudestNotes;
using demotest::Rms;

constexpr double kOutputRate = 44100;

// Mono mix (mean of the channels) of interleaved stereo 16-bit samples.
std::vector<double> MonoOf(const uint8_t* bytes, size_t nbytes) {
  const size_t frames = nbytes / 4;
  std::vector<double> out(frames);
  for (size_t i = 0; i < frames; ++i) {
    int16_t l, r;
    std::memcpy(&l, bytes + 4 * i, 2);
    std::memcpy(&r, bytes + 4 * i + 2, 2);
    out[i] = (l + r) / 2.0;
  }
  return out;
}

std::vector<double> Window(const std::vector<double>& v, double rate, size_t origin, double from_s, double seconds) {
  const size_t first = origin + static_cast<size_t>(from_s * rate);
  if (first >= v.size()) return {};
  const size_t count = std::min(static_cast<size_t>(seconds * rate), v.size() - first);
  return std::vector<double>(v.begin() + long(first), v.begin() + long(first + count));
}

// First sample whose magnitude passes the threshold; npos when none.
size_t Onset(const std::vector<double>& v, double threshold) {
  for (size_t i = 0; i < v.size(); ++i)
    if (std::abs(v[i]) > threshold) return i;
  return std::string::npos;
}

class DemoShowMusic : public ::testing::Test {
 protected:
  void SetUp() override {
    capture = "/tmp/zem_demo_music_" + std::to_string(getpid()) + ".raw";
    SetAudioBackendKind(TAudioBackendKind::Sdl);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
  }
  void TearDown() override {
    unlink(capture.c_str());
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
  }
  std::string capture;
};

TEST_F(DemoShowMusic, PlaysTheGeneratedLoopFromThePackage) {
  std::string error;
  auto locator = OpenPackagedShow(ZEM_DEMO_SHOW, error);
  ASSERT_TRUE(locator && locator->HasScript()) << "cannot open " << ZEM_DEMO_SHOW << ": " << error;

  // The packed music file, as the generator made it.
  auto wav = locator->Accessor().OpenStream(std::string("music.wav"));
  ASSERT_TRUE(wav);
  TMediaInfo info;
  ASSERT_TRUE(TRiffInfo::Read(*wav, info));
  ASSERT_EQ(info.wave_format.bits_per_sample, 16);
  ASSERT_EQ(info.wave_format.channels, 2);
  const double source_rate = info.wave_format.samples_per_sec;
  std::vector<uint8_t> pcm(info.data_size);
  ASSERT_EQ(wav->Seek(info.data_offset, TSeekOrigin::Begin), int64_t(info.data_offset));
  ASSERT_EQ(wav->Read(pcm.data(), int64_t(pcm.size())), int64_t(pcm.size()));
  const std::vector<double> source = MonoOf(pcm.data(), pcm.size());

  auto script = std::make_unique<TIniFile>();
  script->Assign(*locator->Script());
  auto show = MakeRef<TZemSource>(std::move(script), locator->Accessor().Clone());

  // Play from the show's start until the capture holds the first three seconds of music.
  std::vector<uint8_t> raw;
  std::vector<double> out;
  size_t onset = std::string::npos;
  {
    TZemMusicPlayer player(show, false);
    ASSERT_TRUE(player.HasDevice()) << "no SDL disk audio device";
    ASSERT_TRUE(player.Start());
    const uint32_t t0 = TimeGetTime();
    while (!player.IsReady() && TimeGetTime() - t0 < 5000) SleepMs(5);
    ASSERT_TRUE(player.IsReady());
    player.SetRunning(true);
    const uint32_t t1 = TimeGetTime();
    while (TimeGetTime() - t1 < 10000) {
      SleepMs(100);
      if (!ReadFileBytes(capture, raw)) continue;
      out = MonoOf(raw.data(), raw.size());
      onset = Onset(out, 200);
      if (onset != std::string::npos && out.size() > onset + size_t(3.0 * kOutputRate)) break;
    }
    player.Stop();
  }
  ASSERT_NE(onset, std::string::npos) << "only silence was played";
  ASSERT_GT(out.size(), onset + size_t(3.0 * kOutputRate)) << "the music stopped early";
  const size_t source_onset = Onset(source, 200);
  ASSERT_NE(source_onset, std::string::npos);

  // From one to two and a half seconds in (inside the first chord, past the loop's folded tail).
  const auto heard = Window(out, kOutputRate, onset, 1.0, 1.4);
  const auto made = Window(source, source_rate, source_onset, 1.0, 1.4);
  ASSERT_FALSE(heard.empty());
  ASSERT_FALSE(made.empty());
  EXPECT_NEAR(Rms(heard) / Rms(made), 1.0, 0.2);

  const auto heard_notes = LoudestNotes(heard, kOutputRate, 5);
  const auto made_notes = LoudestNotes(made, source_rate, 5);
  std::set<int32_t> a(heard_notes.begin(), heard_notes.end()), common;
  for (int32_t m : made_notes)
    if (a.count(m)) common.insert(m);
  auto list = [](const std::vector<int32_t>& v) {
    std::string t;
    for (int32_t m : v) t += std::to_string(m) + " ";
    return t;
  };
  std::printf("notes heard: %s; notes in the file: %s; level ratio %.3f\n", list(heard_notes).c_str(),
              list(made_notes).c_str(), Rms(heard) / Rms(made));
  EXPECT_GE(common.size(), 4u);
  EXPECT_EQ(heard_notes[0], made_notes[0]);  // the loudest one above all

  // A later stretch of the output still follows the file (the stream keeps flowing).
  const auto heard_late = Window(out, kOutputRate, onset, 2.5, 0.4);
  const auto made_late = Window(source, source_rate, source_onset, 2.5, 0.4);
  EXPECT_NEAR(Rms(heard_late) / Rms(made_late), 1.0, 0.3);
}

}  // namespace
}  // namespace zem
