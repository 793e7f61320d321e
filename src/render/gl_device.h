// The device API over OpenGL 3.3 core (libepoxy for the entry points).
//
// Contexts and threads:
// - One TDevStore per window device and adapter holds the window's GL context; every screen on
//   that window shares it. The store is created on the user-interface thread (renderer
//   creation requests from other threads are queued there) and left current nowhere.
// - The drawing thread makes the context current at BeginScene and gives it up at Present or
//   EndScene. Between scenes any thread may take it for a short call (read-back, deletes)
//   under DeviceMutex(); during a scene other threads never touch GL: deletions are queued in
//   the store and run by the scene's thread.
// - Loader and decoder threads only write CPU staging copies (textures.h); the drawing thread
//   uploads them.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "render/device.h"
#include "render/gl_context.h"

struct SDL_Window;

namespace zem {

class TDrawDevice;
class T3DRendererGL;

// A linked program and its uniform locations.
struct TProgramInfo {
  unsigned program = 0;
  int proj0 = -1, proj1 = -1, viewport = -1, constants = -1;
};

// Programs of drawing without a pixel program: untextured (the vertex colour), then textured
// with the texture's colour and alpha each taken as they are or times the vertex's.
constexpr int kFixedPrograms = 5;
constexpr int FixedProgram(bool textured, bool modulateColour, bool modulateAlpha) {
  return textured ? 1 + (modulateColour ? 1 : 0) + (modulateAlpha ? 2 : 0) : 0;
}

// Cached abilities of an adapter (queried from the first context made on it).
struct TCapsWrapper {
  bool valid = false;
  int64_t ps_version = 0x0300;  // GLSL 3.30 programs: at least pixel program model 3.0
  int64_t vendor = 0;
  int64_t max_tex_width = 8192, max_tex_height = 8192;
  int64_t max_anisotropy = 1;
  int64_t raster = 1 << 13;  // mip level bias is always available; bit 17 anisotropic filtering
  std::string vendor_text, renderer_text;
  bool software = false;  // a rasterizer on the processor (llvmpipe and the like)
};

// The shared drawing context of one window and the device objects made on it.
class TDevStore : public TObj {
 public:
  TDevStore(std::unique_ptr<TGLContext> ctx, TDrawDevice* device, int adapter);
  ~TDevStore() override;

  // Under DeviceMutex(): make the context current on this thread (nested calls count). False
  // when another thread holds it (a scene is running there) or the store is disposed.
  bool Acquire();
  void Release();
  bool HeldHere() const;
  bool Disposed() const { return disposed_; }
  // Scene bracket: the context stays current on this thread until EndHold.
  void BeginHold() { ++scene_holds_; }
  void EndHold() { if (scene_holds_ > 0) --scene_holds_; }

  // Frees every object's device copy and the context (deferred to the holding thread when
  // another thread is inside a scene).
  void Dispose();

  void Register(TDeviceObject* o) { objects_.insert(o); }
  void Forget(TDeviceObject* o) { objects_.erase(o); }
  size_t ObjectCount() const { return objects_.size(); }

  // GL names are deleted at once when the context is current here, else queued.
  enum class TName { Texture, Framebuffer, Buffer, Program, VertexArray };
  void DeleteName(TName kind, unsigned name);

  TGLContext* Context() const { return ctx_.get(); }
  TDrawDevice* Device() const { return device_; }
  int Adapter() const { return adapter_; }

  // Per-context resources shared by the renderers on this store (made on first use).
  unsigned vao = 0, stream_vbo = 0;
  size_t stream_capacity = 0;
  unsigned vertex_shader = 0;
  TProgramInfo fixed_programs[kFixedPrograms];
  bool exclusive = false;

 private:
  void DoDispose();
  void RunGarbage();

