#include "engine/application.h"

#include <mutex>
#include <vector>

namespace zem {

TZemApplication::~TZemApplication() {
  std::lock_guard<TCriticalSection> g(lock_);
  queue_.clear();
}

int32_t TZemApplication::AllocateMessageId() { return nextId_++; }

void TZemApplication::RegisterHandler(int32_t id, THandler handler) { handlers_[id] = std::move(handler); }

void TZemApplication::UnregisterHandler(int32_t id) {
  handlers_.erase(id);
  std::deque<TQueued> dropped;
  {
    std::lock_guard<TCriticalSection> g(lock_);
    for (auto it = queue_.begin(); it != queue_.end();) {
      if (it->id == id) {
        dropped.push_back(std::move(*it));
        it = queue_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Freed outside the lock: a message may own large pictures.
}

void TZemApplication::PostMessage(int32_t id, std::unique_ptr<TObj> message) {
  std::function<void()> wake;
  {
    std::lock_guard<TCriticalSection> g(lock_);
    queue_.push_back({id, std::move(message)});
    wake = wake_;
  }
  if (wake) wake();
}

void TZemApplication::SetWakeUp(std::function<void()> wake) {
  std::lock_guard<TCriticalSection> g(lock_);
  wake_ = std::move(wake);
}

int32_t TZemApplication::ProcessMessages() {
  std::deque<TQueued> batch;
  {
    std::lock_guard<TCriticalSection> g(lock_);
    batch.swap(queue_);
  }
  int32_t handled = 0;
  for (auto& q : batch) {
    auto it = handlers_.find(q.id);
    if (it == handlers_.end()) continue;
    // A copy: the handler may unregister itself.
    THandler h = it->second;
    h(std::move(q.message));
    ++handled;
  }
  return handled;
}

int32_t TZemApplication::PendingCount() const {
  std::lock_guard<TCriticalSection> g(lock_);
  return int32_t(queue_.size());
}

}  // namespace zem
