// The engine with a headless device and the silent millisecond clock: opening paused at a time,
// requests queued while an open is pending, barriers of both kinds, timed actions, the end of a
// show, stale position reports, device loss; the frame interpolator and the application queue.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/application.h"
#include "engine/engine.h"
#include "foundation/clock.h"
#include "render/drawer/snapshot.h"
#include "resources/png_writer.h"
#include "render/gl_device.h"
#include "render/screen.h"
#include "script/ini_file.h"
#include "sound/channel_killer.h"
#include "transitions/filter_factory.h"

namespace zem {
namespace test {
void PinDriverModules();
}

namespace {

// ---------------------------------------------------------------- frame interpolator

TEST(FrameInterpolator, PassesThroughWhileWarmingUpAndSmoothsJitterAfter) {
  TFrameInterpolator f;
  double x = 0;
  // Warm-up (16) and filling the ring (32): times pass unchanged.
  for (int i = 0; i < 16 + 32; ++i) {
    x += (i % 2) ? 10 : 22;
    EXPECT_EQ(f.Interpolate(x), x) << i;
  }
  // Jittered steps of 10 and 22 ms: the output steps stay much closer to their mean of 16.
  x += 10;
  double last = f.Interpolate(x), worst = 0;
  for (int i = 0; i < 200; ++i) {
    x += (i % 2) ? 10 : 22;
    const double y = f.Interpolate(x);
    if (i > 50) worst = std::max(worst, std::fabs((y - last) - 16));
    last = y;
    EXPECT_LT(std::fabs(y - x), 12) << i;
  }
  EXPECT_LT(worst, 3.0);
}

TEST(FrameInterpolator, SteadyStepsAreExactAndBypassPassesExactlyOneMoreThrough) {
  TFrameInterpolator f;
  double x = 1000;
  for (int i = 0; i < 100; ++i) {
    x += 16;
    EXPECT_DOUBLE_EQ(f.Interpolate(x), x);
  }
  f.Reset(true);
  EXPECT_EQ(f.Interpolate(5000), 5000);  // a jump while bypassing
  EXPECT_EQ(f.Interpolate(7000), 7000);
  f.Reset(false);
  EXPECT_TRUE(f.Bypassing());
  EXPECT_EQ(f.Interpolate(7016), 7016);  // exactly one more
  EXPECT_FALSE(f.Bypassing());
  // Then prediction again from the steady steps (the jumps never entered the ring): a late
  // frame moves only a sixth of its lateness past the prediction (the mean step, 16.25 ms
  // with the late one counted).
  EXPECT_NEAR(f.Interpolate(7040), 7032.25 + (7040 - 7032.25) / 6, 1e-9);
}

// ---------------------------------------------------------------- application queue

struct TNote : TObj {
  explicit TNote(int v) : value(v) {}
  int value;
};

TEST(Application, DeliversInOrderOnTheProcessingThreadAndDropsUnregistered) {
  TZemApplication app;
  const int32_t a = app.AllocateMessageId(), b = app.AllocateMessageId();
  EXPECT_NE(a, b);
  std::vector<int> got;
  std::atomic<int> wakes{0};
  app.SetWakeUp([&] { ++wakes; });
  app.RegisterHandler(a, [&](std::unique_ptr<TObj> m) { got.push_back(dynamic_cast<TNote&>(*m).value); });
  app.RegisterHandler(b, [&](std::unique_ptr<TObj>) { got.push_back(-1); });
  std::thread t([&] {
    for (int i = 0; i < 100; ++i) app.PostMessage(a, std::make_unique<TNote>(i));
    app.PostMessage(b, std::make_unique<TNote>(0));
  });
  t.join();
  EXPECT_EQ(wakes, 101);
  app.UnregisterHandler(b);
  EXPECT_EQ(app.ProcessMessages(), 100);
  ASSERT_EQ(got.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(got[size_t(i)], i);
  EXPECT_EQ(app.PendingCount(), 0);
}

// ---------------------------------------------------------------- engine

// Slides of 3 s without transitions; `slideExtra[i]` goes into section Slide(i+1).
std::u16string Show(int count, const std::u16string& mainExtra = u"",
                    const std::vector<std::u16string>& slideExtra = {}) {
  auto num = [](int v) { return Utf8ToWide(std::to_string(v)); };
  std::u16string s = u"[Main]\nopt_scr_full=0\nopt_scr_width=160\nopt_scr_height=120\n"
                     u"opt_slidescount=" + num(count) + u"\n" + mainExtra;
  if (mainExtra.find(u"opt_fx_enable") == std::u16string::npos) s += u"opt_fx_enable=0\n";
  for (int i = 1; i <= count; ++i) s += u"opt_synchpos" + num(i) + u"=" + num(i * 3000) + u"\n";
  for (int i = 1; i <= count; ++i) {
    s += u"[Slide" + num(i) + u"]\nPers_Fon=1\nbstyle=1\nbname=" + num(i * 40) + u"\n";
    if (size_t(i - 1) < slideExtra.size()) s += slideExtra[size_t(i - 1)];
  }
  return s;
}

std::unique_ptr<TIniStorage> Script(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  return ini;
}

struct TPosition {
  int32_t time, duration;
  bool end;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    T3DEngineGL::Instance().SetUiThread(std::this_thread::get_id());
    InstallTransitionFilters();
  }
  void TearDown() override {
    engine_.reset();
    device_ = nullptr;
  }

  // Makes the engine on a headless device, opens `text` paused at `at` and starts the thread.
  void Open(const std::u16string& text, int32_t at, bool barriers = true) {
    auto device = THeadlessDevice::Create(160, 120);
    if (!device) GTEST_SKIP() << "no offscreen video driver";
    device_ = device.get();
    engine_ = std::make_unique<TZemEngine>(&app_, device.release(), 0, true, true);
    engine_->SetMusicDeviceFactory([] { return std::unique_ptr<TMusicPlayer>(); });
    engine_->SetBarriersEnabled(barriers);
    engine_->SetOnFirstFrame([this] { ++firstFrames_; });
    engine_->SetOnPosition([this](int32_t t, bool end, int32_t d) { positions_.push_back({t, d, end}); });
    engine_->SetOnEvent([this](TZemEventData& e) {
      events_.push_back({e.code, e.values});
      texts_.push_back(WideToUtf8(e.Text()));
    });
    engine_->OpenShow(nullptr, Script(text), at);
    test::PinDriverModules();
    ASSERT_TRUE(engine_->Start());
  }

  // Runs the user-interface side until `done` holds or the time is up.
  bool PumpUntil(const std::function<bool()>& done, uint32_t timeoutMs = 5000) {
    const uint32_t start = TimeGetTime();
    while (TimeGetTime() - start < timeoutMs) {
      app_.ProcessMessages();
      T3DEngineGL::Instance().RunPendingRequests();
      if (done()) return true;
      SleepMs(2);
    }
    app_.ProcessMessages();
    return done();
  }
  void Pump(uint32_t ms) {
    PumpUntil([] { return false; }, ms);
  }
  int CountEvents(int32_t code) const {
    int n = 0;
    for (auto& e : events_) n += e.first == code;
    return n;
  }

  TZemApplication app_;
  std::unique_ptr<TZemEngine> engine_;
  TDrawDevice* device_ = nullptr;
  int firstFrames_ = 0;
  std::vector<TPosition> positions_;
  std::vector<std::pair<int32_t, std::vector<int32_t>>> events_;
  std::vector<std::string> texts_;
};

TEST_F(EngineTest, OpensPausedExactlyAtTheStartTimeAndRunsWhenResumed) {
  Open(Show(4), 4500);
  // The window mode of the show, then the first frame and the position at exactly 4500.
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1 && !positions_.empty(); }));
  ASSERT_GE(CountEvents(kUiWindowMode), 1);
  EXPECT_EQ(events_[0].second, (std::vector<int32_t>{160, 120, 2}));
  EXPECT_EQ(positions_.back().time, 4500);
  EXPECT_EQ(positions_.back().duration, 12000);
  Pump(150);
  EXPECT_FALSE(engine_->IsActive());
  EXPECT_EQ(engine_->CurrentTime(), 4500.0);

  engine_->SetPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return engine_->IsActive(); }));
  ASSERT_TRUE(PumpUntil([&] { return engine_->CurrentTime() > 4700; }));
  const uint32_t frames = engine_->FramesDrawn();
  EXPECT_GE(frames, 1u);
  EXPECT_FALSE(positions_.back().end);
  // Pausing freezes the time.
  engine_->SetPaused(true);
  ASSERT_TRUE(PumpUntil([&] { return !engine_->IsActive(); }));
  const double frozen = engine_->CurrentTime();
  Pump(100);
  EXPECT_EQ(engine_->CurrentTime(), frozen);
  EXPECT_EQ(firstFrames_, 1);
}

