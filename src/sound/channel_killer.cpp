#include "sound/channel_killer.h"

#include <mutex>
#include <utility>

#include "foundation/clock.h"
#include "sound/music_channel.h"
#include "sound/music_player_class.h"

namespace zem {

namespace {

// Carries one reference through the event list.
class TKillItem : public TObj {
 public:
  explicit TKillItem(std::shared_ptr<TMusicChannel> p) : playback(std::move(p)) {}
  std::shared_ptr<TMusicChannel> playback;
};

}  // namespace

TChannelKiller::TChannelKiller() { SetDestroyTimeout(1000); }

TChannelKiller::~TChannelKiller() {
  EventList().Post(kEventTerminate, nullptr);
  wake_.Set();
  Shutdown();
}

void TChannelKiller::Add(std::shared_ptr<TMusicChannel> playback) {
  EventList().Post(kEventAdd, std::make_unique<TKillItem>(std::move(playback)));
  wake_.Set();
}

void TChannelKiller::HandleEvent(int32_t code, TObj* payload, bool& handled) {
  handled = true;
  if (code == kEventTerminate) {
    TThread::Terminate();
  } else if (code == kEventAdd) {
    if (auto* item = dynamic_cast<TKillItem*>(payload)) {
      for (const auto& p : list_)
        if (p == item->playback) return;  // already waiting
      list_.push_back(std::move(item->playback));
    }
  }
}

// Killer thread: frees every playback whose drain delay has passed.
void TChannelKiller::LoopStep() {
  EventList().Process();
  if (list_.empty()) {
    wake_.WaitFor(100);
    wake_.Reset();
    return;
  }
  const uint32_t now = TimeGetTime();
  for (size_t i = 0; i < list_.size();) {
    std::shared_ptr<TMusicChannel>& p = list_[i];
    int32_t delay = p->DrainDelay();
    if (delay >= 0 && static_cast<int64_t>(now - p->DrainTick()) > delay) {
      std::shared_ptr<TMusicChannel> done = std::move(p);
      list_.erase(list_.begin() + static_cast<std::ptrdiff_t>(i));
      int32_t pos = static_cast<int32_t>(done->Position());
      done->NotifyOwnerFreed(pos);
      done.reset();  // usually the last reference: the playback is freed here
    } else {
      ++i;
    }
  }
  SleepMs(10);
}

namespace {
std::mutex g_killer_lock;
TChannelKiller* g_killer = nullptr;  // guarded by g_killer_lock
}  // namespace

// Made on first use and kept until ShutdownChannelKiller: a thread object must not be destroyed
// by the exit handlers, which run after the thread-local state its locks need is gone.
TChannelKiller& TChannelKiller::Instance() {
  std::lock_guard guard(g_killer_lock);
  if (!g_killer) {
    g_killer = new TChannelKiller();
    g_killer->Start();
  }
  return *g_killer;
}

void ShutdownChannelKiller() {
  TChannelKiller* k;
  {
    std::lock_guard guard(g_killer_lock);
    k = std::exchange(g_killer, nullptr);
  }
  delete k;
}

}  // namespace zem
