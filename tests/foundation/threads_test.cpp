#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/event_list.h"
#include "foundation/log.h"
#include "foundation/threads.h"
#include "foundation/zem_thread.h"

namespace zem {
namespace {

std::string Hex8(uint64_t v) {
  char buf[20];
  std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(v & 0xFFFFFFFFu));
  return buf;
}

// Collects the process log's lines for one test; install before threads start.
class TLogCapture {
 public:
  TLogCapture() {
    auto log = std::make_unique<TLog>();
    log->SetOutputRoutine([this](const std::string& l) {
      std::lock_guard<std::mutex> g(m_);
      lines_.push_back(l);
    });
    InstallLog(std::move(log));
  }
  ~TLogCapture() { InstallLog(nullptr); }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> g(m_);
    return lines_;
  }

 private:
  std::mutex m_;
  std::vector<std::string> lines_;
};

// A payload that counts live instances.
struct TCounted : TObj {
  static std::atomic<int> live;
  explicit TCounted(int v) : value(v) { ++live; }
  ~TCounted() override { --live; }
  int value;
};
std::atomic<int> TCounted::live{0};

// Polls cond for up to 5 s (only reached when something is wrong).
template <class F>
bool Eventually(F cond) {
  for (int i = 0; i < 5000; ++i) {
    if (cond()) return true;
    SleepMs(1);
  }
  return cond();
}

// ---------------------------------------------------------------- synchronisation objects

TEST(SyncObjects, EventIsManualResetAndWakesWaiters) {
  TEvent ev;
  EXPECT_FALSE(ev.WaitFor(0));
  EXPECT_FALSE(ev.WaitFor(5));
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) waiters.emplace_back([&] { if (ev.WaitFor(-1)) ++woken; });
  ev.Set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_TRUE(ev.WaitFor(0));  // stays signalled
  ev.Reset();
  EXPECT_FALSE(ev.WaitFor(0));
}

TEST(SyncObjects, MutexIsOwnedRecursiveAndExcludesOthers) {
  TMutex m;
  ASSERT_TRUE(m.Acquire(0));
  ASSERT_TRUE(m.Acquire(0));  // the owner again
  bool other = true;
  std::thread([&] { other = m.Acquire(10); }).join();
  EXPECT_FALSE(other);
  m.Release();
  std::thread([&] { other = m.Acquire(0); }).join();
  EXPECT_FALSE(other);  // still held once
  m.Release();
  EXPECT_THROW(m.Release(), EAssertionFailed);  // not held
  std::thread([&] {
    other = m.Acquire(0);
    if (other) m.Release();
  }).join();
  EXPECT_TRUE(other);
  EXPECT_FALSE(m.Abandoned());
}

TEST(SyncObjects, MutexLeftByEndedOwnerIsAbandonedOnce) {
  TMutex m;
  std::thread([&] { ASSERT_TRUE(m.Acquire(0)); }).join();  // ends holding it
  EXPECT_FALSE(m.Abandoned());
  EXPECT_TRUE(m.Acquire(100));  // the abandoned wait counts as acquired ...
  EXPECT_TRUE(m.Abandoned());
  EXPECT_THROW(m.Release(), EAssertionFailed);  // ... and was released again at once
  EXPECT_FALSE(m.Acquire(0));                   // every later acquire fails
  bool other = true;
  std::thread([&] { other = m.Acquire(0); }).join();
  EXPECT_FALSE(other);
}

TEST(SyncObjects, MutexWaiterSeesAbandonmentWhileWaiting) {
  TMutex m;
  TEvent held, finish;
  std::thread owner([&] {
    m.Acquire(-1);
    held.Set();
    finish.WaitFor(-1);
  });
  held.WaitFor(-1);
  std::atomic<bool> got{false};
  std::thread waiter([&] { got = m.Acquire(-1); });
  SleepMs(5);
  finish.Set();
  owner.join();
  waiter.join();
  EXPECT_TRUE(got.load());
  EXPECT_TRUE(m.Abandoned());
}

