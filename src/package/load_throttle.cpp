#include "package/load_throttle.h"

#include <sys/resource.h>

#include <atomic>
#include <thread>

#include "foundation/clock.h"

namespace zem {

namespace {
std::atomic<TLoadMode> g_mode{TLoadMode::Paused};
// Time of the last yield; shared by all reading threads (a word written whole).
std::atomic<uint32_t> g_last_sleep{0};

// The stand-in for the process priority class: best effort, failures ignored (raising priority
// needs privileges most users lack).
void ApplyPriority(TLoadMode mode) {
  (void)::setpriority(PRIO_PROCESS, 0, mode == TLoadMode::Playing ? -5 : 0);
}
}  // namespace

void SetLoadMode(TLoadMode mode) {
  TLoadMode old = g_mode.exchange(mode);
  // The priority changes only into or out of playing.
  if (old != mode && (old == TLoadMode::Playing || mode == TLoadMode::Playing)) ApplyPriority(mode);
}

TLoadMode LoadMode() { return g_mode.load(); }

bool LoadGivenUp() { return g_mode.load(std::memory_order_relaxed) == TLoadMode::GiveUp; }

void LoadCallback() {
  const TLoadMode mode = g_mode.load(std::memory_order_relaxed);
  if (mode != TLoadMode::Yield && mode != TLoadMode::Playing) return;
  uint32_t now = TimeGetTime();
  if (now - g_last_sleep.load(std::memory_order_relaxed) > 5) {
    // Mode 1 only gives the rest of the time slice away (a sleep of 0 ms); mode 2 sleeps 1 ms.
    if (mode == TLoadMode::Playing)
      SleepMs(1);
    else
      std::this_thread::yield();
    g_last_sleep.store(TimeGetTime(), std::memory_order_relaxed);
  }
}

}  // namespace zem
