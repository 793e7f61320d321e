// Whole-frame times of the drawer at 1920 × 1080 (llvmpipe in CI): an empty frame as the
// baseline, one full-screen picture, ten pictures with one blurred, the whole frame sharpened.
// Run with SDL_VIDEODRIVER=offscreen --benchmark_repetitions=5 and read the medians; every
// frame waits for the device to finish.
#include <benchmark/benchmark.h>

#include <functional>
#include <memory>

#include "model/draw_interface.h"
#include "render/drawer/drawer.h"
#include "render/drawer/headless_window.h"

namespace zem {
namespace {

class TFn : public TDrawItem {
 public:
  explicit TFn(std::function<void(TDeviceDrawer&)> f, float blur = 0) : f_(std::move(f)), blur_(blur) {}
  float GetBlur() const override { return blur_; }
  void Draw(TDeviceDrawer& d) override { f_(d); }

 private:
  std::function<void(TDeviceDrawer&)> f_;
  float blur_;
};

struct TRig {
  std::unique_ptr<THeadlessWindow> window;
  std::unique_ptr<T3DDrawer> drawer;
  TRef<TBitmapPicture> picture;
  TRig() {
    window = THeadlessWindow::Create(1920, 1080);
    if (!window) return;
    drawer = std::make_unique<T3DDrawer>();
    drawer->SetNotify([](TDeviceDrawer&, TDrawItem*, int) {});
    drawer->Init(window->Window());
    TBitmap b;
    b.Allocate(1920, 1080, TPixelFormat::Argb32);
    for (int32_t y = 0; y < 1080; ++y)
      for (int32_t x = 0; x < 1920; ++x) b.SetPixel(x, y, 0xFF000000u | uint32_t((x * 7) ^ (y * 13)) * 0x010203u);
    picture = MakeRef<TBitmapPicture>(std::move(b));
  }
  ~TRig() {
    if (drawer && picture) drawer->ReleaseImage(picture.get());
    drawer.reset();
    window.reset();
  }
};

TRig& Rig() {
  static TRig rig;
  return rig;
}

void RunFrames(benchmark::State& state, TDrawItem& root) {
  TRig& r = Rig();
  if (!r.drawer || !r.drawer->IsReady()) {
    state.SkipWithError("no headless GL device");
    return;
  }
  r.drawer->DrawItem(&root);  // textures made and uploaded outside the timing
  r.drawer->Backend().WaitIdle();
  for (auto _ : state) {
    r.drawer->DrawItem(&root);
    r.drawer->Backend().WaitIdle();
  }
}

void DrawPicture(TDeviceDrawer& d, float x, float y, float scale) {
  d.DrawImage(Rig().picture.get(), {x, y, 0}, {0, 0}, {scale, 0, 0}, {0, scale, 0}, TImageParams{});
}

void BM_EmptyFrame(benchmark::State& state) {
  TFn root([](TDeviceDrawer& d) { d.Clear(0xFF000000u, true); });
  RunFrames(state, root);
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FullScreenPicture(benchmark::State& state) {
  TFn slide([](TDeviceDrawer& d) { DrawPicture(d, 0, 0, 1); });
  TFn root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.DrawItem(&slide);
  });
  RunFrames(state, root);
}
BENCHMARK(BM_FullScreenPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TenPicturesOneBlurred(benchmark::State& state) {
  TFn blurred([](TDeviceDrawer& d) { DrawPicture(d, 700, 400, 0.25f); }, 10);  // radius 19 px
  TFn slide([&](TDeviceDrawer& d) {
    for (int i = 0; i < 9; ++i) DrawPicture(d, float((i % 3) * 640), float((i / 3) * 360), 0.25f);
    d.DrawItem(&blurred);
  });
  TFn root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.DrawItem(&slide);
  });
  RunFrames(state, root);
}
BENCHMARK(BM_TenPicturesOneBlurred)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WholeFrameSharpened(benchmark::State& state) {
  TFn slide([](TDeviceDrawer& d) { DrawPicture(d, 0, 0, 1); });
  TFn root([&](TDeviceDrawer& d) {
    d.Clear(0xFF000000u, true);
    d.BeginOffscreen();
    d.DrawItem(&slide);
    d.EndOffscreen(0, 40);
  });
  RunFrames(state, root);
}
BENCHMARK(BM_WholeFrameSharpened)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zem

BENCHMARK_MAIN();
