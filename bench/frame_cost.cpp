// Frame cost of the drawer against a minimal OpenGL renderer, both at 1920 × 1080 on the same
// device in the same process (headless llvmpipe in CI):
// - the reference draws one textured quad from a 1920 × 1080 texture (a still picture), or two
//   with the second blended at 50 % (a cross-fade), into the back buffer of its own hidden
//   window of the frame size and presents it, as the drawer does with its window; its texels
//   are in the drawer's byte order (B, G, R, A), so both sample and write the same formats;
// - the drawer draws the frames of a generated two-slide show through the show's own root item:
//   slide 1 still, then slide 2 entering by a one-second cross-fade;
// - BM_ReferenceTiles draws the reference's still picture as the drawer's tiles (the same
//   layout, texels and overlap) in several forms: a texture and a draw per tile as the drawer
//   does, the tiles' quads from the one picture texture, array textures with a layer per tile,
//   and one 2D texture holding the tiles in cells (an atlas); all give the single quad's pixels.
// Every frame waits until the device has finished. Run with SDL_VIDEODRIVER=offscreen
// --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// --benchmark_report_aggregates_only=true and compare the medians of the same run (the ratio is
// what counts, the machine is shared); "cpu_ms" is the processor time of all the process's
// threads per frame. Instructions per frame, which the neighbours do not change:
//   SDL_VIDEODRIVER=offscreen LP_NUM_THREADS=0 valgrind --tool=callgrind
//   --dump-after='*TReference::Frame*' --dump-after='*TShowFrames::Frame*' zem_frame_cost_bench
//   --benchmark_min_time=0.001 --benchmark_repetitions=2
// writes one profile per frame (the "totals:" line); they track processor time only roughly
// (a texture per tile costs 2 % more instructions than the atlas and 20 to 35 % more time).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "render/screen.h"
#include "render/tiling.h"
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

// The picture's texels in the drawer's byte order (B, G, R, A).
std::vector<uint8_t> PhotoTexels(uint32_t seed) {
  TBitmap p = Photo(seed);
  std::vector<uint8_t> rgba(size_t(kW) * kH * 4);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const uint8_t* s = p.Row(y) + 3 * x;
      uint8_t* d = &rgba[(size_t(y) * kW + x) * 4];
      d[0] = s[0], d[1] = s[1], d[2] = s[2], d[3] = 255;
    }
  return rgba;
}

// The texels of one tile of the still picture: picture pixels from one left of / above the
// piece it draws, edge pixels repeated outside the picture, as the drawer's tiles hold them.
std::vector<uint8_t> TileTexels(const std::vector<uint8_t>& picture, const TTilePlacement& p) {
  const TTileSize& s = kTileSizes[p.size_index];
  std::vector<uint8_t> t(size_t(s.w) * s.h * 4);
  for (int32_t j = 0; j < s.h; ++j)
    for (int32_t i = 0; i < s.w; ++i) {
      const int32_t x = std::clamp(p.area.left + i, 0, kW - 1), y = std::clamp(p.area.top + j, 0, kH - 1);
      std::memcpy(&t[(size_t(j) * s.w + i) * 4], &picture[(size_t(y) * kW + x) * 4], 4);
    }
  return t;
}

