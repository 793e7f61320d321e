#include "render/screen.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "render/gl_device.h"
#include "render/shaders.h"

namespace zem {

// ---------------------------------------------------------------------------------------------
// TVertexBuffer

TVertexBuffer::TVertexBuffer(T3DScreen* screen, size_t max_triangles)
    : screen_(screen), max_triangles_(max_triangles) {
  vertices_.reserve(max_triangles * 3);
}

void TVertexBuffer::Begin(TCustomTexture* const* textures, int count) {
  ZEM_ASSERT(count >= 0 && count <= kMaxTextures);
  bool same = count == count_;
  for (int i = 0; same && i < count; ++i) same = textures[i] == textures_[i];
  if (same) return;
  Flush();
  count_ = count;
  for (int i = 0; i < kMaxTextures; ++i) textures_[i] = i < count ? textures[i] : nullptr;
}

void TVertexBuffer::AddTriangle(const TVertex& a, const TVertex& b, const TVertex& c) {
  if (vertices_.size() + 3 > max_triangles_ * 3) Flush();
  vertices_.push_back(a);
  vertices_.push_back(b);
  vertices_.push_back(c);
}

bool TVertexBuffer::Bind(TCustomTexture* const* textures, int count, const TVertex* v, size_t n) {
  T3DRenderer* r = screen_->Renderer();
  T3DTexture* device[kMaxTextures] = {};
  for (int i = 0; i < count; ++i) {
    device[i] = textures[i]->DeviceTexture();
    if (!device[i]) return false;
  }
  bool tex_alpha = true;
  for (int i = 0; i < kMaxTextures; ++i) {
    if (i < count) {
      r->SetTexture(i, device[i], textures[i]->Sampler());
      if (!textures[i]->HasAlpha()) tex_alpha = false;
    } else if (i < 3) {
      r->SetTexture(i, nullptr, {});
    }
  }
  bool color = false, alpha = false;
  for (size_t i = 0; i < n; ++i) {
    if ((v[i].color & 0xFFFFFF) != 0xFFFFFF) color = true;
    if ((v[i].color >> 24) != 0xFF) alpha = true;
  }
  r->SetCombine(color, alpha || !tex_alpha);
  // Opaque vertices over opaque texels replace the target: blending would give the same.
  const bool opaque = !alpha && screen_->BlendMode() == 0 && !screen_->ProgramSet() &&
                      (count == 0 || (count == 1 && textures[0]->opaque));
  r->SetBlendMode(opaque ? T3DRenderer::kBlendCopy : screen_->BlendMode(), count > 0 && textures[0]->premultiplied);
  return true;
}

void TVertexBuffer::Flush() {
  if (vertices_.empty()) return;
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  T3DRenderer* r = screen_->Renderer();
  if (r && r->State() == T3DRenderer::kUsable && screen_->InScene()) {
    // Over opaque texels, runs of opaque triangles (an antialiased quad's middle) are drawn in
    // calls of their own, in order, so they go without blending.
    const bool split = screen_->BlendMode() == 0 && !screen_->ProgramSet() &&
                       (count_ == 0 || (count_ == 1 && textures_[0]->opaque));
    auto opaque = [&](size_t i) {
      return (vertices_[i].color >> 24) == 0xFF && (vertices_[i + 1].color >> 24) == 0xFF &&
             (vertices_[i + 2].color >> 24) == 0xFF;
    };
    const size_t n = vertices_.size();
    for (size_t start = 0; start < n;) {
      size_t end = n;
      if (split) {
        const bool kind = opaque(start);
        end = start + 3;
        while (end < n && opaque(end) == kind) end += 3;
      }
      if (Bind(textures_, count_, &vertices_[start], end - start)) r->DrawTriangles(&vertices_[start], end - start);
      start = end;
    }
  }
  vertices_.clear();
}

// ---------------------------------------------------------------------------------------------
// TVertexList

TVertexList::TVertexList(T3DScreen* screen, std::vector<TVertex> vertices)
    : screen_(screen), vertices_(std::move(vertices)) {
  ZEM_ASSERT(screen != nullptr && vertices_.size() % 3 == 0);
  screen_->RegisterObject(this);
}

TVertexList::~TVertexList() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  screen_->UnregisterObject(this);
  device_.reset();
}

T3DVertexList* TVertexList::Device() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (device_) return device_.get();
  T3DRenderer* r = screen_->Renderer();
  if (!r || r->State() != T3DRenderer::kUsable || vertices_.empty()) return nullptr;
  device_ = r->CreateVertexList(vertices_.size(), this);
  if (device_ && !device_->Upload(vertices_.data(), vertices_.size())) device_.reset();
  return device_.get();
}

