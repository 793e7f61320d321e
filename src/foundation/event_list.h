// Event lists: a registry of handlers per integer code, and the cross-thread message queue that
// worker threads drain at the top of their loop.
#pragma once
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/threads.h"

namespace zem {

// A registry handler: a procedure and the object it is bound to. Two handlers are the same
// handler when both parts are equal, which is what RemoveHandler compares.
struct TEventHandler {
  using TProc = void (*)(void* object, TObj* sender, int32_t code, TObj* payload);
  TProc proc = nullptr;
  void* object = nullptr;

  void operator()(TObj* sender, int32_t code, TObj* payload) const { proc(object, sender, code, payload); }
  bool operator==(const TEventHandler&) const = default;
};

template <auto Method, class C>
struct TMethodThunk {
  static void Call(void* object, TObj* sender, int32_t code, TObj* payload) {
    (static_cast<C*>(object)->*Method)(sender, code, payload);
  }
};

// A handler calling object->Method(sender, code, payload); e.g. MethodHandler<&TFoo::OnEvent>(this).
template <auto Method, class C>
TEventHandler MethodHandler(C* object) {
  return TEventHandler{&TMethodThunk<Method, C>::Call, object};
}

struct TEventListItem {
  int32_t code;
  TEventHandler handler;
};

// Handler registry: chains of entries indexed by code modulo the bucket count. Any thread may
// call any operation; the registry lock is never held while a handler runs.
class TEventList : public TObj {
 public:
  static constexpr int32_t kDefaultBuckets = 16;
  static constexpr int32_t kMaxBuckets = 4096;

  // The bucket count is clamped to 1..4096.
  explicit TEventList(int32_t bucket_count = kDefaultBuckets);

  // Inserts a new entry at the front of the code's chain (the same handler may be added twice).
  void AddHandler(int32_t code, TEventHandler handler);
  // Removes the first entry from the front of the chain with this code and handler; false when
  // there is none.
  bool RemoveHandler(int32_t code, TEventHandler handler);
  // Calls every handler of the code, oldest first, on the calling thread. The chain is copied
  // under the lock, so handlers may add or remove handlers. A handler's exception propagates.
  void Dispatch(int32_t code, TObj* sender, TObj* payload);
  void Clear();

  // Any thread.
  int32_t BucketCount() const { return static_cast<int32_t>(buckets_.size()); }
  int32_t Count() const;

 private:
  size_t Bucket(int32_t code) const { return static_cast<uint32_t>(code) % buckets_.size(); }

  mutable TCriticalSection lock_;
  // Each chain holds its oldest entry first; the "front" of a chain is its newest entry.
  std::vector<std::vector<TEventListItem>> buckets_;  // guarded by lock_
  int32_t count_ = 0;                                 // entries; guarded by lock_
};

// A registry that can be posted and sent to. The base delivers at once on the caller's thread;
// TThreadEventList queues instead.
class TPostEventList : public TEventList {
 public:
  using TEventList::TEventList;
  // Any thread. Takes the payload; it is freed once handled.
  virtual void Post(int32_t code, std::unique_ptr<TObj> payload);
  // Any thread. The payload stays the caller's. True when the message was handled, false when it was dropped.
  virtual bool Send(int32_t code, TObj* payload);
};

// One queued message. A posted item owns its payload; a sent item borrows it and carries the
// completion event its sender waits on. Shared by the sender and the processing thread.
class TMessageItem : public TRefObj {
 public:
  TMessageItem(int32_t code, std::unique_ptr<TObj> payload) : code_(code), owned_(std::move(payload)),
                                                              payload_(owned_.get()) {}
  TMessageItem(int32_t code, TObj* borrowed) : code_(code), payload_(borrowed),
                                               completion_(std::make_unique<TEvent>()) {}

  int32_t Code() const { return code_; }
  TObj* Payload() const { return payload_; }
  TEvent* Completion() const { return completion_.get(); }
  // Set by the processing thread before the completion event.
  std::atomic<bool> handled{false};

 private:
  int32_t code_;
  std::unique_ptr<TObj> owned_;
  TObj* payload_;
  std::unique_ptr<TEvent> completion_;
};

// The message queue of one receiving thread. Any number of threads may Post and Send; one thread
// processes. Messages are handled in arrival order, outside the queue lock.
class TThreadEventList : public TPostEventList {
 public:
  // Sees every message first; sets handled to skip the registry. Runs on the processing thread.
  using TOwnerCallback = std::function<void(int32_t code, TObj* payload, bool& handled)>;

  explicit TThreadEventList(TOwnerCallback owner = nullptr, int32_t bucket_count = kDefaultBuckets);
  // Closes the list first, releasing any waiting sender.
  ~TThreadEventList() override;

  // Any thread. Closed: frees the payload at once. Otherwise queues it; the processing thread
  // frees it after handling.
  void Post(int32_t code, std::unique_ptr<TObj> payload) override;
  // Any thread but the processing one (that would wait for ever; raises EAssertionFailed).
  // Closed: returns false at once. Otherwise queues the message and waits without limit until
  // it is handled (true) or the list is closed (false).
  bool Send(int32_t code, TObj* payload) override;
  // Processing thread: handles queued messages until the queue is empty; returns how many.
  // Exceptions of the owner callback and of handlers are swallowed; the message counts as handled.
  int32_t Process();
  // Any thread: releases every pending sender, frees the pending messages, refuses later ones.
  void Close();
  // Any thread.
  bool IsClosed() const;
  // Any thread: messages queued and not yet taken by Process.
  int32_t PendingCount() const;
  // Before other threads use the list.
  void SetOwnerCallback(TOwnerCallback owner) { owner_ = std::move(owner); }

 private:
  mutable TCriticalSection queue_lock_;
  std::deque<TRef<TMessageItem>> pending_;  // guarded by queue_lock_
  bool closed_ = false;                     // guarded by queue_lock_
  TOwnerCallback owner_;
  std::atomic<std::thread::id> processor_{};  // the thread that processes this list
};

}  // namespace zem
