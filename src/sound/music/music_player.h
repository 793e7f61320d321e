// The music player: a music clock that the engine reads as the show clock, and a scheduler that,
// a few seconds ahead of the clock, turns the main playlist and the slide sounds into play items
// whose channels the music loader opens.
//
// Threads: the engine calls the public operations from its own thread; events, scheduling,
// Synch and channel starts run on the player thread; channels are opened and freed on the loader
// thread. The clock fields are guarded by clockLock_; the rest belongs to the player thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/threads.h"
#include "foundation/zem_thread.h"
#include "model/slide_source.h"
#include "sound/music/music_channels.h"
#include "sound/music/music_loader.h"
#include "sound/music/music_source.h"
#include "sound/sound_device.h"

namespace zem {

class TZemMusicPlayer;

// One scheduled sound: a run of the playlist or one slide sound. Player thread only.
class TPlayItem : public TObj {
 public:
  explicit TPlayItem(TZemMusicPlayer& player);
  virtual void Finish(bool force);
  virtual void ChannelReady(TZemChannel& channel) = 0;
  virtual void Synch(bool running, double position) = 0;

  int32_t Id() const { return id_; }
  bool Ready() const { return ready_; }
  bool Finished() const { return finished_; }

 protected:
  // Gives a channel up: stops it when playing, else disowns it; then hands it to the loader.
  void ReleaseChannel(TRef<TZemChannel> channel);
  TZemMusicPlayer& player_;
  int32_t id_;
  bool ready_ = false;
  bool finished_ = false;
};

class TPlayComment : public TPlayItem {
 public:
  using TPlayItem::TPlayItem;
  ~TPlayComment() override;
  void Open(const WideString& name, int32_t file_offset, double end, double start);
  void Finish(bool force) override;
  void ChannelReady(TZemChannel& channel) override;
  void Synch(bool running, double position) override;
  TZemChannel* Channel() const { return channel_.get(); }

 private:
  TRef<TZemChannel> channel_;
  bool stopOnPause_ = true;
};

class TPlaySequence : public TPlayItem {
 public:
  TPlaySequence(TZemMusicPlayer& player, const TPlayList& playlist, double start, double offset);
  ~TPlaySequence() override;
  void Finish(bool force) override;
  void ChannelReady(TZemChannel& channel) override;
  void Synch(bool running, double position) override;

  double Start() const { return start_; }
  double Offset() const { return offset_; }
  bool Started() const { return started_; }
  const std::vector<TRef<TZemChannel>>& Channels() const { return channels_; }

 private:
  void UpdateChannels(double q);

  std::vector<TRef<TZemChannel>> channels_;
  const TPlayList& playlist_;
  int32_t nextIndex_ = 0;
  bool started_ = false;
  bool freeRunning_;
  double clockAtStart_ = 0;
  double start_;
  double offset_;
  uint32_t created_;
};

class TZemMusicPlayer : public TZemThread {
 public:
  static constexpr int32_t kEventRun = 10;
  static constexpr int32_t kEventStop = 11;
  static constexpr int32_t kEventSetTime = 12;
  static constexpr double kLookAhead = 5000;
  // A channel starting later than this after its time is moved on to the show's position.
  static constexpr double kLateStartMs = 25;
  static constexpr double kNoLimit = 2147483647.0;

  using TDeviceFactory = std::function<std::unique_ptr<TMusicPlayer>()>;

  // Builds the music description (its errors propagate), the device (kept only when it
  // initialises; `factory` empty: the process-wide factory), the loader, and schedules [0, 5000].
  // A null source is a programming error. `random_seed` 0 draws random tracks from the system.
  TZemMusicPlayer(TRef<TZemSource> source, bool owns_source, TDeviceFactory factory = {},
                  uint32_t random_seed = 0);
  ~TZemMusicPlayer() override;

  // Owner thread: the loader thread, then the player thread.
  bool Start() override;
  // Owner thread: the loader thread only; the owner then runs every tick itself through Step
  // (exports, where the clock is virtual and the player must tick at exact clock values).
  bool StartStepped();
  // Owner thread, stepped player: waits until every channel asked for is opened (at most
  // `waitMs` in all), then runs a tick without sleeping, and again at the same clock when that
  // tick asked for channels. False when the wait ran out.
  bool Step(uint32_t waitMs);
  // Owner thread: both threads, then the items and the device.
  void Stop() override;