void TVertexList::DropDeviceObject() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  device_.reset();
}

// ---------------------------------------------------------------------------------------------
// T3DScreen

T3DScreen::T3DScreen(T3DEngine* engine)
    : engine_(engine ? engine : &T3DEngineGL::Instance()), batch_(this) {}

T3DScreen::~T3DScreen() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (in_scene_) EndScene();
  ReleaseDeviceObjects();
  ReleaseRenderer();
  if (device_) device_->RemoveListener(this);
  if (!objects_.empty())
    LogLine("T3DScreen: " + std::to_string(objects_.size()) + " device objects outlive the screen");
}

void T3DScreen::RegisterObject(TDeviceObject* o) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  objects_.insert(o);
}

void T3DScreen::UnregisterObject(TDeviceObject* o) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  objects_.erase(o);
  std::erase(uploads_, static_cast<TCustomTexture*>(dynamic_cast<TCustomTexture*>(o)));
}

void T3DScreen::RegisterShader(TShader* s) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  shaders_.insert(s);
  objects_.insert(s);
  programs_valid_ = false;
}

void T3DScreen::UnregisterShader(TShader* s) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  ShaderDropped(s);
  shaders_.erase(s);
  objects_.erase(s);
}

void T3DScreen::ShaderDropped(TShader* s) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (s != current_shader_) return;
  batch_.Flush();
  current_shader_ = nullptr;
  if (renderer_) renderer_->SetShader(nullptr);
}

void T3DScreen::QueueUpload(TCustomTexture* t) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (std::find(uploads_.begin(), uploads_.end(), t) == uploads_.end()) uploads_.push_back(t);
}

size_t T3DScreen::PendingUploads() const {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  return uploads_.size();
}

void T3DScreen::RunUploads() {
  // Oldest first, one texture at a time, until the frame's budget is spent (at least one, so
  // the queue always moves). A texture drawn before its turn uploads when it is bound.
  const double start = TimeGetTimeExact();
  size_t done = 0;
  while (done < uploads_.size()) {
    uploads_[done++]->DeviceTexture();
    if (TimeGetTimeExact() - start >= kUploadBudgetMs) break;
  }
  uploads_.erase(uploads_.begin(), uploads_.begin() + std::ptrdiff_t(done));
}

void T3DScreen::ReleaseDeviceObjects() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  auto objects = objects_;
  for (TDeviceObject* o : objects)
    if (objects_.count(o)) o->DropDeviceObject();
  programs_valid_ = false;
}

void T3DScreen::ReleaseRenderer() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!renderer_) return;
  if (in_scene_) {
    batch_.Flush();
    renderer_->EndScene();
    in_scene_ = false;
  }
  renderer_->SetReleaseHandler(nullptr);
  renderer_.reset();
  targets_.clear();
}

void T3DScreen::AssignDevice(TDrawDevice* device) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  bool fs = device && device->FullScreen();
  TIntRect bounds = device ? device->Bounds() : TIntRect{};
  LogLine("T3DScreen.AssignDevice, bounds= " + bounds.ToString());
  if (device == device_ && fs == full_screen_ && bounds == bounds_) {
    LogLine("T3DScreen.AssignDevice, Exit By Same FullScreen Or Same Windowed");
    return;
  }
  if (device != device_) {
    if (device_) device_->RemoveListener(this);
    if (device) device->AddListener(this);
  }
  if (device != device_ || fs || full_screen_) ReleaseDeviceObjects();
  device_ = device;
  full_screen_ = fs;
  bounds_ = bounds;
  MakeDevice();
}

void T3DScreen::MakeDevice() {
  ReleaseRenderer();
  programs_valid_ = false;
  if (!device_) {
    LogLine("No window to draw");
    return;
  }
  if (!engine_->InitCheck()) {
    LogLine("Can't init");
    return;
  }
  adapter_ = engine_->AdapterForRect(device_->Bounds());
  TDisplayMode mode;
  if (!engine_->GetDisplayMode(adapter_, mode)) {
    LogLine("Can't GetDisplayMode");
    return;
  }
  renderer_ = engine_->CreateRenderer(device_, mode, adapter_);
  if (renderer_) {
    renderer_->SetReleaseHandler([this]() {
      // Device copies are gone with the store; the renderer is replaced at the next scene.
      programs_valid_ = false;
      in_scene_ = false;
      if (on_release_) on_release_();
    });
  }
}

