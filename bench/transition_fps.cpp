// Frames per second of every transition kind drawn through triangles at 1920 × 1080 (llvmpipe
// in CI): a whole DrawTransition between two full-screen picture slides (the captures plus the
// filter's triangles; the swap draws both slides) per frame, the progress moving through the
// transition. The baseline is one
// picture slide drawn plainly. Counters: fps, and the triangles the filter emits per frame
// (averaged over the same progress values). Run with SDL_VIDEODRIVER=offscreen
// --benchmark_repetitions=5 and read the medians; every frame waits for the device to finish.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "model/draw_interface.h"
#include "model/transition_choice.h"
#include "render/drawer/drawer.h"
#include "render/drawer/headless_window.h"
#include "transitions/draw_filter.h"
#include "transitions/filter_factory.h"
#include "transitions/tri_pipeline.h"

namespace zem {
namespace {

constexpr int32_t kW = 1920, kH = 1080;
constexpr double kDuration = 1000;
constexpr int kSteps = 48;  // progress values a run cycles through

class TFn : public TDrawItem {
 public:
  explicit TFn(std::function<void(TDeviceDrawer&)> f) : f_(std::move(f)) {}
  void Draw(TDeviceDrawer& d) override { f_(d); }

 private:
  std::function<void(TDeviceDrawer&)> f_;
};

TRef<TBitmapPicture> Pattern(uint32_t salt) {
  TBitmap b;
  b.Allocate(kW, kH, TPixelFormat::Argb32);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) b.SetPixel(x, y, 0xFF000000u | (uint32_t((x * 7) ^ (y * 13)) * salt));
  return MakeRef<TBitmapPicture>(std::move(b));
}

struct TRig {
  std::unique_ptr<THeadlessWindow> window;
  std::unique_ptr<T3DDrawer> drawer;
  TRef<TBitmapPicture> a, b;
  TRig() {
    InstallTransitionFilters();
    window = THeadlessWindow::Create(kW, kH);
    if (!window) return;
    drawer = std::make_unique<T3DDrawer>();
    drawer->SetNotify([](TDeviceDrawer&, TDrawItem*, int) {});
    drawer->Init(window->Window());
    a = Pattern(0x010203u);
    b = Pattern(0x030102u);
  }
  ~TRig() {
    if (drawer) {
      drawer->ReleaseImage(a.get());
      drawer->ReleaseImage(b.get());
    }
    drawer.reset();
    window.reset();
  }
};

TRig& Rig() {
  static TRig rig;
  return rig;
}

// Counts what a filter emits, on one cell over the frame like the drawer's controller.
class TCountingController : public TEffController {
 public:
  TCountingController() { SetGrid({0, float(kW)}, {0, float(kH)}); }
  std::unique_ptr<TEffTile> CreateCell(const TRectI& r, TPointI pos) override;
  TRectI GetClipRect() const override { return {0, 0, kW, kH}; }
  int64_t triangles = 0;
};

class TCountingTile : public TEffTile {
 public:
  TCountingTile(TCountingController* c, const TRectI& r, TPointI pos) : TEffTile(c, r, pos), c_(c) {}
  void Begin(bool, uint8_t) override {}
  void DrawTriangle(const TEffVertex&, const TEffVertex&, const TEffVertex&) override { ++c_->triangles; }
  void FillTriangle(const TVec3 (&)[3], const uint32_t (&)[3]) override { ++c_->triangles; }
  void MapTriangle(const TEffVertex (&)[3], const TPointF (&)[3]) override { ++c_->triangles; }
  void FillTriangleDepth(const TVec3 (&)[3], const uint32_t (&)[3]) override { ++c_->triangles; }
  void MapTriangleDepth(const TEffVertex (&)[3], const TVec3 (&)[3]) override { ++c_->triangles; }
  void End() override {}

