// The loop thread the engine, the slide loader and the music threads derive from: an event list
// drained by the loop step, which runs until the thread is terminated.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "foundation/event_list.h"
#include "foundation/threads.h"

namespace zem {

// Virtual operations in this order: destroy; Execute; Terminate; HandleEvent; OnStart; OnStop;
// LoopStep; Start; Stop. A derived class calls Shutdown() (or Stop()) at the start of its own
// destructor, because its members are gone before this destructor runs.
class TZemThread : public TThread {
 public:
  TZemThread();
  // Owner thread: Shutdown (which closes the event list), then frees the event list.
  ~TZemThread() override;
  // Body thread: OnStart; LoopStep until terminated; OnStop (its exceptions swallowed). An
  // exception from a loop step ends the body through the thread's exception report.
  void Execute() override;
  // Any thread: closes the event list (no sender stays blocked), then sets the terminated flag.
  void Terminate() override;
  // Processing thread (inside LoopStep's Process): sees every message first. Base: nothing.
  virtual void HandleEvent(int32_t code, TObj* payload, bool& handled);
  // Body thread, before the first loop step. Base: nothing.
  virtual void OnStart();
  // Body thread, after the last loop step. Base: clears the started marker.
  virtual void OnStop();
  // Body thread: one turn of the loop, usually Process on the event list and a short sleep.
  virtual void LoopStep() = 0;
  // Owner thread: starts the body; the result is the started marker.
  virtual bool Start();
  // Owner thread: Terminate, then wait for the body without limit.
  virtual void Stop();

  // Any thread may post and send to it; the body processes it.
  TThreadEventList& EventList() { return *events_; }
  // Any thread.
  bool IsStarted() const { return started_.load(std::memory_order_acquire); }

 private:
  std::unique_ptr<TThreadEventList> events_;
  std::atomic<bool> started_{false};  // written by Start (owner) and OnStop (body)
};

}  // namespace zem