  std::unique_ptr<TGLContext> ctx_;
  TDrawDevice* device_;
  int adapter_;
  std::thread::id holder_;
  int depth_ = 0;
  int scene_holds_ = 0;
  bool disposed_ = false, dispose_pending_ = false;
  std::set<TDeviceObject*> objects_;
  std::vector<std::pair<TName, unsigned>> garbage_;
};

// A device released away from the user-interface thread: its objects are gone already (deleted
// with the context current on the releasing thread); the context itself is freed, and the window
// put back after exclusive full screen, on the user-interface thread.
struct TReleaseData {
  std::unique_ptr<TGLContext> context;
  uint32_t window_id = 0;  // SDL window id (0: none); the window may be gone by then
  bool restore = false;
  TIntRect rect;  // the window rectangle before exclusive full screen
  // User-interface thread.
  void Run();
};

class T3DEngineGL : public T3DEngine {
 public:
  // One per process, made on first use under DeviceMutex(). The first caller's thread counts
  // as the user-interface thread until SetUiThread says otherwise.
  static T3DEngineGL& Instance();

  int AdapterForRect(const TIntRect& r) override;
  int64_t GetCaps(const std::string& name, int adapter) override;
  bool GetDisplayMode(int adapter, TDisplayMode& mode) override;
  std::unique_ptr<T3DRenderer> CreateRenderer(TDrawDevice* device, const TDisplayMode& mode,
                                              int adapter) override;
  // Video runs and the shared devices can be used: false while a lost device's context is still
  // held by a scene on another thread (lost), or while released devices wait for the
  // user-interface thread (not reset; called there, it frees them and answers true).
  bool InitCheck() override;
  int ShaderLevel(int adapter) override;

  // User-interface thread and its request queue. The shell sets a wake-up routine (an SDL user
  // event) and calls RunPendingRequests from its event loop.
  void SetUiThread(std::thread::id id) { ui_thread_ = id; }
  bool OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }
  // Any thread (the wake-up routine runs on the posting thread, outside the request lock).
  void SetWakeUp(std::function<void()> wake);
  void PostRequest(std::function<void()> request);
  int RunPendingRequests();

  // Test hooks and start-up switches.
  void ForceShaderLevel(int level) { forced_level_ = level; }  // -1: from the abilities
  void SetExclusiveAllowed(bool on) { exclusive_allowed_ = on; }
  bool ExclusiveAllowed() const { return exclusive_allowed_; }

  // Sets the exclusive window's place in the stacking order again when it became inactive
  // (the shell's routine, called on the user-interface thread with the SDL window id).
  void SetRestackHook(std::function<void(uint32_t window_id)> hook);
  // Any thread: runs the hook for the window there (posted when called elsewhere).
  void RequestRestack(SDL_Window* window);

  // Any thread: a released device's context goes to the user-interface thread (run at once
  // there). Until it has run, InitCheck reports the device as not reset.
  void PostRelease(TReleaseData release);
  // User-interface thread: frees the contexts of released devices; the count run.
  int RunReleases();

  TCapsWrapper& Caps(int adapter) { return caps_[adapter]; }
  // Time of the last present (process-wide, milliseconds), 0 = none yet.
  double last_present_ms = 0;
  // Stores whose disposal waits for their scene to end (kept alive until then).
  std::vector<std::shared_ptr<TDevStore>> pending_disposal;

  // Makes the renderer's device (the create request): on the user-interface thread.
  void InternalCreateRenderer(T3DRendererGL* r);

 private:
  T3DEngineGL();
  std::thread::id ui_thread_;
  std::function<void()> wake_;  // guarded by request_lock_
  std::mutex request_lock_;
  std::deque<std::function<void()>> requests_;
  int forced_level_ = -1;
  bool exclusive_allowed_ = false;
  std::map<int, TCapsWrapper> caps_;
  std::function<void(uint32_t)> restack_;        // under request_lock_
  std::vector<std::shared_ptr<TReleaseData>> releases_;  // under request_lock_
};

class T3DSurfaceGL : public T3DSurface {
 public:
  T3DSurfaceGL(unsigned fbo, int32_t w, int32_t h, bool alpha) : fbo(fbo), w(w), h(h), alpha(alpha) {}
  int32_t Width() const override { return w; }
  int32_t Height() const override { return h; }
  unsigned fbo;  // 0: the window's back buffer
  int32_t w, h;
  bool alpha;
};

