// Channels of the music player: a named source at a place on its owner's timeline, shared by the
// player thread (starting and stopping) and the music loader thread (opening and freeing).
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "sound/sound_device.h"

namespace zem {

class TChannelOperator;

class TZemChannel : public TRefObj {
 public:
  TZemChannel(TChannelOperator& start_list, WideString name, int32_t file_offset, double start, double end);
  // Runs where the last reference goes (normally the loader thread).
  ~TZemChannel() override;

  // Player thread: joins the start list when loaded and not playing. `now` is the time, on the
  // clock of StartTime(), at which the start was asked for.
  void Start(double now);
  // Player thread: how far past its start time the channel's first start came (0 after that).
  double LateBy() const { return late_by_; }
  // Player thread: leaves the start list, or stops the device channel with a short fade.
  void Stop();

  const WideString& Name() const { return name_; }
  int32_t FileOffset() const { return file_offset_; }
  double StartTime() const { return start_; }
  double EndTime() const { return end_.load(std::memory_order_acquire); }
  // Loader thread, before the channel goes back to the player.
  void SetEndTime(double end) { end_.store(end, std::memory_order_release); }

  // Written by the loader before it answers; read by the player after the answer.
  std::unique_ptr<TChannel> device;
  std::atomic<int32_t> ownerId{-1};  // -1 once the owner gave it up
  // Player thread only.
  bool loaded = false;
  bool playing = false;  // also while it waits in the start list
  bool stopped = false;

 private:
  TChannelOperator& startList_;
  WideString name_;
  int32_t file_offset_;
  double start_;
  std::atomic<double> end_;
  uint32_t created_;
  double late_by_ = 0;        // player thread
  bool ever_started_ = false;  // player thread
};

// The channels waiting to be started at the end of the player's tick. Player thread only.
class TChannelOperator : public TObj {
 public:
  void Add(const TRef<TZemChannel>& c) { items_.push_back(c); }
  bool Remove(TZemChannel* c);
  bool Contains(const TZemChannel* c) const;
  std::vector<TRef<TZemChannel>>& Items() { return items_; }

 private:
  std::vector<TRef<TZemChannel>> items_;
};

// One reference to a channel while it travels through an event list.
class TChannelContainer : public TObj {
 public:
  explicit TChannelContainer(TRef<TZemChannel> c) : channel(std::move(c)) {}
  TRef<TZemChannel> channel;
};

// The set-time payload (negative: unchanged).
class TTimeData : public TObj {
 public:
  TTimeData(double position_ms, double limit_ms) : position(position_ms), limit(limit_ms) {}
  double position;
  double limit;
};

}  // namespace zem
