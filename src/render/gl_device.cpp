#include "render/gl_device.h"

#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "render/draw_device.h"

namespace zem {

// ---------------------------------------------------------------------------------------------
// Free helpers of the abstract API

std::recursive_mutex& DeviceMutex() {
  static std::recursive_mutex m;
  return m;
}

int BytesPerTexel(int format) {
  switch (format) {
    case kFmtLuminance8: return 1;
    case kFmtGrey565: return 2;
    default: return 4;
  }
}

bool IsRenderTargetFormat(int format) { return format == kFmtTarget || format == kFmtTargetAlpha; }

int DxErrorClass(TDxResult r) {
  switch (r) {
    case TDxResult::Ok: return 0;
    case TDxResult::InvalidCall: return 1;
    case TDxResult::OutOfVideoMemory: return 2;
    default: return 3;
  }
}

int ShaderLevelFor(int64_t vendor, int64_t ps_version) {
  constexpr int64_t kIntel = 32902;
  if (vendor == kIntel && ps_version >= 0x0300) return 2;
  if (ps_version < 0x0200) return 0;
  return vendor == kIntel ? 1 : 2;
}

uint32_t PresentSleepMs(int refresh_rate, int64_t since_last_present) {
  int period = 1000 / (refresh_rate > 0 ? refresh_rate : 60);
  int64_t wait = std::clamp<int64_t>(period - since_last_present, 1, period);
  return static_cast<uint32_t>(std::max<int64_t>(1, wait - 3));
}

bool TProjection::Project(const TVec3& p, TPointF& out) const {
  float zv = camera + p.z;
  if (zv <= kNear) return false;
  float w = zv / camera;
  out.x = centre_x * scale_x + offset_x + (p.x - centre_x) * scale_x / w;
  out.y = centre_y * scale_y + offset_y + (p.y - centre_y) * scale_y / w;
  return true;
}

bool TProjection::Unproject(TPointF s, const TVec3& n, float d, TVec3& out) const {
  // p.xy = centre + a·(camera + z) / camera with a = (s − projected centre) / scale.
  float a = (s.x - (centre_x * scale_x + offset_x)) / scale_x;
  float b = (s.y - (centre_y * scale_y + offset_y)) / scale_y;
  float k = n.x * a / camera + n.y * b / camera + n.z;
  if (std::fabs(k) < 1e-12f) return false;
  float z = (d - n.x * (centre_x + a) - n.y * (centre_y + b)) / k;
  float w = (camera + z) / camera;
  out = {centre_x + a * w, centre_y + b * w, z};
  return true;
}

// ---------------------------------------------------------------------------------------------
// Programs

namespace {

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 aPos;
layout(location = 1) in vec4 aColor;
layout(location = 2) in vec2 aT0;
layout(location = 3) in vec2 aT1;
layout(location = 4) in vec2 aT2;
uniform vec4 uProj0;    // scale.xy, offset.xy (target pixels)
uniform vec4 uProj1;    // centre.xy, camera distance, 1 = first row at the top of the target
uniform vec4 uViewport; // left, top, width, height (target pixels, y down)
out vec4 v;
out vec2 t0;
out vec2 t1;
out vec2 t2;
void main() {
  float zv = uProj1.z + aPos.z;
  float w = zv / uProj1.z;
  vec2 d = (aPos.xy - uProj1.xy) * uProj0.xy;
  vec2 cs = uProj1.xy * uProj0.xy + uProj0.zw;
  vec2 clip = ((cs - uViewport.xy) / uViewport.zw * 2.0 - 1.0) * w + d / uViewport.zw * 2.0;
  if (uProj1.w < 0.5) clip.y = -clip.y;
  float q = 1e6 / (1e6 - 0.01);
  float zc = (2.0 * q * (zv - 0.01) - zv) / uProj1.z;
  gl_Position = vec4(clip, zc, w);
  v = aColor;
  t0 = aT0;
  t1 = aT1;
  t2 = aT2;
}
)";

// Drawing without a pixel program: one program per combination of texture and vertex colour
// (FixedProgram), so no pixel runs a branch on it; a software rasterizer would pay for every
// branch at every pixel, and an unused colour is not even interpolated.
#define ZEM_FIXED_FRAGMENT(body) \
  "#version 330 core\nin vec4 v;\nin vec2 t0;\nuniform sampler2D s0;\nout vec4 oColor;\nvoid main() { " body " }\n"
const char* const kFixedFragments[kFixedPrograms] = {
    ZEM_FIXED_FRAGMENT("oColor = v;"),
    ZEM_FIXED_FRAGMENT("oColor = texture(s0, t0);"),
    ZEM_FIXED_FRAGMENT("vec4 t = texture(s0, t0); oColor = vec4(t.rgb * v.rgb, t.a);"),
    ZEM_FIXED_FRAGMENT("vec4 t = texture(s0, t0); oColor = vec4(t.rgb, t.a * v.a);"),
    ZEM_FIXED_FRAGMENT("oColor = texture(s0, t0) * v;"),
};
#undef ZEM_FIXED_FRAGMENT

unsigned CompileStage(GLenum kind, std::string_view src, std::string& log) {
  unsigned sh = glCreateShader(kind);
  const char* p = src.data();
  GLint len = static_cast<GLint>(src.size());
  glShaderSource(sh, 1, &p, &len);
  glCompileShader(sh);
  GLint ok = 0;
  glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char buf[2048];
    GLsizei n = 0;
    glGetShaderInfoLog(sh, sizeof buf, &n, buf);
    log.assign(buf, n);
    glDeleteShader(sh);
    return 0;
  }
  return sh;
}

