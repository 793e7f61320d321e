// Heap held by a built slide of many small objects, and the time to build it: the slide producer
// builds the 100,000-box slide of the window tests' box show (one slide, every box with two
// keypoints) from its script, as the slide loader does. Counters: bytes of heap held per box
// after the build ("heap_per_box", mallinfo2's allocated bytes before and after, so the
// allocator's chunk overhead is included) and after the first evaluation and transform
// ("heap_per_box_drawn": lazily made state shows up here). Heap figures are exact; the times are
// the machine's. The script is parsed once, outside the timed part.
//
// usage: zem_model_memory_bench [--benchmark_repetitions=5]   (the repetitions default to 5)
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdint>
#include <memory>
#include <string>

#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "model/zem_slide.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

// The text tests/shell/window/box_show.awk writes (its colours and positions aside).
std::string BoxShow(int boxes) {
  std::string s =
      "[Main]\r\nZemVersion=5.6\r\nopt_exefn=testshow\r\nopt_scr_full=0\r\nopt_scr_width=320\r\n"
      "opt_scr_height=240\r\nopt_slidescount=1\r\nopt_synchpos1=60000\r\nopt_repeat=repeat\r\n"
      "[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\nbname=255\r\n";
  uint32_t r = 1;
  for (int i = 0; i < boxes; ++i) {
    r = r * 1103515245u + 12345u;
    s += "object box: B" + std::to_string(i) + "\r\n  Size=1,1\r\n  FillMode=Solid\r\n  Color1=" +
         std::to_string(r >> 24) + "," + std::to_string((r >> 16) & 255) + "," + std::to_string((r >> 8) & 255) +
         "\r\n  object keypoint:\r\n    Time=0\r\n    Position=" + std::to_string(int(r % 180) - 90) + "," +
         std::to_string(int((r >> 8) % 180) - 90) + "\r\n    ScaleX=2\r\n    ScaleY=2\r\n  end\r\n" +
         "  object keypoint:\r\n    Time=60000\r\n  end\r\nend\r\n";
  }
  return s;
}

int64_t HeapInUse() { return int64_t(mallinfo2().uordblks); }

void BM_BuildBoxSlide(benchmark::State& state) {
  const int boxes = int(state.range(0));
  static std::shared_ptr<TIniFile> script;
  static int scriptBoxes = 0;
  if (scriptBoxes != boxes) {
    const std::string text = BoxShow(boxes);
    script = std::make_shared<TIniFile>();
    if (!script->LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
      state.SkipWithError("the script does not parse");
      return;
    }
    scriptBoxes = boxes;
  }
  auto source = MakeRef<TZemSource>(TSharedScript{script}, nullptr);
  TSlideProducer producer(source);
  producer.SetOutput({320, 240}, TSlideProducer::kFitInside, 100, 100);
  std::unique_ptr<TZemSlide> slide;
  int64_t built = 0;
  const int64_t before = HeapInUse();
  for (auto _ : state) {
    slide = producer.CreateSlide(0, 0);
    built = HeapInUse() - before;
  }
  if (!slide || slide->ChildCount() != boxes) {
    state.SkipWithError("the slide lost boxes");
    return;
  }
  slide->SetTimeAndUpdate(true, 0);
  const int64_t drawn = HeapInUse() - before;
  state.counters["heap_per_box"] = double(built) / boxes;
  state.counters["heap_per_box_drawn"] = double(drawn) / boxes;
}
BENCHMARK(BM_BuildBoxSlide)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Five builds, medians reported, unless the command line asks otherwise.
  std::string reps = "--benchmark_repetitions=5", aggregates = "--benchmark_report_aggregates_only=true";
  std::vector<char*> args(argv, argv + argc);
  args.insert(args.begin() + 1, {reps.data(), aggregates.data()});
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
