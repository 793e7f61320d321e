// The slide loader: window settings, the cache kept around the current time one slide per step,
// synchronous reports to the engine's event list, and the preload callback.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "engine/slide_loader.h"
#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/event_list.h"
#include "package/load_throttle.h"
#include "script/ini_file.h"

namespace zem {
namespace {

TRef<TZemSource> Source(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  TZemSourceOptions o;
  o.fixedSeed = true;
  o.seed = 3;
  return MakeRef<TZemSource>(std::move(ini), nullptr, o);
}

const std::u16string kBox =
    u"object box: B\n  Size=10,10\n  object keypoint:\n    Time=0\n  end\nend\n";

// Six slides of 3 s without transitions.
std::u16string Show(const std::u16string& extra = u"") {
  std::u16string s = u"[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=6\nopt_fx_enable=0\n" + extra;
  for (int i = 1; i <= 6; ++i) s += u"opt_synchpos" + Utf8ToWide(std::to_string(i)) + u"=" + Utf8ToWide(std::to_string(i * 3000)) + u"\n";
  for (int i = 1; i <= 6; ++i) s += u"[Slide" + Utf8ToWide(std::to_string(i)) + u"]\n" + kBox;
  return s;
}

std::vector<int32_t> Positions(const TSlideData& d) {
  std::vector<int32_t> r;
  for (int32_t i = 0; i < d.count; ++i) r.push_back(d.containers[size_t(i)]->position);
  return r;
}

// Records the reports handed to the engine's list.
struct TReports {
  std::mutex lock;
  std::vector<std::vector<int32_t>> lists;
  static void OnEvent(void* self, TObj*, int32_t code, TObj* payload) {
    auto* r = static_cast<TReports*>(self);
    ASSERT_EQ(code, TZemSlideLoader::kReportCode);
    auto* data = dynamic_cast<TSlideData*>(payload);
    ASSERT_NE(data, nullptr);
    std::lock_guard<std::mutex> g(r->lock);
    r->lists.push_back(Positions(*data));
  }
  size_t Count() {
    std::lock_guard<std::mutex> g(lock);
    return lists.size();
  }
};

TEST(SlideLoaderSettings, WindowModesAndOutputSize) {
  const TPointI screen{1280, 1024};
  TZemSlideLoader full(Source(Show()), 3, false, {}, screen);
  EXPECT_EQ(full.WindowMode(), 0);
  EXPECT_EQ(full.outputSize, screen);
  TZemSlideLoader sized(Source(Show(u"opt_scr_full=3\n")), 3, false, {}, screen);
  EXPECT_EQ(sized.WindowMode(), 2);
  EXPECT_EQ(sized.outputSize, (TPointI{800, 600}));
  TZemSlideLoader bare(Source(Show(u"opt_scr_full=2\n")), 3, false, {}, screen);
  EXPECT_EQ(bare.WindowMode(), 2);
  EXPECT_EQ(bare.outputSize, screen);
  TZemSlideLoader framed(Source(Show(u"opt_scr_full=0\nopt_withoutborder=0\n")), 3, false, {}, screen);
  EXPECT_EQ(framed.WindowMode(), 1);
  TZemSlideLoader plain(Source(u"[Main]\nopt_scr_full=0\n"), 3, false, {}, screen);
  EXPECT_EQ(plain.WindowMode(), 2);
  EXPECT_EQ(plain.outputSize, (TPointI{640, 480}));
  sized.outputSize = {1000, 600};
  sized.SetOutput(true);
  EXPECT_EQ(sized.Producer().FitMode(), TSlideProducer::kFitCover);
  EXPECT_EQ(sized.ShowRect(), (TRectI{0, 0, 1000, 600}));
  sized.SetOutput(false);
  EXPECT_EQ(sized.ShowRect(), (TRectI{100, 0, 900, 600}));
  EXPECT_THROW(TZemSlideLoader(TRef<TZemSource>(), 3, false), EAssertionFailed);
}

TEST(SlideLoaderCache, OneSlidePerStepAroundTheTimeAndASeekRebuilds) {
  TZemSlideLoader loader(Source(Show()), 3, false, {}, {800, 600});
  loader.SetOutput(false);
  TPostEventList engine;
  TReports reports;
  engine.AddHandler(TZemSlideLoader::kReportCode, TEventHandler{&TReports::OnEvent, &reports});
  loader.SetReportTarget(&engine);
  loader.SetDirectReport(true);
  int preloads = 0;
  loader.SetPreloadCallback([&](TDrawContainer& c) {
    ++preloads;
    EXPECT_EQ(loader.Cache().Find(c.position), nullptr);  // before it is inserted
  });
  loader.Timing().current = 3500;
  for (int i = 0; i < 5; ++i) loader.LoopStep();
  ASSERT_EQ(reports.Count(), 3u);  // one slide per step, each reported
  EXPECT_EQ(reports.lists[0], (std::vector<int32_t>{1}));
  EXPECT_EQ(reports.lists[1], (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(reports.lists[2], (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(preloads, 3);

  // Far ahead: all old slides but one go, then the new window is built one slide per step.
  loader.Timing().current = 12500;
  loader.LoopStep();
  ASSERT_GE(reports.Count(), 4u);
  EXPECT_EQ(reports.lists.back().size(), 2u);  // one old container kept, one new
  for (int i = 0; i < 5; ++i) loader.LoopStep();
  EXPECT_EQ(reports.lists.back(), (std::vector<int32_t>{4, 5, 6}));
  for (const auto& l : reports.lists) EXPECT_LE(l.size(), 3u);
  EXPECT_EQ(preloads, 6);

  // Without a target nothing is reported, but the cache still follows the time.
  loader.SetReportTarget(nullptr);
  const size_t before = reports.Count();
  loader.Timing().current = 500;
  for (int i = 0; i < 6; ++i) loader.LoopStep();
  EXPECT_EQ(reports.Count(), before);
  ASSERT_EQ(loader.Cache().Containers().size(), 3u);
  EXPECT_EQ(loader.Cache().Containers()[0]->position, 0);
}

// Load mode 3: a loader told to give up starts no slide, and a slide it is reading stops at the
// next object; the other modes build as usual.
TEST(SlideLoaderCache, GivingUpStartsNoSlideAndStopsReading) {
  TZemSlideLoader loader(Source(Show()), 3, false, {}, {800, 600});
  loader.SetOutput(false);
  loader.Timing().current = 500;
  SetLoadMode(TLoadMode::GiveUp);
  for (int i = 0; i < 3; ++i) loader.LoopStep();
  EXPECT_TRUE(loader.Cache().Containers().empty());
  // A slide read while the loaders give up keeps none of its objects.
  std::unique_ptr<TDrawContainer> partial = loader.Producer().CreateContainer(0);
  ASSERT_TRUE(partial && partial->slide);
  EXPECT_EQ(partial->slide->ChildCount(), 0);
  for (TLoadMode m : {TLoadMode::Yield, TLoadMode::Playing, TLoadMode::Paused}) {
    SetLoadMode(m);
    loader.LoopStep();
  }
  ASSERT_EQ(loader.Cache().Containers().size(), 3u);
  EXPECT_EQ(loader.Cache().Containers()[0]->slide->ChildCount(), 1);
}

TEST(SlideLoaderThread, ReportsAreSentAndWaitForTheEngine) {
  TZemSlideLoader loader(Source(Show()), 3, false, {}, {800, 600});
  loader.SetOutput(false);
  TThreadEventList engine;
  std::atomic<int> handled{0};
  std::atomic<bool> inHandler{false};
  TReports reports;
  engine.SetOwnerCallback([&](int32_t code, TObj* payload, bool& done) {
    inHandler = true;
    TReports::OnEvent(&reports, nullptr, code, payload);
    // The loader is blocked in its report: its cache still holds exactly what was reported.
    auto* data = static_cast<TSlideData*>(payload);
    EXPECT_EQ(size_t(data->count), loader.Cache().Containers().size());
    ++handled;
    inHandler = false;
    done = true;
  });
  loader.SetReportTarget(&engine);
  loader.Timing().current = 0;
  ASSERT_TRUE(loader.Start());
  for (int i = 0; i < 2000 && handled < 3; ++i) {
    engine.Process();
    SleepMs(1);
  }
  EXPECT_GE(handled.load(), 3);
  // Stopping while a report may be in flight: closing the list releases the loader.
  loader.Timing().current = 9500;
  engine.Close();
  loader.Stop();
  EXPECT_EQ(reports.lists.front(), (std::vector<int32_t>{0}));
}

}  // namespace
}  // namespace zem