bool LinkProgram(unsigned vs, std::string_view fragment, TProgramInfo& info) {
  std::string log;
  unsigned fs = CompileStage(GL_FRAGMENT_SHADER, fragment, log);
  if (!fs) {
    LogLine("TShader: compile failed: " + log);
    return false;
  }
  unsigned prog = glCreateProgram();
  glAttachShader(prog, vs);
  glAttachShader(prog, fs);
  glLinkProgram(prog);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(prog, GL_LINK_STATUS, &ok);
  if (!ok) {
    char buf[2048];
    GLsizei n = 0;
    glGetProgramInfoLog(prog, sizeof buf, &n, buf);
    LogLine("TShader: link failed: " + std::string(buf, n));
    glDeleteProgram(prog);
    return false;
  }
  info.program = prog;
  info.proj0 = glGetUniformLocation(prog, "uProj0");
  info.proj1 = glGetUniformLocation(prog, "uProj1");
  info.viewport = glGetUniformLocation(prog, "uViewport");
  info.constants = glGetUniformLocation(prog, "c");
  glUseProgram(prog);
  const char* samplers[3] = {"s0", "s1", "s2"};
  for (int i = 0; i < 3; ++i) {
    int loc = glGetUniformLocation(prog, samplers[i]);
    if (loc >= 0) glUniform1i(loc, i);
  }
  return true;
}

int64_t VendorId(const std::string& vendor) {
  auto has = [&](const char* s) { return vendor.find(s) != std::string::npos; };
  if (has("Intel")) return 0x8086;
  if (has("NVIDIA")) return 0x10DE;
  if (has("AMD") || has("ATI")) return 0x1002;
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Device objects

namespace {

class T3DTextureGL : public T3DTexture {
 public:
  T3DTextureGL(std::shared_ptr<TDevStore> store, TDeviceObject* owner, int32_t w, int32_t h, int fmt)
      : store_(std::move(store)), owner_(owner), w_(w), h_(h), fmt_(fmt),
        surface_(0, w, h, fmt == kFmtTargetAlpha) {}
  ~T3DTextureGL() override {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    if (owner_) store_->Forget(owner_);
    if (surface_.fbo) store_->DeleteName(TDevStore::TName::Framebuffer, surface_.fbo);
    if (tex) store_->DeleteName(TDevStore::TName::Texture, tex);
  }
  int32_t Width() const override { return w_; }
  int32_t Height() const override { return h_; }
  int Format() const override { return fmt_; }
  T3DSurface* Surface() override { return IsRenderTargetFormat(fmt_) ? &surface_ : nullptr; }

  bool Make() {
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    GLenum internal, format, type;
    Layout(internal, format, type);
    glTexImage2D(GL_TEXTURE_2D, 0, internal, w_, h_, 0, format, type, nullptr);
    if (fmt_ == kFmtLuminance8) {
      GLint sw[4] = {GL_RED, GL_RED, GL_RED, GL_ONE};
      glTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_RGBA, sw);
    } else if (fmt_ == kFmtTarget) {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    }
    if (IsRenderTargetFormat(fmt_)) {
      glGenFramebuffers(1, &surface_.fbo);
      glBindFramebuffer(GL_FRAMEBUFFER, surface_.fbo);
      glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
      bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
      if (complete) {
        // A fresh target starts transparent black (device memory is otherwise undefined).
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT);
      }
      return complete;
    }
    return true;
  }

  void Layout(GLenum& internal, GLenum& format, GLenum& type) const {
    switch (fmt_) {
      case kFmtLuminance8: internal = GL_R8; format = GL_RED; type = GL_UNSIGNED_BYTE; break;
      case kFmtGrey565: internal = GL_RGB565; format = GL_RGB; type = GL_UNSIGNED_SHORT_5_6_5; break;
      default: internal = GL_RGBA8; format = GL_BGRA; type = GL_UNSIGNED_BYTE; break;
    }
  }

  bool Upload(const TIntRect& area, const uint8_t* data, int64_t pitch) override {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    TIntRect a = area.Intersect({0, 0, w_, h_});
    int bpp = BytesPerTexel(fmt_);
    if (a.Empty() || !tex || pitch % bpp != 0 || !store_->Acquire()) return false;
    GLenum internal, format, type;
    Layout(internal, format, type);
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch / bpp));
    glTexSubImage2D(GL_TEXTURE_2D, 0, a.left, a.top, a.Width(), a.Height(), format, type, data);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    has_mips_ = false;  // the chain is made again when it is asked for
    bool ok = glGetError() == GL_NO_ERROR;
    store_->Release();
    return ok;
  }

  // Mip chains exist only where the adapter filters anisotropically (raster bit 17); without
  // that, textures are sampled without a mip filter.
  bool UploadMip(int level, const uint8_t* data, int64_t pitch) override {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    const int bpp = BytesPerTexel(fmt_);
    if (level < 1 || !tex || IsRenderTargetFormat(fmt_) || !MipsAvailable() || pitch % bpp != 0 || !store_->Acquire())
      return false;
    const int32_t w = TBitmap::ReducedSide(w_, level), h = TBitmap::ReducedSide(h_, level);
    GLenum internal, format, type;
    Layout(internal, format, type);
    glBindTexture(GL_TEXTURE_2D, tex);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(pitch / bpp));
    glTexImage2D(GL_TEXTURE_2D, level, internal, w, h, 0, format, type, data);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    if (w == 1 && h == 1) {
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, level);
      has_mips_ = true;
    }
    bool ok = glGetError() == GL_NO_ERROR;
    store_->Release();
    return ok;
  }

  // Texture bound on the active unit, context current (drawing thread).
  void ApplySampler(const TSamplerState& s, int64_t anisotropy) {
    const bool mip = s.anisotropic && !s.nearest && MipsAvailable();
    if (mip && !has_mips_) GenerateBound();  // sampled filtered before any upload asked for it
    if (sampler_valid_ && s.nearest == sampler_.nearest && s.address_u == sampler_.address_u &&
        s.address_v == sampler_.address_v && s.anisotropic == sampler_.anisotropic &&
        s.mip_bias == sampler_.mip_bias && mip == sampler_mip_)
      return;
    auto wrap = [](uint8_t m) {
      return m == kAddressWrap ? GL_REPEAT : m == kAddressMirror ? GL_MIRRORED_REPEAT : GL_CLAMP_TO_EDGE;
    };
    GLint filter = s.nearest ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, mip ? GL_LINEAR_MIPMAP_LINEAR : filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap(s.address_u));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap(s.address_v));
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, s.mip_bias);
    if (MipsAvailable())
      glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, mip ? float(std::max<int64_t>(1, anisotropy)) : 1.0f);
    sampler_ = s;
    sampler_mip_ = mip;
    sampler_valid_ = true;
  }

  unsigned tex = 0;

 private:
  bool MipsAvailable() const {
    return (T3DEngineGL::Instance().Caps(store_->Adapter()).raster & (int64_t(1) << 17)) != 0;
  }
  // The chain made by the device, for a texture sampled filtered without one (rare: the
  // uploads bring their chains).
  void GenerateBound() {
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 1000);
    glGenerateMipmap(GL_TEXTURE_2D);
    has_mips_ = true;
  }

  std::shared_ptr<TDevStore> store_;
  TDeviceObject* owner_;
  int32_t w_, h_;
  int fmt_;
  T3DSurfaceGL surface_;
  TSamplerState sampler_;
  bool sampler_valid_ = false;
  bool sampler_mip_ = false;
  bool has_mips_ = false;  // levels above 0 made from the current level 0
};