TEST_F(EngineTest, SeekWhileAnOpenIsPendingOpensTheNewShowAtTheSeekTime) {
  Open(Show(4), 0);
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  // An open and a seek queued together: one open, at the seek's time, with its sequence.
  engine_->EventList().Process();  // nothing: the list belongs to the engine thread
  engine_->OpenShow(nullptr, Script(Show(6)), 1000);
  engine_->Seek(7000);
  const int32_t seekSequence = engine_->RequestSequence();
  ASSERT_TRUE(PumpUntil([&] { return engine_->CurrentSequence() == seekSequence; }));
  ASSERT_TRUE(PumpUntil([&] { return !positions_.empty() && positions_.back().duration == 18000; }));
  EXPECT_EQ(positions_.back().time, 7000);
  EXPECT_EQ(engine_->CurrentTime(), 7000.0);
  EXPECT_FALSE(engine_->IsActive());
}

TEST_F(EngineTest, PauseRequestWhilePendingChangesTheRequestAndStalePositionsAreDropped) {
  Open(Show(4), 0);
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  engine_->Seek(2000);
  engine_->SetPaused(false);  // lands on the pending seek
  ASSERT_TRUE(PumpUntil([&] { return engine_->IsActive(); }));
  ASSERT_TRUE(PumpUntil([&] { return !positions_.empty() && positions_.back().time >= 2000; }));

  // A request the engine has not carried out yet: reports of the older sequence are dropped.
  engine_->SetPaused(true);
  ASSERT_TRUE(PumpUntil([&] { return !engine_->IsActive(); }));
  Pump(50);
  engine_->NextSequence();
  positions_.clear();
  auto stale = std::make_unique<TOpenParams>();
  stale->sequence = engine_->RequestSequence() - 1;
  stale->startTime = 9000;
  stale->pause = 1;
  engine_->EventList().Post(kEngineOpen, std::move(stale));
  ASSERT_TRUE(PumpUntil([&] { return engine_->CurrentTime() == 9000.0; }));
  Pump(100);
  EXPECT_TRUE(positions_.empty());
  // The current request's reports arrive.
  engine_->Seek(3000);
  ASSERT_TRUE(PumpUntil([&] { return !positions_.empty(); }));
  EXPECT_EQ(positions_.back().time, 3000);
}