void T3DScreen::DrawDeviceDying(TDrawDevice* device) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (device != device_) return;
  ReleaseDeviceObjects();
  ReleaseRenderer();
  device_->RemoveListener(this);
  device_ = nullptr;
}

bool T3DScreen::IsReady() const {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  return renderer_ && renderer_->State() == T3DRenderer::kUsable;
}

int T3DScreen::ShaderLevel() { return engine_->ShaderLevel(adapter_); }

void T3DScreen::SimulateDeviceLoss() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (renderer_) renderer_->SimulateDeviceLoss();
}

bool T3DScreen::BeginScene() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  ZEM_ASSERT(!in_scene_);
  if (device_ && (!renderer_ || renderer_->State() == T3DRenderer::kLost)) MakeDevice();
  if (!renderer_ || renderer_->State() != T3DRenderer::kUsable) return false;
  if (!renderer_->BeginScene()) return false;
  in_scene_ = true;
  uploadMsTotal_ += sceneUploadMs_;
  uploadMsMax_ = std::max(uploadMsMax_, sceneUploadMs_);
  sceneUploadMs_ = 0;
  if (!programs_valid_) {
    bool all = true;
    for (TShader* s : shaders_) all = s->Restore() && all;
    programs_valid_ = all;
  }
  targets_.clear();
  targets_.push_back({});
  blend_mode_ = 0;
  current_shader_ = nullptr;
  TIntRect whole = TargetRect();
  SetProjection(whole, whole.Width(), whole.Height());
  SetViewport(whole);
  RunUploads();
  return in_scene_;
}

void T3DScreen::EndScene() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!in_scene_) return;
  batch_.Flush();
  in_scene_ = false;
  if (renderer_) renderer_->EndScene();
}

bool T3DScreen::Present() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!in_scene_) return false;
  batch_.Flush();
  in_scene_ = false;
  return renderer_ && renderer_->Present();
}

TIntRect T3DScreen::TargetRect() const {
  if (!targets_.empty() && targets_.back().texture) {
    auto* t = targets_.back().texture;
    return {0, 0, t->Width(), t->Height()};
  }
  if (!renderer_) return {};
  T3DSurface* b = renderer_->BackBuffer();
  return {0, 0, b->Width(), b->Height()};
}

void T3DScreen::SetProjection(const TIntRect& design_rect, int32_t design_w, int32_t design_h) {
  batch_.Flush();
  TIntRect rect = design_rect.Empty() ? TargetRect() : design_rect;
  if (design_w <= 0 || design_h <= 0) {
    design_w = rect.Width();
    design_h = rect.Height();
  }
  design_rect_ = rect;
  design_w_ = std::max(1, design_w);
  design_h_ = std::max(1, design_h);
  int32_t ox = targets_.empty() ? 0 : targets_.back().offset_x;
  int32_t oy = targets_.empty() ? 0 : targets_.back().offset_y;
  proj_.scale_x = float(rect.Width()) / design_w_;
  proj_.scale_y = float(rect.Height()) / design_h_;
  proj_.offset_x = float(rect.left - ox);
  proj_.offset_y = float(rect.top - oy);
  proj_.centre_x = design_w_ * 0.5f;
  proj_.centre_y = design_h_ * 0.5f;
  proj_.camera = float(design_h_);
  if (renderer_) renderer_->SetProjection(proj_);
}

void T3DScreen::SetViewport(const TIntRect& r) {
  batch_.Flush();
  viewport_ = r;
  if (renderer_) renderer_->SetViewport(r);
}

void T3DScreen::ApplyTarget() {
  const TRenderTargetWrapper& top = targets_.back();
  T3DSurface* s = nullptr;
  if (top.texture) {
    s = top.texture->Surface();
    if (!s) LogLine("T3DScreen: render target without device surface");
  } else {
    s = renderer_->BackBuffer();
  }
  if (s) renderer_->SetRenderTarget(s);
  TIntRect whole = TargetRect();
  SetViewport(whole);
  SetProjection(design_rect_, design_w_, design_h_);
}

void T3DScreen::PushRenderTarget(TRenderTargetTexture* t, int32_t offset_x, int32_t offset_y) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  ZEM_ASSERT(t != nullptr);
  if (!in_scene_ || !renderer_) return;
  batch_.Flush();
  targets_.push_back({t, offset_x, offset_y});
  ApplyTarget();
}