class T3DVertexListGL : public T3DVertexList {
 public:
  T3DVertexListGL(std::shared_ptr<TDevStore> store, TDeviceObject* owner, size_t cap)
      : store_(std::move(store)), owner_(owner), cap_(cap) {}
  ~T3DVertexListGL() override {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    if (owner_) store_->Forget(owner_);
    if (buffer) store_->DeleteName(TDevStore::TName::Buffer, buffer);
  }
  bool Upload(const TVertex* v, size_t count) override {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    if (count > cap_ || !buffer || !store_->Acquire()) return false;
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferSubData(GL_ARRAY_BUFFER, 0, count * sizeof(TVertex), v);
    bool ok = glGetError() == GL_NO_ERROR;
    store_->Release();
    return ok;
  }
  size_t Capacity() const override { return cap_; }
  unsigned buffer = 0;

 private:
  std::shared_ptr<TDevStore> store_;
  TDeviceObject* owner_;
  size_t cap_;
};

class T3DShaderGL : public T3DShader {
 public:
  T3DShaderGL(std::shared_ptr<TDevStore> store, TDeviceObject* owner, int kind)
      : store_(std::move(store)), owner_(owner), kind_(kind) {}
  ~T3DShaderGL() override {
    std::lock_guard<std::recursive_mutex> g(DeviceMutex());
    if (owner_) store_->Forget(owner_);
    if (info.program) store_->DeleteName(TDevStore::TName::Program, info.program);
  }
  int Kind() const override { return kind_; }
  TProgramInfo info;

 private:
  std::shared_ptr<TDevStore> store_;
  TDeviceObject* owner_;
  int kind_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TDevStore

TDevStore::TDevStore(std::unique_ptr<TGLContext> ctx, TDrawDevice* device, int adapter)
    : ctx_(std::move(ctx)), device_(device), adapter_(adapter) {
  // The context was made current by its creation on this thread.
  holder_ = std::this_thread::get_id();
  depth_ = 1;
}

TDevStore::~TDevStore() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!disposed_) {
    if (Acquire()) {
      DoDispose();
    } else {
      // Held by a scene on another thread: the context cannot be freed from here.
      LogLine("TDevStore: context still in use by another thread, left to the process end");
      (void)ctx_.release();
    }
  }
}

bool TDevStore::HeldHere() const {
  return !disposed_ && depth_ > 0 && holder_ == std::this_thread::get_id();
}

bool TDevStore::Acquire() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (disposed_ || !ctx_) return false;
  auto self = std::this_thread::get_id();
  if (depth_ > 0) {
    if (holder_ != self) return false;
    ++depth_;
    return true;
  }
  if (!ctx_->MakeCurrent()) {
    LogLine(std::string("TDevStore: MakeCurrent failed: ") + SDL_GetError());
    return false;
  }
  holder_ = self;
  depth_ = 1;
  RunGarbage();
  return true;
}

void TDevStore::Release() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (disposed_ || depth_ == 0 || holder_ != std::this_thread::get_id()) return;
  if (--depth_ > 0) return;
  if (dispose_pending_) {
    ++depth_;
    DoDispose();
    auto& pend = T3DEngineGL::Instance().pending_disposal;
    std::erase_if(pend, [&](auto& s) { return s.get() == this; });
    return;
  }
  RunGarbage();
  ctx_->DoneCurrent();
  holder_ = std::thread::id();
}

void TDevStore::DeleteName(TName kind, unsigned name) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (disposed_ || name == 0) return;  // the context and its names are gone already
  if (!HeldHere()) {
    garbage_.emplace_back(kind, name);
    return;
  }
  switch (kind) {
    case TName::Texture: glDeleteTextures(1, &name); break;
    case TName::Framebuffer: glDeleteFramebuffers(1, &name); break;
    case TName::Buffer: glDeleteBuffers(1, &name); break;
    case TName::Program: glDeleteProgram(name); break;
    case TName::VertexArray: glDeleteVertexArrays(1, &name); break;
  }
}

void TDevStore::RunGarbage() {
  auto g = std::move(garbage_);
  garbage_.clear();
  for (auto& [k, n] : g) DeleteName(k, n);
}

