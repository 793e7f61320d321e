// Frame cost of the drawer against a minimal OpenGL renderer, both at 1920 × 1080 on the same
// device in the same process (headless llvmpipe in CI):
// - the reference draws one textured quad from a 1920 × 1080 texture (a still picture), or two
//   with the second blended at 50 % (a cross-fade), into the back buffer of its own hidden
//   window of the frame size and presents it, as the drawer does with its window; its texels
//   are in the drawer's byte order (B, G, R, A), so both sample and write the same formats;
// - the drawer draws the frames of a generated two-slide show through the show's own root item:
//   slide 1 still, then slide 2 entering by a one-second cross-fade.
// Every frame waits until the device has finished. Run with SDL_VIDEODRIVER=offscreen
// --benchmark_repetitions=5 --benchmark_report_aggregates_only=true and compare the medians of
// the same run (the ratio is what counts, the machine is shared); "cpu_ms" is the processor
// time of all the process's threads per frame.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "model/zem_image.h"
#include "model/zem_slide.h"
#include "package/show_locator.h"
#include "render/drawer/drawer.h"
#include "render/drawer/headless_window.h"
#include "render/drawer/root_item.h"
#include "render/gl_context.h"
#include "resources/png_writer.h"
#include "script/ini_file.h"
#include "transitions/filter_factory.h"
#include "transitions/slide_eff_filter.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kW = 1920, kH = 1080;
constexpr int32_t kSlideMs = 5000, kFadeMs = 1000;

// A photo-like picture: smooth gradients with fine noise.
TBitmap Photo(uint32_t seed) {
  TBitmap b;
  b.Allocate(kW, kH, TPixelFormat::Rgb24);
  uint32_t s = seed * 2654435761u + 1;
  for (int32_t y = 0; y < kH; ++y) {
    uint8_t* p = b.Row(y);
    for (int32_t x = 0; x < kW; ++x) {
      s = s * 1664525u + 1013904223u;
      const int n = int(s >> 28) - 8;
      p[3 * x] = uint8_t(std::clamp(x * 255 / kW + n, 0, 255));
      p[3 * x + 1] = uint8_t(std::clamp(y * 255 / kH + n, 0, 255));
      p[3 * x + 2] = uint8_t(std::clamp(int(seed * 90 % 256) + n, 0, 255));
    }
  }
  return b;
}