TEST_F(EngineTest, PauseBarrierStopsExactlyAtTheSlideEndUntilCleared) {
  Open(Show(4, u"", {u"", u"Pers_EndAction=pause\n"}), 5600);
  engine_->SetPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return engine_->StoppedAtBarrier(); }));
  Pump(100);
  EXPECT_FALSE(engine_->IsActive());
  EXPECT_EQ(engine_->CurrentTime(), 6000.0);
  engine_->ClearStoppedAtBarrier();
  ASSERT_TRUE(PumpUntil([&] { return engine_->CurrentTime() > 6100; }));
  EXPECT_FALSE(engine_->StoppedAtBarrier());
}

TEST_F(EngineTest, LoopBarrierJumpsBackByTheLoopLength) {
  Open(Show(4, u"", {u"", u"Pers_EndAction=loop\n"}), 5700);
  engine_->SetPaused(false);
  double lowest = 1e9, highest = 0;
  PumpUntil([&] {
    const double t = engine_->CurrentTime();
    lowest = std::min(lowest, t);
    highest = std::max(highest, t);
    return lowest < 3500;
  }, 8000);
  // Slide 2 runs 3000..6000: at 6000 the time goes back by 3000 and never passes the barrier.
  EXPECT_LT(lowest, 3500);
  EXPECT_GE(lowest, 3000);
  EXPECT_LE(highest, 6000);
  EXPECT_FALSE(engine_->StoppedAtBarrier());
}