void TDevStore::Dispose() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (disposed_) return;
  if (!Acquire()) {
    dispose_pending_ = true;
    return;
  }
  DoDispose();
}

void TDevStore::DoDispose() {
  // Context is current here (depth_ > 0): the objects' names are deleted on it below.
  TReleaseData release;
  if (device_ && device_->Window()) release.window_id = SDL_GetWindowID(device_->Window());
  if (exclusive && device_) {
    release.restore = true;
    release.rect = device_->restore_rect;
    LogLine("Store.Dispose FullScreen, R= " + release.rect.ToString());
  }
  auto objects = objects_;
  for (TDeviceObject* o : objects)
    if (objects_.count(o)) o->DropDeviceObject();
  objects_.clear();
  RunGarbage();
  for (TProgramInfo& p : fixed_programs)
    if (p.program) glDeleteProgram(p.program);
  if (vertex_shader) glDeleteShader(vertex_shader);
  if (stream_vbo) glDeleteBuffers(1, &stream_vbo);
  if (vao) glDeleteVertexArrays(1, &vao);
  for (TProgramInfo& p : fixed_programs) p = {};
  vertex_shader = stream_vbo = vao = 0;
  disposed_ = true;
  dispose_pending_ = false;
  depth_ = 0;
  holder_ = std::thread::id();
  // The context was made on the user-interface thread and is freed there.
  ctx_->DoneCurrent();
  release.context = std::move(ctx_);
  auto& engine = T3DEngineGL::Instance();
  if (!engine.OnUiThread() && release.restore) LogLine("TDevStore.Dispose, not main thread");
  engine.PostRelease(std::move(release));
}

void TReleaseData::Run() {
  context.reset();
  if (!restore) return;
  LogLine("Setwndposlocal " + rect.ToString());
  if (SDL_Window* w = window_id ? SDL_GetWindowFromID(window_id) : nullptr) {
    SDL_SetWindowFullscreen(w, 0);
    SDL_SetWindowPosition(w, rect.left, rect.top);
    SDL_SetWindowSize(w, rect.Width(), rect.Height());
  }
}

// ---------------------------------------------------------------------------------------------
// T3DEngineGL

T3DEngineGL::T3DEngineGL() : ui_thread_(std::this_thread::get_id()) {}

T3DEngineGL& T3DEngineGL::Instance() {
  // Made once (a thread-safe static) without the device mutex: the user-interface thread asks
  // for the instance while the drawing thread holds that mutex through a whole frame.
  static T3DEngineGL* engine = new T3DEngineGL();  // lives for the whole process
  return *engine;
}

void T3DEngineGL::SetWakeUp(std::function<void()> wake) {
  std::lock_guard<std::mutex> g(request_lock_);
  wake_ = std::move(wake);
}

void T3DEngineGL::PostRequest(std::function<void()> request) {
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> g(request_lock_);
    requests_.push_back(std::move(request));
    wake = wake_;
  }
  if (wake) wake();
}

void T3DEngineGL::SetRestackHook(std::function<void(uint32_t)> hook) {
  std::lock_guard<std::mutex> g(request_lock_);
  restack_ = std::move(hook);
}

void T3DEngineGL::RequestRestack(SDL_Window* window) {
  const uint32_t id = window ? SDL_GetWindowID(window) : 0;
  if (!id) return;
  auto run = [this, id]() {
    std::function<void(uint32_t)> hook;
    {
      std::lock_guard<std::mutex> g(request_lock_);
      hook = restack_;
    }
    if (hook) hook(id);
  };
  if (OnUiThread())
    run();
  else
    PostRequest(run);
}

void T3DEngineGL::PostRelease(TReleaseData release) {
  if (OnUiThread()) {
    release.Run();
    return;
  }
  {
    std::lock_guard<std::mutex> g(request_lock_);
    releases_.push_back(std::make_shared<TReleaseData>(std::move(release)));
  }
  PostRequest([this]() { RunReleases(); });
}

int T3DEngineGL::RunReleases() {
  std::vector<std::shared_ptr<TReleaseData>> due;
  {
    std::lock_guard<std::mutex> g(request_lock_);
    due.swap(releases_);
  }
  for (auto& r : due) r->Run();
  return static_cast<int>(due.size());
}

int T3DEngineGL::RunPendingRequests() {
  int n = 0;
  for (;;) {
    std::function<void()> r;
    {
      std::lock_guard<std::mutex> g(request_lock_);
      if (requests_.empty()) break;
      r = std::move(requests_.front());
      requests_.pop_front();
    }
    r();
    ++n;
  }
  return n;
}

int T3DEngineGL::AdapterForRect(const TIntRect& r) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return 0;
  int best = 0;
  int64_t best_area = 0;
  int n = SDL_GetNumVideoDisplays();
  for (int i = 0; i < n; ++i) {
    SDL_Rect b;
    if (SDL_GetDisplayBounds(i, &b) != 0) continue;
    TIntRect m{b.x, b.y, b.x + b.w, b.y + b.h};
    TIntRect s = m.Intersect(r);
    int64_t area = s.Empty() ? 0 : int64_t(s.Width()) * s.Height();
    if (area > best_area) {
      best_area = area;
      best = i;
    }
  }
  return best;
}

int64_t T3DEngineGL::GetCaps(const std::string& name, int adapter) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  const TCapsWrapper& c = caps_[adapter];
  std::string n = name;
  std::transform(n.begin(), n.end(), n.begin(), [](unsigned char ch) { return std::tolower(ch); });
  if (n == "pixelshaderversion") return c.ps_version;
  if (n == "maxtexwidth") return c.max_tex_width;
  if (n == "maxtexheight") return c.max_tex_height;
  if (n == "maxanisotropy") return c.max_anisotropy;
  if (n == "raster") return c.raster;
  if (n == "vendor") return c.vendor;
  return 0;
}

