#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "sound/backend/ds_mixer.h"
#include "sound/composite_params.h"
#include "sound/ds_wave_out.h"
#include "sound/music_player_class.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

// A facade over the null backend: the test mixes the device output itself.
class Facade : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAudioBackendKind(TAudioBackendKind::Null);
    player = std::make_unique<TMusicPlayerClass>();
    ASSERT_TRUE(player->Init());
    ds = static_cast<TwinWaveOutDevice*>(player->Device())->DirectSound();
    player->SetOpenStreamCallback([this](const WideString& n) { return table.Open(n); });
    player->SetFreeStreamCallback([](TStream* s) { delete s; });
    table.files[u"tone.wav"] = SineWave(44100, 2, 16, 440, 0.5, 3);
    table.files[u"low.wav"] = SineWave(22050, 1, 8, 440, 0.5, 3);
  }
  // Waits (briefly) until `n` buffers play: their refill threads have prebuffered.
  void WaitPlaying(int n) {
    for (int i = 0; i < 500 && ds->PlayingBuffers() < n; ++i) SleepMs(1);
    ASSERT_GE(ds->PlayingBuffers(), n);
  }
  std::vector<int16_t> Pump(int32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
    for (int32_t done = 0; done < frames;) {
      int32_t n = std::min(1024, frames - done);
      ds->Mix(out.data() + 2 * done, n);
      done += n;
    }
    return out;
  }

  TFileTable table;
  std::unique_ptr<TMusicPlayerClass> player;
  TDSDevice* ds = nullptr;
};

TEST_F(Facade, A440HzWaveTrackIsHeardAt440HzAndItsLevel) {
  for (const char16_t* name : {u"tone.wav", u"low.wav"}) {
    auto ch = player->OpenChannel(name, -1);
    ASSERT_TRUE(ch) << WideToUtf8(name);
    EXPECT_EQ(ch->Length(), 3000);
    EXPECT_TRUE(ch->Play(10));
    EXPECT_FALSE(ch->Play(10));  // already playing
    WaitPlaying(1);
    auto out = Pump(44100);
    auto left = Slice(Channel(out, 2, 0), 4410, 35280);
    EXPECT_NEAR(ZeroCrossingFrequency(left, 44100), 440, 1);
    EXPECT_GT(GoertzelShare(left, 440, 44100), 0.97);
    const double level = std::u16string(name) == u"tone.wav" ? 0.5 * 32767 : 0.5 * 127 * 256;
    EXPECT_NEAR(Rms(left), level / std::sqrt(2.0), 0.02 * level);
    EXPECT_NEAR(Rms(Slice(Channel(out, 2, 1), 4410, 35280)), Rms(left), 0.01 * level);
    // The 10 ms fade-in: the first frames are quieter than the tone.
    EXPECT_LT(std::abs(out[2 * 10]), 0.1 * level);
    EXPECT_TRUE(ch->Stop(10));
    EXPECT_FALSE(ch->Stop(10));
  }
}

TEST_F(Facade, AFadeOutReachesSilenceAndStaysSilent) {
  auto ch = player->OpenChannel(u"tone.wav", -1);
  ASSERT_TRUE(ch);
  ch->Play(10);
  WaitPlaying(1);
  auto before = Pump(13230);  // 0.3 s
  EXPECT_GT(Rms(Slice(Channel(before, 2, 0), 4410, 8000)), 10000);
  ASSERT_TRUE(ch->Stop(100));
  EXPECT_FALSE(ch->IsPlaying());
  // The refill thread takes the stop at once and fades the queued audio.
  auto* music = static_cast<TChannelMusic*>(ch.get());
  for (int i = 0; i < 1000 && !music->CurrentEnded(); ++i) SleepMs(1);
  ASSERT_TRUE(music->CurrentEnded());
  auto after = Pump(22050);
  auto left = Channel(after, 2, 0);
  // The fade starts about 25 ms past the write cursor and lasts 100 ms.
  EXPECT_GT(Rms(Slice(left, 0, 1000)), 10000);
  double ramp1 = Rms(Slice(left, 2500, 1000)), ramp2 = Rms(Slice(left, 4500, 1000));
  EXPECT_GT(ramp1, ramp2);
  EXPECT_GT(ramp1, 1000);
  for (size_t i = static_cast<size_t>(0.2 * 44100); i < left.size(); ++i) ASSERT_EQ(left[i], 0) << i;
}

