#include "foundation/monitor.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "foundation/assert.h"

namespace zem {

void TMonitor::Enter() {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> g(m_);
  if (owner_ != me) {
    cv_.wait(g, [&] { return count_ == 0; });
    owner_ = me;
  }
  ++count_;
  ++entries_;
  cv_.notify_all();
}

void TMonitor::Leave() {
  std::lock_guard<std::mutex> g(m_);
  ZEM_ASSERT(count_ > 0 && owner_ == std::this_thread::get_id());
  if (--count_ == 0) {
    owner_ = std::thread::id();
    cv_.notify_all();
  }
}

bool TMonitor::HeldByMe() const {
  std::lock_guard<std::mutex> g(m_);
  return count_ > 0 && owner_ == std::this_thread::get_id();
}

void TMonitor::Pulse() {
  std::lock_guard<std::mutex> g(m_);
  ++entries_;
  cv_.notify_all();
}

bool TMonitor::Wait(int32_t timeout_ms) {
  const std::thread::id me = std::this_thread::get_id();
  std::unique_lock<std::mutex> g(m_);
  ZEM_ASSERT(count_ > 0 && owner_ == me);
  const int32_t saved = count_;
  const uint64_t seen = entries_;
  count_ = 0;
  owner_ = std::thread::id();
  cv_.notify_all();
  bool signalled = true;
  auto moved = [&] { return entries_ != seen; };
  if (timeout_ms < 0)
    cv_.wait(g, moved);
  else
    signalled = cv_.wait_for(g, std::chrono::milliseconds(timeout_ms), moved);
  cv_.wait(g, [&] { return count_ == 0; });
  owner_ = me;
  count_ = saved;
  return signalled;
}

// ---------------------------------------------------------------------------------------------
// Active monitor

namespace {

std::mutex g_active_lock;
std::condition_variable g_active_cv;
int32_t g_active = 0;  // under g_active_lock

pid_t OwnTid() { return static_cast<pid_t>(::syscall(SYS_gettid)); }

}  // namespace

void TActiveMonitor::StartWorker(std::function<void()> routine) {
  {
    std::lock_guard<std::mutex> g(g_active_lock);
    ++g_active;
  }
  TRef<TActiveMonitor> self(this);
  std::thread([self = std::move(self), routine = std::move(routine)]() mutable {
    try {
      routine();
    } catch (...) {
      // A failing routine ends its worker; the monitor reports done below.
    }
    self->Enter();
    self->state_ = kDone;
    self->Leave();
    self.reset();  // may free the monitor on this thread
    std::lock_guard<std::mutex> g(g_active_lock);
    --g_active;
    g_active_cv.notify_all();
  }).detach();
}

void TActiveMonitor::LowerWorkerPriority() {
  const pid_t tid = OwnTid();
  errno = 0;
  const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), now + 1);  // best effort
}

void TActiveMonitor::RestoreWorkerPriority() {
  const pid_t tid = OwnTid();
  errno = 0;
  const int now = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  // Lowering the nice value again usually needs privileges; failure leaves the worker one step
  // below, which only favours the show.
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), now - 1);
}

int32_t RunningActiveThreads() {
  std::lock_guard<std::mutex> g(g_active_lock);
  return g_active;
}

bool WaitForActiveThreads(int32_t timeout_ms) {
  std::unique_lock<std::mutex> g(g_active_lock);
  return g_active_cv.wait_for(g, std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms),
                              [] { return g_active == 0; });
}

}  // namespace zem