bool T3DEngineGL::GetDisplayMode(int adapter, TDisplayMode& mode) {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  SDL_Rect b;
  SDL_DisplayMode dm;
  if (SDL_GetDisplayBounds(adapter, &b) != 0 || SDL_GetCurrentDisplayMode(adapter, &dm) != 0)
    return false;
  mode.monitor = {b.x, b.y, b.x + b.w, b.y + b.h};
  mode.refresh_rate = dm.refresh_rate;
  mode.format = SDL_BITSPERPIXEL(dm.format);
  return true;
}

bool T3DEngineGL::InitCheck() {
  if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  // Lost: a released device whose context a scene on another thread still holds.
  std::erase_if(pending_disposal, [](const std::shared_ptr<TDevStore>& st) { return st->Disposed(); });
  if (!pending_disposal.empty()) return false;
  // Not reset: released devices whose contexts wait for the user-interface thread.
  bool waiting;
  {
    std::lock_guard<std::mutex> r(request_lock_);
    waiting = !releases_.empty();
  }
  if (!waiting) return true;
  if (!OnUiThread()) return false;  // the posted release resets it there
  RunReleases();
  return true;
}

int T3DEngineGL::ShaderLevel(int adapter) {
  if (forced_level_ >= 0) return std::min(forced_level_, 2);
  return ShaderLevelFor(GetCaps("vendor", adapter), GetCaps("pixelshaderversion", adapter));
}

std::unique_ptr<T3DRenderer> T3DEngineGL::CreateRenderer(TDrawDevice* device, const TDisplayMode& mode,
                                                         int adapter) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  auto r = std::make_unique<T3DRendererGL>(device, mode, adapter);
  if (OnUiThread()) {
    InternalCreateRenderer(r.get());
  } else {
    // Device creation belongs to the user-interface thread; the renderer stays in state 1 until
    // the request has run there.
    r->init_ = std::make_shared<T3DRendererGL::TInitData>(T3DRendererGL::TInitData{r.get()});
    std::weak_ptr<T3DRendererGL::TInitData> weak = r->init_;
    PostRequest([this, weak]() {
      std::lock_guard<std::recursive_mutex> g(DeviceMutex());
      if (auto d = weak.lock()) InternalCreateRenderer(d->renderer);
    });
  }
  return r;
}

void T3DEngineGL::InternalCreateRenderer(T3DRendererGL* r) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  TDrawDevice* dev = r->device_;
  r->init_.reset();
  r->full_screen_ = dev->FullScreen();
  r->exclusive_ = dev->FullScreen() && exclusive_allowed_ && !dev->has_restore_rect;
  SDL_Window* win = dev->Window();
  if (r->exclusive_) {
    LogLine("T3DEngine9.InternalCreateRenderer - exclusive");
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(win, &x, &y);
    SDL_GetWindowSize(win, &w, &h);
    dev->restore_rect = {x, y, x + w, y + h};
    dev->has_restore_rect = true;
    SDL_SetWindowFullscreen(win, SDL_WINDOW_FULLSCREEN);
  } else {
    LogLine("T3DEngine9.InternalCreateRenderer: init windowed device: " + dev->Bounds().ToString());
    dev->has_restore_rect = false;
  }
  std::shared_ptr<TDevStore> store;
  if (!r->exclusive_) {
    store = std::dynamic_pointer_cast<TDevStore>(dev->Store(r->adapter_));
    if (store && store->Disposed()) store.reset();
  }
  int res = 0;
  if (!store) {
    std::string err;
    auto ctx = TGLContext::Create(win, &err);
    if (!ctx) {
      res = -1;
      LogLine("T3DEngine9.InternalCreateRenderer: create device res= " + std::to_string(res));
      LogLine("TGLContext: " + err);
      r->state_ = T3DRendererGL::kLost;  // no device: the screen makes a new renderer later
      return;
    }
    store = std::make_shared<TDevStore>(std::move(ctx), dev, r->adapter_);
    store->exclusive = r->exclusive_;
    // First context on this adapter: record its abilities.
    TCapsWrapper& c = caps_[r->adapter_];
    const char* vendor = reinterpret_cast<const char*>(glGetString(GL_VENDOR));
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    c.vendor_text = vendor ? vendor : "";
    c.renderer_text = renderer ? renderer : "";
    c.vendor = VendorId(c.vendor_text);
    for (const char* soft : {"llvmpipe", "softpipe", "SwiftShader"})
      if (c.renderer_text.find(soft) != std::string::npos) c.software = true;
    int glsl = epoxy_glsl_version();
    c.ps_version = glsl >= 330 ? 0x0300 : glsl >= 130 ? 0x0200 : 0x0100;
    GLint max_tex = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_tex);
    c.max_tex_width = c.max_tex_height = max_tex;
    c.raster = 1 << 13;
    c.max_anisotropy = 1;
    if (epoxy_gl_version() >= 46 || epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic") ||
        epoxy_has_gl_extension("GL_ARB_texture_filter_anisotropic")) {
      GLfloat a = 1;
      glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &a);
      c.max_anisotropy = static_cast<int64_t>(a);
      c.raster |= 1 << 17;
    }
    glGetError();
    c.valid = true;
    store->Context()->SetSwapInterval(dev->Paced() ? 1 : 0);
    // Per-context resources: the shared vertex program, the default program and the stream.
    std::string log;
    store->vertex_shader = CompileStage(GL_VERTEX_SHADER, kVertexShader, log);
    bool linked = store->vertex_shader != 0;
    for (int i = 0; i < kFixedPrograms && linked; ++i)
      linked = LinkProgram(store->vertex_shader, kFixedFragments[i], store->fixed_programs[i]);
    if (!linked) {
      LogLine("T3DEngine9.InternalCreateRenderer: base programs failed " + log);
      res = -1;
    }
    glGenVertexArrays(1, &store->vao);
    glGenBuffers(1, &store->stream_vbo);
    store->Release();
    dev->SetStore(r->adapter_, store);
  }
  LogLine("T3DEngine9.InternalCreateRenderer: create device res= " + std::to_string(res));
  if (res != 0) {
    dev->DropStore(store.get());
    store->Dispose();
    r->state_ = T3DRendererGL::kLost;
    return;
  }
  r->store_ = store;
  // Anisotropic minification at the adapter's level, at most 4. A software rasterizer samples
  // trilinearly from the same mip chains instead: there anisotropic taps double the cost of
  // every picture frame (bench/frame_cost), which no frame rate on it can afford.
  const TCapsWrapper& caps = caps_[r->adapter_];
  r->anisotropy_ = (caps.raster & (int64_t(1) << 17)) && !caps.software
                       ? int(std::clamp<int64_t>(caps.max_anisotropy, 1, 4))
                       : 1;
  // The refresh rate of the window's display; 60 Hz when the display reports none.
  SDL_DisplayMode wm;
  int hz = r->mode_.refresh_rate;
  if (win && SDL_GetWindowDisplayMode(win, &wm) == 0 && wm.refresh_rate > 0) hz = wm.refresh_rate;
  r->refresh_ = hz > 0 ? hz : 60;
  r->last_active_ = dev->IsActive();
  r->state_ = T3DRendererGL::kUsable;
}

