// T3DScreen: the drawing surface the drawer works on, bound to one window device. It offers
// scenes, clears, a stack of render targets, the projection from design space to target
// pixels, coloured and textured quadrilaterals (up to three textures, optional antialiased
// edges), pixel programs with their constants, blend modes and snapshots. Below it the
// abstract device API does the work.
//
// Threads: drawing calls come from the drawing (engine) thread inside the drawer's frame lock;
// AssignDevice from the thread that sets the drawer up. Every device call is made under
// DeviceMutex(). QueueUpload may be called from any thread.
#pragma once
#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "render/device.h"
#include "render/draw_device.h"
#include "render/textures.h"

namespace zem {

class TShader;
class T3DScreen;

// Triangles collected for one set of textures, drawn in one call.
class TVertexBuffer {
 public:
  static constexpr int kMaxTextures = 7;
  explicit TVertexBuffer(T3DScreen* screen, size_t max_triangles = 1024);
  // Starts triangles for a texture set; a different set flushes the pending triangles first.
  void Begin(TCustomTexture* const* textures, int count);
  void AddTriangle(const TVertex& a, const TVertex& b, const TVertex& c);
  void Flush();
  size_t Pending() const { return vertices_.size() / 3; }
  // Sets the textures, combination and blend state on the device for these vertices; false
  // when a texture has no device copy.
  bool Bind(TCustomTexture* const* textures, int count, const TVertex* v, size_t n);

 private:
  T3DScreen* screen_;
  size_t max_triangles_;
  std::vector<TVertex> vertices_;
  TCustomTexture* textures_[kMaxTextures] = {};
  int count_ = 0;
};

// A list of triangles kept on the device between frames (made again after a device loss
// from its CPU copy).
class TVertexList : public TObj, public TDeviceObject {
 public:
  TVertexList(T3DScreen* screen, std::vector<TVertex> vertices);
  ~TVertexList() override;
  const std::vector<TVertex>& Vertices() const { return vertices_; }
  // Under DeviceMutex(): the device copy, made and filled on demand.
  T3DVertexList* Device();
  bool HasDevice() const { return device_ != nullptr; }
  void DropDeviceObject() override;

 private:
  T3DScreen* screen_;
  std::vector<TVertex> vertices_;
  std::unique_ptr<T3DVertexList> device_;
};

// One texture of a textured quad: the area to show, in texels of the texture.
struct TQuadTexture {
  TCustomTexture* texture = nullptr;
  TFloatRect source;
};

// Edge flags of a quad: left, top, right, bottom.
enum : uint8_t { kEdgeLeft = 1, kEdgeTop = 2, kEdgeRight = 4, kEdgeBottom = 8 };

struct TRenderTargetWrapper {
  TRenderTargetTexture* texture = nullptr;  // none: the back buffer
  int32_t offset_x = 0, offset_y = 0;
};

class T3DScreen : public TObj, public TDrawDeviceListener {
 public:
  // The engine defaults to the OpenGL one.
  explicit T3DScreen(T3DEngine* engine = nullptr);
  ~T3DScreen() override;

  void AssignDevice(TDrawDevice* device);
  TDrawDevice* Device() const { return device_; }
  T3DRenderer* Renderer() const { return renderer_.get(); }
  bool IsReady() const;
  int ShaderLevel();
  // The owner's handler, told when the device is released (device lost).
  void SetReleaseHandler(std::function<void()> h) { on_release_ = std::move(h); }

  // Makes the device again when there is none usable; then begins the scene. False when
  // nothing can be drawn this frame.
  bool BeginScene();
  void EndScene();
  // Ends the scene and presents it.
  bool Present();
  bool InScene() const { return in_scene_; }

  void Clear(uint32_t argb, bool depth);
  void ClearRect(uint32_t argb, const TIntRect& r);
  void PushRenderTarget(TRenderTargetTexture* t, int32_t offset_x = 0, int32_t offset_y = 0);
  void PopRenderTarget();
  size_t TargetDepth() const { return targets_.size(); }
  TIntRect TargetRect() const;
  // Design rectangle (target pixels) and design size; empty or invalid values stand in with
  // the target rectangle and its size.
  void SetProjection(const TIntRect& design_rect, int32_t design_w, int32_t design_h);
  const TProjection& Projection() const { return proj_; }
  void SetViewport(const TIntRect& r);
  const TIntRect& Viewport() const { return viewport_; }
  bool ProgramSet() const { return current_shader_ != nullptr; }