TEST(SyncObjects, CriticalSectionsAreReentrantAndSafeOneChecksLeave) {
  TCriticalSection cs;
  cs.Enter();
  cs.Enter();
  bool other = true;
  std::thread([&] { other = cs.TryEnter(); }).join();
  EXPECT_FALSE(other);
  cs.Leave();
  cs.Leave();

  TSafeCriticalSection scs;
  EXPECT_THROW(scs.Leave(), EAssertionFailed);
  scs.Enter();
  scs.Enter();
  EXPECT_TRUE(scs.HeldByMe());
  std::thread([&] {
    other = scs.HeldByMe();
    EXPECT_THROW(scs.Leave(), EAssertionFailed);
  }).join();
  EXPECT_FALSE(other);
  scs.Leave();
  EXPECT_TRUE(scs.HeldByMe());
  scs.Leave();
  EXPECT_FALSE(scs.HeldByMe());
}

TEST(SyncObjects, InterlockedCounterLosesNoIncrement) {
  TInterlockedCounter c;
  std::vector<std::thread> ts;
  for (int i = 0; i < 4; ++i)
    ts.emplace_back([&] { for (int k = 0; k < 10000; ++k) c.Increment(); });
  for (auto& t : ts) t.join();
  EXPECT_EQ(c.Value(), 40000);
  EXPECT_EQ(c.Decrement(), 39999);
}

// ---------------------------------------------------------------- handler registry

struct TRecorder {
  std::vector<std::string>* out;
  std::string name;
  void OnEvent(TObj*, int32_t code, TObj*) { out->push_back(name + std::to_string(code)); }
  void Throw(TObj*, int32_t, TObj*) { throw std::runtime_error("handler failed"); }
};

TEST(EventRegistry, BucketCountIsClamped) {
  EXPECT_EQ(TEventList().BucketCount(), 16);
  EXPECT_EQ(TEventList(0).BucketCount(), 1);
  EXPECT_EQ(TEventList(-3).BucketCount(), 1);
  EXPECT_EQ(TEventList(100000).BucketCount(), 4096);
}

TEST(EventRegistry, DispatchCallsOnlyTheCodeOldestFirst) {
  std::vector<std::string> out;
  TRecorder a{&out, "a"}, b{&out, "b"}, c{&out, "c"};
  TEventList list;  // 16 buckets: codes 1, 17 and -15 share a chain
  list.AddHandler(1, MethodHandler<&TRecorder::OnEvent>(&a));
  list.AddHandler(17, MethodHandler<&TRecorder::OnEvent>(&c));
  list.AddHandler(1, MethodHandler<&TRecorder::OnEvent>(&b));
  list.AddHandler(-15, MethodHandler<&TRecorder::OnEvent>(&c));
  list.Dispatch(1, nullptr, nullptr);
  EXPECT_EQ(out, (std::vector<std::string>{"a1", "b1"}));
  out.clear();
  list.Dispatch(-15, nullptr, nullptr);
  list.Dispatch(2, nullptr, nullptr);
  EXPECT_EQ(out, (std::vector<std::string>{"c-15"}));
  EXPECT_EQ(list.Count(), 4);
  list.Clear();
  list.Dispatch(1, nullptr, nullptr);
  EXPECT_EQ(out.size(), 1u);
  EXPECT_EQ(list.Count(), 0);
}

TEST(EventRegistry, RemoveTakesTheNewestMatchingEntry) {
  std::vector<std::string> out;
  TRecorder a{&out, "a"}, b{&out, "b"};
  TEventList list(1);
  auto ha = MethodHandler<&TRecorder::OnEvent>(&a);
  auto hb = MethodHandler<&TRecorder::OnEvent>(&b);
  list.AddHandler(5, ha);
  list.AddHandler(5, hb);
  list.AddHandler(5, ha);
  EXPECT_FALSE(list.RemoveHandler(6, ha));                                       // other code
  EXPECT_FALSE(list.RemoveHandler(5, MethodHandler<&TRecorder::Throw>(&a)));     // other procedure
  EXPECT_TRUE(list.RemoveHandler(5, ha));
  list.Dispatch(5, nullptr, nullptr);
  EXPECT_EQ(out, (std::vector<std::string>{"a5", "b5"}));
  EXPECT_TRUE(list.RemoveHandler(5, ha));
  EXPECT_FALSE(list.RemoveHandler(5, ha));
  EXPECT_EQ(list.Count(), 1);
}

struct TSelfRemover {
  TEventList* list;
  int calls = 0;
  void OnEvent(TObj*, int32_t code, TObj*) {
    ++calls;
    list->RemoveHandler(code, MethodHandler<&TSelfRemover::OnEvent>(this));
    list->AddHandler(code + 1, MethodHandler<&TSelfRemover::OnEvent>(this));
  }
};