// ---------------------------------------------------------------------------------------------
// T3DRendererGL

T3DRendererGL::T3DRendererGL(TDrawDevice* device, const TDisplayMode& mode, int adapter)
    : device_(device), mode_(mode), adapter_(adapter) {}

T3DRendererGL::~T3DRendererGL() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (in_scene_) EndScene();
  if (exclusive_ && store_) {
    LogLine("Dispose FullScreen, R= " + device_->restore_rect.ToString());
    if (!T3DEngineGL::Instance().OnUiThread())
      LogLine("T3DRenderer9.Dispose: exclusive mode, not main thread");
    // An exclusive store belongs to this renderer alone.
    device_->DropStore(store_.get());
    store_->Dispose();
  }
  store_.reset();
}

bool T3DRendererGL::Check(const char* what) {
  GLenum e = store_ && store_->HeldHere() ? glGetError() : GL_NO_ERROR;
  TDxResult r = TDxResult::Ok;
  if (simulate_loss_) {
    simulate_loss_ = false;
    r = TDxResult::Lost;
  } else if (e == GL_OUT_OF_MEMORY) {
    r = TDxResult::OutOfVideoMemory;
  } else if (e == GL_INVALID_ENUM || e == GL_INVALID_VALUE || e == GL_INVALID_OPERATION ||
             e == GL_INVALID_FRAMEBUFFER_OPERATION) {
    r = TDxResult::InvalidCall;
  } else if (e != GL_NO_ERROR) {
    r = e == GL_CONTEXT_LOST ? TDxResult::Lost : TDxResult::Other;
  }
  if (r == TDxResult::Ok) return true;
  (void)what;
  LogLine("Dx Error = " + std::to_string(DxErrorClass(r)));
  if (r == TDxResult::Lost) Lost();
  return false;
}

void T3DRendererGL::Lost() {
  state_ = kLost;
  LogLine("T3DRenderer9: DEVICE LOST!");
  ReleaseStore(true);
}

void T3DRendererGL::ReleaseStore(bool lost) {
  (void)lost;
  if (!store_) return;
  auto store = std::move(store_);
  in_scene_ = false;
  device_->DropStore(store.get());
  if (!store->Disposed()) {
    store->Dispose();
    if (!store->Disposed()) T3DEngineGL::Instance().pending_disposal.push_back(store);
  }
  if (on_release_) on_release_();
}

bool T3DRendererGL::BeginScene() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !store_) return false;
  if (exclusive_) {
    // The device is made before the window is first shown: only a change after the window was
    // active counts (showing it is no return to it).
    bool active = device_->IsActive();
    if (active != last_active_) {
      last_active_ = active;
      if (active && left_foreground_) {
        // Coming back to the exclusive window: start over with a fresh device.
        state_ = kLost;
        ReleaseStore(false);
        return false;
      }
      if (!active && was_active_) {
        // Another window took the foreground: ours stops covering it.
        left_foreground_ = true;
        T3DEngineGL::Instance().RequestRestack(device_->Window());
      }
    }
    if (active) was_active_ = true;
  }
  if (!store_->Acquire()) return false;
  store_->BeginHold();
  in_scene_ = true;
  int w = 0, h = 0;
  store_->Context()->DrawableSize(w, h);
  back_.w = w;
  back_.h = h;
  target_ = &back_;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_SCISSOR_TEST);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  blend_mode_ = 0;
  premultiplied_ = false;
  ApplyBlend();
  program_ = nullptr;
  SetViewport({0, 0, w, h});
  return Check("BeginScene");
}

void T3DRendererGL::EndScene() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!in_scene_) return;
  in_scene_ = false;
  for (int i = 0; i < bound_textures_; ++i) {
    glActiveTexture(GL_TEXTURE0 + i);
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  bound_textures_ = 0;
  textured_ = false;
  glActiveTexture(GL_TEXTURE0);
  if (store_) {
    store_->EndHold();
    store_->Release();
  }
}

