// The sound device of a video export: output buffers and a clock without audio hardware and
// without real time. The exporter pulls the mixed audio track (44100 Hz, stereo, 16-bit) piece by
// piece; every pull asks the playing buffers' playbacks for exactly the audio it mixes, and the
// device clock is the count of frames pulled, so the music player follows the exporter's virtual
// clock to the sample. It stands behind the same output interface as the DirectSound stand-in
// (wave_out.h), so channels, fades and the composite mixer run unchanged.
//
// Threads: Pull on the exporter's thread; buffers are made on the music loader thread, started,
// stopped and read on the music player's (the exporter's when the player is stepped) and freed
// by the channel killer. One recursive lock per TExportAudio guards everything; the playbacks'
// callbacks run under it.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sound/wave_out.h"

namespace zem {

struct TExportStream;

class TExportAudio : public std::enable_shared_from_this<TExportAudio> {
 public:
  static constexpr int32_t kRate = 44100;
  // Audio written ahead of the play position when a buffer starts (the playback's prebuffer).
  static constexpr int32_t kPrebufferFrames = 2048;
  // Extra audio taken from a playback when it is told to stop, so that its fade-out completes
  // without waiting for the next pull (its logical channel waits for that while freeing it).
  static constexpr int32_t kStopLeadFrames = 2205;

  static std::shared_ptr<TExportAudio> Create();

  // A device over this audio; give it to the device facade of the music player.
  std::unique_ptr<TWaveOutDevice> MakeDevice();

  // Exporter thread: mixes the next `frames` frames of every playing buffer into `out`
  // (interleaved stereo) and advances the clock by them.
  void Pull(int16_t* out, int32_t frames);
  // Any thread.
  int64_t FramesPulled() const { return pulled_.load(std::memory_order_acquire); }
  double ClockMs() const { return double(FramesPulled()) * 1000.0 / kRate; }
  // Buffers still being mixed (a freed buffer stays until its queued audio has played).
  int32_t Streams() const;

 private:
  friend class TExportWaveOutBuffer;
  friend class TExportTimerChannel;
  TExportAudio() = default;
  void MixStream(TExportStream& s, int32_t* acc, int32_t frames);

  mutable std::recursive_mutex lock_;
  std::vector<std::shared_ptr<TExportStream>> streams_;  // started buffers, guarded by lock_
  std::vector<int32_t> acc_;                             // guarded by lock_
  std::atomic<int64_t> pulled_{0};                       // written under lock_
};

}  // namespace zem