TEST(EventRegistry, HandlersMayChangeTheRegistryWhileDispatched) {
  TEventList list;
  TSelfRemover r{&list};
  list.AddHandler(3, MethodHandler<&TSelfRemover::OnEvent>(&r));
  list.Dispatch(3, nullptr, nullptr);
  list.Dispatch(3, nullptr, nullptr);
  EXPECT_EQ(r.calls, 1);
  list.Dispatch(4, nullptr, nullptr);
  EXPECT_EQ(r.calls, 2);
}

// ---------------------------------------------------------------- thread event list

TEST(ThreadEventList, PostedMessagesArriveInOrderAndPayloadsAreFreedAfterHandling) {
  std::vector<int> seen;
  TThreadEventList list([&](int32_t code, TObj* p, bool& handled) {
    seen.push_back(code * 1000 + static_cast<TCounted*>(p)->value);
    handled = true;
  });
  std::thread poster([&] {
    for (int i = 0; i < 200; ++i) list.Post(i % 7, std::make_unique<TCounted>(i));
  });
  size_t got = 0;
  while (got < 200) {
    got += static_cast<size_t>(list.Process());
    std::this_thread::yield();
  }
  poster.join();
  ASSERT_EQ(seen.size(), 200u);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(seen[i], (i % 7) * 1000 + i);
  EXPECT_EQ(TCounted::live.load(), 0);
}

TEST(ThreadEventList, PostAndSendAfterCloseDeliverNothing) {
  int calls = 0;
  TThreadEventList list([&](int32_t, TObj*, bool&) { ++calls; });
  list.Post(1, std::make_unique<TCounted>(1));
  EXPECT_EQ(TCounted::live.load(), 1);
  list.Close();
  EXPECT_TRUE(list.IsClosed());
  EXPECT_EQ(TCounted::live.load(), 0);  // the pending payload was freed
  list.Post(2, std::make_unique<TCounted>(2));
  EXPECT_EQ(TCounted::live.load(), 0);  // freed at once
  TCounted mine(3);
  EXPECT_FALSE(list.Send(3, &mine));     // returns without waiting
  EXPECT_EQ(list.Process(), 0);
  EXPECT_EQ(calls, 0);
}

TEST(ThreadEventList, PendingSendIsReleasedByClose) {
  TThreadEventList list;
  TCounted mine(7);
  std::atomic<int> result{-1};
  std::thread sender([&] { result = list.Send(9, &mine) ? 1 : 0; });
  ASSERT_TRUE(Eventually([&] { return list.PendingCount() == 1; }));
  EXPECT_EQ(result.load(), -1);  // still waiting
  list.Close();
  sender.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_EQ(TCounted::live.load(), 1);  // a sent payload stays the caller's
}

TEST(ThreadEventList, SendWaitsForHandlingAndKeepsThePayload) {
  std::vector<std::string> out;
  TRecorder reg{&out, "r"};
  std::atomic<bool> handled_before_return{false};
  TThreadEventList list([&](int32_t code, TObj* p, bool& handled) {
    static_cast<TCounted*>(p)->value = 42;
    handled = (code == 1);  // code 1: the owner takes it; others go on to the registry
  });
  list.AddHandler(2, MethodHandler<&TRecorder::OnEvent>(&reg));
  std::atomic<bool> stop{false};
  std::thread receiver([&] {
    while (!stop) {
      list.Process();
      std::this_thread::yield();
    }
  });
  TCounted mine(0);
  EXPECT_TRUE(list.Send(1, &mine));
  EXPECT_EQ(mine.value, 42);
  mine.value = 0;
  EXPECT_TRUE(list.Send(2, &mine));
  EXPECT_EQ(mine.value, 42);
  stop = true;
  receiver.join();
  EXPECT_EQ(out, (std::vector<std::string>{"r2"}));
  EXPECT_EQ(TCounted::live.load(), 1);
}

