// Per-frame cost of the show model: SetTimeAndUpdate over a slide of animated objects, with the
// keypoint evaluation alone as the baseline.
#include <benchmark/benchmark.h>

#include <string>

#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

// `count` boxes, each moving, turning and fading over four keypoints; every third one eases its
// pan, every fifth one is nested in the one before.
std::string AnimatedShow(int count) {
  std::string s = "[Main]\nopt_scr_width=1280\nopt_scr_height=720\nopt_synchpos1=10000\n[Slide1]\n";
  for (int i = 0; i < count; ++i) {
    const bool nested_parent = i % 5 == 3, nested = i % 5 == 4;
    s += "object box: B" + std::to_string(i) + "\nSize=" + std::to_string(20 + i % 50) + ",20\n";
    if (i % 3 == 0) s += "PanSpeed=4;0;0;0;0;1;0;3;0.3;0.7;\n";
    for (int k = 0; k < 4; ++k) {
      s += "object keypoint:\nTime=" + std::to_string(k * 2500 + i % 7) + "\nPosition=" + std::to_string(k * 10 - 20) +
           "," + std::to_string((i % 40) - 20) + "\nAngle=" + std::to_string(k * 30) + "\nOpacity=" +
           std::to_string(100 - k * 20) + "\nScaleX=" + std::to_string(50 + k * 10) + "\nend\n";
    }
    if (!nested_parent) s += "end\n";
    if (nested) s += "end\n";  // closes the parent as well
  }
  return s;
}

struct TBenchSlide {
  TIniFile ini;
  std::unique_ptr<TZemSlide> slide;
  explicit TBenchSlide(int count) {
    ini.LoadFromText(Utf8ToWide(AnimatedShow(count)));
    std::string err;
    slide = BuildSectionTree(ini, u"Slide1", {}, &err);
    if (!slide) throw std::runtime_error(err);
    int nodes = 0;
    ForEachNode(slide.get(), [&](TZemObject*) { ++nodes; });
    if (nodes != count + 1) throw std::runtime_error("the bench slide lost objects");
    slide->SetTimeAndUpdate(true, 0);
    slide->SnapshotState(true);  // as after the first drawn frame
  }
};

void BM_SetTimeAndUpdate(benchmark::State& state) {
  TBenchSlide b(int(state.range(0)));
  double t = 0;
  for (auto _ : state) {
    t += 16.667;
    if (t > 10000) t = 0;
    b.slide->SetTimeAndUpdate(true, t);
    benchmark::DoNotOptimize(b.slide->IsChanged());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_SetTimeAndUpdate)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Baseline: the keypoint evaluation alone, without transforms.
void BM_SetTimeOnly(benchmark::State& state) {
  TBenchSlide b(int(state.range(0)));
  double t = 0;
  for (auto _ : state) {
    t += 16.667;
    if (t > 10000) t = 0;
    benchmark::DoNotOptimize(b.slide->SetTime(true, t));
  }
}
BENCHMARK(BM_SetTimeOnly)->Arg(1000)->Unit(benchmark::kMicrosecond);

// A whole frame: evaluation and drawing into the recording drawer.
void BM_FrameWithRecordingDrawer(benchmark::State& state) {
  TBenchSlide b(int(state.range(0)));
  TRecordingDrawer d(1280, 720);
  double t = 0;
  for (auto _ : state) {
    t += 16.667;
    if (t > 10000) t = 0;
    b.slide->SetTimeAndUpdate(true, t);
    d.DrawItem(b.slide.get());
    d.ClearLog();
  }
}
BENCHMARK(BM_FrameWithRecordingDrawer)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_BuildSlide(benchmark::State& state) {
  const std::string text = AnimatedShow(int(state.range(0)));
  TIniFile ini;
  ini.LoadFromText(Utf8ToWide(text));
  for (auto _ : state) {
    std::string err;
    auto slide = BuildSectionTree(ini, u"Slide1", {}, &err);
    slide->SetTimeAndUpdate(true, 0);  // includes the display-size analysis
    benchmark::DoNotOptimize(slide.get());
  }
}
BENCHMARK(BM_BuildSlide)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
