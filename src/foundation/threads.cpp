#include "foundation/threads.h"

#include <cxxabi.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <vector>

#include "foundation/assert.h"
#include "foundation/log.h"

namespace zem {

namespace {

using Clock = std::chrono::steady_clock;

// Waits on cv until pred holds or the timeout (negative = forever) passes; true when pred holds.
template <class Pred>
bool WaitMs(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, int32_t timeout_ms, Pred pred) {
  if (timeout_ms < 0) {
    cv.wait(lock, pred);
    return true;
  }
  return cv.wait_for(lock, std::chrono::milliseconds(timeout_ms), pred);
}

std::string Hex8(uint64_t v) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v & 0xFFFFFFFFu));
  return buf;
}

std::string Demangle(const char* name) {
  int status = 0;
  char* d = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string s = (status == 0 && d) ? d : name;
  std::free(d);
  return s;
}

std::atomic<int32_t> g_live_bodies{0};

const int kNice[] = {19, 10, 5, 0, -5, -10, -20};  // by TThreadPriority

}  // namespace

void DebugLine(const std::string& text) {
  std::string line = Hex8(static_cast<uint64_t>(gettid())) + " " + text;
  std::fprintf(stderr, "%s\n", line.c_str());
  LogLine(line);
}

// ---- TEvent

void TEvent::Set() {
  std::lock_guard<std::mutex> lock(m_);
  signalled_ = true;
  cv_.notify_all();  // under the lock: a woken waiter may destroy the event once it returns
}

void TEvent::Reset() {
  std::lock_guard<std::mutex> lock(m_);
  signalled_ = false;
}

bool TEvent::WaitFor(int32_t timeout_ms) {
  std::unique_lock<std::mutex> lock(m_);
  return WaitMs(cv_, lock, timeout_ms, [this] { return signalled_; });
}

bool TEvent::IsSet() const {
  std::lock_guard<std::mutex> lock(m_);
  return signalled_;
}

// ---- TMutex

struct TMutex::TCore {
  std::mutex m;
  std::condition_variable cv;
  std::thread::id owner;     // guarded by m; default id = nobody
  int32_t depth = 0;         // guarded by m
  bool owner_gone = false;   // the owner ended holding it; the next wait sees it abandoned
  bool abandoned = false;    // guarded by m; once set, Acquire fails
};

namespace {

// The mutexes the current thread holds; at thread end, those still held become abandoned.
struct THeldMutexes {
  std::vector<std::shared_ptr<TMutex::TCore>> cores;
  ~THeldMutexes() {
    for (auto& c : cores) {
      std::lock_guard<std::mutex> lock(c->m);
      c->owner = std::thread::id();
      c->depth = 0;
      c->owner_gone = true;
      c->cv.notify_all();
    }
  }
  void Remove(const TMutex::TCore* c) {
    auto it = std::find_if(cores.begin(), cores.end(), [c](const auto& p) { return p.get() == c; });
    if (it != cores.end()) cores.erase(it);
  }
};

thread_local THeldMutexes t_held;

}  // namespace

TMutex::TMutex() : core_(std::make_shared<TCore>()) {}

TMutex::~TMutex() {
  // Held by this thread: forget it. Held by another thread: its list keeps the core alive.
  std::lock_guard<std::mutex> lock(core_->m);
  if (core_->owner == std::this_thread::get_id()) t_held.Remove(core_.get());
}

bool TMutex::Acquire(int32_t timeout_ms) {
  TCore& c = *core_;
  std::unique_lock<std::mutex> lock(c.m);
  const auto me = std::this_thread::get_id();
  if (c.abandoned) return false;
  if (c.owner == me) {
    ++c.depth;
    return true;
  }
  if (!WaitMs(c.cv, lock, timeout_ms, [&c] { return c.owner == std::thread::id() || c.abandoned; }))
    return false;
  if (c.abandoned) return false;
  if (c.owner_gone) {
    // The wait reports the mutex abandoned: counts as acquired, and is released again at once.
    c.owner_gone = false;
    c.abandoned = true;
    c.cv.notify_all();
    return true;
  }
  c.owner = me;
  c.depth = 1;
  t_held.cores.push_back(core_);
  return true;
}

void TMutex::Release() {
  TCore& c = *core_;
  std::unique_lock<std::mutex> lock(c.m);
  ZEM_ASSERT(c.owner == std::this_thread::get_id());
  if (--c.depth > 0) return;
  c.owner = std::thread::id();
  t_held.Remove(&c);
  c.cv.notify_one();
}

bool TMutex::Abandoned() const {
  std::lock_guard<std::mutex> lock(core_->m);
  return core_->abandoned;
}

// ---- TSafeCriticalSection

void TSafeCriticalSection::Enter() {
  m_.lock();
  owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  ++depth_;
}

bool TSafeCriticalSection::TryEnter() {
  if (!m_.try_lock()) return false;
  owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  ++depth_;
  return true;
}

