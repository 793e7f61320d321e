// The application's message queue as the engine sees it: every receiver gets a message id of its
// own; the engine (or any worker) posts messages under that id from any thread, and the
// user-interface thread hands them to the registered handler when it processes the queue.
// The shell wakes its event loop with the wake-up routine (an SDL user event).
//
// Threads: AllocateMessageId, RegisterHandler, UnregisterHandler and ProcessMessages on the
// user-interface thread; PostMessage from any thread. The queue is guarded by lock_.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "foundation/refobj.h"
#include "foundation/threads.h"

namespace zem {

class TZemApplication {
 public:
  using THandler = std::function<void(std::unique_ptr<TObj> message)>;

  TZemApplication() = default;
  TZemApplication(const TZemApplication&) = delete;
  TZemApplication& operator=(const TZemApplication&) = delete;
  ~TZemApplication();

  int32_t AllocateMessageId();
  void RegisterHandler(int32_t id, THandler handler);
  // Later messages of that id are dropped (and freed), queued ones too.
  void UnregisterHandler(int32_t id);

  // Any thread. Takes the message; the wake-up routine runs after it is queued.
  void PostMessage(int32_t id, std::unique_ptr<TObj> message);
  void SetWakeUp(std::function<void()> wake);

  // Hands every queued message to its handler, oldest first; returns how many were handled.
  // Messages posted by the handlers wait for the next call.
  int32_t ProcessMessages();
  int32_t PendingCount() const;

 private:
  struct TQueued {
    int32_t id;
    std::unique_ptr<TObj> message;
  };
  mutable TCriticalSection lock_;
  std::deque<TQueued> queue_;            // guarded by lock_
  std::function<void()> wake_;           // guarded by lock_
  std::map<int32_t, THandler> handlers_;  // user-interface thread only
  int32_t nextId_ = 0x400;               // user-interface thread only
};

}  // namespace zem
