#include <gtest/gtest.h>

#include "foundation/clock.h"
#include "sound/backend/ds_mixer.h"
#include "sound/ds_timer_channel.h"
#include "sound/ds_wave_out.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

std::unique_ptr<TDSDevice> NullDevice() { return TDSDevice::Create(CreateNullAudioOutput()); }

std::vector<int16_t> Mix(TDSDevice& d, int32_t frames) {
  std::vector<int16_t> out(static_cast<size_t>(frames) * 2);
  for (int32_t done = 0; done < frames;) {
    int32_t n = std::min(1024, frames - done);
    d.Mix(out.data() + 2 * done, n);
    done += n;
  }
  return out;
}

void Write(TDSBuffer& b, uint32_t offset, const std::vector<uint8_t>& bytes) {
  void *p1, *p2;
  uint32_t n1, n2;
  ASSERT_EQ(b.Lock(offset, static_cast<uint32_t>(bytes.size()), &p1, &n1, &p2, &n2), DS_OK);
  std::memcpy(p1, bytes.data(), n1);
  if (p2) std::memcpy(p2, bytes.data() + n1, n2);
  b.Unlock(p1, n1, p2, n2);
}

TEST(SoftMixer, BuffersInTheirOwnFormatAreHeardAtTheirFrequencyAndVolume) {
  auto dev = NullDevice();
  ASSERT_TRUE(dev);
  TDSBufferDesc desc;
  desc.format = PcmFormat(22050, 1, 16);
  desc.buffer_bytes = 22050 * 2;
  std::unique_ptr<TDSBuffer> buf;
  ASSERT_EQ(dev->CreateSoundBuffer(desc, buf), DS_OK);
  Write(*buf, 0, Sine(desc.format, 440, 0.5, 1.0));
  // Not playing: silence, cursor still.
  auto quiet = Mix(*dev, 4410);
  EXPECT_EQ(Rms(Channel(quiet, 2, 0)), 0);
  buf->Play(DSBPLAY_LOOPING);
  auto out = Mix(*dev, 44100);
  auto left = Slice(Channel(out, 2, 0), 100, 40000), right = Slice(Channel(out, 2, 1), 100, 40000);
  EXPECT_NEAR(ZeroCrossingFrequency(left, 44100), 440, 1);
  EXPECT_GT(GoertzelShare(left, 440, 44100), 0.97);
  EXPECT_NEAR(Rms(left), 0.5 * 32767 / std::sqrt(2.0), 150);
  EXPECT_NEAR(Rms(right), Rms(left), 1);
  // Looped once around: the play cursor is back at the start.
  uint32_t play = 1, write = 0;
  buf->GetCurrentPosition(&play, &write);
  EXPECT_EQ(play, 0u);
  EXPECT_GT(write, play);
  // -600 hundredths of a decibel is half the amplitude (6 dB).
  ASSERT_EQ(buf->SetVolume(-600), DS_OK);
  auto half = Mix(*dev, 22050);
  EXPECT_NEAR(Rms(Slice(Channel(half, 2, 0), 100, 20000)), Rms(left) * std::pow(10.0, -0.3), 80);
  EXPECT_EQ(buf->SetVolume(100), DSERR_INVALIDPARAM);
  buf->SetVolume(-10000);
  EXPECT_EQ(Rms(Channel(Mix(*dev, 1000), 2, 0)), 0);
}

