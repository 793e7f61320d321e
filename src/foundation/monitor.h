// Monitors: a re-entrant lock whose waiters re-check their condition whenever another thread
// takes it, and the active monitor that owns one worker thread. Used by the video frame
// pipeline (the frame extractor and the video surfaces it fills).
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "foundation/refobj.h"

namespace zem {

class TMonitor : public TRefObj {
 public:
  // Any thread. Re-entrant; every Enter wakes the threads that wait on the monitor.
  void Enter();
  void Leave();
  // The calling thread must hold the monitor: releases it whatever its entry count, waits until
  // another thread enters (or the timeout in ms passes; negative waits without limit), takes it
  // again and restores the count. True unless the timeout passed.
  bool Wait(int32_t timeout_ms = -1);
  // Wakes the waiters without taking the monitor.
  void Pulse();
  // For std::lock_guard and friends.
  void lock() { Enter(); }
  void unlock() { Leave(); }
  // The calling thread holds the monitor.
  bool HeldByMe() const;

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  std::thread::id owner_;  // under m_
  int32_t count_ = 0;      // under m_
  uint64_t entries_ = 0;   // under m_; the event: moves with every Enter and Pulse
};

// A monitor with a state and, optionally, one worker thread that runs one routine.
class TActiveMonitor : public TMonitor {
 public:
  enum TState : int32_t { kStarting = 1, kRunning = 2, kDone = 3 };

  // Under the monitor.
  TState State() const { return state_; }
  bool StopRequested() const { return stop_; }

 protected:
  // Starts the worker without waiting for it. The worker holds a reference to this monitor
  // until its routine returns, so the object lives at least as long as its thread; the thread
  // is never joined or killed. Owner thread, once.
  void StartWorker(std::function<void()> routine);
  // Worker thread: priority one step below normal, and back.
  static void LowerWorkerPriority();
  static void RestoreWorkerPriority();

  TState state_ = kStarting;  // under the monitor
  bool stop_ = false;         // under the monitor
};

// Worker threads of active monitors still running in the process.
int32_t RunningActiveThreads();
// Waits until no active worker runs, at most timeout_ms; true when none is left. Program exit
// calls it with 10000 ms.
bool WaitForActiveThreads(int32_t timeout_ms);

}  // namespace zem
