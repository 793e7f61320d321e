#include "foundation/zem_thread.h"

namespace zem {

TZemThread::TZemThread()
    : events_(std::make_unique<TThreadEventList>(
          [this](int32_t code, TObj* payload, bool& handled) { HandleEvent(code, payload, handled); })) {}

TZemThread::~TZemThread() { Shutdown(); }

void TZemThread::Execute() {
  // A local reference: if the owner gives up on this body while a step blocks, the object may
  // be gone when the step returns, and only the shared state may be read.
  std::shared_ptr<TThreadState> state = State();
  OnStart();
  if (!state->MayContinue()) return;
  while (!state->terminated.load(std::memory_order_acquire)) {
    LoopStep();
    if (!state->MayContinue()) return;
  }
  try {
    OnStop();
  } catch (...) {
  }
}

void TZemThread::Terminate() {
  events_->Close();
  TThread::Terminate();
}

void TZemThread::HandleEvent(int32_t, TObj*, bool&) {}

void TZemThread::OnStart() {}

void TZemThread::OnStop() { started_.store(false, std::memory_order_release); }

bool TZemThread::Start() {
  // Marked before the body can run, so that its OnStop cannot be overwritten by this store.
  started_.store(true, std::memory_order_release);
  bool ok = TThread::Start();
  if (!ok) started_.store(false, std::memory_order_release);
  return ok;
}

void TZemThread::Stop() {
  Terminate();
  WaitFor(-1);
}

}  // namespace zem