void LinearClamp(GLenum target) {
  glTexParameteri(target, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(target, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(target, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(target, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

// How the reference draws its still picture. The tiled forms draw the drawer's tiles of the
// picture (LayoutTiles: 32 of 256 × 256 and 8 of 256 × 128 texels at 1920 × 1080), each tile's
// useful part as one quad, and must give the single quad's pixels (checked once at start).
enum class TRefStill {
  kQuad,                  // one quad, one texture
  kTileDraws,             // a texture and a draw per tile (what the drawer does)
  kTileDrawsOneTexture,   // a draw per tile, all from the one picture texture (no switches)
  kTilesOneDraw,          // all tiles in one draw from the one picture texture
  kTileArrays,            // a GL_TEXTURE_2D_ARRAY per tile size, a layer per tile, a draw per size
  kTileArrayOneDraw,      // one 256 × 256 array, a layer per tile, one draw
  kTileAtlasDraws,        // one 2D texture holding the tiles in 256 × 256 cells, a draw per tile
  kTileAtlasOneDraw,      // the same atlas, one draw
  kCount
};

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
    std::vector<uint8_t> first;
    for (int k = 0; k < 2; ++k) {
      std::vector<uint8_t> rgba = PhotoTexels(uint32_t(k + 1));
      glBindTexture(GL_TEXTURE_2D, tex_[k]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kW, kH, 0, GL_BGRA, GL_UNSIGNED_BYTE, rgba.data());
      LinearClamp(GL_TEXTURE_2D);
      if (k == 0) first = std::move(rgba);
    }
    const char* vs =
        "#version 330 core\nlayout(location=0) in vec2 p; out vec2 t;\n"
        "void main(){ t = p * 0.5 + 0.5; gl_Position = vec4(p, 0, 1); }";
    const char* fs =
        "#version 330 core\nin vec2 t; uniform sampler2D s0; uniform float a; out vec4 o;\n"
        "void main(){ vec4 c = texture(s0, t); o = vec4(c.rgb, a); }";
    program_ = Program(vs, fs);
    alpha_ = glGetUniformLocation(program_, "a");
    const float quad[] = {-1, -1, 1, -1, -1, 1, 1, 1};
    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &vbo_);
    glBindBuffer(GL_ARRAY_BUFFER, vbo_);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glEnableVertexAttribArray(0);
    OpenTiles(first);
    glViewport(0, 0, kW, kH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const bool same = SameAsQuad();
    glFinish();
    ctx_->DoneCurrent();
    return same;
  }
  ~TReference() {
    ctx_.reset();
    if (window_) SDL_DestroyWindow(window_);
  }
  // Out of line so that a profiler can count the frames (valgrind --toggle-collect).
  [[gnu::noinline]] void Frame(bool fade, TRefStill still = TRefStill::kQuad) {
    ctx_->MakeCurrent();
    Draw(fade, still);
    ctx_->SwapBuffers();
    glFinish();
    ctx_->DoneCurrent();
  }

 private:
  // Vertices of the tiled forms: frame position (x, y), texture (u, v, layer).
  struct TTileVertex {
    float x, y, u, v, layer;
  };
  // One tiled form: its vertices (6 a tile) and its draws (first vertex, count, texture).
  struct TDraw {
    GLint first;
    GLsizei count;
    unsigned texture;
  };
  struct TForm {
    unsigned vao = 0, vbo = 0, program = 0;
    GLenum target = GL_TEXTURE_2D;
    std::vector<TDraw> draws;
  };
  static constexpr int32_t kAtlasCols = 8;

  void Draw(bool fade, TRefStill still) {
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_BLEND);
    if (still == TRefStill::kQuad) {
      glUseProgram(program_);
      glBindVertexArray(vao_);
      glUniform1f(alpha_, 1);
      glBindTexture(GL_TEXTURE_2D, tex_[0]);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    } else {
      const TForm& f = forms_[int(still)];
      glUseProgram(f.program);
      glBindVertexArray(f.vao);
      unsigned bound = 0;
      for (const TDraw& d : f.draws) {
        if (d.texture != bound) glBindTexture(f.target, bound = d.texture);
        glDrawArrays(GL_TRIANGLES, d.first, d.count);
      }
    }
    if (fade) {
      glUseProgram(program_);
      glBindVertexArray(vao_);
      glEnable(GL_BLEND);
      glUniform1f(alpha_, 0.5f);
      glBindTexture(GL_TEXTURE_2D, tex_[1]);
      glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
  }

  // Every tiled form draws the single quad's pixels (within one level: the texture
  // coordinates differ in their last bits).
  bool SameAsQuad() {
    std::vector<uint8_t> want(size_t(kW) * kH * 4), got(want.size());
    Draw(false, TRefStill::kQuad);
    glReadPixels(0, 0, kW, kH, GL_BGRA, GL_UNSIGNED_BYTE, want.data());
    for (int k = int(TRefStill::kQuad) + 1; k < int(TRefStill::kCount); ++k) {
      Draw(false, TRefStill(k));
      glReadPixels(0, 0, kW, kH, GL_BGRA, GL_UNSIGNED_BYTE, got.data());
      for (size_t i = 0; i < got.size(); ++i)
        if (std::abs(int(got[i]) - int(want[i])) > 1) {
          std::fprintf(stderr, "tiled form %d differs from the single quad at byte %zu\n", k, i);
          return false;
        }
    }
    return true;
  }

  // The still picture as the drawer's tiles, in each of the tiled forms.
  void OpenTiles(const std::vector<uint8_t>& picture) {
    const std::vector<TTilePlacement> tiles = LayoutTiles({0, 0, kW, kH});
    const GLint n = GLint(tiles.size());
    const char* vs =
        "#version 330 core\nlayout(location=0) in vec2 p; layout(location=1) in vec3 t; out vec3 tc;\n"
        "void main(){ tc = t; gl_Position = vec4(p, 0, 1); }";
    const unsigned program2d = Program(vs,
                                       "#version 330 core\nin vec3 tc; uniform sampler2D s0; out vec4 o;\n"
                                       "void main(){ o = vec4(texture(s0, tc.xy).rgb, 1); }");
    const unsigned program_array = Program(vs,
                                           "#version 330 core\nin vec3 tc; uniform sampler2DArray s0; out vec4 o;\n"
                                           "void main(){ o = vec4(texture(s0, tc).rgb, 1); }");
    // Textures: one per tile; an array per tile size; one array of 256 × 256 layers; the atlas.
    std::vector<unsigned> own(tiles.size());
    glGenTextures(n, own.data());
    unsigned arrays[6] = {}, one_array = 0, atlas = 0;
    glGenTextures(6, arrays);
    glGenTextures(1, &one_array);
    glGenTextures(1, &atlas);
    int layers[6] = {}, layer_of[64] = {};
    for (GLint k = 0; k < n; ++k) layer_of[k] = layers[tiles[k].size_index]++;
    for (int i = 0; i < 6; ++i)
      if (layers[i] > 0) {
        glBindTexture(GL_TEXTURE_2D_ARRAY, arrays[i]);
        glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, kTileSizes[i].w, kTileSizes[i].h, layers[i], 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, nullptr);
        LinearClamp(GL_TEXTURE_2D_ARRAY);
      }
    glBindTexture(GL_TEXTURE_2D_ARRAY, one_array);
    glTexImage3D(GL_TEXTURE_2D_ARRAY, 0, GL_RGBA8, 256, 256, n, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    LinearClamp(GL_TEXTURE_2D_ARRAY);
    const int32_t atlas_rows = (n + kAtlasCols - 1) / kAtlasCols;
    glBindTexture(GL_TEXTURE_2D, atlas);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kAtlasCols * 256, atlas_rows * 256, 0, GL_BGRA, GL_UNSIGNED_BYTE,
                 nullptr);
    LinearClamp(GL_TEXTURE_2D);
    for (GLint k = 0; k < n; ++k) {
      const TTileSize& s = kTileSizes[tiles[k].size_index];
      const std::vector<uint8_t> texels = TileTexels(picture, tiles[k]);
      glBindTexture(GL_TEXTURE_2D, own[k]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, s.w, s.h, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
      LinearClamp(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D_ARRAY, arrays[tiles[k].size_index]);
      glTexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, 0, 0, layer_of[k], s.w, s.h, 1, GL_BGRA, GL_UNSIGNED_BYTE,
                      texels.data());
      glBindTexture(GL_TEXTURE_2D_ARRAY, one_array);
      glTexSubImage3D(GL_TEXTURE_2D_ARRAY, 0, 0, 0, k, s.w, s.h, 1, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
      glBindTexture(GL_TEXTURE_2D, atlas);
      glTexSubImage2D(GL_TEXTURE_2D, 0, (k % kAtlasCols) * 256, (k / kAtlasCols) * 256, s.w, s.h, GL_BGRA,
                      GL_UNSIGNED_BYTE, texels.data());
    }

    // Each form's vertices: the tiles in layout order, or grouped by size for the arrays.
    std::vector<GLint> by_size;
    for (int i = 0; i < 6; ++i)
      for (GLint k = 0; k < n; ++k)
        if (tiles[k].size_index == i) by_size.push_back(k);
    for (int f = int(TRefStill::kTileDraws); f < int(TRefStill::kCount); ++f) {
      const TRefStill form = TRefStill(f);
      const bool array = form == TRefStill::kTileArrays || form == TRefStill::kTileArrayOneDraw;
      const bool whole = form == TRefStill::kTileDrawsOneTexture || form == TRefStill::kTilesOneDraw;
      const bool is_atlas = form == TRefStill::kTileAtlasDraws || form == TRefStill::kTileAtlasOneDraw;
      std::vector<TTileVertex> v;
      TForm& out = forms_[f];
      for (GLint j = 0; j < n; ++j) {
        const GLint k = form == TRefStill::kTileArrays ? by_size[j] : j;
        const TTilePlacement& p = tiles[k];
        const TTileSize& s = kTileSizes[p.size_index];
        // The texture's size and where the tile's texels start in it.
        float tw = float(s.w), th = float(s.h), ox = 0, oy = 0, layer = 0;
        if (whole) tw = kW, th = kH, ox = float(p.area.left), oy = float(p.area.top);
        if (form == TRefStill::kTileArrayOneDraw) tw = th = 256;
        if (is_atlas)
          tw = kAtlasCols * 256.0f, th = atlas_rows * 256.0f, ox = float(k % kAtlasCols) * 256,
          oy = float(k / kAtlasCols) * 256;
        if (form == TRefStill::kTileArrays) layer = float(layer_of[k]);
        if (form == TRefStill::kTileArrayOneDraw) layer = float(k);
        const int corner[6][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 1}};
        for (const auto& c : corner) {
          const float x = float(c[0] ? p.useful.right : p.useful.left);
          const float y = float(c[1] ? p.useful.bottom : p.useful.top);
          // Picture row 0 at the bottom of the frame, as the single quad draws it.
          v.push_back({x / kW * 2 - 1, y / kH * 2 - 1, (ox + x - p.area.left) / tw, (oy + y - p.area.top) / th, layer});
        }
        const unsigned texture = whole ? tex_[0]
                                 : is_atlas ? atlas
                                 : form == TRefStill::kTileArrays ? arrays[p.size_index]
                                 : form == TRefStill::kTileArrayOneDraw ? one_array
                                                                        : own[k];
        const bool one_draw = form == TRefStill::kTilesOneDraw || form == TRefStill::kTileArrayOneDraw ||
                              form == TRefStill::kTileAtlasOneDraw ||
                              (form == TRefStill::kTileArrays && j > 0 && tiles[by_size[j - 1]].size_index == p.size_index);
        if (one_draw && !out.draws.empty())
          out.draws.back().count += 6;
        else
          out.draws.push_back({6 * j, 6, texture});
      }
      out.program = array ? program_array : program2d;
      out.target = array ? GL_TEXTURE_2D_ARRAY : GL_TEXTURE_2D;
      glGenVertexArrays(1, &out.vao);
      glBindVertexArray(out.vao);
      glGenBuffers(1, &out.vbo);
      glBindBuffer(GL_ARRAY_BUFFER, out.vbo);
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * sizeof(TTileVertex)), v.data(), GL_STATIC_DRAW);
      glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(TTileVertex), nullptr);
      glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(TTileVertex), reinterpret_cast<const void*>(2 * sizeof(float)));
      glEnableVertexAttribArray(0);
      glEnableVertexAttribArray(1);
    }
  }

  static unsigned Program(const char* vs, const char* fs) {
    unsigned p = glCreateProgram();
    glAttachShader(p, Stage(GL_VERTEX_SHADER, vs));
    glAttachShader(p, Stage(GL_FRAGMENT_SHADER, fs));
    glLinkProgram(p);
    glUseProgram(p);
    glUniform1i(glGetUniformLocation(p, "s0"), 0);
    return p;
  }
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
  TForm forms_[int(TRefStill::kCount)];
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
  // Builds and prepares the slides around t (outside any timing), then draws frames there
  // until every texture is uploaded (uploads are spread over frames by their budget), so the
  // timed frames draw only.
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
    for (int i = 0; i < 1000 && drawer_->Backend().Screen()->PendingUploads() > 0; ++i) Frame(t);
    Frame(t);
  }
  // Out of line so that a profiler can count the frames (valgrind --toggle-collect).
  [[gnu::noinline]] void Frame(double t) {
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

constexpr const char* kNoReference = "no headless GL device, or a tiled form differs (see the error output)";

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
  if (!r) return state.SkipWithError(kNoReference);
  Frames(state, [&] { r->Frame(false); });
}
BENCHMARK(BM_ReferenceStill)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reference's still picture drawn as the drawer's tiles in several forms: where the tiles'
// cost goes (texture switches, draws, array sampling, the split into tile-sized triangles).
void BM_ReferenceTiles(benchmark::State& state, TRefStill how) {
  TReference* r = Reference();
  if (!r) return state.SkipWithError(kNoReference);
  Frames(state, [&] { r->Frame(false, how); });
}
#define ZEM_TILED_FORM(name, form) \
  BENCHMARK_CAPTURE(BM_ReferenceTiles, name, form)->Unit(benchmark::kMillisecond)->UseRealTime()
ZEM_TILED_FORM(DrawPerTile, TRefStill::kTileDraws);
ZEM_TILED_FORM(DrawPerTileOneTexture, TRefStill::kTileDrawsOneTexture);
ZEM_TILED_FORM(OneDrawOneTexture, TRefStill::kTilesOneDraw);
ZEM_TILED_FORM(ArrayPerSize, TRefStill::kTileArrays);
ZEM_TILED_FORM(OneArrayOneDraw, TRefStill::kTileArrayOneDraw);
ZEM_TILED_FORM(AtlasDrawPerTile, TRefStill::kTileAtlasDraws);
ZEM_TILED_FORM(AtlasOneDraw, TRefStill::kTileAtlasOneDraw);

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
  if (!r) return state.SkipWithError(kNoReference);
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