TEST_F(Facade, PlayStopPlayMakesASecondPlaybackAtTheStoppedPosition) {
  auto ch = player->OpenChannel(u"tone.wav", -1);
  ASSERT_TRUE(ch);
  auto* music = static_cast<TChannelMusic*>(ch.get());
  EXPECT_EQ(music->PlaybackCount(), 1);
  ch->Play(10);
  WaitPlaying(1);
  Pump(22050);
  SleepMs(150);  // a refill samples the cursor
  ASSERT_TRUE(ch->Stop(10));
  const int32_t stopped_at = ch->Position();
  EXPECT_GE(stopped_at, 480);
  EXPECT_LT(stopped_at, 1500);  // the played time runs on between cursor samples
  ASSERT_TRUE(ch->Play(10));
  EXPECT_EQ(music->PlaybackCount(), 2);
  EXPECT_TRUE(ch->IsPlaying());
  EXPECT_GE(ch->Position(), stopped_at);
  // The first playback is freed once its short fade has drained.
  for (int i = 0; i < 100 && music->PlaybackCount() > 1; ++i) SleepMs(10);
  EXPECT_EQ(music->PlaybackCount(), 1);
}

TEST_F(Facade, SeekVolumeAndMasterVolume) {
  auto ch = player->OpenChannel(u"tone.wav", 1000);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->Position(), 1000);
  ch->Seek(2000);
  EXPECT_EQ(ch->Position(), 2000);
  player->SetVolume(0.5f);
  ch->SetVolume(0.5f);
  EXPECT_FLOAT_EQ(ch->GetMasterFactor(), 0.5f);
  ch->Play(1);
  WaitPlaying(1);
  auto out = Pump(22050);
  // 0.25 -> -1200 hundredths of a decibel.
  EXPECT_NEAR(Rms(Slice(Channel(out, 2, 0), 2000, 18000)), 0.5 * 32767 / std::sqrt(2.0) * std::pow(10.0, -0.6), 80);
  // A channel opened later takes the master volume too.
  auto ch2 = player->OpenChannel(u"low.wav", -1);
  ASSERT_TRUE(ch2);
  EXPECT_FLOAT_EQ(ch2->GetMasterFactor(), 0.5f);
}

TEST_F(Facade, SourcesThatCannotOpenGiveNoChannel) {
  table.files[u"junk.mp3"] = std::vector<uint8_t>(5000, 0x42);
  table.files[u"ima.wav"] = ReadAll(TestAudio("soundevent_wav_ima_adpcm.wav"));
  auto* log = new TLog;
  std::vector<std::string> lines;
  log->SetOutputRoutine([&](const std::string& s) { lines.push_back(s); });
  InstallLog(std::unique_ptr<TLog>(log));
  EXPECT_FALSE(player->OpenChannel(u"missing.wav", -1));
  EXPECT_FALSE(player->OpenChannel(u"junk.mp3", -1));
  EXPECT_FALSE(player->OpenChannel(u"ima.wav", -1));
  EXPECT_FALSE(player->OpenChannel(WideString(kCompositeMarker) + u"broken/", -1));
  InstallLog(nullptr);
  // Each failure is named in the log with its reason.
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Sound \"missing.wav\" cannot be used: not found (or its member is damaged)",
                       "Sound \"junk.mp3\" cannot be used: its sound format is not recognised",
                       "Sound \"ima.wav\" cannot be used: its sound format is not recognised",
                       "Sound \"" + WideToUtf8(kCompositeMarker) + "broken/\" cannot be used: its composite description is not valid"}));
}

TEST_F(Facade, CompositeChannelMixesItsEntries) {
  TCompositeParams p;
  p.duration = 2000;
  p.AddItem(u"tone.wav", 0).duration = 2000;
  p.AddItem(u"low.wav", 0).duration = 2000;
  auto ch = player->OpenChannel(p.SaveToText(), -1);
  ASSERT_TRUE(ch);
  EXPECT_EQ(ch->Length(), 2000);
  ch->Play(10);
  WaitPlaying(1);
  auto left = Channel(Pump(44100), 2, 0);
  // Two in-phase 440 Hz tones at half scale: about full scale, no wrap-around.
  auto mid = Slice(left, 4410, 35280);
  EXPECT_NEAR(ZeroCrossingFrequency(mid, 44100), 440, 1);
  EXPECT_GT(Rms(mid), 0.9 * 32767 / std::sqrt(2.0));
}

