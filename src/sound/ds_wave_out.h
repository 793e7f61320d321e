// Output through the DirectSound stand-in (backend/ds_mixer.h): the device, streaming output
// buffers refilled by their own thread, and the clock channel (ds_timer_channel.h).
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/threads.h"
#include "sound/backend/ds_mixer.h"
#include "sound/wave_out.h"

namespace zem {

// Logs "-> call [site]" before and "<- call [site]" after a device call.
void DsTrace(const char* direction, const char* call, const char* file, int line);
#define ZEM_DS_CALL(call_text, expr)                              \
  ([&]() {                                                        \
    ::zem::DsTrace("-> ", call_text, __FILE__, __LINE__);         \
    auto ds_result_ = (expr);                                     \
    ::zem::DsTrace("<- ", call_text, __FILE__, __LINE__);         \
    return ds_result_;                                            \
  }())

class TwinWaveOutDevice : public TWaveOutDevice {
 public:
  TwinWaveOutDevice();
  ~TwinWaveOutDevice() override;
  bool IsReady() const override { return ready_; }
  std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat& format) override;
  std::unique_ptr<TTimerChannel> CreateTimerChannel() override;
  // The device object; nullptr when none could be made.
  TDSDevice* DirectSound() const { return direct_sound_.get(); }

 private:
  std::unique_ptr<TDSDevice> direct_sound_;
  bool ready_ = false;
};

// The refill thread of one output buffer: a first run, then a refill on every wake-up or after
// 100 ms, until stopped.
class TDSEventThread : public TThread {
 public:
  TDSEventThread(std::function<void()> first_run, std::function<void()> refill);
  // Owner thread: signals stop and waits for the body (up to its destroy timeout, 1000 ms).
  ~TDSEventThread() override;
  void Execute() override;
  void Terminate() override;
  // Any thread.
  void Wake();
  void SignalStop();

 private:
  std::function<void()> first_run_, refill_;
  std::mutex m_;
  std::condition_variable cv_;
  bool stop_ = false, wake_ = false;  // auto-reset events; guarded by m_
};

class TwinWaveOutBuffer : public TWaveOutBuffer {
 public:
  // nullptr when the device gives no buffer for the format.
  static std::unique_ptr<TwinWaveOutBuffer> Create(TwinWaveOutDevice& device, const TWaveFormat& format);
  // Stops the buffer and its thread under the buffer's lock, then frees both.
  ~TwinWaveOutBuffer() override;

  // Any thread.
  float GetVolume() override;
  void SetVolume(float volume) override;
  // Owner thread: starts the refill thread, whose first run prebuffers and plays.
  void Start() override;
  // Any thread: the next refill fades the queued audio out (through the stop-fade callback).
  void RequestStop() override;
  uint32_t PrebufferSize() const override;
  // Any thread (player, loader, refill thread inside a callback).
  uint32_t QueuedBytes() override;
  double PlayedTime() override;

  // Refill thread (or a test driving the null backend): one refill step; takes the buffer's
  // lock and calls the refill or stop-fade callbacks under it.
  void Refill();
  // Refill thread, first run (tests driving the null backend call it instead of Start):
  // prebuffers through the initial-fill callback and plays.
  void FirstRun();

  uint32_t BufferBytes() const { return size_; }
  uint32_t ChunkBytes() const { return chunk_; }
  uint32_t WritePosition() const { return write_pos_; }
  const TWaveFormat& Format() const { return format_; }
  TDSBuffer* SoundBuffer() const { return buffer_.get(); }

  // Volume in hundredths of a decibel for a gain (1.0 = unity), and back.
  static int32_t GainToHundredths(float gain);
  static float HundredthsToGain(int32_t v);

 private:
  TwinWaveOutBuffer(std::unique_ptr<TDSBuffer> buffer, const TWaveFormat& format);
  // Under lock_: locks [offset, offset + bytes) and calls `cb` on each part, moving the end of
  // written data along.
  void WriteRange(uint32_t offset, uint32_t bytes, const TWaveOutCallback& cb);
  void SamplePosition(uint32_t play_cursor);

  std::unique_ptr<TDSBuffer> buffer_;
  TWaveFormat format_;
  uint32_t size_ = 0;   // S: two seconds
  uint32_t chunk_ = 0;  // C: at most half a second per refill
  // Guarded by lock_ (refills, first run, destruction).
  std::recursive_mutex lock_;
  uint32_t write_pos_ = 0;
  bool stopped_ = false;
  std::atomic<uint32_t> end_written_{0};
  std::atomic<bool> stop_requested_{false};
  std::atomic<float> volume_{-1.0f};
  std::unique_ptr<TDSEventThread> thread_;
  // Played-time bookkeeping; read by the player and loader threads.
  std::mutex time_lock_;
  double acc_ms_ = 0;       // guarded by time_lock_
  int64_t last_cursor_ = -1;
  uint32_t last_tick_ = 0;
};

}  // namespace zem