void T3DScreen::PopRenderTarget() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!in_scene_ || !renderer_) return;
  ZEM_ASSERT(targets_.size() > 1);  // the back buffer entry stays
  batch_.Flush();
  targets_.pop_back();
  ApplyTarget();
}

void T3DScreen::Clear(uint32_t argb, bool depth) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  batch_.Flush();
  if (in_scene_ && renderer_) renderer_->Clear(argb, depth, nullptr);
}

void T3DScreen::ClearRect(uint32_t argb, const TIntRect& r) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  batch_.Flush();
  if (in_scene_ && renderer_) renderer_->Clear(argb, false, &r);
}

void T3DScreen::SetBlendMode(int mode) {
  ZEM_ASSERT(mode >= 0 && mode <= T3DRenderer::kBlendCopy);
  if (mode == blend_mode_) return;
  batch_.Flush();
  blend_mode_ = mode;
}

std::unique_ptr<TShader> T3DScreen::CreateShader(std::string_view name) {
  std::string code = ProgramCode(name);
  ZEM_ASSERT(!code.empty());
  return std::make_unique<TShader>(this, 0, std::move(code), std::string(name));
}

void T3DScreen::SetShader(TShader* shader) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  batch_.Flush();
  // Shader level 0 allows no pixel program at all: the draw happens without it, as it does
  // for a program without a device object.
  if (shader && ShaderLevel() == 0) shader = nullptr;
  current_shader_ = shader && shader->Device() ? shader : nullptr;
  if (renderer_) renderer_->SetShader(current_shader_ ? shader->Device() : nullptr);
}

void T3DScreen::SetShaderConstant(int reg, float x, float y, float z, float w) {
  batch_.Flush();
  float v[4] = {x, y, z, w};
  if (renderer_) renderer_->SetShaderConstant(reg, v);
}

bool T3DScreen::CopyToBitmap(TBitmap& out) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  batch_.Flush();
  if (!renderer_ || renderer_->State() != T3DRenderer::kUsable) return false;
  return renderer_->ReadSurface(renderer_->BackBuffer(), out);
}

void T3DScreen::WaitIdle() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  batch_.Flush();
  if (renderer_) renderer_->WaitIdle();
}

bool T3DScreen::ReadTarget(TBitmap& out) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  batch_.Flush();
  if (!renderer_ || renderer_->State() != T3DRenderer::kUsable) return false;
  T3DSurface* s = renderer_->BackBuffer();
  if (!targets_.empty() && targets_.back().texture) s = targets_.back().texture->Surface();
  return s && renderer_->ReadSurface(s, out);
}

// ---------------------------------------------------------------------------------------------
// Quads

TVertex T3DScreen::MakeVertex(const TVec3& p, uint32_t color, const TQuadTexture* textures, int count,
                              float s, float t) const {
  TVertex v;
  v.x = p.x;
  v.y = p.y;
  v.z = p.z;
  v.color = color;
  for (int i = 0; i < count && i < 3; ++i) {
    const TQuadTexture& q = textures[i];
    v.tex[i][0] = (q.source.left + s * q.source.Width()) * q.texture->InvWidth();
    v.tex[i][1] = (q.source.top + t * q.source.Height()) * q.texture->InvHeight();
  }
  return v;
}

void T3DScreen::DrawColoredQuad(const TVec3 c[4], const uint32_t colors[4]) {
  if (!in_scene_) return;
  batch_.Begin(nullptr, 0);
  TVertex v[4];
  for (int i = 0; i < 4; ++i) v[i] = MakeVertex(c[i], colors[i], nullptr, 0, 0, 0);
  batch_.AddTriangle(v[0], v[1], v[2]);
  batch_.AddTriangle(v[1], v[2], v[3]);
}

