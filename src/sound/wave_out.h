// Audio output as the channels see it: an output device, one streaming output buffer per
// physical playback, and the device clock.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "foundation/refobj.h"
#include "sound/sound_format.h"

namespace zem {

class TWaveOutBuffer;
class TTimerChannel;

// Called by an output buffer with (buffer, destination, byte count): initial fill, stop fade
// and refill. They run on the buffer's refill thread, under the buffer's lock.
using TWaveOutCallback = std::function<void(TWaveOutBuffer* buffer, uint8_t* dest, uint32_t bytes)>;

class TWaveOutDevice : public TObj {
 public:
  virtual bool IsReady() const = 0;
  // nullptr when the buffer cannot be created.
  virtual std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat& format) = 0;
  // Raises std::runtime_error when the device cannot give a clock.
  virtual std::unique_ptr<TTimerChannel> CreateTimerChannel() = 0;
};

class TWaveOutBuffer : public TObj {
 public:
  virtual float GetVolume() = 0;
  virtual void SetVolume(float volume) = 0;
  virtual void Start() = 0;
  virtual void RequestStop() = 0;
  virtual uint32_t PrebufferSize() const = 0;
  virtual uint32_t QueuedBytes() = 0;
  virtual double PlayedTime() = 0;

  // Set before Start.
  TWaveOutCallback on_initial_fill, on_stop_fade, on_refill;
};

class TTimerChannel : public TObj {
 public:
  virtual double GetTime() = 0;
  virtual void SetTime(double t_ms) = 0;
  virtual bool IsRunning() = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

// The process-wide device factory.
std::unique_ptr<TWaveOutDevice> CreateWaveOutDevice();

}  // namespace zem
