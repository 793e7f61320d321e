#include "package/load_throttle.h"

#include <sys/resource.h>

#include <atomic>

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
  if (old != mode) ApplyPriority(mode);
}

TLoadMode LoadMode() { return g_mode.load(); }

void LoadCallback() {
  if (g_mode.load(std::memory_order_relaxed) != TLoadMode::Playing) return;
  uint32_t now = TimeGetTime();
  if (now - g_last_sleep.load(std::memory_order_relaxed) > 5) {
    SleepMs(1);
    g_last_sleep.store(TimeGetTime(), std::memory_order_relaxed);
  }
}

}  // namespace zem