void TSafeCriticalSection::Leave() {
  ZEM_ASSERT(HeldByMe());
  if (--depth_ == 0) owner_.store(std::thread::id(), std::memory_order_relaxed);
  m_.unlock();
}

bool TSafeCriticalSection::HeldByMe() const {
  return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
}

// ---- TThreadState

bool TThreadState::MayContinue() {
  std::lock_guard<std::mutex> lock(guard_);
  if (left_running_) return false;
  if (terminated.load(std::memory_order_acquire)) finishing_ = true;
  return true;
}

bool TThreadState::GiveUp() {
  std::lock_guard<std::mutex> lock(guard_);
  if (finishing_) return false;
  left_running_ = true;
  return true;
}

// ---- TThread

TThread::TThread() : state_(std::make_shared<TThreadState>()) {}

TThread::~TThread() { Shutdown(); }

void TThread::Terminate() { state_->terminated.store(true, std::memory_order_release); }

bool TThread::Start() {
  ZEM_ASSERT(!start_called_);  // a thread object is started once
  start_called_ = true;
  class_name_ = Demangle(typeid(*this).name());
  state_->terminated.store(false, std::memory_order_release);
  g_live_bodies.fetch_add(1);
  try {
    thread_ = std::thread(&TThread::Body, state_, this);
  } catch (const std::system_error&) {
    g_live_bodies.fetch_sub(1);
    return false;
  }
  created_.store(true, std::memory_order_release);
  return true;
}

// Body thread. Touches the object only through Execute: after Execute returns the object may
// already be gone (left running), so only the shared state is used.
void TThread::Body(std::shared_ptr<TThreadState> state, TThread* self) {
  state->tid.store(gettid());
  state->body_id.store(std::this_thread::get_id());
  int prio = state->priority.load();
  if (prio != static_cast<int>(TThreadPriority::Normal)) setpriority(PRIO_PROCESS, gettid(), kNice[prio]);
  bool holds = false;
  try {
    holds = state->run_mutex.Acquire(-1);
    if (!holds) throw EMutexTakeOwnershipError();
    state->started.Set();
    self->Execute();
  } catch (const std::exception& e) {
    // No exception address in C++: the thread object's address identifies the thread instead.
    // (No beep on Linux.)
    DebugLine("Thread Exception at: " + Hex8(reinterpret_cast<uintptr_t>(self)));
    DebugLine(e.what());
  } catch (...) {
    DebugLine("Thread Exception at: " + Hex8(reinterpret_cast<uintptr_t>(self)));
    DebugLine("unknown exception");
  }
  // Waiters must not stay blocked on a body that could not start properly.
  state->started.Set();
  if (holds) state->run_mutex.Release();
  g_live_bodies.fetch_sub(1);
}

bool TThread::WaitFor(int32_t timeout_ms) {
  if (!created_.load(std::memory_order_acquire)) return true;
  TThreadState& st = *state_;
  ZEM_ASSERT(st.body_id.load() != std::this_thread::get_id());
  const auto begin = Clock::now();
  if (!st.started.WaitFor(timeout_ms)) return false;
  int32_t rest = timeout_ms;
  if (timeout_ms >= 0) {
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin).count();
    rest = static_cast<int32_t>(std::max<int64_t>(0, timeout_ms - spent));
  }
  if (!st.run_mutex.Acquire(rest)) return false;
  st.run_mutex.Release();
  return true;
}

TThreadPriority TThread::Priority() const {
  pid_t tid = state_->tid.load();
  if (tid != 0) {
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, tid);
    if (errno == 0) {
      // The nearest priority at or below this nice value's rank.
      for (int p = static_cast<int>(TThreadPriority::TimeCritical); p > 0; --p)
        if (nice <= kNice[p]) return static_cast<TThreadPriority>(p);
      return TThreadPriority::Idle;
    }
  }
  return static_cast<TThreadPriority>(state_->priority.load());
}

void TThread::SetPriority(TThreadPriority priority) {
  int p = static_cast<int>(priority);
  ZEM_ASSERT(p >= 0 && p <= static_cast<int>(TThreadPriority::TimeCritical));
  state_->priority.store(p);
  pid_t tid = state_->tid.load();
  if (tid != 0) setpriority(PRIO_PROCESS, tid, kNice[p]);  // failure ignored
}

bool TThread::Shutdown() {
  if (!thread_.joinable()) return true;
  if (std::this_thread::get_id() == thread_.get_id()) {
    // Destroyed by its own body: the body ends once control is back in it.
    Terminate();
    state_->GiveUp();
    thread_.detach();
    return false;
  }
  Terminate();
  uint32_t timeout = destroy_timeout_ms_;
  if (!WaitFor(static_cast<int32_t>(std::min<uint32_t>(timeout, INT32_MAX))) && state_->GiveUp()) {
    DebugLine("TThread.Destroy: " + class_name_ + " did not end within " + std::to_string(timeout) +
              " ms and was left running");
    thread_.detach();
    return false;
  }
  WaitFor(-1);
  thread_.join();
  return true;
}

int32_t TThread::LiveBodies() { return g_live_bodies.load(); }

}  // namespace zem
