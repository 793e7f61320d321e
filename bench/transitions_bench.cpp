// Cost of one transition frame on the CPU side at 1920 × 1080: the filter's triangles cut into
// the controller's cells; counters give the triangles handed to the cells per frame.
#include <benchmark/benchmark.h>

#include "transitions/common_filter.h"
#include "transitions/filter_factory.h"

namespace zem {
namespace {

constexpr TRectI kScreen{0, 0, 1920, 1080};

class TCountingTile : public TEffTile {
 public:
  TCountingTile(TEffController* o, const TRectI& r, TPointI p, int64_t* n) : TEffTile(o, r, p), n_(n) {}
  void Begin(bool, uint8_t) override {}
  void DrawTriangle(const TEffVertex& a, const TEffVertex&, const TEffVertex&) override {
    ++*n_;
    benchmark::DoNotOptimize(a.x);
  }
  void FillTriangle(const TVec3 (&)[3], const uint32_t (&)[3]) override {}
  void MapTriangle(const TEffVertex (&)[3], const TPointF (&)[3]) override { ++*n_; }
  void FillTriangleDepth(const TVec3 (&)[3], const uint32_t (&)[3]) override {}
  void MapTriangleDepth(const TEffVertex (&)[3], const TVec3 (&)[3]) override {}
  void End() override {}

 private:
  int64_t* n_;
};

class TCountingController : public TEffController {
 public:
  TCountingController() { SetGrid({0, 1920}, {0, 1080}); }
  std::unique_ptr<TEffTile> CreateCell(const TRectI& r, TPointI p) override {
    return std::make_unique<TCountingTile>(this, r, p, &triangles);
  }
  TRectI GetClipRect() const override { return kScreen; }
  int64_t triangles = 0;
};

// class, type of the catalogue; smooth line 5 % of the width; 8 × 6 mosaic with softness 30.
void BM_FilterFrame(benchmark::State& state) {
  InstallTransitionFilters();
  TEffectParams params;
  params.smoothLine = 0.05f;
  params.mosaicDX = 8;
  params.mosaicDY = 6;
  params.mosaicSC = 30;
  auto obj = CreateFilter(kScreen, int32_t(state.range(0)), int32_t(state.range(1)), nullptr, params, 1000);
  auto* f = dynamic_cast<TDrawFilter*>(obj.get());
  if (!f) {
    state.SkipWithError("no filter");
    return;
  }
  TCountingController c;
  int64_t frames = 0;
  for (auto _ : state) {
    f->SetTime(float(250 + (frames % 500)));
    f->Draw(&c);
    ++frames;
  }
  state.counters["triangles/frame"] = double(c.triangles) / double(std::max<int64_t>(frames, 1));
}
BENCHMARK(BM_FilterFrame)
    ->ArgNames({"class", "type"})
    ->Args({1, 1})->Args({2, 1})->Args({4, 2})->Args({5, 2})->Args({6, 2})->Args({7, 2})->Args({7, 4})
    ->Args({8, 2})->Args({10, 1})->Args({12, 1})->Args({13, 1});

// The same soft circle on a 4 × 4 grid of cells (more cutting).
void BM_CircleOnGrid(benchmark::State& state) {
  TCircleFilter f(0.5f, 0.5f);
  f.Init(kScreen, 96, 1000);
  TCountingController c;
  c.SetGrid({0, 480, 960, 1440, 1920}, {0, 270, 540, 810, 1080});
  f.SetTime(500);
  for (auto _ : state) f.Draw(&c);
  state.counters["triangles/frame"] = double(c.triangles) / double(state.iterations());
}
BENCHMARK(BM_CircleOnGrid);

}  // namespace
}  // namespace zem
BENCHMARK_MAIN();