TEST_F(EngineTest, TimedActionRunsTheSlidesProgramOnce) {
  Open(Show(4, u"", {u"", u"", u"Pers_RunApp=1\nRunAppFN=tool.sh\n"}), 5700);
  engine_->SetPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return CountEvents(kUiAction) > 0; }));
  Pump(200);
  ASSERT_EQ(CountEvents(kUiAction), 1);
  for (size_t i = 0; i < events_.size(); ++i) {
    if (events_[i].first != kUiAction) continue;
    EXPECT_EQ(events_[i].second[0], int32_t(TZemActionKind::RunApp));
    EXPECT_EQ(texts_[i], "tool.sh");
  }
}

TEST_F(EngineTest, AShowThatEndsStopsAtItsDurationAndReportsTheEndOnce) {
  Open(Show(2, u"opt_repeat=close\n"), 5800);
  engine_->SetPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return !positions_.empty() && positions_.back().end; }));
  Pump(200);
  int ends = 0;
  for (auto& p : positions_) {
    ends += p.end;
    EXPECT_LE(p.time, 6000);
  }
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(engine_->CurrentTime(), 6000.0);
}

TEST_F(EngineTest, DeviceLossIsRecoveredAndTheFirstFrameReportedAgain) {
  Open(Show(4), 1000);
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  T3DDrawer* drawer = engine_->DrawController()->Drawer();
  ASSERT_NE(drawer, nullptr);
  drawer->Backend().Screen()->SimulateDeviceLoss();
  device_->RequestRefresh();  // a repaint notices the loss
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 2; }));
  EXPECT_TRUE(drawer->IsReady());
}

TEST_F(EngineTest, ClickOnALinkRunsItsActionAndHoverFollowsThePointer) {
  const std::u16string box =
      u"object box: B\n  Size=160,120\n  Color1=255,0,0\n  Action=nextslide\n  object keypoint:\n    Time=0\n  end\nend\n";
  Open(Show(3, u"", {box}), 1000);
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  engine_->PostMouse({kMouseMove, 80, 60, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return engine_->HoverLink(); }));
  EXPECT_STREQ(engine_->HoverClassName(), "TZemBox");
  engine_->PostMouse({kMouseDown, 80, 60, 16, 1});
  engine_->PostMouse({kMouseUp, 80, 60, 16, 1});
  ASSERT_TRUE(PumpUntil([&] { return CountEvents(kUiAction) == 1; }));
  for (auto& e : events_) {
    if (e.first == kUiAction) {
      EXPECT_EQ(e.second[0], int32_t(TZemActionKind::NextSlide));
    }
  }
  // The pointer leaves: no hover. A mapped action runs when the show does nothing with a click.
  engine_->PostMouse({kMouseMove, 2147483647, 2147483647, 0, 0});
  ASSERT_TRUE(PumpUntil([&] { return !engine_->HoverLink(); }));
  engine_->PostMouse({kMouseUp, 2147483647, 2147483647, 16, 1}, TZemActionInfo{TZemActionKind::PrevSlide, 0, {}});
  ASSERT_TRUE(PumpUntil([&] { return CountEvents(kUiAction) == 2; }));
  EXPECT_EQ(events_.back().second[0], int32_t(TZemActionKind::PrevSlide));
}

TEST_F(EngineTest, CaptureAnswersWithThePictureOfTheCurrentFrame) {
  Open(Show(3), 1000);
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  TRef<TDrawPicture> captured;
  engine_->SetOnEvent([&](TZemEventData& e) {
    if (e.code == kUiCaptured) captured = dynamic_cast<TPictureValue&>(*e.objectValue).picture;
  });
  engine_->Capture();
  ASSERT_TRUE(PumpUntil([&] { return captured.get() != nullptr; }));
  EXPECT_EQ(captured->Width(), 160);
  EXPECT_EQ(captured->Height(), 120);
  // Slide 1's background: colour code 40 = red 40.
  const TBitmap* px = captured->Pixels();
  ASSERT_NE(px, nullptr);
  const uint8_t* p = px->Row(60) + 80 * 4;
  EXPECT_NEAR(p[2], 40, 2);
  EXPECT_NEAR(p[1], 0, 2);
  EXPECT_NEAR(p[0], 0, 2);
}

