// Device layer throughput on the machine's OpenGL (llvmpipe in CI): textured quads into a
// 1920 × 1080 target, uploading a reduced 24-megapixel picture into tiles, and one 7-tap blur pass.
// Run with SDL_VIDEODRIVER=offscreen; every timed step waits for the device to finish.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>

#include "render/draw_device.h"
#include "render/screen.h"
#include "render/shaders.h"
#include "render/tiling.h"

namespace zem {
namespace {

struct TBenchRig {
  std::unique_ptr<THeadlessDevice> device;
  std::unique_ptr<T3DScreen> screen;
  std::unique_ptr<TTextureManager6> tiles;
  TBenchRig() {
    device = THeadlessDevice::Create(1920, 1080);
    if (!device) return;
    screen = std::make_unique<T3DScreen>();
    screen->AssignDevice(device.get());
    tiles = std::make_unique<TTextureManager6>(screen.get());
  }
  ~TBenchRig() {
    tiles.reset();
    screen.reset();
    device.reset();
  }
};

TBenchRig& Rig() {
  static TBenchRig rig;
  return rig;
}

TBitmap Picture(int32_t w, int32_t h) {
  TBitmap b;
  b.Allocate(w, h, TPixelFormat::Rgb24);
  std::mt19937 rng(1);
  for (size_t i = 0; i < b.DataSize(); i += 97) b.Data()[i] = uint8_t(rng());
  return b;
}

// Args: kind (0 coloured, 1 textured, 2 textured with antialiased edges), quad side in pixels.
void BM_Quads1080p(benchmark::State& state) {
  TBenchRig& rig = Rig();
  if (!rig.screen || !rig.screen->IsReady()) return state.SkipWithError("no OpenGL context");
  const int kind = int(state.range(0));
  const float side = float(state.range(1));
  const int quads = side > 100 ? 2000 : 20000;
  TBitmap pic = Picture(200, 150);
  TMultiTexture6 mt(rig.tiles.get(), pic);
  TCustomTexture* tex = mt.Tiles()[0].texture.get();
  std::mt19937 rng(2);
  std::vector<TVec3> pos(quads);
  for (auto& p : pos) p = {float(rng() % (1920 - int(side))), float(rng() % (1080 - int(side))), 0};
  uint32_t col[4] = {0xC0FFFFFF, 0xC0FFFFFF, 0xC0FFFFFF, 0xC0FFFFFF};
  for (auto _ : state) {
    T3DScreen* s = rig.screen.get();
    if (!s->BeginScene()) return state.SkipWithError("no scene");
    s->Clear(0xFF000000, false);
    for (const TVec3& p : pos) {
      TVec3 c[4] = {p, p + TVec3{side, 0, 0}, p + TVec3{0, side, 0}, p + TVec3{side, side, 0}};
      if (kind == 0) {
        s->DrawColoredQuad(c, col);
      } else {
        TQuadTexture q{tex, {0, 0, std::min(side, 200.0f), std::min(side, 150.0f)}};
        s->DrawTexturedQuad(c, &q, 1, col, kind == 2 ? 15 : 0);
      }
    }
    s->WaitIdle();
    s->EndScene();
  }
  state.counters["quads_per_s"] = benchmark::Counter(double(quads) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Quads1080p)
    ->Args({0, 200})->Args({1, 200})->Args({2, 200})->Args({0, 16})->Args({1, 16})->Args({2, 16})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

// Tiling a 3000 × 2000 picture (a 24-megapixel photo at its first reduced level): arg 0 fills
// the tiles' staging copies (CPU, the loader's share), arg 1 also uploads every tile to the
// device, arg 2 uploads and makes each tile's mip chain (pictures filtered by default). The
// drawing thread's share is the difference between 1 (or 2) and 0; the per-frame upload
// budget is set from it.
void BM_UploadLevel24MP(benchmark::State& state) {
  TBenchRig& rig = Rig();
  if (!rig.screen || !rig.screen->IsReady()) return state.SkipWithError("no OpenGL context");
  static TBitmap pic = ReduceBitmap(Picture(3000, 2000), 0, TPixelFormat::Argb32);
  const int mode = int(state.range(0));
  for (auto _ : state) {
    TMultiTexture6 mt(rig.tiles.get(), pic, 1, 1, false, mode == 2);
    if (mode > 0) {
      T3DScreen* s = rig.screen.get();
      if (!s->BeginScene()) return state.SkipWithError("no scene");
      mt.Upload();
      s->WaitIdle();
      s->EndScene();
    }
  }
  state.counters["MB_per_s"] =
      benchmark::Counter(3000.0 * 2000 * 4 / 1e6 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_UploadLevel24MP)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// One full-frame pass from one 1920 × 1080 target into another: arg 0 a plain copy (the
// baseline), arg 1 the horizontal 7-tap Gaussian.
void BM_BlurPass1080p(benchmark::State& state) {
  TBenchRig& rig = Rig();
  if (!rig.screen || !rig.screen->IsReady()) return state.SkipWithError("no OpenGL context");
  T3DScreen* s = rig.screen.get();
  TRenderTargetManager pool(s, 1920, 1080, true);
  auto src = pool.Take(), dst = pool.Take();
  auto blur = s->CreateShader("gauss_blur_h7");
  const bool gauss = state.range(0) != 0;
  for (auto _ : state) {
    if (!s->BeginScene()) return state.SkipWithError("no scene");
    s->PushRenderTarget(dst.get());
    s->SetBlendMode(T3DRenderer::kBlendCopy);
    if (gauss) {
      s->SetShader(blur.get());
      s->SetShaderConstant(0, 0.065722f, 0.108356f, 0.17865f, 0.294544f);
      s->SetShaderConstant(1, 1.0f / src->AllocWidth());
    }
    s->DrawRenderTarget(src.get(), {0, 0, 1920, 1080}, {0, 0, 1920, 1080});
    s->SetShader(nullptr);
    s->SetBlendMode(0);
    s->PopRenderTarget();
    s->WaitIdle();
    s->EndScene();
  }
  pool.Return(std::move(src));
  pool.Return(std::move(dst));
}
BENCHMARK(BM_BlurPass1080p)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zem

BENCHMARK_MAIN();
