#include "sound/ds_timer_channel.h"

#include <chrono>
#include <cstring>
#include <stdexcept>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "sound/ds_wave_out.h"

namespace zem {

namespace {
constexpr uint32_t kTimerBufferBytes = 2 * 176400;
}

// Takes a sample every 10 ms until stopped.
class TwinTimerChannel::TSamplingThread : public TThread {
 public:
  explicit TSamplingThread(TwinTimerChannel* owner) : owner_(owner) { SetDestroyTimeout(1000); }
  ~TSamplingThread() override {
    Terminate();
    Shutdown();
  }
  // Clock thread: samples the owner under its lock.
  void Execute() override {
    for (;;) {
      {
        std::unique_lock lock(m_);
        if (cv_.wait_for(lock, std::chrono::milliseconds(10), [this] { return stop_; })) return;
      }
      owner_->Sample();
    }
  }
  void Terminate() override {
    {
      std::lock_guard lock(m_);
      stop_ = true;
      cv_.notify_all();
    }
    TThread::Terminate();
  }

 private:
  TwinTimerChannel* owner_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false;  // the stop event; guarded by m_
};

TwinTimerChannel::TwinTimerChannel(TWaveOutDevice& device) {
  auto* win = dynamic_cast<TwinWaveOutDevice*>(&device);
  if (!win) throw std::runtime_error("WaveOutDevice is not TwinWaveOutDevice");
  TDSDevice* ds = win->DirectSound();
  TDSBufferDesc desc;
  desc.flags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_LOCSOFTWARE;
  desc.buffer_bytes = kTimerBufferBytes;
  desc.format = InternalFormat();
  int32_t hr = DSERR_GENERIC;
  if (ds) hr = ZEM_DS_CALL("FDirectSound.CreateSoundBuffer", ds->CreateSoundBuffer(desc, buffer_));
  if (hr != DS_OK || !buffer_) {
    LogLine("!!! SoundBuffer = nil");
    throw std::runtime_error("SoundBuffer = nil");
  }
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  if (ZEM_DS_CALL("FDirectSoundBuffer.Lock", buffer_->Lock(0, kTimerBufferBytes, &p1, &n1, &p2, &n2)) == DS_OK) {
    std::memset(p1, 0, n1);
    ZEM_DS_CALL("FDirectSoundBuffer.Unlock", buffer_->Unlock(p1, n1, p2, n2));
  }
}

TwinTimerChannel::~TwinTimerChannel() {
  ZEM_DS_CALL("FDirectSoundBuffer.Stop", buffer_->Stop());
  StopThread();
  DsTrace("-> ", "FDirectSoundBuffer := nil", __FILE__, __LINE__);
  buffer_.reset();
  DsTrace("<- ", "FDirectSoundBuffer := nil", __FILE__, __LINE__);
}

void TwinTimerChannel::StopThread() { thread_.reset(); }

double TwinTimerChannel::DeviceTimeLocked(uint32_t now) const {
  if (!running_) return base_;
  double cursor_ms = last_cursor_ >= 0 ? static_cast<double>(last_cursor_ * 10 / (176400 / 100)) : 0.0;
  return wrap_acc_ + static_cast<double>(now - last_tick_) + cursor_ms;
}

double TwinTimerChannel::DeviceTime() {
  std::lock_guard lock(lock_);
  return DeviceTimeLocked(TimeGetTime());
}

void TwinTimerChannel::SetTimeLocked(double t_ms, uint32_t now) {
  wrap_acc_ = base_ = t_ms;
  clock_offset_ = static_cast<double>(now) - t_ms;
}

void TwinTimerChannel::SetTime(double t_ms) {
  std::lock_guard lock(lock_);
  SetTimeLocked(t_ms, TimeGetTime());
}

bool TwinTimerChannel::IsRunning() {
  std::lock_guard lock(lock_);
  return running_;
}

void TwinTimerChannel::ReadCursorLocked(uint32_t now) {
  uint32_t play = 0;
  ZEM_DS_CALL("FDirectSoundBuffer.GetCurrentPosition", buffer_->GetCurrentPosition(&play, nullptr));
  last_tick_ = now;
  if (last_cursor_ >= 0 && static_cast<int64_t>(play) < last_cursor_) wrap_acc_ += 2000;
  last_cursor_ = play;
}

void TwinTimerChannel::Start() {
  {
    std::lock_guard lock(lock_);
    if (running_) return;
    running_ = true;
    for (;;) {
      int32_t hr = ZEM_DS_CALL("FDirectSoundBuffer.Play", buffer_->Play(DSBPLAY_LOOPING));
      if (hr != DSERR_BUFFERLOST) break;
      ZEM_DS_CALL("FDirectSoundBuffer.Restore", buffer_->Restore());
      SleepMs(10);
    }
    counter_ = 0;
    SetTimeLocked(base_, TimeGetTime());
    waiting_first_ = true;
  }
  Sample();
  if (!manual_) {
    thread_ = std::make_unique<TSamplingThread>(this);
    thread_->Start();
  }
}

// Clock thread (or the starter, or a test); under lock_.
void TwinTimerChannel::Sample() {
  std::lock_guard lock(lock_);
  if (!running_) return;
  uint32_t now = TimeGetTime();
  if (waiting_first_) {
    uint32_t play = 0;
    ZEM_DS_CALL("FDirectSoundBuffer.GetCurrentPosition", buffer_->GetCurrentPosition(&play, nullptr));
    if (play == 0) return;
    waiting_first_ = false;
    last_cursor_ = play;
    last_tick_ = now;
    clock_offset_ = static_cast<double>(now) - base_;
    cursor_offset_ = DeviceTimeLocked(now) - base_;
  }
  double d = DeviceTimeLocked(now);
  double r = static_cast<double>(now) - clock_offset_;
  if (d - cursor_offset_ - r > 0) clock_offset_ -= 1;
  if (r + cursor_offset_ - d > 0) clock_offset_ += 1;
  if (++counter_ % 10 == 0) ReadCursorLocked(now);
}

double TwinTimerChannel::GetTime() {
  std::lock_guard lock(lock_);
  if (waiting_first_) return 0;
  if (!running_) return base_;
  return static_cast<double>(TimeGetTime()) - clock_offset_;
}

void TwinTimerChannel::Stop() {
  {
    std::lock_guard lock(lock_);
    if (!running_) return;
    base_ = DeviceTimeLocked(TimeGetTime());
    running_ = false;
    waiting_first_ = false;
  }
  StopThread();
  std::lock_guard lock(lock_);
  ZEM_DS_CALL("FDirectSoundBuffer.Stop", buffer_->Stop());
  ZEM_DS_CALL("FDirectSoundBuffer.SetCurrentPosition", buffer_->SetCurrentPosition(0));
  last_cursor_ = -1;
}

}  // namespace zem
