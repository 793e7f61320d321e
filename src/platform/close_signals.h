// SIGINT, SIGTERM and SIGHUP close the player like its window's close box. The signals are
// blocked in every thread and taken by one watching thread (sigwait), so no code runs inside a
// signal handler and no drawing or loading thread is interrupted by them.
#pragma once
#include <spawn.h>

#include <functional>

namespace zem {

// Main thread, before any other thread exists (threads inherit the blocked set). `on_signal`
// runs on the watching thread with the signal number, once per signal; it must only set flags
// and wake the event loop. A second call does nothing.
void WatchCloseSignals(std::function<void(int)> on_signal);
// The signal that asked to close, or 0. Any thread.
int CloseSignal();
// Spawn attributes under which a started program gets no blocked signals (the blocked set would
// otherwise pass to it through exec). The caller destroys them.
void ChildSpawnAttributes(posix_spawnattr_t& attr);

}  // namespace zem