  // Engine thread.
  void SetRunning(bool running);
  void SetTime(double limit, double position);
  void SetEndLimit(double limit) { SetTime(limit, -2147483647.0); }
  double GetPosition();
  float GetMasterVolume() const;
  void SetMasterVolume(float volume);
  bool IsReady() const { return ready_.load(std::memory_order_acquire); }
  double LastLimit() const { return lastLimit_.load(std::memory_order_acquire); }
  bool OwnsSource() const { return ownsSource_.load(); }
  void SetOwnsSource(bool owns) { ownsSource_.store(owns); }

  const TZemMusicSource& MusicSource() const { return *music_; }
  bool HasDevice() const { return device_ != nullptr; }
  bool SyncMode() const { return syncMode_; }
  // Loop steps done so far (tests wait on it).
  uint32_t TickCount() const { return ticks_.load(std::memory_order_acquire); }

  // Player thread (the play items).
  double DeviceClock();
  int32_t NextId();
  TThreadEventList& LoaderEvents() { return loader_->EventList(); }
  // Asks the loader to open the channel; counted until its answer arrives.
  void PostOpen(TRef<TZemChannel> channel);
  TChannelOperator& StartList() { return startList_; }
  TPlaySequence* CurrentSequence() const { return curSequence_; }
  void SetCurrentSequence(TPlaySequence* s) { curSequence_ = s; }
  TPlayComment* CurrentComment() const { return curComment_; }
  void SetCurrentComment(TPlayComment* c) { curComment_ = c; }
  void AddItem(TPlayItem* item) { items_.emplace_back(item); }
  // Player thread: the items and the horizon (tests read them through a loop-step hook).
  const std::vector<std::unique_ptr<TPlayItem>>& Items() const { return items_; }
  double Horizon() const { return horizon_; }
  // Runs on the player thread at the end of every tick (tests).
  void SetTickHook(std::function<void(TZemMusicPlayer&)> hook) { tickHook_ = std::move(hook); }

 protected:
  void HandleEvent(int32_t code, TObj* payload, bool& handled) override;
  void LoopStep() override;

 private:
  // One tick: events, scheduling, Synch, channel starts, freeing (player thread, or the owner
  // of a stepped player).
  void Tick();
  void Reset(double position, bool finish_items);
  void Schedule(double from, double to, bool first_run);
  // The slide index holding t, searched from curSlide_.
  int32_t SlideHolding(double t, int32_t from_index) const;
  void SlideTimes(int32_t index, double& start, double& end) const;
  void FreeItems();

  TRef<TZemSource> source_;
  std::atomic<bool> ownsSource_;
  std::unique_ptr<TFileAccessor> files_;
  std::unique_ptr<TZemMusicSource> music_;
  bool syncMode_ = false;
  std::unique_ptr<TMusicPlayer> device_;
  std::unique_ptr<TMusicLoader> loader_;
  TChannelOperator startList_;
  std::vector<std::unique_ptr<TPlayItem>> items_;
  int32_t nextId_ = 0;
  TPlaySequence* curSequence_ = nullptr;
  TPlayComment* curComment_ = nullptr;
  int32_t curSlide_ = 0;

  mutable TCriticalSection clockLock_;
  std::atomic<bool> requestedRunning_{false};  // engine thread
  bool running_ = false;                       // guarded by clockLock_
  double clockValue_ = 0;                      // origin while running, position while stopped; clockLock_

  std::atomic<double> endLimit_{kNoLimit};
  std::atomic<double> lastLimit_{-1};
  int32_t opening_ = 0;   // opens asked for and not yet answered (player thread)
  uint32_t posted_ = 0;   // opens asked for so far (player thread)
  double horizon_ = 0;
  std::atomic<bool> ready_{false};
  std::atomic<uint32_t> ticks_{0};
  std::function<void(TZemMusicPlayer&)> tickHook_;
  bool stopped_ = false;  // owner thread
};

}  // namespace zem