TEST(SoftMixer, MixingClipsAndNonLoopingBuffersStopAtTheirEnd) {
  auto dev = NullDevice();
  TDSBufferDesc desc;
  desc.format = InternalFormat();
  desc.buffer_bytes = 4 * 1000;
  std::unique_ptr<TDSBuffer> a, b;
  ASSERT_EQ(dev->CreateSoundBuffer(desc, a), DS_OK);
  ASSERT_EQ(dev->CreateSoundBuffer(desc, b), DS_OK);
  std::vector<uint8_t> loud;
  for (int i = 0; i < 2000; ++i) Put16(loud, 30000);
  Write(*a, 0, loud);
  Write(*b, 0, loud);
  a->Play(0);
  b->Play(DSBPLAY_LOOPING);
  auto out = Mix(*dev, 1500);
  EXPECT_EQ(out[0], 32767);
  EXPECT_EQ(out[2 * 1200], 30000);  // a has ended, b loops
  EXPECT_FALSE(a->IsPlaying());
  EXPECT_EQ(dev->PlayingBuffers(), 1);
  desc.format.block_align = 3;
  EXPECT_EQ(dev->CreateSoundBuffer(desc, a), DSERR_INVALIDPARAM);
  uint32_t p1;
  void* p;
  EXPECT_EQ(b->Lock(4000, 4, &p, &p1, nullptr, nullptr), DSERR_INVALIDPARAM);
}

TEST(WaveOutBuffer, VolumeInHundredthsOfADecibel) {
  EXPECT_EQ(TwinWaveOutBuffer::GainToHundredths(0.5f), -600);
  EXPECT_EQ(TwinWaveOutBuffer::GainToHundredths(0.25f), -1200);
  EXPECT_EQ(TwinWaveOutBuffer::GainToHundredths(2.0f), 0);
  EXPECT_EQ(TwinWaveOutBuffer::GainToHundredths(0.0f), -10000);
  EXPECT_EQ(TwinWaveOutBuffer::GainToHundredths(1e-9f), -10000);
  EXPECT_FLOAT_EQ(TwinWaveOutBuffer::HundredthsToGain(-600), 0.5f);
  EXPECT_FLOAT_EQ(TwinWaveOutBuffer::HundredthsToGain(0), 1.0f);
  EXPECT_FLOAT_EQ(TwinWaveOutBuffer::HundredthsToGain(-10000), 0.0f);
}

class NullBackend : public ::testing::Test {
 protected:
  void SetUp() override { SetAudioBackendKind(TAudioBackendKind::Null); }
};

TEST_F(NullBackend, OutputBufferPrebuffersRefillsBehindTheCursorAndFadesOnStop) {
  TwinWaveOutDevice device;
  ASSERT_TRUE(device.IsReady());
  // 11025 Hz stereo 16-bit: half a second is not a whole number of frames in bytes / 2 units.
  TWaveFormat f = PcmFormat(11025, 2, 16);
  auto buf = TwinWaveOutBuffer::Create(device, f);
  ASSERT_TRUE(buf);
  EXPECT_EQ(buf->BufferBytes(), 2 * 44100u);
  EXPECT_EQ(buf->PrebufferSize() % 4, 0u);
  EXPECT_EQ(buf->ChunkBytes() % 4, 0u);
  EXPECT_EQ(buf->PrebufferSize(), 66148u);
  uint32_t initial = 0, refilled = 0, faded = 0;
  buf->on_initial_fill = [&](TWaveOutBuffer*, uint8_t* d, uint32_t n) {
    initial += n;
    std::memset(d, 1, n);
  };
  buf->on_refill = [&](TWaveOutBuffer*, uint8_t* d, uint32_t n) {
    refilled += n;
    std::memset(d, 2, n);
  };
  buf->on_stop_fade = [&](TWaveOutBuffer*, uint8_t*, uint32_t n) { faded += n; };
  buf->FirstRun();
  EXPECT_EQ(initial, buf->PrebufferSize());
  EXPECT_TRUE(buf->SoundBuffer()->IsPlaying());
  // The cursor has not moved: the free space is the unwritten rest of the ring.
  buf->Refill();
  EXPECT_EQ(refilled, buf->ChunkBytes());  // one chunk per refill
  buf->Refill();
  EXPECT_EQ(refilled, buf->BufferBytes() - buf->PrebufferSize());
  EXPECT_EQ(buf->WritePosition(), 0u);
  buf->Refill();
  EXPECT_EQ(refilled, buf->BufferBytes() - buf->PrebufferSize());  // full
  // Play 0.7 s: the space behind the cursor is refilled, at most one chunk at a time.
  TDSDevice& ds = *device.DirectSound();
  Mix(ds, 44100 * 7 / 10);
  refilled = 0;
  buf->Refill();
  EXPECT_EQ(refilled, buf->ChunkBytes());
  EXPECT_NEAR(buf->PlayedTime(), 700, 30);
  // Stop: the queued audio from 25 ms past the write cursor on is handed to the fade.
  const uint32_t written_to = buf->WritePosition();
  uint32_t play = 0, write = 0;
  buf->SoundBuffer()->GetCurrentPosition(&play, &write);
  buf->RequestStop();
  buf->Refill();
  uint32_t q = (write + 4 * (11025 / 40)) % buf->BufferBytes();
  EXPECT_EQ(faded, (written_to + buf->BufferBytes() - q) % buf->BufferBytes());
  EXPECT_GT(buf->QueuedBytes(), 0u);
  buf->SetVolume(0.5f);
  EXPECT_FLOAT_EQ(buf->GetVolume(), 0.5f);
  int32_t v = 0;
  buf->SoundBuffer()->GetVolume(&v);
  EXPECT_EQ(v, -600);
}