TEST_F(Facade, ClockRunsWithTheDeviceCursor) {
  EXPECT_EQ(player->Clock(), 0);  // started, the cursor has not moved
  SleepMs(30);
  EXPECT_EQ(player->Clock(), 0);
  Pump(8820);
  SleepMs(30);  // the clock thread sees the cursor move and counts from there
  double t1 = player->Clock();
  uint32_t w1 = TimeGetTime();
  EXPECT_GT(t1, 0);
  SleepMs(50);
  // Between cursor moves the clock runs on with the millisecond counter.
  EXPECT_NEAR(player->Clock() - t1, TimeGetTime() - w1, 12);
}

TEST(FacadeWithoutDevice, InitFailsAndNothingOpens) {
  struct TNoDevice : TWaveOutDevice {
    bool IsReady() const override { return false; }
    std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat&) override { return nullptr; }
    std::unique_ptr<TTimerChannel> CreateTimerChannel() override { throw std::runtime_error("SoundBuffer = nil"); }
  };
  TMusicPlayerClass player(std::make_unique<TNoDevice>());
  EXPECT_FALSE(player.Init());
  EXPECT_EQ(player.Clock(), 0);
  EXPECT_FALSE(player.OpenChannel(u"tone.wav", -1));
}

// An output whose buffers never play: a stopped playback never drains, as with a stalled
// sound device. Closing its channel must still end, leaving the playback to the killer.
TEST(FacadeWithStalledOutput, ClosingStopsWaitingAndTheKillerFreesTheRest) {
  static std::atomic<int> buffers_alive{0};
  struct TStalledBuffer : TWaveOutBuffer {
    TStalledBuffer() { ++buffers_alive; }
    ~TStalledBuffer() override { --buffers_alive; }
    float GetVolume() override { return 1; }
    void SetVolume(float) override {}
    void Start() override {}
    void RequestStop() override {}
    uint32_t PrebufferSize() const override { return 4096; }
    uint32_t QueuedBytes() override { return 0; }
    double PlayedTime() override { return 0; }
  };
  struct TStalledDevice : TWaveOutDevice {
    bool IsReady() const override { return true; }
    std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat&) override {
      return std::make_unique<TStalledBuffer>();
    }
    std::unique_ptr<TTimerChannel> CreateTimerChannel() override { throw std::runtime_error("no clock"); }
  };
  std::vector<std::string> lines;
  std::mutex lines_lock;
  auto log = std::make_unique<TLog>();
  log->SetOutputRoutine([&](const std::string& l) {
    std::lock_guard g(lines_lock);
    lines.push_back(l);
  });
  InstallLog(std::move(log));

  TFileTable table;
  table.files[u"tone.wav"] = SineWave(44100, 2, 16, 440, 0.5, 1);
  auto player = std::make_unique<TMusicPlayerClass>(std::make_unique<TStalledDevice>());
  player->SetOpenStreamCallback([&table](const WideString& n) { return table.Open(n); });
  player->SetFreeStreamCallback([](TStream* s) { delete s; });
  std::unique_ptr<TChannel> channel = player->OpenChannel(u"tone.wav", -1);
  ASSERT_TRUE(channel);
  ASSERT_TRUE(channel->Play(10));
  ASSERT_TRUE(channel->Stop(10));
  EXPECT_EQ(buffers_alive.load(), 1);

  // The facade closes the channel on its own thread; it gives up waiting after 300 steps.
  auto closed = std::make_shared<std::atomic<bool>>(false);
  std::thread closer([player = std::move(player), channel = std::move(channel), closed]() mutable {
    channel.reset();
    player.reset();
    *closed = true;
  });
  for (int i = 0; i < 600 && !*closed; ++i) SleepMs(10);
  if (!*closed) {
    closer.detach();  // stuck for good: the test fails instead of hanging
    InstallLog(nullptr);
    FAIL() << "closing a channel with a stalled playback did not end";
  }
  closer.join();
  {
    std::lock_guard g(lines_lock);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
      return l.find("CloseAll: Assertion failure") != std::string::npos;
    }));
  }
  // The killer frees the orphaned playback after its drain delay.
  for (int i = 0; i < 400 && buffers_alive.load() > 0; ++i) SleepMs(10);
  EXPECT_EQ(buffers_alive.load(), 0);
  InstallLog(nullptr);
}

}  // namespace
}  // namespace zem
