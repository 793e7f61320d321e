#include "platform/close_signals.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

namespace zem {

namespace {
std::atomic<int> g_signal{0};
std::atomic<bool> g_watching{false};
}  // namespace

void WatchCloseSignals(std::function<void(int)> on_signal) {
  if (g_watching.exchange(true)) return;
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  // Watching thread: lives until the process ends (it holds nothing).
  std::thread([set, on_signal = std::move(on_signal)] {
    for (;;) {
      int sig = 0;
      if (sigwait(&set, &sig) != 0) continue;
      g_signal.store(sig);
      if (on_signal) on_signal(sig);
    }
  }).detach();
}

int CloseSignal() { return g_signal.load(); }

void ChildSpawnAttributes(posix_spawnattr_t& attr) {
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
}

}  // namespace zem