// A script the player cannot lay out fails its open without leaving a half-open show behind:
// the first (synchronous) open raises, a later request is logged and the engine goes on.
TEST_F(EngineTest, AShowWithoutADesignSizeFailsItsOpenAndTheEngineGoesOn) {
  auto device = THeadlessDevice::Create(160, 120);
  if (!device) GTEST_SKIP() << "no offscreen video driver";
  engine_ = std::make_unique<TZemEngine>(&app_, device.release(), 0, true, true);
  engine_->SetMusicDeviceFactory([] { return std::unique_ptr<TMusicPlayer>(); });
  const std::u16string broken = u"[Main]\nopt_slidescount=2\nopt_synchpos1=1000\nopt_synchpos2=2000\n";
  EXPECT_THROW(engine_->OpenShow(nullptr, Script(broken), 0), std::exception);
  EXPECT_EQ(engine_->CurrentSource().get(), nullptr);
  engine_->OpenShow(nullptr, Script(Show(3)), 500);
  ASSERT_NE(engine_->CurrentSource().get(), nullptr);
  engine_->SetOnFirstFrame([this] { ++firstFrames_; });
  ASSERT_TRUE(engine_->Start());
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  // Asynchronous: the broken show is dropped, the next good one plays.
  engine_->OpenShow(nullptr, Script(broken), 0);
  ASSERT_TRUE(PumpUntil([&] { return engine_->CurrentSource().get() == nullptr; }));
  engine_->OpenShow(nullptr, Script(Show(4)), 700);
  ASSERT_TRUE(PumpUntil([&] {
    auto s = engine_->CurrentSource();
    return s && s->SlideCount() == 4 && engine_->CurrentTime() == 700.0;
  }));
}

// The player's snapshot mode draws synchronously; the engine draws from its loader's cache.
// Both must give the same frame, here in the middle of a transition between two colours.
TEST_F(EngineTest, EngineCaptureAgreesWithTheSynchronousSnapshot) {
  const std::u16string text = Show(3, u"opt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\n");
  TZemSourceOptions o;
  auto source = MakeRef<TZemSource>(Script(text), nullptr, o);
  TSlideInfo first;
  source->GetSlideInfo(0, first);
  ASSERT_GT(first.end, first.next + 500);
  const double t = (first.next + first.end) / 2;

  Open(text, int32_t(t));
  ASSERT_TRUE(PumpUntil([&] { return firstFrames_ == 1; }));
  TRef<TDrawPicture> captured;
  engine_->SetOnEvent([&](TZemEventData& e) {
    if (e.code == kUiCaptured) captured = dynamic_cast<TPictureValue&>(*e.objectValue).picture;
  });
  engine_->Capture();
  ASSERT_TRUE(PumpUntil([&] { return captured.get() != nullptr; }));
  const TBitmap* cap = captured->Pixels();

  // Channels differing by more than rounding between the capture and a snapshot at `at`.
  auto differing = [&](double at) {
    TBitmap snap;
    std::string error;
    EXPECT_TRUE(RenderShowSnapshot(source, at, 160, 120, snap, &error)) << error;
    if (snap.Width() != cap->Width() || snap.Height() != cap->Height()) return -1;
    int n = 0;
    for (int32_t y = 0; y < snap.Height(); ++y) {
      for (int32_t x = 0; x < snap.Width(); ++x) {
        const uint8_t* a = cap->Row(y) + x * 4;
        const uint8_t* b = snap.Row(y) + x * 4;
        for (int c = 0; c < 3; ++c) n += std::abs(int(a[c]) - int(b[c])) > 3;
      }
    }
    if (n != 0 && at == t) {
      WritePngFile(snap, ::testing::TempDir() + "engine_snapshot.png");
      WritePngFile(*cap, ::testing::TempDir() + "engine_capture.png");
    }
    return n;
  };
  EXPECT_EQ(differing(t), 0) << "frames written to " << ::testing::TempDir();
  // The frame really depends on the time: a quarter of the transition later it differs.
  EXPECT_GT(differing(t + (first.end - first.next) / 4), 1000);
}

}  // namespace
}  // namespace zem

namespace {
// Process-wide sound threads end before static destruction.
class TSoundThreads : public ::testing::Environment {
 public:
  void TearDown() override { zem::ShutdownChannelKiller(); }
};
const auto* const kSoundThreads = ::testing::AddGlobalTestEnvironment(new TSoundThreads);
}  // namespace