class T3DRendererGL : public T3DRenderer {
 public:
  T3DRendererGL(TDrawDevice* device, const TDisplayMode& mode, int adapter);
  ~T3DRendererGL() override;

  int State() const override { return state_; }
  int RefreshRate() const override { return refresh_; }
  bool Exclusive() const override { return exclusive_; }
  bool BeginScene() override;
  void EndScene() override;
  bool Present() override;
  T3DSurface* BackBuffer() override { return &back_; }
  bool SetRenderTarget(T3DSurface* surface) override;
  void SetViewport(const TIntRect& r) override;
  void SetProjection(const TProjection& p) override { proj_ = p; }
  void Clear(uint32_t argb, bool depth, const TIntRect* rect) override;
  void SetBlendMode(int mode, bool premultiplied_source) override;
  void SetShader(T3DShader* shader) override;
  void SetShaderConstant(int reg, const float v[4]) override;
  void SetTexture(int stage, T3DTexture* texture, const TSamplerState& s) override;
  void SetCombine(bool modulate_color, bool modulate_alpha) override;
  bool DrawTriangles(const TVertex* vertices, size_t count) override;
  bool DrawVertexList(T3DVertexList* list, size_t first, size_t count) override;
  std::unique_ptr<T3DTexture> CreateTexture(int32_t w, int32_t h, int format, TDeviceObject* owner) override;
  std::unique_ptr<T3DVertexList> CreateVertexList(size_t capacity, TDeviceObject* owner) override;
  std::unique_ptr<T3DShader> CreateShader(std::string_view code, int kind, TDeviceObject* owner) override;
  void ForgetObject(TDeviceObject* owner) override;
  bool ReadSurface(T3DSurface* surface, TBitmap& out) override;
  int32_t MaxTextureSize() const override;

  void SimulateDeviceLoss() override { simulate_loss_ = true; }
  void WaitIdle() override;
  void SetReleaseHandler(std::function<void()> h) override { on_release_ = std::move(h); }
  TDevStore* Store() const { return store_.get(); }
  TDrawDevice* Device() const { return device_; }
  // Anisotropy level of filtered textures: the adapter's maximum, at most 4 (1 = off).
  int Anisotropy() const { return anisotropy_; }

 private:
  friend class T3DEngineGL;
  struct TInitData {
    T3DRendererGL* renderer;
  };
  // Classifies the GL error state; a lost device drops the store. True on success.
  bool Check(const char* what);
  void Lost();
  void ReleaseStore(bool lost);
  bool BindProgram();
  void ApplyBlend();

  TDrawDevice* device_;
  TDisplayMode mode_;
  int adapter_;
  int state_ = kRequested;
  int refresh_ = 60;
  int anisotropy_ = 1;
  bool exclusive_ = false, full_screen_ = false;
  bool last_active_ = true;
  bool was_active_ = false;        // exclusive: the window has been active in a scene
  bool left_foreground_ = false;   // exclusive: it lost the foreground since
  std::shared_ptr<TDevStore> store_;
  std::shared_ptr<TInitData> init_;
  std::function<void()> on_release_;
  bool simulate_loss_ = false;
  bool in_scene_ = false;
  // Vertices drawn since the last flush: a frame of very many small draws is handed to the
  // driver in parts, so that a software rasterizer never holds a whole frame's triangles.
  size_t unflushed_vertices_ = 0;
  void CountVertices(size_t count);

  T3DSurfaceGL back_{0, 0, 0, false};
  T3DSurfaceGL* target_ = &back_;
  TIntRect viewport_;
  TProjection proj_;
  int blend_mode_ = 0;
  bool premultiplied_ = false;
  const TProgramInfo* program_ = nullptr;  // user program, none = the default one
  float constants_[8][4] = {};
  bool modulate_color_ = true, modulate_alpha_ = true;
  int bound_textures_ = 0;
  bool textured_ = false;
};

}  // namespace zem