TEST_F(NullBackend, PlayedTimeAddsTwoSecondsWhenTheCursorWraps) {
  TwinWaveOutDevice device;
  auto buf = TwinWaveOutBuffer::Create(device, InternalFormat());
  ASSERT_TRUE(buf);
  buf->on_initial_fill = buf->on_refill = [](TWaveOutBuffer*, uint8_t*, uint32_t) {};
  buf->FirstRun();
  TDSDevice& ds = *device.DirectSound();
  double t0 = 0;
  for (int step = 0; step < 5; ++step) {  // 5 x 0.5 s: wraps once
    Mix(ds, 22050);
    buf->Refill();
    double t = buf->PlayedTime();
    EXPECT_NEAR(t, 500.0 * (step + 1), 25) << step;
    EXPECT_GT(t, t0);
    t0 = t;
  }
}

TEST_F(NullBackend, TimerChannelReportsZeroUntilTheCursorMovesThenFollowsIt) {
  TwinWaveOutDevice device;
  TwinTimerChannel timer(device);
  timer.SetManualSampling(true);
  EXPECT_FALSE(timer.IsRunning());
  timer.SetTime(1000);
  timer.Start();
  EXPECT_TRUE(timer.IsRunning());
  TDSDevice& ds = *device.DirectSound();
  SleepMs(20);
  timer.Sample();
  EXPECT_EQ(timer.GetTime(), 0);  // the cursor has not moved
  Mix(ds, 4410);                  // 100 ms
  timer.Sample();
  const double first = timer.GetTime();
  // Counts from the base time once the cursor moved, on by the wall time since the sample (a
  // loaded machine may hold the test up for a while between the two calls).
  EXPECT_GE(first, 1000);
  EXPECT_LT(first, 1050);
  // Drive 1.95 s more in steps of 100 ms with ten samples each: the cursor wraps once.
  for (int i = 0; i < 20; ++i) {
    Mix(ds, i == 19 ? 2205 : 4410);
    for (int k = 0; k < 10; ++k) timer.Sample();
  }
  EXPECT_NEAR(timer.DeviceTime(), 1000 + 100 + 1950, 20);
  timer.Stop();
  EXPECT_FALSE(timer.IsRunning());
  EXPECT_NEAR(timer.GetTime(), 3050, 20);
}

TEST(WaveOutDevice, NoDeviceMeansNotReadyAndNoClock) {
  struct TFailing : TAudioOutput {
    bool Open(TMixCallback) override { return false; }
    void Close() override {}
    int32_t PeriodFrames() const override { return 1; }
    std::string Name() const override { return "failing"; }
  };
  EXPECT_EQ(TDSDevice::Create(std::make_unique<TFailing>()), nullptr);
}

}  // namespace
}  // namespace zem