TEST(ThreadEventList, ExceptionsOfOwnerAndHandlersAreSwallowed) {
  std::vector<std::string> out;
  TRecorder bad{&out, "x"}, good{&out, "g"};
  int owner_calls = 0;
  TThreadEventList list([&](int32_t code, TObj*, bool&) {
    ++owner_calls;
    if (code == 1) throw std::runtime_error("owner failed");
  });
  list.AddHandler(1, MethodHandler<&TRecorder::OnEvent>(&good));
  list.AddHandler(2, MethodHandler<&TRecorder::Throw>(&bad));
  list.AddHandler(2, MethodHandler<&TRecorder::OnEvent>(&good));
  list.Post(1, std::make_unique<TCounted>(1));
  list.Post(2, std::make_unique<TCounted>(2));
  list.Post(3, std::make_unique<TCounted>(3));
  EXPECT_EQ(list.Process(), 3);
  EXPECT_EQ(owner_calls, 3);
  // The owner's failure still lets the registry see message 1; the throwing handler of 2
  // ends that dispatch, and message 3 is handled normally.
  EXPECT_EQ(out, (std::vector<std::string>{"g1"}));
  EXPECT_EQ(TCounted::live.load(), 0);
}

TEST(ThreadEventList, SendFromTheProcessingThreadIsRefused) {
  TThreadEventList list;
  list.Process();
  TCounted mine(1);
  EXPECT_THROW(list.Send(1, &mine), EAssertionFailed);
}

// ---------------------------------------------------------------- worker threads

class TTestWorker : public TZemThread {
 public:
  ~TTestWorker() override { Shutdown(); }
  void HandleEvent(int32_t code, TObj* payload, bool& handled) override {
    seen.push_back(code);
    if (code == 99) throw std::runtime_error("bad message");
    if (payload) static_cast<TCounted*>(payload)->value = -1;
    handled = true;
  }
  void OnStart() override { ++starts; }
  void OnStop() override {
    ++stops;
    TZemThread::OnStop();
  }
  void LoopStep() override {
    tid = gettid();
    if (fail_step) throw std::runtime_error("step failed");
    if (process) EventList().Process();
    SleepMs(1);
  }

  std::vector<int> seen;  // body thread; read after it ended
  std::atomic<int> starts{0}, stops{0};
  std::atomic<pid_t> tid{0};
  std::atomic<bool> fail_step{false};
  std::atomic<bool> process{true};
};

TEST(Worker, RunsLoopHandlesMessagesAndStops) {
  TTestWorker w;
  EXPECT_TRUE(w.WaitFor(0));  // never started counts as ended
  EXPECT_FALSE(w.IsStarted());
  ASSERT_TRUE(w.Start());
  EXPECT_TRUE(w.IsStarted());
  EXPECT_THROW(w.Start(), EAssertionFailed);  // started once
  for (int i = 1; i <= 5; ++i) w.EventList().Post(i, std::make_unique<TCounted>(i));
  w.EventList().Post(99, nullptr);  // its exception is swallowed
  TCounted mine(0);
  EXPECT_TRUE(w.EventList().Send(6, &mine));
  EXPECT_EQ(mine.value, -1);
  EXPECT_FALSE(w.WaitFor(0));
  w.Stop();
  EXPECT_TRUE(w.Terminated());
  EXPECT_TRUE(w.EventList().IsClosed());
  EXPECT_TRUE(w.WaitFor(0));
  EXPECT_EQ(w.seen, (std::vector<int>{1, 2, 3, 4, 5, 99, 6}));
  EXPECT_EQ(w.starts.load(), 1);
  EXPECT_EQ(w.stops.load(), 1);
  EXPECT_FALSE(w.IsStarted());
  EXPECT_EQ(TCounted::live.load(), 1);
}

TEST(Worker, StopReleasesASenderTheWorkerNeverServes) {
  TTestWorker w;
  w.process = false;
  ASSERT_TRUE(w.Start());
  TCounted mine(0);
  std::atomic<int> result{-1};
  std::thread sender([&] { result = w.EventList().Send(1, &mine) ? 1 : 0; });
  ASSERT_TRUE(Eventually([&] { return w.EventList().PendingCount() == 1; }));
  w.Stop();
  sender.join();
  EXPECT_EQ(result.load(), 0);
  EXPECT_TRUE(w.seen.empty());
}

TEST(Worker, LoopStepExceptionIsReportedAndEndsOnlyTheThread) {
  TLogCapture capture;
  TTestWorker w;
  w.fail_step = true;
  ASSERT_TRUE(w.Start());
  ASSERT_TRUE(w.WaitFor(5000));
  EXPECT_EQ(w.stops.load(), 0);  // the body ended through the report, not through OnStop
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 2u);
  std::string prefix = Hex8(static_cast<uint64_t>(w.tid.load())) + " ";
  EXPECT_EQ(lines[0], prefix + "Thread Exception at: " + Hex8(reinterpret_cast<uintptr_t>(&w)));
  EXPECT_EQ(lines[1], prefix + "step failed");
}

