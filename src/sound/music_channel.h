// One physical playback: pulls PCM from a converter into a streaming output buffer and applies
// short linear fades. Made by a logical channel (TChannelMusic) for every (re)start; freed by
// the channel killer once its queued audio has drained.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "sound/stream_access.h"
#include "sound/wav_converter.h"
#include "sound/wave_out.h"

namespace zem {

class TChannelMusic;
class TMusicPlayerClass;

class TMusicChannel : public TObj, public std::enable_shared_from_this<TMusicChannel> {
 public:
  enum TState : int32_t { kPrepared = 0, kPlaying = 1, kStopping = 2 };

  // Opens the source and its converter and creates the output buffer; check Usable().
  // `live` counts the playbacks of the owner still alive (decremented by the destructor).
  TMusicChannel(TChannelMusic* owner, TMusicPlayerClass& player, const WideString& name, const TMediaInfo& info,
                std::atomic<int32_t>* live);
  // Frees the output buffer (and with it the refill thread), the converter, then the stream.
  ~TMusicChannel() override;
  bool Usable() const { return usable_; }
  // Why the playback is not usable (for the log line naming the file).
  const std::string& FailReason() const { return fail_reason_; }

  // Owner's thread, state 0 only (program error otherwise): positions and prebuffers.
  void Seek(int32_t t_ms);
  // Owner's thread.
  void Start(int32_t fade_ms);
  void Stop(int32_t fade_ms);
  int32_t State() const { return state_.load(); }
  // ms: the buffer's played time plus the seek target.
  double Position();
  void SetBufferVolume(float volume);
  // Killer thread: tells the logical channel (when it still waits for this playback) that it
  // is about to be freed.
  void NotifyOwnerFreed(int32_t position_ms);
  // Owner thread, when closing stops waiting: the playback forgets its logical channel and goes
  // to the killer, which frees it once drained (or after the default delay when it never ends).
  void LeaveToKiller();
  const TWaveFormat& OutputFormat() const { return out_format_; }
  TWaveOutBuffer* OutputBuffer() const { return buffer_.get(); }

  // Killer thread: the drain delay (ms, -1 until the end was reached) and the tick it was set.
  int32_t DrainDelay() const { return drain_delay_.load(); }
  uint32_t DrainTick() const { return drain_tick_.load(); }

 private:
  // Refill thread, under the output buffer's lock (and gain_lock_ inside).
  void OnInitialFill(uint8_t* dest, uint32_t bytes);
  void OnStopFade(uint8_t* dest, uint32_t bytes);
  void OnRefill(uint8_t* dest, uint32_t bytes);
  // Copies `bytes` from src (or scales in place when src == dest) with the running fade.
  // Returns the byte count at which a fade-out reached 0, or -1. Caller holds gain_lock_.
  int64_t CopyWithGain(uint8_t* dest, const uint8_t* src, uint32_t bytes);
  // Refill thread: hands the playback to the killer with its drain delay.
  void EndReached(uint32_t bytes_written);
  // After a Fill: logs once that the file stopped decoding.
  void NoteDecodeFailure();

  std::mutex owner_lock_;  // guards owner_ and live_ (the channel may leave before the playback)
  TChannelMusic* owner_;
  std::atomic<int32_t>* live_;
  TMediaInfo info_;
  TWaveFormat out_format_;
  TFreeStreamCallback free_stream_;
  TStream* stream_ = nullptr;
  std::unique_ptr<TWavConverter> converter_;
  std::unique_ptr<TWaveOutBuffer> buffer_;
  bool usable_ = false;
  std::string fail_reason_;
  WideString name_;             // for the log line of a decoding failure
  bool decode_logged_ = false;  // refill thread (and Seek before start)

  std::atomic<int32_t> state_{kPrepared};
  // Fade state: written by Start/Stop, read by the refill thread; guarded by gain_lock_.
  std::mutex gain_lock_;
  double gain_ = 1.0;
  double step_ = 0;
  bool fading_in_ = false;
  bool fading_out_ = false;
  int64_t fade_out_frames_ = 0;
  std::atomic<bool> stop_requested_{false};
  bool ended_at_source_ = false;  // refill thread (and Seek before start)
  int32_t position_base_ = 0;
  std::unique_ptr<TLocalBuffer> prebuffer_;
  std::atomic<int32_t> drain_delay_{-1};
  std::atomic<uint32_t> drain_tick_{0};
  bool handed_ = false;  // refill thread: already given to the killer
};

}  // namespace zem