 private:
  TCountingController* c_;
};

std::unique_ptr<TEffTile> TCountingController::CreateCell(const TRectI& r, TPointI pos) {
  return std::make_unique<TCountingTile>(this, r, pos);
}

double Progress(int64_t frame) { return kDuration * double(frame % kSteps + 1) / double(kSteps + 1); }

void BM_PictureSlideBaseline(benchmark::State& state) {
  TRig& r = Rig();
  if (!r.drawer || !r.drawer->IsReady()) {
    state.SkipWithError("no headless GL device");
    return;
  }
  TFn slide([&](TDeviceDrawer& d) { d.DrawImage(r.a.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{}); });
  TFn root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.DrawItem(&slide);
  });
  r.drawer->DrawItem(&root);
  r.drawer->Backend().WaitIdle();
  for (auto _ : state) {
    r.drawer->DrawItem(&root);
    r.drawer->Backend().WaitIdle();
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PictureSlideBaseline)->Unit(benchmark::kMillisecond)->UseRealTime();

// args: class, type, smooth line in thousandths of the width, options (1 page roll in 3D,
// 2 page roll with a back colour, 4 flip about the centre).
void BM_Transition(benchmark::State& state) {
  TRig& r = Rig();
  if (!r.drawer || !r.drawer->IsReady()) {
    state.SkipWithError("no headless GL device");
    return;
  }
  TFn older([&](TDeviceDrawer& d) { d.DrawImage(r.a.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{}); });
  TFn newer([&](TDeviceDrawer& d) { d.DrawImage(r.b.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{}); });
  TZemFilter descriptor;
  descriptor.effectClass = int32_t(state.range(0));
  descriptor.effectType = int32_t(state.range(1));
  descriptor.duration = kDuration;
  descriptor.params.smoothLine = float(state.range(2)) * 0.001f;
  descriptor.params.mosaicDX = 16;
  descriptor.params.mosaicDY = 9;
  descriptor.params.mosaicSC = 50;
  descriptor.params.seed = 1234;
  descriptor.params.rollDiameter = 0.1f;
  descriptor.params.roll3D = (state.range(3) & 1) != 0;
  descriptor.params.rollUseBackColour = (state.range(3) & 2) != 0;
  descriptor.params.flipCenter = (state.range(3) & 4) != 0;
  TFn root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.DrawTransition(&older, &newer, &descriptor);
  });
  descriptor.progressTime = Progress(0);
  r.drawer->DrawItem(&root);  // filter and textures made outside the timing
  r.drawer->Backend().WaitIdle();
  auto* filter = dynamic_cast<TDrawFilter*>(descriptor.filter.get());
  if (!filter) {
    state.SkipWithError("no filter for this kind");
    return;
  }
  int64_t frame = 0;
  for (auto _ : state) {
    descriptor.progressTime = Progress(frame++);
    r.drawer->DrawItem(&root);
    r.drawer->Backend().WaitIdle();
  }
  TCountingController counter;
  for (int i = 0; i < kSteps; ++i) {
    filter->SetTime(float(Progress(i)));
    filter->Draw(&counter);
  }
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["triangles"] = double(counter.triangles) / kSteps;
  state.SetLabel(FilterKindName(DescribeFilter(descriptor.effectClass, descriptor.effectType, descriptor.params).kind));
}

// Hard and soft (5 % of the width) edges for the band and sweeping wipes.
BENCHMARK(BM_Transition)
    ->ArgNames({"class", "type", "smooth", "option"})
    ->Args({1, 1, 0, 0})
    ->Args({2, 1, 0, 0})
    ->Args({4, 2, 0, 0})->Args({4, 2, 50, 0})
    ->Args({5, 2, 0, 0})->Args({5, 2, 50, 0})
    ->Args({6, 2, 0, 0})->Args({6, 2, 50, 0})
    ->Args({7, 2, 0, 0})->Args({7, 2, 50, 0})
    ->Args({7, 4, 50, 0})
    ->Args({8, 1, 50, 0})
    ->Args({9, 1, 50, 0})
    ->Args({10, 1, 0, 0})->Args({10, 1, 50, 0})
    ->Args({12, 1, 0, 0})
    ->Args({13, 1, 0, 0})
    ->Args({3, 1, 0, 0})->Args({3, 2, 50, 0})
    ->Args({11, 1, 0, 0})->Args({11, 6, 50, 0})
    ->Args({14, 1, 0, 0})->Args({14, 2, 0, 2})->Args({14, 3, 0, 1})
    ->Args({15, 1, 0, 0})->Args({15, 3, 0, 1})
    ->Args({16, 1, 0, 0})->Args({16, 3, 0, 4})
    ->Args({17, 1, 0, 0})->Args({17, 3, 0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace zem

BENCHMARK_MAIN();