void T3DScreen::DrawTexturedQuad(const TVec3 c[4], const TQuadTexture* textures, int count,
                                 const uint32_t colors[4], uint8_t edges) {
  ZEM_ASSERT(count >= 0 && count <= 3);
  if (!in_scene_) return;
  TCustomTexture* set[3] = {};
  for (int i = 0; i < count; ++i) {
    ZEM_ASSERT(textures[i].texture != nullptr);
    set[i] = textures[i].texture;
  }
  batch_.Begin(set, count);
  if (edges & 15) {
    AntialiasedQuad(c, textures, count, colors, edges);
    return;
  }
  static const float st[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  TVertex v[4];
  for (int i = 0; i < 4; ++i) v[i] = MakeVertex(c[i], colors[i], textures, count, st[i][0], st[i][1]);
  batch_.AddTriangle(v[0], v[1], v[2]);
  batch_.AddTriangle(v[1], v[2], v[3]);
}

void T3DScreen::DrawVertexList(TVertexList* list, TCustomTexture* const* textures, int count) {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  ZEM_ASSERT(list != nullptr && count >= 0 && count <= 3);
  if (!in_scene_ || !renderer_) return;
  batch_.Flush();
  T3DVertexList* d = list->Device();
  const auto& v = list->Vertices();
  if (d && batch_.Bind(textures, count, v.data(), v.size())) renderer_->DrawVertexList(d, 0, v.size());
}

void T3DScreen::DrawRenderTarget(TRenderTargetTexture* t, const TFloatRect& source, const TFloatRect& dest,
                                 uint32_t color) {
  TVec3 c[4] = {{dest.left, dest.top, 0}, {dest.right, dest.top, 0}, {dest.left, dest.bottom, 0},
                {dest.right, dest.bottom, 0}};
  uint32_t colors[4] = {color, color, color, color};
  TQuadTexture q{t, source};
  DrawTexturedQuad(c, &q, 1, colors, 0);
}

namespace {
float Len(TPointF a) { return std::sqrt(a.x * a.x + a.y * a.y); }
}  // namespace

void T3DScreen::AntialiasedQuad(const TVec3 c[4], const TQuadTexture* textures, int count,
                                const uint32_t colors[4], uint8_t edges) {
  static const float st[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  auto plain = [&]() {
    TVertex v[4];
    for (int i = 0; i < 4; ++i) v[i] = MakeVertex(c[i], colors[i], textures, count, st[i][0], st[i][1]);
    batch_.AddTriangle(v[0], v[1], v[2]);
    batch_.AddTriangle(v[1], v[2], v[3]);
  };
  // Outline order TL, TR, BR, BL (corner indices) with the edges top, right, bottom, left.
  static const int outline[4] = {0, 1, 3, 2};
  static const uint8_t edge_flag[4] = {kEdgeTop, kEdgeRight, kEdgeBottom, kEdgeLeft};
  TPointF p[4];
  for (int k = 0; k < 4; ++k)
    if (!proj_.Project(c[outline[k]], p[k])) return plain();
  TPointF d[4];
  for (int k = 0; k < 4; ++k) {
    d[k] = {p[(k + 1) % 4].x - p[k].x, p[(k + 1) % 4].y - p[k].y};
    if (Len(d[k]) <= 0.1f) return plain();
  }
  for (int k = 0; k < 4; ++k) {
    const TPointF& in = d[(k + 3) % 4];
    const TPointF& out = d[k];
    float cosv = (in.x * out.x + in.y * out.y) / (Len(in) * Len(out));
    if (cosv > 0.9f) return plain();
  }
  float area = 0;
  for (int k = 0; k < 4; ++k) area += p[k].x * p[(k + 1) % 4].y - p[(k + 1) % 4].x * p[k].y;
  // Outward normals (unit) and the offsets of flagged edges (larger component 1 pixel).
  TPointF unit[4], off[4];
  float dist[4];
  for (int k = 0; k < 4; ++k) {
    TPointF n = area > 0 ? TPointF{d[k].y, -d[k].x} : TPointF{-d[k].y, d[k].x};
    float l = Len(n);
    unit[k] = {n.x / l, n.y / l};
    if (edges & edge_flag[k]) {
      float m = std::max(std::fabs(n.x), std::fabs(n.y));
      off[k] = {n.x / m, n.y / m};
    } else {
      off[k] = {0, 0};
    }
    dist[k] = Len(off[k]);
  }
  // Corner k joins edge k-1 (incoming) and edge k (outgoing).
  TPointF miter[4];
  for (int k = 0; k < 4; ++k) {
    int a = (k + 3) % 4, b = k;
    float det = unit[a].x * unit[b].y - unit[a].y * unit[b].x;
    if (std::fabs(det) < 1e-3f) {
      miter[k] = {off[a].x + off[b].x, off[a].y + off[b].y};
    } else {
      miter[k] = {(dist[a] * unit[b].y - dist[b] * unit[a].y) / det,
                  (unit[a].x * dist[b] - unit[b].x * dist[a]) / det};
    }
  }
  // The quad's plane for mapping ring points back into design space.
  TVec3 e1 = c[1] - c[0], e2 = c[2] - c[0];
  TVec3 n = e1.Cross(e2);
  float plane_d = n.Dot(c[0]);
  float g11 = e1.Dot(e1), g12 = e1.Dot(e2), g22 = e2.Dot(e2);
  float gdet = g11 * g22 - g12 * g12;
  if (std::fabs(gdet) < 1e-12f) return plain();
  // Target positions of the grid, and whether a ring vertex lies on its corner.
  TPointF at[4][4];
  bool onCorner[4][4] = {};
  auto ring = [&](int k, TPointF o) -> std::pair<bool, TVertex> {
    TPointF s{p[k].x + o.x, p[k].y + o.y};
    TVec3 q;
    if (!proj_.Unproject(s, n, plane_d, q)) return {false, {}};
    TVec3 r = q - c[0];
    float b1 = r.Dot(e1), b2 = r.Dot(e2);
    float u = (b1 * g22 - b2 * g12) / gdet;
    float v = (b2 * g11 - b1 * g12) / gdet;
    uint32_t color = colors[outline[k]] & 0x00FFFFFF;
    return {true, MakeVertex(q, color, textures, count, u, v)};
  };
  // The 4 × 4 grid: inner corners at (1,1) TL, (1,2) TR, (2,2) BR, (2,1) BL.
  TVertex g[4][4];
  static const int pos[4][2] = {{1, 1}, {1, 2}, {2, 2}, {2, 1}};
  for (int k = 0; k < 4; ++k) {
    int ci = outline[k];
    g[pos[k][0]][pos[k][1]] = MakeVertex(c[ci], colors[ci], textures, count, st[ci][0], st[ci][1]);
    at[pos[k][0]][pos[k][1]] = p[k];
    onCorner[pos[k][0]][pos[k][1]] = true;
  }
  struct TRing {
    int corner;
    int row, col;
    int what;  // 0 miter, 1 incoming edge offset, 2 outgoing edge offset
  };
  static const TRing rings[12] = {
      {0, 0, 0, 0}, {0, 1, 0, 1}, {0, 0, 1, 2},  // TL: left edge in, top edge out
      {1, 0, 3, 0}, {1, 0, 2, 1}, {1, 1, 3, 2},  // TR: top in, right out
      {2, 3, 3, 0}, {2, 2, 3, 1}, {2, 3, 2, 2},  // BR: right in, bottom out
      {3, 3, 0, 0}, {3, 3, 1, 1}, {3, 2, 0, 2},  // BL: bottom in, left out
  };
  for (const TRing& r : rings) {
    TPointF o = r.what == 0 ? miter[r.corner] : r.what == 1 ? off[(r.corner + 3) % 4] : off[r.corner];
    auto [ok, v] = ring(r.corner, o);
    if (!ok) return plain();
    g[r.row][r.col] = v;
    at[r.row][r.col] = {p[r.corner].x + o.x, p[r.corner].y + o.y};
    onCorner[r.row][r.col] = o.x == 0 && o.y == 0;
  }
  // Ring cells that cover no pixel are left out: those of edges not antialiased (their ring
  // vertices lie on the corners) and those wholly outside the viewport (pixel centres lie half
  // a pixel inside it). Mostly the inner edges of tiled pictures and the edges of a picture
  // filling the frame; the middle then goes in one opaque draw.
  const float vl = float(viewport_.left) + 0.25f, vt = float(viewport_.top) + 0.25f;
  const float vr = float(viewport_.right) - 0.25f, vb = float(viewport_.bottom) - 0.25f;
  auto covers = [&](int row, int col) {
    if (row == 1 && col == 1) return true;
    const TPointF* q[4] = {&at[row][col], &at[row][col + 1], &at[row + 1][col], &at[row + 1][col + 1]};
    if (onCorner[row][col] && onCorner[row][col + 1] && onCorner[row + 1][col] && onCorner[row + 1][col + 1])
      return false;
    float x0 = q[0]->x, x1 = q[0]->x, y0 = q[0]->y, y1 = q[0]->y;
    for (const TPointF* e : q) {
      x0 = std::min(x0, e->x), x1 = std::max(x1, e->x);
      y0 = std::min(y0, e->y), y1 = std::max(y1, e->y);
    }
    return x1 > vl && x0 < vr && y1 > vt && y0 < vb;
  };
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) {
      if (!covers(row, col)) continue;
      batch_.AddTriangle(g[row][col], g[row][col + 1], g[row + 1][col]);
      batch_.AddTriangle(g[row][col + 1], g[row + 1][col], g[row + 1][col + 1]);
    }
}

}  // namespace zem