bool T3DRendererGL::Present() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !store_ || !in_scene_) {
    EndScene();
    return false;
  }
  auto& engine = T3DEngineGL::Instance();
  if (device_->Paced()) {
    double now = TimeGetTimeExact();
    int64_t since = engine.last_present_ms > 0 ? int64_t(now - engine.last_present_ms) : 1000;
    SleepMs(PresentSleepMs(refresh_, since));
  }
  bool ok = Check("Present");
  if (ok) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    store_->Context()->SwapBuffers();
    engine.last_present_ms = TimeGetTimeExact();
  }
  EndScene();
  return ok;
}

bool T3DRendererGL::SetRenderTarget(T3DSurface* surface) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !in_scene_) return false;
  auto* s = surface ? static_cast<T3DSurfaceGL*>(surface) : &back_;
  target_ = s;
  glBindFramebuffer(GL_FRAMEBUFFER, s->fbo);
  ApplyBlend();
  return Check("SetRenderTarget");
}

void T3DRendererGL::SetViewport(const TIntRect& r) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  viewport_ = r;
  if (!in_scene_) return;
  int y = target_->fbo ? r.top : target_->h - r.bottom;
  glViewport(r.left, y, std::max(0, r.Width()), std::max(0, r.Height()));
}

void T3DRendererGL::Clear(uint32_t argb, bool depth, const TIntRect* rect) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !in_scene_) return;
  if (rect) {
    TIntRect r = rect->Intersect({0, 0, target_->w, target_->h});
    if (r.Empty()) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.left, target_->fbo ? r.top : target_->h - r.bottom, r.Width(), r.Height());
  }
  glClearColor(((argb >> 16) & 255) / 255.0f, ((argb >> 8) & 255) / 255.0f, (argb & 255) / 255.0f,
               (argb >> 24) / 255.0f);
  glClear(GL_COLOR_BUFFER_BIT | (depth ? GL_DEPTH_BUFFER_BIT : 0));
  if (rect) glDisable(GL_SCISSOR_TEST);
  Check("Clear");
}

void T3DRendererGL::ApplyBlend() {
  if (blend_mode_ == kBlendCopy) {
    glDisable(GL_BLEND);
    return;
  }
  glEnable(GL_BLEND);
  if (blend_mode_ == 1) {
    glBlendEquation(GL_MAX);
    glBlendFunc(GL_ONE, GL_ONE);
    return;
  }
  glBlendEquation(GL_FUNC_ADD);
  GLenum src = premultiplied_ ? GL_ONE : GL_SRC_ALPHA;
  bool separate = blend_mode_ == 2 || (target_->fbo != 0 && target_->alpha);
  if (separate)
    glBlendFuncSeparate(src, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
  else
    glBlendFunc(src, GL_ONE_MINUS_SRC_ALPHA);
}

void T3DRendererGL::SetBlendMode(int mode, bool premultiplied_source) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  ZEM_ASSERT(mode >= 0 && mode <= kBlendCopy);
  blend_mode_ = mode;
  premultiplied_ = premultiplied_source;
  if (in_scene_) ApplyBlend();
}

void T3DRendererGL::SetShader(T3DShader* shader) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  program_ = shader ? &static_cast<T3DShaderGL*>(shader)->info : nullptr;
}

void T3DRendererGL::SetShaderConstant(int reg, const float v[4]) {
  ZEM_ASSERT(reg >= 0 && reg < 8);
  std::memcpy(constants_[reg], v, sizeof(float) * 4);
}

void T3DRendererGL::SetTexture(int stage, T3DTexture* texture, const TSamplerState& s) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  ZEM_ASSERT(stage >= 0 && stage < 8);
  if (!in_scene_) return;
  glActiveTexture(GL_TEXTURE0 + stage);
  auto* t = static_cast<T3DTextureGL*>(texture);
  glBindTexture(GL_TEXTURE_2D, t ? t->tex : 0);
  if (t) t->ApplySampler(s, anisotropy_);
  bound_textures_ = std::max(bound_textures_, stage + 1);
  if (stage == 0) textured_ = t != nullptr;
  glActiveTexture(GL_TEXTURE0);
}

void T3DRendererGL::SetCombine(bool modulate_color, bool modulate_alpha) {
  modulate_color_ = modulate_color;
  modulate_alpha_ = modulate_alpha;
}

bool T3DRendererGL::BindProgram() {
  const TProgramInfo* p =
      program_ ? program_ : &store_->fixed_programs[FixedProgram(textured_, modulate_color_, modulate_alpha_)];
  if (!p->program) return false;
  glUseProgram(p->program);
  const TProjection& q = proj_;
  glUniform4f(p->proj0, q.scale_x, q.scale_y, q.offset_x, q.offset_y);
  glUniform4f(p->proj1, q.centre_x, q.centre_y, q.camera > 0 ? q.camera : 1.0f, target_->fbo ? 1.0f : 0.0f);
  glUniform4f(p->viewport, float(viewport_.left), float(viewport_.top),
              float(std::max(1, viewport_.Width())), float(std::max(1, viewport_.Height())));
  if (p->constants >= 0) glUniform4fv(p->constants, 8, &constants_[0][0]);
  return true;
}

namespace {
void PointAttributes() {
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(TVertex), (void*)offsetof(TVertex, x));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(TVertex),
                        (void*)offsetof(TVertex, color));
  for (int i = 0; i < 3; ++i) {
    glEnableVertexAttribArray(2 + i);
    glVertexAttribPointer(2 + i, 2, GL_FLOAT, GL_FALSE, sizeof(TVertex),
                          (void*)(offsetof(TVertex, tex) + i * 2 * sizeof(float)));
  }
}
}  // namespace

