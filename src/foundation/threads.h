// Worker threads and the synchronisation objects they share: events, mutexes with an abandoned
// state, re-entrant critical sections, an atomic counter, and the thread base class.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "foundation/refobj.h"

namespace zem {

// Writes one foundation debugger line: the current thread id in hexadecimal, a space, then the
// text; to standard error (our debugger channel) and to the process log. Any thread.
void DebugLine(const std::string& text);

// Manual-reset event, initially not signalled. Any thread may call any operation.
class TEvent : public TObj {
 public:
  void Set();
  void Reset();
  // Timeout in ms, negative = forever; true when signalled.
  bool WaitFor(int32_t timeout_ms = -1);
  bool IsSet() const;

 private:
  mutable std::mutex m_;
  std::condition_variable cv_;
  bool signalled_ = false;  // guarded by m_
};

// A mutex owned by one thread at a time (the owner may acquire it again; each Acquire needs its
// Release). When the owning thread ends without releasing it, the mutex is abandoned: the next
// wait counts as acquired, sets the abandoned flag and releases it again at once; every later
// Acquire fails. Abandonment is detected when the owner's thread-local storage is torn down, so
// it covers threads that end normally (std::thread, pthreads) but not a thread cancelled or
// killed without unwinding, nor owners in other processes.
class TMutex : public TObj {
 public:
  TMutex();
  ~TMutex() override;
  // Any thread. Timeout in ms, negative = forever.
  bool Acquire(int32_t timeout_ms = -1);
  // Owner thread only; a release by another thread raises EAssertionFailed.
  void Release();
  // Any thread.
  bool Abandoned() const;

  struct TCore;

 private:
  std::shared_ptr<TCore> core_;  // shared with the owner thread's list of held mutexes
};

// Re-entrant lock. Enter/Leave on the same thread, balanced; also usable with std::lock_guard.
class TCriticalSection : public TObj {
 public:
  void Enter() { m_.lock(); }
  bool TryEnter() { return m_.try_lock(); }
  void Leave() { m_.unlock(); }
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex m_;
};

// Re-entrant lock that checks its use: Leave by a thread that does not hold it raises
// EAssertionFailed instead of corrupting the lock.
class TSafeCriticalSection : public TObj {
 public:
  void Enter();
  bool TryEnter();
  void Leave();
  // Any thread: true when the calling thread holds the lock.
  bool HeldByMe() const;
  void lock() { Enter(); }
  bool try_lock() { return TryEnter(); }
  void unlock() { Leave(); }

 private:
  std::recursive_mutex m_;
  std::atomic<std::thread::id> owner_{};
  int32_t depth_ = 0;  // written by the holder only
};

// 32-bit counter changed atomically; any thread.
class TInterlockedCounter {
 public:
  explicit TInterlockedCounter(int32_t start = 0) : value_(start) {}
  int32_t Increment() { return value_.fetch_add(1, std::memory_order_acq_rel) + 1; }
  int32_t Decrement() { return value_.fetch_sub(1, std::memory_order_acq_rel) - 1; }
  int32_t Value() const { return value_.load(std::memory_order_acquire); }

 private:
  std::atomic<int32_t> value_;
};

// Raised inside a thread body that cannot take its run mutex.
class EMutexTakeOwnershipError : public std::runtime_error {
 public:
  EMutexTakeOwnershipError() : std::runtime_error("EMutexTakeOwnershipError") {}
};

// Thread priorities, lowest to highest; mapped to nice values (best effort, failures ignored:
// raising a priority usually needs privileges on Linux).
enum class TThreadPriority { Idle, Lowest, Lower, Normal, Higher, Highest, TimeCritical };

// What a thread object shares with its running body. The body keeps its own reference, so a
// body left running after its object was destroyed still finds these.
class TThreadState {
 public:
  TMutex run_mutex;                    // held by the body while it runs
  TEvent started;                      // set by the body once it holds run_mutex
  std::atomic<bool> terminated{false};
  std::atomic<pid_t> tid{0};           // kernel id of the body, 0 until it runs
  std::atomic<std::thread::id> body_id{};
  std::atomic<int> priority{static_cast<int>(TThreadPriority::Normal)};

  // Body thread, between calls into its object: false when the owner has given up on the body
  // (the object may be gone; the body must not touch it again). Once terminated, a true answer
  // obliges the owner to wait for the body without limit.
  bool MayContinue();
  // Owner thread, after the destroy timeout: true when the body is now left running; false when
  // the body is already finishing and must be waited for.
  bool GiveUp();

 private:
  std::mutex guard_;
  bool left_running_ = false;  // guarded by guard_
  bool finishing_ = false;     // guarded by guard_
};

// Thread base. Virtual operations in this order: destroy; Execute; Terminate.
// Owner thread: the thread that creates, starts and destroys the object.
// A class that derives from TThread and has members its Execute uses must call Shutdown() at the
// start of its own destructor: by the time this destructor runs those members are gone.
class TThread : public TObj {
 public:
  TThread();
  // Owner thread: Shutdown(), then frees the state (the body keeps it while it still runs).
  ~TThread() override;
  // Body thread: the thread's work.
  virtual void Execute() = 0;
  // Any thread: asks the body to end (it polls Terminated()).
  virtual void Terminate();

  // Owner thread, once per object: clears the terminated flag and runs the body on a new
  // thread; true when the thread was created.
  bool Start();
  // Any thread but the body's own: true when the body has ended within the timeout (negative =
  // forever). A thread never started counts as ended.
  bool WaitFor(int32_t timeout_ms);
  // Any thread; the body polls it.
  bool Terminated() const { return state_->terminated.load(std::memory_order_acquire); }

  // Any thread; best effort.
  TThreadPriority Priority() const;
  void SetPriority(TThreadPriority priority);

  // Owner thread, before destruction: how long destruction waits for the body before leaving it running (ms, default 3000).
  // A body that does not end in time is never killed: killing a thread leaves locks held and
  // memory half-written. It is logged by class name and detached instead.
  void SetDestroyTimeout(uint32_t ms) { destroy_timeout_ms_ = ms; }
  uint32_t DestroyTimeout() const { return destroy_timeout_ms_; }

  // Owner thread: the destroy sequence. Terminate; wait up to the destroy timeout; when the body
  // still runs, log it and leave it detached. False when the body was left running; a second
  // call does nothing and returns true.
  bool Shutdown();

  // Any thread: thread bodies of all thread objects still running in the process (any thread).
  static int32_t LiveBodies();

 protected:
  // Owner or body thread; the pointer never changes.
  const std::shared_ptr<TThreadState>& State() const { return state_; }

 private:
  static void Body(std::shared_ptr<TThreadState> state, TThread* self);

  std::shared_ptr<TThreadState> state_;
  std::thread thread_;                 // owner thread only
  std::atomic<bool> created_{false};   // the body was started
  bool start_called_ = false;          // owner thread only
  std::string class_name_;             // most-derived class, taken at Start
  std::atomic<uint32_t> destroy_timeout_ms_{3000};
};

}  // namespace zem
