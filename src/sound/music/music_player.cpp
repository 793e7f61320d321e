#include "sound/music/music_player.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "script/ini_file.h"
#include "sound/plugin_setup.h"

namespace zem {

namespace {

std::string Ms(double v) { return FormatFloat(v); }

// Elapsed milliseconds on the exact counter.
double Since(double t0) { return TimeGetTimeExact() - t0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Play items

TPlayItem::TPlayItem(TZemMusicPlayer& player) : player_(player), id_(player.NextId()) { player.AddItem(this); }

void TPlayItem::Finish(bool) { finished_ = true; }

void TPlayItem::ReleaseChannel(TRef<TZemChannel> channel) {
  if (channel->playing) channel->Stop();
  else channel->ownerId.store(-1);
  player_.LoaderEvents().Post(TMusicLoader::kReleaseChannel, std::make_unique<TChannelContainer>(std::move(channel)));
}

TPlayComment::~TPlayComment() {
  TPlayComment::Finish(true);
  if (player_.CurrentComment() == this) {
    LogLine("Clear CurComment !!!!!!!!!!!");
    player_.SetCurrentComment(nullptr);
  } else {
    LogLine("Dispose noncurrent channel !!!!!!!!!!!");
  }
}

void TPlayComment::Open(const WideString& name, int32_t file_offset, double end, double start) {
  ZEM_ASSERT(!channel_);
  channel_ = MakeRef<TZemChannel>(player_.StartList(), name, file_offset, start, end);
  channel_->ownerId.store(id_);
  player_.PostOpen(channel_);
}

void TPlayComment::ChannelReady(TZemChannel& channel) {
  ZEM_ASSERT(&channel == channel_.get());
  channel.loaded = true;
  ready_ = true;
}

void TPlayComment::Synch(bool running, double x) {
  if (finished_ || !ready_ || !channel_) return;
  if (x >= channel_->EndTime() - 10) {
    Finish(true);
  } else if (channel_->playing) {
    if (!running && stopOnPause_) channel_->Stop();
  } else if (running && x >= channel_->StartTime()) {
    channel_->Start(x);
    player_.SetCurrentComment(this);
  }
}

void TPlayComment::Finish(bool force) {
  TPlayItem::Finish(force);
  if (channel_) ReleaseChannel(std::move(channel_));
}

TPlaySequence::TPlaySequence(TZemMusicPlayer& player, const TPlayList& playlist, double start, double offset)
    : TPlayItem(player), playlist_(playlist), freeRunning_(!player.SyncMode()), start_(start), offset_(offset),
      created_(TimeGetTime()) {
  ready_ = playlist_.Count() == 0;
}

TPlaySequence::~TPlaySequence() {
  TPlaySequence::Finish(true);
  if (player_.CurrentSequence() == this) {
    LogLine("Clear CurSequence");
    player_.SetCurrentSequence(nullptr);
  }
  LogLine("TPlaySequence.Disposed");
}

void TPlaySequence::Finish(bool force) {
  if (finished_ || !(force || !freeRunning_)) return;
  finished_ = true;
  LogLine("Finally sequence stop " + std::to_string(TimeGetTime() - created_));
  for (TRef<TZemChannel>& c : channels_) {
    if (c->playing) LogLine("Stop Channel: " + WideToUtf8(c->Name()));
    ReleaseChannel(std::move(c));
  }
  channels_.clear();
}

void TPlaySequence::ChannelReady(TZemChannel& channel) {
  const auto it = std::find_if(channels_.begin(), channels_.end(),
                               [&](const TRef<TZemChannel>& c) { return c.get() == &channel; });
  ZEM_ASSERT(it != channels_.end());
  channel.loaded = true;
  ready_ = std::all_of(channels_.begin(), channels_.end(), [](const TRef<TZemChannel>& c) { return c->loaded; });
}

void TPlaySequence::Synch(bool running, double x) {
  if (finished_) return;
  if (started_) {
    if (!running && !freeRunning_) {
      for (TRef<TZemChannel>& c : channels_) c->Stop();
      started_ = false;
    }
    if (started_) {
      UpdateChannels(freeRunning_ ? player_.DeviceClock() - clockAtStart_ + offset_ : x - start_ + offset_);
    }
    return;
  }
  if (x >= start_) {
    if (running) {
      started_ = true;
      if (freeRunning_) clockAtStart_ = player_.DeviceClock();
      LogLine("Sequence started at abs Time " + Ms(x));
    }
    UpdateChannels(freeRunning_ ? offset_ : x - start_ + offset_);
    if ((running || !freeRunning_) && !finished_) {
      TPlaySequence* old = player_.CurrentSequence();
      player_.SetCurrentSequence(this);
      if (old && old != this) old->Finish(true);
    }
  } else {
    UpdateChannels(offset_);
  }
}

void TPlaySequence::UpdateChannels(double q) {
  const double t0 = TimeGetTimeExact();
  const int32_t count = playlist_.Count();
  if (!playlist_.repeat) {
    if (q > playlist_.Total()) {
      Finish(true);
      return;
    }
  } else if (count == 0 || playlist_.Total() <= 0) {
    // Nothing to walk; a repeating list without length would never end the walk below.
    return;
  }
  int32_t index = nextIndex_;
  for (;; ++index) {
    if (!playlist_.repeat && index >= count) break;
    if (index == 2147483647) break;
    const TMusicItemInfo e = playlist_.Get(index);
    if (!(q + TZemMusicPlayer::kLookAhead > e.start)) break;
    if (!(q < e.start + e.duration)) continue;
    LogLine("Preload " + WideToUtf8(e.fileName));
    LogLine("Preload to time start " + Ms(e.start));
    const double o = std::max(0.0, q - e.start);
    if (o > e.duration) continue;
    auto c = MakeRef<TZemChannel>(player_.StartList(), e.fileName, int32_t(std::trunc(o + e.fileOffset)),
                                  o + e.start, e.start + e.duration);
    c->ownerId.store(id_);
    channels_.push_back(c);
    ready_ = false;
    player_.PostOpen(c);
  }
  nextIndex_ = index;
  if (started_) {
    for (size_t i = 0; i < channels_.size();) {
      TZemChannel& c = *channels_[i];
      if (q < c.EndTime()) {
        if (c.loaded && !c.playing && q >= c.StartTime()) {
          c.Start(q);
          LogLine("Start Channel: " + WideToUtf8(c.Name()) + "   IntTime: " + Ms(q));
        }
        ++i;
        continue;
      }
      const double r0 = TimeGetTimeExact();
      TRef<TZemChannel> gone = channels_[i];
      channels_.erase(channels_.begin() + std::ptrdiff_t(i));
      if (gone->playing) LogLine("Stop Channel: " + WideToUtf8(gone->Name()) + "   IntTime: " + Ms(q));
      ReleaseChannel(std::move(gone));
      LogLine("Release Channel Time " + Ms(Since(r0)));
    }
    ready_ = std::all_of(channels_.begin(), channels_.end(), [](const TRef<TZemChannel>& c) { return c->loaded; });
  }
  const double took = Since(t0);
  if (took > 1) LogLine("|||||||||||||||||||||||||| Watch Synch Time " + Ms(took));
}

// ---------------------------------------------------------------------------------------------
// Player

TZemMusicPlayer::TZemMusicPlayer(TRef<TZemSource> source, bool owns_source, TDeviceFactory factory,
                                 uint32_t random_seed)
    : source_(std::move(source)), ownsSource_(owns_source) {
  if (!source_) ZEM_FAIL("No ZemSource for ZemMusicPlayer");
  if (source_->Files()) files_ = source_->Files()->Clone();
  // The first music player of the process sets up the decoder plug-ins.
  SetUpDecoderPlugins(source_->Main(), source_->Files());
  music_ = std::make_unique<TZemMusicSource>(*source_, random_seed);
  syncMode_ = music_->SyncMode();
  device_ = factory ? factory() : CreateMusicPlayerDevice();
  if (device_ && !device_->Init()) device_.reset();
  loader_ = std::make_unique<TMusicLoader>(files_.get(), device_.get(), EventList());
  if (!syncMode_) new TPlaySequence(*this, music_->PlayList(), 0, 0);
  Reset(0, false);
}

TZemMusicPlayer::~TZemMusicPlayer() {
  Stop();
  loader_.reset();
  music_.reset();
  files_.reset();
  source_.reset();
}

bool TZemMusicPlayer::Start() {
  loader_->Start();
  return TZemThread::Start();
}

bool TZemMusicPlayer::StartStepped() { return loader_->Start(); }

void TZemMusicPlayer::PostOpen(TRef<TZemChannel> channel) {
  ++opening_;
  ++posted_;
  LoaderEvents().Post(TMusicLoader::kOpenChannel, std::make_unique<TChannelContainer>(std::move(channel)));
}

bool TZemMusicPlayer::Step(uint32_t waitMs) {
  const uint32_t begin = TimeGetTime();
  bool inTime = true;
  // Channels open on the loader thread. A channel whose time has come would start late if the
  // tick ran before it arrived, so the stepped player waits for every open it asked for, and
  // ticks again at the same clock when a tick asked for new ones (a sequence that just
  // started opens its first channel then).
  for (int round = 0; round < 3; ++round) {
    EventList().Process();
    while (opening_ > 0 && inTime) {
      SleepMs(1);
      EventList().Process();
      inTime = TimeGetTime() - begin < waitMs;
    }
    const uint32_t posted = posted_;
    Tick();
    if (posted_ == posted) break;
  }
  return inTime;
}

void TZemMusicPlayer::Stop() {
  if (stopped_) return;
  stopped_ = true;
  if (loader_) loader_->Stop();
  TZemThread::Stop();
  // Items release their channels into the closed loader list, which frees them here.
  while (!items_.empty()) items_.pop_back();
  startList_.Items().clear();
  SleepMs(15);
  device_.reset();
  SleepMs(15);
}

void TZemMusicPlayer::SetRunning(bool running) {
  if (requestedRunning_.exchange(running) == running) return;
  EventList().Post(running ? kEventRun : kEventStop, nullptr);
}

void TZemMusicPlayer::SetTime(double limit, double position) {
  if (position >= 0) requestedRunning_.store(false);
  ready_.store(false, std::memory_order_release);
  if (limit >= 0) lastLimit_.store(limit, std::memory_order_release);
  TTimeData data(position, limit);
  if (!IsStarted()) {
    // No player thread yet (or any more): nothing else touches the player, so it is handled here.
    bool handled = false;
    HandleEvent(kEventSetTime, &data, handled);
    return;
  }
  EventList().Send(kEventSetTime, &data);
}

double TZemMusicPlayer::GetPosition() {
  double p;
  {
    std::lock_guard<TCriticalSection> guard(clockLock_);
    p = running_ ? DeviceClock() - clockValue_ : clockValue_;
  }
  return std::min(p, endLimit_.load());
}

float TZemMusicPlayer::GetMasterVolume() const { return device_ ? device_->GetVolume() : 0.0f; }

void TZemMusicPlayer::SetMasterVolume(float volume) {
  if (device_) device_->SetVolume(volume);
}

double TZemMusicPlayer::DeviceClock() { return device_ ? device_->Clock() : TimeGetTimeExact(); }

int32_t TZemMusicPlayer::NextId() {
  const int32_t id = nextId_;
  nextId_ = nextId_ == 2147483647 ? 0 : nextId_ + 1;
  return id;
}

void TZemMusicPlayer::HandleEvent(int32_t code, TObj* payload, bool& handled) {
  handled = true;
  switch (code) {
    case TMusicLoader::kChannelReady: {
      auto* container = dynamic_cast<TChannelContainer*>(payload);
      ZEM_ASSERT(container && container->channel);
      TZemChannel& c = *container->channel;
      LogLine("Receive Channel: " + WideToUtf8(c.Name()));
      if (opening_ > 0) --opening_;
      const int32_t owner = c.ownerId.load();
      for (const auto& item : items_) {
        if (item->Id() == owner) {
          item->ChannelReady(c);
          break;
        }
      }
      // The player's reference goes back to the loader, which frees the channel there.
      LoaderEvents().Post(TMusicLoader::kReleaseChannel, std::make_unique<TChannelContainer>(std::move(container->channel)));
      break;
    }
    case kEventRun: {
      std::lock_guard<TCriticalSection> guard(clockLock_);
      if (!running_) {
        clockValue_ = DeviceClock() - clockValue_;
        running_ = true;
      }
      break;
    }
    case kEventStop: {
      std::lock_guard<TCriticalSection> guard(clockLock_);
      if (running_) {
        clockValue_ = DeviceClock() - clockValue_;
        running_ = false;
      }
      break;
    }
    case kEventSetTime: {
      auto* data = dynamic_cast<TTimeData*>(payload);
      ZEM_ASSERT(data);
      LogLine("Set Time " + Ms(data->position));
      if (data->limit >= 0) endLimit_.store(data->limit);
      if (data->position >= 0) Reset(data->position, true);
      break;
    }
    default:
      ZEM_FAIL("Unknown EventID");
  }
}

void TZemMusicPlayer::Reset(double position, bool finish_items) {
  {
    std::lock_guard<TCriticalSection> guard(clockLock_);
    running_ = false;
    clockValue_ = position;
  }
  if (finish_items) {
    for (const auto& item : items_) item->Finish(false);
  }
  horizon_ = position + kLookAhead;
  Schedule(position, position + kLookAhead, true);
}

void TZemMusicPlayer::SlideTimes(int32_t index, double& start, double& end) const {
  const int32_t count = music_->SlideCount();
  const TSlideMusicInfo& s = music_->Slide(index % count);
  const double shift = double(index / count) * music_->ShowDuration();
  start = s.info.start + shift;
  end = s.info.end + shift;
}

int32_t TZemMusicPlayer::SlideHolding(double t, int32_t index) const {
  double start, end;
  index = std::max(0, index);
  // Bounded walk: a show without length would otherwise never leave its first cycle.
  for (int32_t guard = 0; guard < 1000000; ++guard) {
    SlideTimes(index, start, end);
    if (t >= end && end > start && index < 2147483646) ++index;
    else if (t < start && index > 0) --index;
    else break;
  }
  return index;
}

void TZemMusicPlayer::Schedule(double from, double to, bool first_run) {
  if (syncMode_) {
    const double d = music_->ShowDuration();
    int64_t i = d > 0 ? int64_t(std::trunc(from / d)) : 0;
    int64_t last = d > 0 ? int64_t(std::trunc(to / d)) : 0;
    if (source_->RepeatMode() != kRepeatShow) last = 0;
    if (!first_run) ++i;
    for (; i <= last; ++i) {
      const double e = d * double(i);
      if (from < e) new TPlaySequence(*this, music_->PlayList(), e, 0);
      else new TPlaySequence(*this, music_->PlayList(), from, from - e);
    }
  }
  const int32_t count = music_->SlideCount();
  if (count == 0) return;
  const int32_t n = SlideHolding(from, curSlide_);
  curSlide_ = n;
  const int32_t first = first_run ? std::max(0, n - count) : n + 1;
  const int32_t last = SlideHolding(to, n);
  for (int32_t i = first; i <= last; ++i) {
    const TSlideMusicInfo& info = music_->Slide(i % count);
    if (info.sound.empty()) continue;
    double s = double(i / count) * music_->ShowDuration() + info.info.start;
    LogLine("New Comment begin " + WideToUtf8(info.sound));
    double offset = 0;
    if (from > s) {
      offset = from - s;
      s = from;
    }
    if (offset < info.soundLength) {
      LogLine("~~~~~~~~~~~~~~~~~~~~~~~New Comment params " + Ms(s) + " " + Ms(offset));
      auto* comment = new TPlayComment(*this);
      comment->Open(info.sound, int32_t(std::lround(offset)), s + info.soundLength - offset, s);
    }
  }
}

void TZemMusicPlayer::FreeItems() {
  for (size_t i = 0; i < items_.size();) {
    if (items_[i]->Finished()) {
      std::unique_ptr<TPlayItem> gone = std::move(items_[i]);
      items_.erase(items_.begin() + std::ptrdiff_t(i));
      gone.reset();
    } else {
      ++i;
    }
  }
}

void TZemMusicPlayer::LoopStep() {
  Tick();
  SleepMs(5);
}

void TZemMusicPlayer::Tick() {
  EventList().Process();
  double d = GetPosition();
  const double limit = endLimit_.load();
  if (d >= limit - 1) d = limit - 1;
  bool running;
  {
    std::lock_guard<TCriticalSection> guard(clockLock_);
    running = running_;
  }
  if (running) {
    const double t0 = TimeGetTimeExact();
    Schedule(horizon_, d + kLookAhead, false);
    horizon_ = d + kLookAhead;
    if (Since(t0) > 1) LogLine("+++++++++++++++++++ Main Synch Time " + Ms(Since(t0)));
  }
  {
    const double t0 = TimeGetTimeExact();
    for (size_t i = 0; i < items_.size(); ++i) {
      if (!items_[i]->Finished()) items_[i]->Synch(running, d);
    }
    if (Since(t0) > 1) LogLine("+++++++++++++++++++ Total Synch Time " + Ms(Since(t0)));
  }
  for (TRef<TZemChannel>& c : startList_.Items()) {
    if (!c->device) continue;
    const double t0 = TimeGetTimeExact();
    // A channel that opened after its time (a busy machine, a slow file) would sound behind
    // the show by as much: it starts where the show is instead.
    if (c->LateBy() > kLateStartMs) {
      const int32_t to = int32_t(std::min<double>(c->FileOffset() + std::lround(c->LateBy()), INT32_MAX));
      c->device->Seek(to);
      LogLine("Channel " + WideToUtf8(c->Name()) + " started " + Ms(c->LateBy()) + " ms late, moved to " +
              std::to_string(to));
    }
    c->device->Play(10);
    c->stopped = false;
    LogLine("+++++++++++++++++++ Play Channel " + WideToUtf8(c->Name()) + " Time " + Ms(Since(t0)));
  }
  startList_.Items().clear();
  {
    const double t0 = TimeGetTimeExact();
    FreeItems();
    const bool all = std::all_of(items_.begin(), items_.end(), [](const auto& item) { return item->Ready(); });
    ready_.store(all || running, std::memory_order_release);
    if (Since(t0) > 1) LogLine("+++++++++++++++++++ Total Free and Pack Time " + Ms(Since(t0)));
  }
  if (tickHook_) tickHook_(*this);
  ticks_.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace zem
