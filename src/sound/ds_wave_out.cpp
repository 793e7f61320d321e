#include "sound/ds_wave_out.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "sound/ds_timer_channel.h"

namespace zem {

void DsTrace(const char* direction, const char* call, const char* file, int line) {
  const char* base = std::strrchr(file, '/');
  LogLine(std::string(direction) + call + " [" + (base ? base + 1 : file) + ":" + std::to_string(line) + "]");
}

// ------------------------------------------------------------------------------------------
// TwinWaveOutDevice

TwinWaveOutDevice::TwinWaveOutDevice() {
  direct_sound_ = ZEM_DS_CALL("DirectSoundCreate8", TDSDevice::Create());
  if (direct_sound_) {
    LogLine("DirectSound8 <> nil");
  } else {
    direct_sound_ = ZEM_DS_CALL("DirectSoundCreate", TDSDevice::Create());
  }
  if (!direct_sound_) {
    LogLine("!!! FDirectSound = nil");
    return;
  }
  int32_t hr = ZEM_DS_CALL("FDirectSound.SetCooperativeLevel", direct_sound_->SetCooperativeLevel(DSSCL_PRIORITY));
  if (hr != DS_OK) {
    LogLine("<- !!! FDirectSound.SetCooperativeLevel");
    return;
  }
  ready_ = true;
}

TwinWaveOutDevice::~TwinWaveOutDevice() {
  DsTrace("-> ", "FDirectSound := nil", __FILE__, __LINE__);
  direct_sound_.reset();
  DsTrace("<- ", "FDirectSound := nil", __FILE__, __LINE__);
}

std::unique_ptr<TWaveOutBuffer> TwinWaveOutDevice::CreateBuffer(const TWaveFormat& format) {
  return TwinWaveOutBuffer::Create(*this, format);
}

std::unique_ptr<TTimerChannel> TwinWaveOutDevice::CreateTimerChannel() {
  return std::make_unique<TwinTimerChannel>(*this);
}

std::unique_ptr<TWaveOutDevice> CreateWaveOutDevice() { return std::make_unique<TwinWaveOutDevice>(); }

// ------------------------------------------------------------------------------------------
// TDSEventThread

TDSEventThread::TDSEventThread(std::function<void()> first_run, std::function<void()> refill)
    : first_run_(std::move(first_run)), refill_(std::move(refill)) {
  SetDestroyTimeout(1000);
}

TDSEventThread::~TDSEventThread() {
  SignalStop();
  Shutdown();
}

void TDSEventThread::Execute() {
  if (first_run_) first_run_();
  for (;;) {
    {
      std::unique_lock lock(m_);
      cv_.wait_for(lock, std::chrono::milliseconds(100), [this] { return stop_ || wake_; });
      if (stop_) return;
      wake_ = false;
    }
    if (Terminated()) return;
    if (refill_) refill_();
  }
}

void TDSEventThread::Terminate() {
  SignalStop();
  TThread::Terminate();
}

void TDSEventThread::Wake() {
  std::lock_guard lock(m_);
  wake_ = true;
  cv_.notify_all();
}

void TDSEventThread::SignalStop() {
  std::lock_guard lock(m_);
  stop_ = true;
  cv_.notify_all();
}

// ------------------------------------------------------------------------------------------
// TwinWaveOutBuffer

int32_t TwinWaveOutBuffer::GainToHundredths(float gain) {
  if (!(gain > 0.0f)) return DSBVOLUME_MIN;
  long v = std::lround(600.0 * std::log2(static_cast<double>(gain)));
  return static_cast<int32_t>(std::clamp<long>(v, DSBVOLUME_MIN, DSBVOLUME_MAX));
}

float TwinWaveOutBuffer::HundredthsToGain(int32_t v) {
  if (v == 0) return 1.0f;
  if (v <= DSBVOLUME_MIN) return 0.0f;
  return static_cast<float>(std::exp2(v / 600.0));
}

std::unique_ptr<TwinWaveOutBuffer> TwinWaveOutBuffer::Create(TwinWaveOutDevice& device, const TWaveFormat& format) {
  TDSDevice* ds = device.DirectSound();
  if (!ds || format.block_align == 0) {
    LogLine("!!! SoundBuffer = nil");
    return nullptr;
  }
  TDSBufferDesc desc;
  desc.flags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_LOCSOFTWARE;
  desc.buffer_bytes = 2 * format.avg_bytes_per_sec;
  desc.format = format;
  std::unique_ptr<TDSBuffer> buffer;
  int32_t hr = ZEM_DS_CALL("FDirectSound.CreateSoundBuffer", ds->CreateSoundBuffer(desc, buffer));
  if (hr != DS_OK || !buffer) {
    LogLine("!!! SoundBuffer = nil");
    return nullptr;
  }
  return std::unique_ptr<TwinWaveOutBuffer>(new TwinWaveOutBuffer(std::move(buffer), format));
}

TwinWaveOutBuffer::TwinWaveOutBuffer(std::unique_ptr<TDSBuffer> buffer, const TWaveFormat& format)
    : buffer_(std::move(buffer)), format_(format) {
  size_ = 2 * format.avg_bytes_per_sec;
  // Chunks and the prebuffer are whole frames (a partial frame would swap the channels).
  const uint32_t block = format.block_align;
  chunk_ = (format.avg_bytes_per_sec / 2) / block * block;
}

TwinWaveOutBuffer::~TwinWaveOutBuffer() {
  {
    std::lock_guard lock(lock_);
    ZEM_DS_CALL("FDirectSoundBuffer.Stop", buffer_->Stop());
    stopped_ = true;
  }
  thread_.reset();
  DsTrace("-> ", "FDirectSoundBuffer := nil", __FILE__, __LINE__);
  buffer_.reset();
  DsTrace("<- ", "FDirectSoundBuffer := nil", __FILE__, __LINE__);
}

uint32_t TwinWaveOutBuffer::PrebufferSize() const {
  return (size_ * 3 / 4) / format_.block_align * format_.block_align;
}

float TwinWaveOutBuffer::GetVolume() {
  float v = volume_.load();
  if (v >= 0) return v;
  int32_t hundredths = 0;
  buffer_->GetVolume(&hundredths);
  return HundredthsToGain(hundredths);
}

void TwinWaveOutBuffer::SetVolume(float volume) {
  buffer_->SetVolume(GainToHundredths(volume));
  volume_.store(volume);
}

void TwinWaveOutBuffer::Start() {
  if (thread_) return;
  thread_ = std::make_unique<TDSEventThread>([this] { FirstRun(); }, [this] { Refill(); });
  thread_->Start();
}

void TwinWaveOutBuffer::RequestStop() {
  stop_requested_.store(true);
  if (thread_) thread_->Wake();
}

void TwinWaveOutBuffer::WriteRange(uint32_t offset, uint32_t bytes, const TWaveOutCallback& cb) {
  void *p1 = nullptr, *p2 = nullptr;
  uint32_t n1 = 0, n2 = 0;
  int32_t hr = ZEM_DS_CALL("FDirectSoundBuffer.Lock", buffer_->Lock(offset, bytes, &p1, &n1, &p2, &n2));
  if (hr != DS_OK) return;
  end_written_.store(offset);
  if (n1 && cb) cb(this, static_cast<uint8_t*>(p1), n1);
  end_written_.store((offset + n1) % size_);
  if (p2 && n2) {
    end_written_.store(0);
    if (cb) cb(this, static_cast<uint8_t*>(p2), n2);
    end_written_.store(n2 % size_);
  }
  ZEM_DS_CALL("FDirectSoundBuffer.Unlock", buffer_->Unlock(p1, n1, p2, n2));
}

// Refill thread, first run: prebuffers and starts playing; under lock_.
void TwinWaveOutBuffer::FirstRun() {
  std::lock_guard lock(lock_);
  if (stopped_) return;
  uint32_t pre = PrebufferSize();
  write_pos_ = pre % size_;
  WriteRange(0, pre, on_initial_fill);
  for (;;) {
    int32_t hr = ZEM_DS_CALL("FDirectSoundBuffer.Play", buffer_->Play(DSBPLAY_LOOPING));
    if (hr != DSERR_BUFFERLOST) break;
    ZEM_DS_CALL("FDirectSoundBuffer.Restore", buffer_->Restore());
    SleepMs(10);
  }
}

// Refill thread: fades queued audio after a stop request, then fills the free space behind the
// play cursor (at most one chunk); under lock_.
void TwinWaveOutBuffer::Refill() {
  std::lock_guard lock(lock_);
  if (stopped_) return;
  const uint32_t block = format_.block_align;
  if (stop_requested_.exchange(false)) {
    uint32_t play = 0, write = 0;
    ZEM_DS_CALL("FDirectSoundBuffer.GetCurrentPosition", buffer_->GetCurrentPosition(&play, &write));
    uint32_t q = (write + (format_.bits_per_sample / 8) * format_.channels * (format_.samples_per_sec / 40)) % size_;
    // Only audio between q and the write position is still ahead of the device.
    uint32_t dist_q = (q + size_ - write) % size_;
    uint32_t dist_w = (write_pos_ + size_ - write) % size_;
    if (q != write_pos_ && dist_q < dist_w) WriteRange(q, (write_pos_ + size_ - q) % size_, on_stop_fade);
  }
  uint32_t play = 0;
  ZEM_DS_CALL("FDirectSoundBuffer.GetCurrentPosition", buffer_->GetCurrentPosition(&play, nullptr));
  if (play != write_pos_) {
    uint32_t free_bytes = (play + size_ - write_pos_) % size_;
    uint32_t n = std::min(chunk_, free_bytes) / block * block;
    if (n > 0) {
      WriteRange(write_pos_, n, on_refill);
      write_pos_ = (write_pos_ + n) % size_;
    }
  }
  SamplePosition(play);
}

void TwinWaveOutBuffer::SamplePosition(uint32_t play_cursor) {
  std::lock_guard lock(time_lock_);
  last_tick_ = TimeGetTime();
  if (static_cast<int64_t>(play_cursor) < last_cursor_) acc_ms_ += 2000;
  last_cursor_ = play_cursor;
}

double TwinWaveOutBuffer::PlayedTime() {
  std::lock_guard lock(time_lock_);
  if (last_cursor_ < 0) return acc_ms_;
  uint32_t per100 = format_.avg_bytes_per_sec / 100;
  double cursor_ms = per100 ? static_cast<double>(last_cursor_ * 10 / per100) : 0.0;
  return acc_ms_ + static_cast<double>(TimeGetTime() - last_tick_) + cursor_ms;
}

uint32_t TwinWaveOutBuffer::QueuedBytes() {
  uint32_t play = 0;
  ZEM_DS_CALL("FDirectSoundBuffer.GetCurrentPosition", buffer_->GetCurrentPosition(&play, nullptr));
  uint32_t end = end_written_.load();
  return play >= end ? end + size_ - play : end - play;
}

}  // namespace zem
