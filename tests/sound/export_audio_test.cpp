// The export sound device under the real channel code: what is pulled is the source sample for
// sample on the pulled clock; other rates are converted; a stop completes without a pull (the
// channel's destruction waits for it); the clock is the audio pulled.
#include <gtest/gtest.h>

#include <chrono>

#include "sound/backend/export_audio.h"
#include "sound/channel_killer.h"
#include "sound/music_player_class.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

// 44100 Hz stereo whose every frame differs: left i mod 30000 - 15000, right its negative.
std::vector<int16_t> RampSamples(int frames) {
  std::vector<int16_t> v;
  for (int i = 0; i < frames; ++i) {
    v.push_back(int16_t(i % 30000 - 15000));
    v.push_back(int16_t(15000 - i % 30000));
  }
  return v;
}

class ExportAudioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<int16_t> ramp = RampSamples(44100);
    std::vector<uint8_t> bytes(ramp.size() * 2);
    std::memcpy(bytes.data(), ramp.data(), bytes.size());
    files.files[u"ramp.wav"] = MakeWave(InternalFormat(), bytes);
    files.files[u"tone.wav"] = SineWave(22050, 1, 16, 440, 0.5, 2.0);
    facade = std::make_unique<TMusicPlayerClass>(audio->MakeDevice());
    facade->SetOpenStreamCallback([this](const WideString& n) { return files.Open(n); });
    facade->SetFreeStreamCallback([](TStream* s) { delete s; });
  }
  void TearDown() override {
    facade.reset();
    ShutdownChannelKiller();
  }
  std::vector<int16_t> Pull(int32_t frames) {
    std::vector<int16_t> out(size_t(frames) * 2);
    audio->Pull(out.data(), frames);
    return out;
  }

  std::shared_ptr<TExportAudio> audio = TExportAudio::Create();
  TFileTable files;
  std::unique_ptr<TMusicPlayerClass> facade;
};

TEST_F(ExportAudioTest, ChannelsPlaySampleForSampleOnThePulledClockAndStopWithoutAPull) {
  ASSERT_TRUE(facade->Init());
  EXPECT_EQ(facade->Clock(), 0);
  Pull(1000);
  EXPECT_NEAR(facade->Clock(), 1000 * 1000.0 / 44100, 1e-9);
  std::unique_ptr<TChannel> ch = facade->OpenChannel(u"ramp.wav", 0);
  ASSERT_TRUE(ch);
  ASSERT_TRUE(ch->Play(0));  // a fade of one frame: the first frame is silent
  // Pulls of any size continue exactly where the last one ended.
  const std::vector<int16_t> ramp = RampSamples(44100);
  std::vector<int16_t> got;
  for (int32_t n : {1, 43, 1000, 4410, 2546}) {
    const std::vector<int16_t> part = Pull(n);
    got.insert(got.end(), part.begin(), part.end());
  }
  ASSERT_EQ(got.size(), 8000u * 2);
  EXPECT_EQ(got[0], 0);
  for (size_t i = 2; i < got.size(); ++i) ASSERT_EQ(got[i], ramp[i]) << "sample " << i;
  EXPECT_EQ(ch->Position(), 8000 * 1000 / 44100);  // whole ms

  // Stopped and freed without any pull in between: the fade completes at once, so freeing
  // the channel (which waits for the channel killer) returns.
  ASSERT_TRUE(ch->Stop(10));
  const auto t0 = std::chrono::steady_clock::now();
  ch.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
  // What was queued still plays: the 10 ms fade, then silence, then the buffer is gone.
  const std::vector<int16_t> tail = Pull(4410);
  const auto left = Channel(tail, 2, 0);
  EXPECT_NE(left[0], 0);
  EXPECT_LT(std::abs(left[220]), std::abs(double(ramp[2 * (8000 + 220)])));
  EXPECT_EQ(Rms(Slice(left, 441, 3000)), 0);
  EXPECT_EQ(audio->Streams(), 0);
}

TEST_F(ExportAudioTest, OtherRatesAreConvertedAndVolumeApplies) {
  std::unique_ptr<TChannel> ch = facade->OpenChannel(u"tone.wav", 0);
  ASSERT_TRUE(ch);
  ch->Play(10);
  auto out = Pull(44100);
  auto left = Slice(Channel(out, 2, 0), 1000, 40000), right = Slice(Channel(out, 2, 1), 1000, 40000);
  EXPECT_NEAR(ZeroCrossingFrequency(left, 44100), 440, 1);
  EXPECT_GT(GoertzelShare(left, 440, 44100), 0.97);
  EXPECT_NEAR(Rms(left), 0.5 * 32767 / std::sqrt(2.0), 150);
  EXPECT_EQ(left, right);
  EXPECT_EQ(ch->Position(), 1000);  // a second of output is a second of the source
  ch->SetVolume(0.5f);
  EXPECT_NEAR(Rms(Slice(Channel(Pull(22050), 2, 0), 0, 20000)), Rms(left) / 2, 100);
}

TEST_F(ExportAudioTest, TheClockIsTheAudioPulled) {
  std::unique_ptr<TWaveOutDevice> device = audio->MakeDevice();
  std::unique_ptr<TTimerChannel> clock = device->CreateTimerChannel();
  Pull(441);
  EXPECT_EQ(clock->GetTime(), 0);  // stands until started
  clock->Start();
  Pull(4410);
  EXPECT_NEAR(clock->GetTime(), 100, 1e-9);
  clock->Stop();
  Pull(4410);
  EXPECT_NEAR(clock->GetTime(), 100, 1e-9);
  clock->SetTime(5000);
  clock->Start();
  Pull(44100);
  EXPECT_NEAR(clock->GetTime(), 6000, 1e-9);
  EXPECT_FALSE(device->CreateBuffer(PcmFormat(44100, 2, 24)));
}

}  // namespace
}  // namespace zem
