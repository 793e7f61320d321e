// The time line of a 5,000-slide show: building every slide's timing, and finding the slide at
// a time (the source's lookup, the producer's active-slide search, and a plain scan of the
// records from the first position as the baseline).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

constexpr int kSlides = 5000;
constexpr int kSlot = 4000;  // ms per slide

std::u16string LongShow() {
  std::string t = "[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_slidescount=" + std::to_string(kSlides) +
                  "\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\nopt_fx_eff5=12\n";
  for (int i = 1; i <= kSlides; ++i) t += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(i * kSlot) + "\n";
  for (int i = 1; i <= kSlides; ++i) {
    t += "[Slide" + std::to_string(i) + "]\nslideid=s" + std::to_string(i) + "\n";
    if (i % 7 == 0) t += "Pers_Effect=1\nEffect_Class=13\nEffect_Type=2\nEffectTime=6000\n";
  }
  return Utf8ToWide(t);
}

TRef<TZemSource> Build(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  ini->LoadFromText(text);
  TZemSourceOptions o;
  o.fixedSeed = true;
  return MakeRef<TZemSource>(std::move(ini), nullptr, o);
}

void BM_BuildTimeline(benchmark::State& state) {
  const std::u16string text = LongShow();
  for (auto _ : state) {
    state.PauseTiming();
    auto ini = std::make_unique<TIniFile>();
    ini->LoadFromText(text);
    TZemSourceOptions o;
    o.fixedSeed = true;
    state.ResumeTiming();
    TRef<TZemSource> s = MakeRef<TZemSource>(std::move(ini), nullptr, o);
    benchmark::DoNotOptimize(s->TotalDuration());
    state.PauseTiming();
    s.reset();  // freeing the script is not part of the timing
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kSlides);
}
BENCHMARK(BM_BuildTimeline)->Unit(benchmark::kMillisecond);

// Times spread over three passes of the show, in a fixed scrambled order.
double TimeAt(int64_t i) { return double((i * 7919) % (int64_t(kSlides) * kSlot * 3)) + 0.5; }

void BM_SlideAtTime(benchmark::State& state) {
  auto s = Build(LongShow());
  int64_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(s->SlideAtTime(TimeAt(i++)));
}
BENCHMARK(BM_SlideAtTime);

void BM_FindActiveSlidesRandomTimes(benchmark::State& state) {
  TSlideProducer p(Build(LongShow()));
  int64_t i = 0;
  int32_t first = 0, last = 0;
  for (auto _ : state) {
    p.FindActiveSlides(TimeAt(i++), first, last);
    benchmark::DoNotOptimize(first);
  }
}
BENCHMARK(BM_FindActiveSlidesRandomTimes);

void BM_FindActiveSlidesPlayback(benchmark::State& state) {
  // What the loader does: the time moves on by 10 ms per call.
  TSlideProducer p(Build(LongShow()));
  double t = 0;
  int32_t first = 0, last = 0;
  for (auto _ : state) {
    p.FindActiveSlides(t, first, last);
    t += 10;
    if (t > double(kSlides) * kSlot) t = 0;
    benchmark::DoNotOptimize(first);
  }
}
BENCHMARK(BM_FindActiveSlidesPlayback);

// Baseline: walk the positions from the first one until one holds the time.
void BM_SlideAtTimeLinearScanBaseline(benchmark::State& state) {
  auto s = Build(LongShow());
  int64_t i = 0;
  for (auto _ : state) {
    const double t = TimeAt(i++);
    int32_t p = -1;
    TSlideInfo info;
    for (;; ++p) {
      s->GetSlideInfo(p, info);
      if (info.start <= t && t <= info.next) break;
    }
    benchmark::DoNotOptimize(p);
  }
}
BENCHMARK(BM_SlideAtTimeLinearScanBaseline);

}  // namespace

BENCHMARK_MAIN();
