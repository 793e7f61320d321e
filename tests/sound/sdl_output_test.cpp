// The whole output path over a real SDL audio device: the disk driver writes what was mixed to
// a file, the dummy driver consumes it at real-time speed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

#include "foundation/clock.h"
#include "sound/backend/audio_output.h"
#include "sound/channel_killer.h"
#include "sound/music_player_class.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

class SdlOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAudioBackendKind(TAudioBackendKind::Sdl);
    capture = "/tmp/zem_sound_disk_" + std::to_string(getpid()) + ".raw";
  }
  void TearDown() override {
    unlink(capture.c_str());
    unsetenv("SDL_AUDIODRIVER");
    unsetenv("SDL_DISKAUDIOFILE");
  }
  std::string capture;
};

TEST_F(SdlOutput, DiskDriverCapturesA440HzToneAtItsLevel) {
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
  TFileTable table;
  table.files[u"tone.wav"] = SineWave(22050, 1, 16, 440, 0.5, 2);
  {
    std::unique_ptr<TMusicPlayer> player = CreateMusicPlayerDevice();
    ASSERT_TRUE(player);
    ASSERT_TRUE(player->Init());
    player->SetOpenStreamCallback([&](const WideString& n) { return table.Open(n); });
    player->SetFreeStreamCallback([](TStream* s) { delete s; });
    auto ch = player->OpenChannel(u"tone.wav", -1);
    ASSERT_TRUE(ch);
    ch->Play(10);
    SleepMs(600);
    ch->Stop(10);
    ch.reset();
  }
  std::vector<uint8_t> raw = ReadAll(capture);
  ASSERT_GT(raw.size(), 4u * 44100 / 4);
  auto left = Channel16(raw.data(), raw.size() - raw.size() % 4, 2, 0);
  size_t first = 0;
  while (first < left.size() && std::abs(left[first]) < 100) ++first;
  ASSERT_LT(first + 13230, left.size()) << "no tone captured";
  auto tone = Slice(left, first + 2205, 11025);
  EXPECT_NEAR(ZeroCrossingFrequency(tone, 44100), 440, 2);
  EXPECT_GT(GoertzelShare(tone, 440, 44100), 0.95);
  EXPECT_NEAR(Rms(tone), 0.5 * 32767 / std::sqrt(2.0), 0.03 * 32767 * 0.5);
}

TEST_F(SdlOutput, NoAudioDriverMeansNoDevice) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  EXPECT_EQ(CreateMusicPlayerDevice(), nullptr);
  TMusicPlayerClass player;
  EXPECT_FALSE(player.Init());
  EXPECT_EQ(player.Clock(), 0);
}

TEST_F(SdlOutput, DummyDriverClockFollowsRealTime) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::unique_ptr<TMusicPlayer> player = CreateMusicPlayerDevice();
  ASSERT_TRUE(player);
  player->Clock();
  double start = 0;
  for (int i = 0; i < 100 && (start = player->Clock()) == 0; ++i) SleepMs(5);
  ASSERT_GT(start, 0);
  uint32_t t0 = TimeGetTime();
  SleepMs(300);
  double elapsed = player->Clock() - start;
  EXPECT_NEAR(elapsed, TimeGetTime() - t0, 40);
}

}  // namespace
}  // namespace zem
