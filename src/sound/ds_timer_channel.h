// The device clock: the play cursor of a silent looping buffer, sampled every 10 ms by its own
// thread and smoothed so that the reported time follows the cursor by at most 1 ms per sample.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "foundation/threads.h"
#include "sound/backend/ds_mixer.h"
#include "sound/wave_out.h"

namespace zem {

class TWaveOutDevice;

class TwinTimerChannel : public TTimerChannel {
 public:
  // Raises std::runtime_error "WaveOutDevice is not TwinWaveOutDevice" or "SoundBuffer = nil".
  explicit TwinTimerChannel(TWaveOutDevice& device);
  ~TwinTimerChannel() override;

  // Any thread.
  double GetTime() override;
  void SetTime(double t_ms) override;
  bool IsRunning() override;
  void Start() override;
  void Stop() override;

  // Sampling thread (or a test): one sample; takes the channel's lock.
  void Sample();
  // Test hook, before Start: no sampling thread; the test calls Sample itself.
  void SetManualSampling(bool manual) { manual_ = manual; }
  // Device time in ms (wrap accumulator + cursor time, extrapolated since the last read).
  double DeviceTime();
  TDSBuffer* SoundBuffer() const { return buffer_.get(); }

 private:
  class TSamplingThread;
  double DeviceTimeLocked(uint32_t now) const;
  void SetTimeLocked(double t_ms, uint32_t now);
  void ReadCursorLocked(uint32_t now);
  void StopThread();

  std::unique_ptr<TDSBuffer> buffer_;
  std::unique_ptr<TSamplingThread> thread_;
  bool manual_ = false;
  std::recursive_mutex lock_;  // guards everything below
  bool running_ = false;
  bool waiting_first_ = false;
  double base_ = 0;           // ms
  double wrap_acc_ = 0;       // ms
  int64_t last_cursor_ = -1;  // bytes
  uint32_t last_tick_ = 0;
  double clock_offset_ = 0;   // reported time = TimeGetTime() - clock_offset_
  double cursor_offset_ = 0;  // ms, measured at the first cursor
  int32_t counter_ = 0;
};

}  // namespace zem