  // Corners in the order top-left, top-right, bottom-left, bottom-right (design space).
  void DrawColoredQuad(const TVec3 corners[4], const uint32_t colors[4]);
  void DrawTexturedQuad(const TVec3 corners[4], const TQuadTexture* textures, int count,
                        const uint32_t colors[4], uint8_t edges = 0);
  // A kept vertex list, textured with up to three textures (coordinates already normalised).
  void DrawVertexList(TVertexList* list, TCustomTexture* const* textures, int count);
  // A render-target texture (source in texels) onto a rectangle of the target (design space).
  void DrawRenderTarget(TRenderTargetTexture* t, const TFloatRect& source, const TFloatRect& dest,
                        uint32_t color = 0xFFFFFFFF);

  std::unique_ptr<TShader> CreateShader(std::string_view name);
  // No program at shader level 0 (the draw then runs without one).
  void SetShader(TShader* shader);
  void SetShaderConstant(int reg, float x, float y = 0, float z = 0, float w = 0);
  // 0 normal, 1 maximum, 2 separate alpha; reset to 0 by the drawer after use.
  void SetBlendMode(int mode);
  int BlendMode() const { return blend_mode_; }

  // The back buffer as a 32-bit bitmap of its size.
  bool CopyToBitmap(TBitmap& out);
  // The current target's pixels (a render target or the back buffer).
  bool ReadTarget(TBitmap& out);

  // Flushes and waits until the device has done everything asked so far.
  void WaitIdle();

  TVertexBuffer& Batch() { return batch_; }
  void Flush() { batch_.Flush(); }

  // Objects with device copies made on this screen.
  void RegisterObject(TDeviceObject* o);
  void UnregisterObject(TDeviceObject* o);
  void RegisterShader(TShader* s);
  void UnregisterShader(TShader* s);
  // A program lost its device object: it must not stay set on the device.
  void ShaderDropped(TShader* s);
  // Textures whose staging copy changed; uploaded at the start of the next scenes, at most
  // kUploadBudgetMs of the drawing thread per scene (about 1.7 ms per MB with mip chains on
  // llvmpipe, bench/render_bench BM_UploadLevel24MP).
  void QueueUpload(TCustomTexture* t);
  static constexpr double kUploadBudgetMs = 3.0;
  size_t PendingUploads() const;
  // Time spent uploading textures (queued ones and those drawn before their turn): in all, and
  // the most in one scene. Under DeviceMutex() (NoteUpload comes from DeviceTexture).
  void NoteUpload(double ms) { sceneUploadMs_ += ms; }
  double UploadMsTotal() const { return uploadMsTotal_ + sceneUploadMs_; }
  double UploadMsMaxScene() const { return std::max(uploadMsMax_, sceneUploadMs_); }

  // Test hook: the renderer reports a lost device at its next checked call.
  void SimulateDeviceLoss();

  void DrawDeviceDying(TDrawDevice* device) override;

 private:
  void MakeDevice();
  void ReleaseRenderer();
  void ReleaseDeviceObjects();
  void ApplyTarget();
  void RunUploads();
  void AntialiasedQuad(const TVec3 c[4], const TQuadTexture* textures, int count,
                       const uint32_t colors[4], uint8_t edges);
  TVertex MakeVertex(const TVec3& p, uint32_t color, const TQuadTexture* textures, int count,
                     float s, float t) const;

  T3DEngine* engine_;
  TDrawDevice* device_ = nullptr;
  bool full_screen_ = false;
  TIntRect bounds_;
  int adapter_ = 0;
  std::unique_ptr<T3DRenderer> renderer_;
  std::function<void()> on_release_;
  std::set<TDeviceObject*> objects_;     // under DeviceMutex()
  std::set<TShader*> shaders_;           // under DeviceMutex()
  std::vector<TCustomTexture*> uploads_; // under DeviceMutex()
  double sceneUploadMs_ = 0, uploadMsTotal_ = 0, uploadMsMax_ = 0;  // under DeviceMutex()
  std::vector<TRenderTargetWrapper> targets_;
  TVertexBuffer batch_;
  TProjection proj_;
  TIntRect design_rect_;
  int32_t design_w_ = 0, design_h_ = 0;
  TIntRect viewport_;
  int blend_mode_ = 0;
  TShader* current_shader_ = nullptr;
  bool programs_valid_ = false;
  bool in_scene_ = false;
};

}  // namespace zem