class TStuckWorker : public TZemThread {
 public:
  TStuckWorker(std::atomic<bool>* gate, std::atomic<bool>* entered) : gate_(gate), entered_(entered) {}
  ~TStuckWorker() override { Shutdown(); }
  void LoopStep() override {
    std::atomic<bool>* gate = gate_;  // the object may be gone when the wait ends
    entered_->store(true);
    while (!gate->load()) SleepMs(1);
  }

 private:
  std::atomic<bool>* gate_;
  std::atomic<bool>* entered_;
};

TEST(Worker, WorkerThatDoesNotEndIsLeftRunningAfterItsTimeout) {
  TLogCapture capture;
  std::atomic<bool> gate{false}, entered{false};
  const int32_t before = TThread::LiveBodies();
  auto w = std::make_unique<TStuckWorker>(&gate, &entered);
  EXPECT_EQ(w->DestroyTimeout(), 3000u);
  w->SetDestroyTimeout(100);
  ASSERT_TRUE(w->Start());
  ASSERT_TRUE(Eventually([&] { return entered.load(); }));
  const uint32_t t0 = TimeGetTime();
  w.reset();
  const uint32_t spent = TimeGetTime() - t0;
  EXPECT_GE(spent, 95u);
  EXPECT_LT(spent, 2000u);
  EXPECT_EQ(TThread::LiveBodies(), before + 1);  // still running, detached
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("zem::(anonymous namespace)::TStuckWorker"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("100 ms"), std::string::npos);
  EXPECT_NE(lines[0].find("left running"), std::string::npos);
  gate = true;  // the step returns and the body ends without touching the freed object
  EXPECT_TRUE(Eventually([&] { return TThread::LiveBodies() == before; }));
}

class TSlowStopWorker : public TZemThread {
 public:
  ~TSlowStopWorker() override { Shutdown(); }
  void LoopStep() override { SleepMs(1); }
  void OnStop() override {
    SleepMs(150);
    stopped = true;  // a member: the object must still exist here
    TZemThread::OnStop();
  }
  bool stopped = false;
};

TEST(Worker, BodyAlreadyFinishingIsWaitedForBeyondTheTimeout) {
  TLogCapture capture;
  const int32_t before = TThread::LiveBodies();
  auto w = std::make_unique<TSlowStopWorker>();
  w->SetDestroyTimeout(30);
  ASSERT_TRUE(w->Start());
  const uint32_t t0 = TimeGetTime();
  EXPECT_TRUE(w->Shutdown());
  EXPECT_GE(TimeGetTime() - t0, 140u);
  EXPECT_TRUE(w->stopped);
  w.reset();
  EXPECT_EQ(TThread::LiveBodies(), before);
  EXPECT_TRUE(capture.Lines().empty());
}

class TThrowingThread : public TThread {
 public:
  ~TThrowingThread() override { Shutdown(); }
  void Execute() override {
    tid = gettid();
    throw 17;
  }
  std::atomic<pid_t> tid{0};
};

class TPoliteThread : public TThread {
 public:
  ~TPoliteThread() override { Shutdown(); }
  void Execute() override {
    while (!Terminated()) SleepMs(1);
  }
};

TEST(Worker, PlainThreadReportsUnknownExceptionsAndEndsOnTerminate) {
  TLogCapture capture;
  TThrowingThread t;
  ASSERT_TRUE(t.Start());
  ASSERT_TRUE(t.WaitFor(5000));
  auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], Hex8(static_cast<uint64_t>(t.tid.load())) + " unknown exception");

  TPoliteThread p;
  p.SetPriority(TThreadPriority::Lower);  // before start: applied by the body
  ASSERT_TRUE(p.Start());
  EXPECT_FALSE(p.WaitFor(20));
  EXPECT_TRUE(Eventually([&] { return p.Priority() == TThreadPriority::Lower; }));
  const uint32_t t0 = TimeGetTime();
  EXPECT_TRUE(p.Shutdown());
  EXPECT_LT(TimeGetTime() - t0, 1000u);
  EXPECT_TRUE(p.WaitFor(0));
  EXPECT_TRUE(p.Shutdown());  // a second time does nothing
}

}  // namespace
}  // namespace zem
