#include "foundation/event_list.h"

#include <algorithm>
#include <mutex>

#include "foundation/assert.h"

namespace zem {

// ---- TEventList

TEventList::TEventList(int32_t bucket_count)
    : buckets_(static_cast<size_t>(std::clamp(bucket_count, 1, kMaxBuckets))) {}

void TEventList::AddHandler(int32_t code, TEventHandler handler) {
  ZEM_ASSERT(handler.proc != nullptr);
  std::lock_guard<TCriticalSection> lock(lock_);
  buckets_[Bucket(code)].push_back({code, handler});
  ++count_;
}

bool TEventList::RemoveHandler(int32_t code, TEventHandler handler) {
  std::lock_guard<TCriticalSection> lock(lock_);
  auto& chain = buckets_[Bucket(code)];
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (it->code == code && it->handler == handler) {
      chain.erase(std::next(it).base());
      --count_;
      return true;
    }
  }
  return false;
}

void TEventList::Dispatch(int32_t code, TObj* sender, TObj* payload) {
  std::vector<TEventHandler> calls;
  {
    std::lock_guard<TCriticalSection> lock(lock_);
    for (const auto& e : buckets_[Bucket(code)])
      if (e.code == code) calls.push_back(e.handler);
  }
  for (const auto& h : calls) h(sender, code, payload);
}

void TEventList::Clear() {
  std::lock_guard<TCriticalSection> lock(lock_);
  for (auto& chain : buckets_) chain.clear();
  count_ = 0;
}

int32_t TEventList::Count() const {
  std::lock_guard<TCriticalSection> lock(lock_);
  return count_;
}

// ---- TPostEventList

void TPostEventList::Post(int32_t code, std::unique_ptr<TObj> payload) {
  Dispatch(code, this, payload.get());
}

bool TPostEventList::Send(int32_t code, TObj* payload) {
  Dispatch(code, this, payload);
  return true;
}

// ---- TThreadEventList

TThreadEventList::TThreadEventList(TOwnerCallback owner, int32_t bucket_count)
    : TPostEventList(bucket_count), owner_(std::move(owner)) {}

TThreadEventList::~TThreadEventList() { Close(); }

void TThreadEventList::Post(int32_t code, std::unique_ptr<TObj> payload) {
  {
    std::lock_guard<TCriticalSection> lock(queue_lock_);
    if (!closed_) {
      pending_.push_back(TRef<TMessageItem>(new TMessageItem(code, std::move(payload))));
      return;
    }
  }
  payload.reset();  // closed: freed at once, outside the lock
}

bool TThreadEventList::Send(int32_t code, TObj* payload) {
  ZEM_ASSERT(processor_.load() != std::this_thread::get_id());
  TRef<TMessageItem> item;
  {
    std::lock_guard<TCriticalSection> lock(queue_lock_);
    if (closed_) return false;
    item = TRef<TMessageItem>(new TMessageItem(code, payload));
    pending_.push_back(item);
  }
  item->Completion()->WaitFor(-1);
  return item->handled.load(std::memory_order_acquire);
}

int32_t TThreadEventList::Process() {
  processor_.store(std::this_thread::get_id());
  int32_t n = 0;
  for (;;) {
    TRef<TMessageItem> item;
    {
      std::lock_guard<TCriticalSection> lock(queue_lock_);
      if (pending_.empty()) return n;
      item = std::move(pending_.front());
      pending_.pop_front();
    }
    bool handled = false;
    if (owner_) {
      try {
        owner_(item->Code(), item->Payload(), handled);
      } catch (...) {
        // swallowed; the registry still sees the message unless the callback marked it first
      }
    }
    if (!handled) {
      try {
        Dispatch(item->Code(), this, item->Payload());
      } catch (...) {
      }
    }
    item->handled.store(true, std::memory_order_release);
    if (TEvent* done = item->Completion()) done->Set();
    ++n;
    // The item goes here, freeing a posted payload.
  }
}

void TThreadEventList::Close() {
  std::deque<TRef<TMessageItem>> dropped;
  {
    std::lock_guard<TCriticalSection> lock(queue_lock_);
    closed_ = true;
    dropped.swap(pending_);
    for (auto& item : dropped)
      if (TEvent* done = item->Completion()) done->Set();
  }
  // Payloads are freed outside the lock, so their destructors may use this list.
}

bool TThreadEventList::IsClosed() const {
  std::lock_guard<TCriticalSection> lock(queue_lock_);
  return closed_;
}

int32_t TThreadEventList::PendingCount() const {
  std::lock_guard<TCriticalSection> lock(queue_lock_);
  return static_cast<int32_t>(pending_.size());
}

}  // namespace zem