// The minimal renderer: its own hidden window and context, a framebuffer of the frame size.
class TReference {
 public:
  bool Open() {
    if (!EnsureSdlVideo(true)) return false;
    window_ = SDL_CreateWindow("reference", 0, 0, kW, kH, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) return false;
    ctx_ = TGLContext::Create(window_);
    if (!ctx_) return false;
    int w = 0, h = 0;
    ctx_->DrawableSize(w, h);
    if (w != kW || h != kH) return false;
    glGenTextures(2, tex_);
    for (int k = 0; k < 2; ++k) {
      TBitmap p = Photo(uint32_t(k + 1));
      std::vector<uint8_t> rgba(size_t(kW) * kH * 4);
      for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
          const uint8_t* s = p.Row(y) + 3 * x;
          uint8_t* d = &rgba[(size_t(y) * kW + x) * 4];
          d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
        }
      glBindTexture(GL_TEXTURE_2D, tex_[k]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kW, kH, 0, GL_BGRA, GL_UNSIGNED_BYTE, rgba.data());
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    const char* vs =
        "#version 330 core\nlayout(location=0) in vec2 p; out vec2 t;\n"
        "void main(){ t = p * 0.5 + 0.5; gl_Position = vec4(p, 0, 1); }";
    const char* fs =
        "#version 330 core\nin vec2 t; uniform sampler2D s0; uniform float a; out vec4 o;\n"
        "void main(){ vec4 c = texture(s0, t); o = vec4(c.rgb, a); }";
    program_ = glCreateProgram();
    glAttachShader(program_, Stage(GL_VERTEX_SHADER, vs));
    glAttachShader(program_, Stage(GL_FRAGMENT_SHADER, fs));
    glLinkProgram(program_);
    glUseProgram(program_);
    alpha_ = glGetUniformLocation(program_, "a");
    const float quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &vbo_);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    glViewport(0, 0, kW, kH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glFinish();
    ctx_->DoneCurrent();
    return true;
  }
  ~TReference() {
    ctx_.reset();
    if (window_) SDL_DestroyWindow(window_);
  }
  void Frame(bool fade) {
    ctx_->MakeCurrent();
    glUseProgram(program_);
    glBindVertexArray(vao_);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
    glUniform1f(alpha_, 1);
    glBindTexture(GL_TEXTURE_2D, tex_[0]);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    if (fade) {
      glEnable(GL_BLEND);
      glUniform1f(alpha_, 0.5f);
      glBindTexture(GL_TEXTURE_2D, tex_[1]);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    ctx_->SwapBuffers();
    glFinish();
    ctx_->DoneCurrent();
  }

 private:
  static unsigned Stage(GLenum kind, const char* src) {
    unsigned s = glCreateShader(kind);
    glShaderSource(s, 1, &src, nullptr);
    glCompileShader(s);
    return s;
  }
  SDL_Window* window_ = nullptr;
  std::unique_ptr<TGLContext> ctx_;
  unsigned tex_[2] = {0, 0}, program_ = 0, vao_ = 0, vbo_ = 0;
  int alpha_ = -1;
};

// The drawer on a generated two-slide show, composed by the root item like the engine does.
class TShowFrames {
 public:
  bool Open() {
    RegisterImageKinds();
    InstallTransitionFilters();
    dir_ = fs::temp_directory_path() / ("zem_frame_cost_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    for (int k = 1; k <= 2; ++k)
      if (!WritePngFile(Photo(uint32_t(k)), (dir_ / ("p" + std::to_string(k) + ".png")).string(), 1)) return false;
    std::string s = "[Main]\nopt_scr_width=1920\nopt_scr_height=1080\nopt_scr_full=0\nopt_slidescount=2\n"
                    "opt_fx_enable=1\nopt_synchpos1=5000\nopt_synchpos2=10000\n";
    for (int k = 1; k <= 2; ++k)
      s += "[Slide" + std::to_string(k) + "]\nPers_Effect=1\nEffect_Class=2\nEffect_Type=1\nEffectTime=" +
           std::to_string(kFadeMs) + "\nobject image: Photo\n  ImageName=p" + std::to_string(k) +
           ".png\n  object keypoint:\n    Time=0\n    ScaleX=100\n    ScaleY=100\n  end\nend\n";
    auto ini = std::make_unique<TIniFile>();
    if (!ini->LoadFromText(Utf8ToWide(s))) return false;
    source_ = MakeRef<TZemSource>(std::move(ini), CreateDiskAccessor(dir_.string()));
    window_ = THeadlessWindow::Create(kW, kH);
    if (!window_) return false;
    drawer_ = std::make_unique<T3DDrawer>();
    drawer_->SetNotify([](TDeviceDrawer&, TDrawItem*, int) {});
    drawer_->Init(window_->Window());
    if (!drawer_->IsReady()) return false;
    producer_ = std::make_unique<TSlideProducer>(source_);
    producer_->SetOutput({kW, kH}, TSlideProducer::kFitInside, 100, 100);
    timing_ = MakeRef<TTiming>();
    producer_->SetCurrentTiming(timing_);
    cache_ = std::make_unique<TSlideCache>(*producer_, 2);
    root_ = std::make_unique<TRootItem>(true);
    drawer_->SetClipRect(producer_->GetViewRect());
    return true;
  }
  ~TShowFrames() {
    if (cache_ && drawer_)
      for (const auto& c : cache_->Containers())
        if (c->slide) c->slide->Release(*drawer_);
    root_.reset();
    cache_.reset();
    producer_.reset();
    drawer_.reset();
    window_.reset();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  // Builds and prepares the slides around t (outside any timing), then draws one frame there.
  void Settle(double t) {
    timing_->current = t;
    timing_->requested = t;
    for (int i = 0; i < TSlideCache::kMaxContainers + 1 && cache_->Update(t); ++i) {
    }
    list_.clear();
    for (const auto& c : cache_->Containers()) {
      list_.push_back(c.get());
      if (c->slide) c->slide->Prepare(*drawer_);
    }
    Frame(t);
    Frame(t);
  }
  void Frame(double t) {
    root_->Compose(list_.data(), int32_t(list_.size()), nullptr, t);
    drawer_->DrawItem(root_.get());
    drawer_->Backend().WaitIdle();
  }

 private:
  fs::path dir_;
  TRef<TZemSource> source_;
  std::unique_ptr<THeadlessWindow> window_;
  std::unique_ptr<T3DDrawer> drawer_;
  std::unique_ptr<TSlideProducer> producer_;
  TRef<TTiming> timing_;
  std::unique_ptr<TSlideCache> cache_;
  std::unique_ptr<TRootItem> root_;
  std::vector<TDrawContainer*> list_;
};

// Processor time of the whole process (all threads, the rasterizer's included), ms.
double ProcessCpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-3;
}

// Frames with the process's processor time per frame as a counter: on a shared machine the
// wall time depends on the neighbours, the processor time much less.
template <class F>
void Frames(benchmark::State& state, F frame) {
  const double cpu0 = ProcessCpuMs();
  for (auto _ : state) frame();
  state.counters["cpu_ms"] = (ProcessCpuMs() - cpu0) / double(std::max<int64_t>(1, state.iterations()));
}

TReference* Reference() {
  static std::unique_ptr<TReference> r = [] {
    auto p = std::make_unique<TReference>();
    return p->Open() ? std::move(p) : nullptr;
  }();
  return r.get();
}

TShowFrames* Show() {
  static std::unique_ptr<TShowFrames> s = [] {
    auto p = std::make_unique<TShowFrames>();
    return p->Open() ? std::move(p) : nullptr;
  }();
  return s.get();
}

void BM_ReferenceStill(benchmark::State& state) {
  TReference* r = Reference();
  if (!r) return state.SkipWithError("no headless GL device");
  Frames(state, [&] { r->Frame(false); });
}
BENCHMARK(BM_ReferenceStill)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawerStill(benchmark::State& state) {
  TShowFrames* s = Show();
  if (!s) return state.SkipWithError("no headless GL device");
  const double t = kSlideMs / 2.0;
  s->Settle(t);
  Frames(state, [&] { s->Frame(t); });
}
BENCHMARK(BM_DrawerStill)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReferenceCrossFade(benchmark::State& state) {
  TReference* r = Reference();
  if (!r) return state.SkipWithError("no headless GL device");
  Frames(state, [&] { r->Frame(true); });
}
BENCHMARK(BM_ReferenceCrossFade)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DrawerCrossFade(benchmark::State& state) {
  TShowFrames* s = Show();
  if (!s) return state.SkipWithError("no headless GL device");
  const double t = kSlideMs + kFadeMs / 2.0;
  s->Settle(t);
  Frames(state, [&] { s->Frame(t); });
}
BENCHMARK(BM_DrawerCrossFade)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zem

BENCHMARK_MAIN();