bool T3DRendererGL::DrawTriangles(const TVertex* vertices, size_t count) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !in_scene_ || count == 0) return false;
  if (!BindProgram()) return false;
  glBindVertexArray(store_->vao);
  glBindBuffer(GL_ARRAY_BUFFER, store_->stream_vbo);
  size_t bytes = count * sizeof(TVertex);
  if (bytes > store_->stream_capacity) {
    store_->stream_capacity = std::max(bytes, size_t(64 * 1024));
    glBufferData(GL_ARRAY_BUFFER, store_->stream_capacity, nullptr, GL_STREAM_DRAW);
  } else {
    // Orphan the old storage so the driver need not wait for draws still reading it.
    glBufferData(GL_ARRAY_BUFFER, store_->stream_capacity, nullptr, GL_STREAM_DRAW);
  }
  glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, vertices);
  PointAttributes();
  glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(count));
  CountVertices(count);
  return Check("DrawPrimitiveUP");
}

void T3DRendererGL::CountVertices(size_t count) {
  // llvmpipe keeps the binned triangles of a frame in its scenes until they are rasterized: a
  // show of 100,000 small boxes peaked 40 to 75 MiB higher that way. A flush after so many
  // vertices hands the frame over in parts; frames of ordinary slides draw fewer. Drawing
  // thread, device mutex held.
  constexpr size_t kFlushVertices = 3000;
  unflushed_vertices_ += count;
  if (unflushed_vertices_ < kFlushVertices) return;
  unflushed_vertices_ = 0;
  glFlush();
}

bool T3DRendererGL::DrawVertexList(T3DVertexList* list, size_t first, size_t count) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !in_scene_ || !list || count == 0) return false;
  auto* l = static_cast<T3DVertexListGL*>(list);
  ZEM_ASSERT(first + count <= l->Capacity());
  if (!BindProgram()) return false;
  glBindVertexArray(store_->vao);
  glBindBuffer(GL_ARRAY_BUFFER, l->buffer);
  PointAttributes();
  glDrawArrays(GL_TRIANGLES, static_cast<GLint>(first), static_cast<GLsizei>(count));
  CountVertices(count);
  return Check("DrawPrimitive");
}

std::unique_ptr<T3DTexture> T3DRendererGL::CreateTexture(int32_t w, int32_t h, int format,
                                                         TDeviceObject* owner) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !store_ || w <= 0 || h <= 0 || w > MaxTextureSize() || h > MaxTextureSize())
    return nullptr;
  if (!store_->Acquire()) return nullptr;
  auto t = std::make_unique<T3DTextureGL>(store_, owner, w, h, format);
  if (owner) store_->Register(owner);
  bool ok = t->Make();
  // Restore the current target (the new framebuffer was bound to set it up).
  if (in_scene_) glBindFramebuffer(GL_FRAMEBUFFER, target_->fbo);
  ok = Check("CreateTexture") && ok;
  if (store_) store_->Release();
  if (!ok) return nullptr;
  return t;
}

std::unique_ptr<T3DVertexList> T3DRendererGL::CreateVertexList(size_t capacity, TDeviceObject* owner) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !store_ || !store_->Acquire()) return nullptr;
  auto l = std::make_unique<T3DVertexListGL>(store_, owner, capacity);
  if (owner) store_->Register(owner);
  glGenBuffers(1, &l->buffer);
  glBindBuffer(GL_ARRAY_BUFFER, l->buffer);
  glBufferData(GL_ARRAY_BUFFER, capacity * sizeof(TVertex), nullptr, GL_DYNAMIC_DRAW);
  bool ok = Check("CreateVertexBuffer");
  if (store_) store_->Release();
  if (!ok) return nullptr;
  return l;
}

std::unique_ptr<T3DShader> T3DRendererGL::CreateShader(std::string_view code, int kind, TDeviceObject* owner) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (kind != 0) return nullptr;  // only pixel programs are made on this device
  if (state_ != kUsable || !store_ || !store_->Acquire()) return nullptr;
  auto s = std::make_unique<T3DShaderGL>(store_, owner, kind);
  if (owner) store_->Register(owner);
  bool ok = LinkProgram(store_->vertex_shader, code, s->info);
  if (in_scene_) {
    // Linking made the program current; drawing binds its own program again anyway.
  }
  ok = Check("CreatePixelShader") && ok;
  if (store_) store_->Release();
  if (!ok) return nullptr;
  return s;
}

void T3DRendererGL::ForgetObject(TDeviceObject* owner) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (store_) store_->Forget(owner);
}

bool T3DRendererGL::ReadSurface(T3DSurface* surface, TBitmap& out) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !store_ || !store_->Acquire()) return false;
  auto* s = surface ? static_cast<T3DSurfaceGL*>(surface) : &back_;
  if (s == &back_ && !in_scene_) {
    int w = 0, h = 0;
    store_->Context()->DrawableSize(w, h);
    back_.w = w;
    back_.h = h;
  }
  bool ok = out.Allocate(s->w, s->h, TPixelFormat::Argb32);
  if (ok) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, s->fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, s->w, s->h, GL_BGRA, GL_UNSIGNED_BYTE, out.Data());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, in_scene_ ? target_->fbo : 0);
    if (s->fbo == 0) {
      // The window's rows come bottom-up.
      std::vector<uint8_t> tmp(static_cast<size_t>(out.Stride()));
      for (int32_t y = 0; y < s->h / 2; ++y) {
        uint8_t* a = out.Row(y);
        uint8_t* b = out.Row(s->h - 1 - y);
        std::memcpy(tmp.data(), a, tmp.size());
        std::memcpy(a, b, tmp.size());
        std::memcpy(b, tmp.data(), tmp.size());
      }
    }
    ok = Check("GetRenderTargetData");
  }
  if (store_) store_->Release();
  return ok;
}

void T3DRendererGL::WaitIdle() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (state_ != kUsable || !store_ || !store_->Acquire()) return;
  glFinish();
  store_->Release();
}

int32_t T3DRendererGL::MaxTextureSize() const {
  return static_cast<int32_t>(T3DEngineGL::Instance().Caps(adapter_).max_tex_width);
}

}  // namespace zem
