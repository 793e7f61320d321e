#include "render/drawer/gl_backend.h"

#include "foundation/geometry.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <set>

#include "foundation/assert.h"
#include "render/screen.h"
#include "render/shaders.h"
#include "render/texture_store.h"
#include "render/textures.h"
#include "render/tiling.h"
#include "render/yuv.h"

namespace zem {

namespace {

struct TCacheRegistry;

// An image's textures, kept on the picture. Registered with the drawer that made it, so the
// drawer can empty it when it goes first.
class TImageCache : public TObj {
 public:
  explicit TImageCache(std::shared_ptr<TCacheRegistry> registry);
  ~TImageCache() override;
  TTextureStore2 store;
  const TCacheRegistry* Registry() const { return registry_.get(); }

 private:
  std::shared_ptr<TCacheRegistry> registry_;
};

struct TCacheRegistry {
  std::mutex lock;
  std::set<TImageCache*> caches;  // guarded by lock
};

TImageCache::TImageCache(std::shared_ptr<TCacheRegistry> registry) : registry_(std::move(registry)) {
  std::lock_guard<std::mutex> g(registry_->lock);
  registry_->caches.insert(this);
}

TImageCache::~TImageCache() {
  std::lock_guard<std::mutex> g(registry_->lock);
  registry_->caches.erase(this);
}

TVec3 V(const TBVec& v) { return {v.x, v.y, v.z}; }

}  // namespace

const char* ProgramName(int id) {
  ZEM_ASSERT(id >= 0 && id < kPrgCount);
  return ProgramNames()[size_t(id)].c_str();
}

struct TGLBackend::TImpl {
  std::unique_ptr<T3DScreen> screen;
  std::unique_ptr<TShader> programs[kPrgCount];
  std::unique_ptr<TRenderTargetManager> pools[2];
  std::unique_ptr<TTextureManager6> textures;
  std::unique_ptr<TBoxAntialiaser> anti;
  std::shared_ptr<TCacheRegistry> caches = std::make_shared<TCacheRegistry>();
};

TGLBackend::TGLBackend() : impl_(std::make_unique<TImpl>()) {}

TGLBackend::~TGLBackend() {
  // Order: everything made on the screen goes before it, the pictures' textures first.
  {
    std::lock_guard<std::mutex> g(impl_->caches->lock);
    for (TImageCache* c : impl_->caches->caches) c->store.Clear();
  }
  impl_->anti.reset();
  for (auto& p : impl_->programs) p.reset();
  for (auto& p : impl_->pools) p.reset();
  impl_->textures.reset();
  impl_->screen.reset();
}

void TGLBackend::Assign(TDrawDevice* device) {
  if (!impl_->screen) {
    impl_->screen = std::make_unique<T3DScreen>();
    impl_->textures = std::make_unique<TTextureManager6>(impl_->screen.get());
  }
  impl_->screen->AssignDevice(device);
}

void TGLBackend::ReleaseDevice() {
  if (impl_->screen) impl_->screen->AssignDevice(nullptr);
}

bool TGLBackend::HasScreen() const { return impl_->screen != nullptr; }
T3DScreen* TGLBackend::Screen() const { return impl_->screen.get(); }
bool TGLBackend::IsReady() const { return impl_->screen && impl_->screen->IsReady(); }
int TGLBackend::ShaderLevel() { return impl_->screen ? impl_->screen->ShaderLevel() : 0; }

int TGLBackend::DeviceState() const {
  if (!impl_->screen || !impl_->screen->Renderer()) return 3;
  return impl_->screen->Renderer()->State();
}

double TGLBackend::UploadMsTotal() const { return impl_->screen ? impl_->screen->UploadMsTotal() : 0; }
double TGLBackend::UploadMsMaxFrame() const { return impl_->screen ? impl_->screen->UploadMsMaxScene() : 0; }

int TGLBackend::RefreshRate() const {
  const T3DRenderer* r = impl_->screen ? impl_->screen->Renderer() : nullptr;
  return r && r->RefreshRate() > 0 ? r->RefreshRate() : 60;
}

void TGLBackend::CreatePrograms() {
  if (!impl_->screen) return;
  for (int i = 0; i < kPrgCount; ++i)
    if (!impl_->programs[i]) impl_->programs[i] = impl_->screen->CreateShader(ProgramName(i));
}

TBRect TGLBackend::BackBufferRect() const {
  if (!impl_->screen || !impl_->screen->Renderer()) return {};
  T3DSurface* b = impl_->screen->Renderer()->BackBuffer();
  if (!b) return {};
  return {0, 0, b->Width(), b->Height()};
}

TBRect TGLBackend::CurrentTargetRect() const {
  if (!impl_->screen) return {};
  TIntRect r = impl_->screen->TargetRect();
  return {r.left, r.top, r.right, r.bottom};
}

void TGLBackend::RefreshPools(int32_t w, int32_t h) {
  if (!impl_->screen || w <= 0 || h <= 0) return;
  int32_t hw = std::max(1, w / 2), hh = std::max(1, h / 2);
  if (!impl_->pools[kPoolFull])
    impl_->pools[kPoolFull] = std::make_unique<TRenderTargetManager>(impl_->screen.get(), w, h, true);
  else if (impl_->pools[kPoolFull]->Width() != w || impl_->pools[kPoolFull]->Height() != h)
    impl_->pools[kPoolFull]->SetSize(w, h);
  if (!impl_->pools[kPoolHalf])
    impl_->pools[kPoolHalf] = std::make_unique<TRenderTargetManager>(impl_->screen.get(), hw, hh, true);
  else if (impl_->pools[kPoolHalf]->Width() != hw || impl_->pools[kPoolHalf]->Height() != hh)
    impl_->pools[kPoolHalf]->SetSize(hw, hh);
}

bool TGLBackend::BeginScene() { return impl_->screen && impl_->screen->BeginScene(); }
void TGLBackend::EndScene() {
  if (impl_->screen) impl_->screen->EndScene();
}
bool TGLBackend::Present() { return impl_->screen && impl_->screen->Present(); }
bool TGLBackend::InScene() const { return impl_->screen && impl_->screen->InScene(); }
void TGLBackend::WaitIdle() {
  if (impl_->screen) impl_->screen->WaitIdle();
}

void TGLBackend::Clear(uint32_t argb, bool depth) {
  if (impl_->screen) impl_->screen->Clear(argb, depth);
}

void TGLBackend::ClearRect(uint32_t argb, const TBRect& r) {
  if (impl_->screen && !r.Empty()) impl_->screen->ClearRect(argb, {r.left, r.top, r.right, r.bottom});
}

void TGLBackend::SetMapping(const TBRect& designRect, int32_t w, int32_t h) {
  if (impl_->screen)
    impl_->screen->SetProjection({designRect.left, designRect.top, designRect.right, designRect.bottom}, w, h);
}

void TGLBackend::Confine(const TBRect& r) {
  if (impl_->screen) impl_->screen->SetViewport({r.left, r.top, r.right, r.bottom});
}

TBRect TGLBackend::ConfineRect() const {
  if (!impl_->screen) return {};
  const TIntRect& r = impl_->screen->Viewport();
  return {r.left, r.top, r.right, r.bottom};
}

bool TGLBackend::PlainState() const {
  return impl_->screen && impl_->screen->BlendMode() == 0 && !impl_->screen->ProgramSet();
}

bool TGLBackend::OnBackBuffer() const { return impl_->screen && impl_->screen->TargetDepth() <= 1; }

bool TGLBackend::Project(const TBVec& p, float& x, float& y) const {
  if (!impl_->screen) return false;
  TPointF out;
  if (!impl_->screen->Projection().Project(V(p), out)) return false;
  x = out.x;
  y = out.y;
  return true;
}

void TGLBackend::ColoredQuad(const TBVec c[4], const uint32_t colours[4]) {
  if (!impl_->screen) return;
  TVec3 v[4] = {V(c[0]), V(c[1]), V(c[2]), V(c[3])};
  impl_->screen->DrawColoredQuad(v, colours);
}

TBoxAntialiaser::TBoxAntialiaser(T3DScreen* screen) : screen_(screen) {
  ZEM_ASSERT(screen != nullptr);
  texture_ = std::make_unique<TBoxAntiTexture>(screen, kSize, kSize);
  TBitmap white;
  white.Allocate(kSize, kSize, TPixelFormat::Argb32);
  white.Fill(0xFFFFFFFFu);
  texture_->SetPixels(white.Data(), white.Stride());
}

TBoxAntialiaser::~TBoxAntialiaser() = default;

void TBoxAntialiaser::DrawAntialiasedBox(const TBVec c[4], const uint32_t colours[4], uint8_t edges) {
  TVec3 v[4] = {V(c[0]), V(c[1]), V(c[2]), V(c[3])};
  // Inset by one texel so bilinear sampling never reaches past the white area.
  TQuadTexture q{texture_.get(), {1, 1, float(kSize - 1), float(kSize - 1)}};
  screen_->DrawTexturedQuad(v, &q, 1, colours, edges);
}

void TGLBackend::AntialiasedQuad(const TBVec c[4], const uint32_t colours[4], uint8_t edges) {
  if (!impl_->screen) return;
  if (!impl_->anti) {
    impl_->anti = std::make_unique<TBoxAntialiaser>(impl_->screen.get());
    antiTexture_ = impl_->anti->Texture();
  }
  impl_->anti->DrawAntialiasedBox(c, colours, edges);
}

void TTargetDeleter::operator()(TRenderTargetTexture* t) const { delete t; }

TTargetPtr TGLBackend::Take(int pool) {
  ZEM_ASSERT(pool == kPoolFull || pool == kPoolHalf);
  if (!impl_->pools[pool]) return nullptr;
  auto t = impl_->pools[pool]->Take();
  if (t) t->premultiplied = true;  // drawn into from transparent black: premultiplied colour
  return TTargetPtr(t.release());
}

void TGLBackend::Return(int pool, TTargetPtr t) {
  if (!t) return;
  ZEM_ASSERT(pool == kPoolFull || pool == kPoolHalf);
  Flush();  // pending triangles may still read it
  auto& p = impl_->pools[pool];
  // A target from before a resize does not fit the pool any more: it is simply freed.
  if (p && t->Width() == p->Width() && t->Height() == p->Height())
    p->Return(std::unique_ptr<TRenderTargetTexture>(t.release()));
}

int32_t TGLBackend::AllocWidth(TRenderTargetTexture* t) { return t ? t->AllocWidth() : 0; }
int32_t TGLBackend::AllocHeight(TRenderTargetTexture* t) { return t ? t->AllocHeight() : 0; }

void TGLBackend::SetPremultiplied(TRenderTargetTexture* t, bool on) {
  Flush();
  if (t) t->premultiplied = on;
}

int32_t TGLBackend::TargetWidth(TRenderTargetTexture* t) { return t ? t->Width() : 0; }
int32_t TGLBackend::TargetHeight(TRenderTargetTexture* t) { return t ? t->Height() : 0; }

TTargetPtr TGLBackend::MakeTarget(int32_t w, int32_t h, bool alpha) {
  if (!impl_->screen || w <= 0 || h <= 0) return nullptr;
  auto* t = new TRenderTargetTexture(impl_->screen.get(), w, h, alpha);
  t->premultiplied = true;
  return TTargetPtr(t);
}

void TGLBackend::PushTarget(TRenderTargetTexture* t, int32_t ox, int32_t oy) {
  if (impl_->screen) impl_->screen->PushRenderTarget(t, ox, oy);
}

void TGLBackend::PopTarget() {
  if (impl_->screen) impl_->screen->PopRenderTarget();
}

void TGLBackend::DrawTarget(TRenderTargetTexture* a, const TBRectF& source, const TBRectF& dest,
                            uint32_t colour, TRenderTargetTexture* b, const TBRectF* sourceB) {
  if (!impl_->screen || !a) return;
  TVec3 c[4] = {{dest.left, dest.top, 0}, {dest.right, dest.top, 0}, {dest.left, dest.bottom, 0},
                {dest.right, dest.bottom, 0}};
  uint32_t colours[4] = {colour, colour, colour, colour};
  TQuadTexture q[2] = {{a, {source.left, source.top, source.right, source.bottom}}, {}};
  int n = 1;
  if (b) {
    const TBRectF& sb = sourceB ? *sourceB : source;
    q[1] = {b, {sb.left, sb.top, sb.right, sb.bottom}};
    n = 2;
  }
  impl_->screen->DrawTexturedQuad(c, q, n, colours, 0);
}

void TGLBackend::SetProgram(int id) {
  if (!impl_->screen) return;
  if (id < 0) {
    impl_->screen->SetShader(nullptr);
    return;
  }
  ZEM_ASSERT(id < kPrgCount);
  impl_->screen->SetShader(impl_->programs[id].get());
}

void TGLBackend::SetConstant(int reg, float x, float y, float z, float w) {
  if (impl_->screen) impl_->screen->SetShaderConstant(reg, x, y, z, w);
}

void TGLBackend::SetBlendMode(int mode) {
  if (impl_->screen) impl_->screen->SetBlendMode(mode);
}

void TGLBackend::Flush() {
  if (impl_->screen) impl_->screen->Flush();
}

std::string TGLBackend::ImageKey(const TBImageDraw& d) {
  return TTextureStore2::MakeKey(d.mipLevel, d.columns, d.rows, d.reserved);
}

namespace {
TImageCache* CacheOf(const std::unique_ptr<TObj>& cache, const TCacheRegistry* registry) {
  auto* store = dynamic_cast<TImageCache*>(cache.get());
  return store && store->Registry() == registry ? store : nullptr;
}

// What MakeImage hands back until it is published.
class TMadeImage : public TObj {
 public:
  std::unique_ptr<TMultiTexture6> texture;
};
}  // namespace

bool TGLBackend::HasImage(const std::unique_ptr<TObj>& cache, const TBImageDraw& d) const {
  TImageCache* store = CacheOf(cache, impl_->caches.get());
  if (!store) return false;
  const std::string key = ImageKey(d);
  TMultiTexture6* m = store->store.Find(key);
  if (m && m->PixelsLost()) {
    // The device went after the tiles had freed their pixels: made again from the picture.
    store->store.Remove(key);
    return false;
  }
  return m != nullptr;
}

std::unique_ptr<TObj> TGLBackend::MakeImage(const TBitmap& level, const TBImageDraw& d) {
  if (!impl_->textures || level.Empty()) return nullptr;
  const int cols = std::clamp(d.columns, 1, level.Width()), rows = std::clamp(d.rows, 1, level.Height());
  auto made = std::make_unique<TMadeImage>();
  made->texture = std::make_unique<TMultiTexture6>(impl_->textures.get(), level, cols, rows, d.nearest, d.anisotropic);
  // The picture can give its pixels again, so the tiles keep none once they are uploaded.
  made->texture->ReleasePixelsAfterUpload();
  return made;
}

void TGLBackend::PublishImage(std::unique_ptr<TObj>& cache, const TBImageDraw& d, std::unique_ptr<TObj> made) {
  auto* m = dynamic_cast<TMadeImage*>(made.get());
  if (!m || !m->texture) return;
  TImageCache* store = CacheOf(cache, impl_->caches.get());
  if (!store) {
    // None yet, or made by another drawer: this drawer's own store replaces it.
    cache = std::make_unique<TImageCache>(impl_->caches);
    store = static_cast<TImageCache*>(cache.get());
  }
  const std::string key = ImageKey(d);
  if (!store->store.Find(key)) store->store.Add(key, std::move(m->texture));
}

namespace {
// The reduced copy's scale: picture pixels per texel, in each direction.
TPointF CopyScale(const TMultiTexture6& m, const TBImageDraw& d) {
  return {d.pictureWidth > 0 ? float(d.pictureWidth) / float(m.Width()) : 1.0f,
          d.pictureHeight > 0 ? float(d.pictureHeight) / float(m.Height()) : 1.0f};
}
}  // namespace

bool TGLBackend::Minified(const TBVec c[4], float texelsX, float texelsY) const {
  // Each edge against the texels it shows; a corner behind the camera counts as minified.
  float px[4], py[4];
  for (int i = 0; i < 4; ++i)
    if (!Project(c[i], px[i], py[i])) return true;
  auto length = [&](int a, int b) { return std::hypot(px[b] - px[a], py[b] - py[a]); };
  // A texel per pixel or coarser needs no mip level; a hair of slack for rounding.
  return std::min(length(0, 1), length(2, 3)) < texelsX * 0.999f ||
         std::min(length(0, 2), length(1, 3)) < texelsY * 0.999f;
}

bool TGLBackend::DrawImage(std::unique_ptr<TObj>& cache, const TBImageDraw& dn, const TBVec& origin,
                           const TBVec& xn, const TBVec& yn) {
  TImageCache* store = CacheOf(cache, impl_->caches.get());
  TMultiTexture6* m = store ? store->store.Find(ImageKey(dn)) : nullptr;
  if (!m || !impl_->screen) return false;
  // From picture pixels to the texels of the reduced copy.
  const TPointF f = CopyScale(*m, dn);
  TBImageDraw d = dn;
  d.source = {dn.source.left / f.x, dn.source.top / f.y, dn.source.right / f.x, dn.source.bottom / f.y};
  const TBVec x{xn.x * f.x, xn.y * f.x, xn.z * f.x}, y{yn.x * f.y, yn.y * f.y, yn.z * f.y};
  bool mips = d.anisotropic && d.mipBias != 0;
  if (d.anisotropic && !mips) {
    auto at = [&](float u, float v) {
      return TBVec{origin.x + xn.x * u + yn.x * v, origin.y + xn.y * u + yn.y * v, origin.z + xn.z * u + yn.z * v};
    };
    const TBVec c[4] = {at(dn.source.left, dn.source.top), at(dn.source.right, dn.source.top),
                        at(dn.source.left, dn.source.bottom), at(dn.source.right, dn.source.bottom)};
    mips = Minified(c, d.source.right - d.source.left, d.source.bottom - d.source.top);
  }
  m->SetSampling(d.nearest, mips, d.mipBias);
  m->border = d.border;
  if (d.premulOutput) {
    Flush();
    for (const auto& t : m->Tiles()) t.texture->premultiplied = true;
  }
  if (d.colorise > 0) {
    SetProgram(kPrgColorCorrection);
    SetConstant(0, d.colorise, d.colorise, d.colorise, d.colorise);
  }
  m->Draw(impl_->screen.get(), {d.source.left, d.source.top, d.source.right, d.source.bottom}, V(origin),
          V(x), V(y), d.colour, d.antialiased);
  if (d.colorise > 0) SetProgram(-1);
  if (d.premulOutput) {
    Flush();
    for (const auto& t : m->Tiles()) t.texture->premultiplied = false;
  }
  return true;
}

void TGLBackend::ReleaseImage(std::unique_ptr<TObj>& cache) { cache.reset(); }

bool TGLBackend::ImageOpaque(const std::unique_ptr<TObj>& cache, const TBImageDraw& d) const {
  TImageCache* store = CacheOf(cache, impl_->caches.get());
  TMultiTexture6* m = store ? store->store.Find(ImageKey(d)) : nullptr;
  return m && m->Opaque();
}

bool TGLBackend::DrawImageOverMask(std::unique_ptr<TObj>& cache, const TBImageDraw& dn, const TBVec& origin,
                                   const TBVec& xn, const TBVec& yn, TRenderTargetTexture* mask) {
  if (!impl_->screen || !mask) return false;
  T3DScreen* screen = impl_->screen.get();
  if (!screen->InScene()) return false;
  TImageCache* store = CacheOf(cache, impl_->caches.get());
  TMultiTexture6* m = store ? store->store.Find(ImageKey(dn)) : nullptr;
  if (!m) return false;
  const TPointF f = CopyScale(*m, dn);
  TBImageDraw d = dn;
  d.source = {dn.source.left / f.x, dn.source.top / f.y, dn.source.right / f.x, dn.source.bottom / f.y};
  const TBVec x{xn.x * f.x, xn.y * f.x, xn.z * f.x}, y{yn.x * f.y, yn.y * f.y, yn.z * f.y};
  m->SetSampling(d.nearest, d.anisotropic, d.mipBias);
  const TVec3 o = V(origin), ax = V(x), ay = V(y);
  const TFloatRect src = d.source.Empty() ? TFloatRect{0, 0, float(m->Width()), float(m->Height())}
                                          : TFloatRect{d.source.left, d.source.top, d.source.right, d.source.bottom};
  const TProjection& proj = screen->Projection();
  const float mw = mask->InvWidth(), mh = mask->InvHeight();
  for (const auto& t : m->Tiles()) {
    const TIntRect& u = t.place.useful;
    TFloatRect r{std::max(src.left, float(u.left)), std::max(src.top, float(u.top)),
                 std::min(src.right, float(u.right)), std::min(src.bottom, float(u.bottom))};
    if (r.Empty()) continue;
    TCustomTexture* set[2] = {t.texture.get(), mask};
    screen->Batch().Begin(set, 2);
    const TIntRect& a = t.place.area;
    const float cu[4] = {r.left, r.right, r.left, r.right}, cv[4] = {r.top, r.top, r.bottom, r.bottom};
    TVertex v[4];
    for (int i = 0; i < 4; ++i) {
      TVec3 p = o + ax * cu[i] + ay * cv[i];
      v[i].x = p.x, v[i].y = p.y, v[i].z = p.z;
      v[i].color = d.colour;
      v[i].tex[0][0] = (cu[i] - float(a.left)) * t.texture->InvWidth();
      v[i].tex[0][1] = (cv[i] - float(a.top)) * t.texture->InvHeight();
      TPointF px;
      if (!proj.Project(p, px)) px = {0, 0};
      v[i].tex[1][0] = px.x * mw;
      v[i].tex[1][1] = px.y * mh;
    }
    screen->Batch().AddTriangle(v[0], v[1], v[2]);
    screen->Batch().AddTriangle(v[1], v[2], v[3]);
  }
  return true;
}

void TGLBackend::TargetQuad(TRenderTargetTexture* t, const TBRectF& source, const TBVec c[4], uint32_t colour,
                            uint8_t edges) {
  if (!impl_->screen || !t) return;
  TVec3 v[4] = {V(c[0]), V(c[1]), V(c[2]), V(c[3])};
  uint32_t colours[4] = {colour, colour, colour, colour};
  TQuadTexture q{t, {source.left, source.top, source.right, source.bottom}};
  impl_->screen->DrawTexturedQuad(v, &q, 1, colours, edges);
}

bool TGLBackend::VideoQuad(T3DYUVGL* s, const TBVec c[4], uint32_t colour, const TBRectF& source, uint8_t edges) {
  if (!impl_->screen || !s) return false;
  TVec3 v[4] = {V(c[0]), V(c[1]), V(c[2]), V(c[3])};
  uint32_t colours[4] = {colour, colour, colour, colour};
  const TFloatRect full{source.left, source.top, source.right, source.bottom};
  const TFloatRect half{source.left / 2, source.top / 2, source.right / 2, source.bottom / 2};
  TQuadTexture q[3];
  int n = 0;
  if (s->Luma() && s->ChromaU() && s->ChromaV()) {
    q[0] = {s->Luma(), full};
    q[1] = {s->ChromaU(), half};
    q[2] = {s->ChromaV(), half};
    n = 3;
  } else if (s->RgbaTexture()) {
    q[0] = {s->RgbaTexture(), full};
    n = 1;
  } else if (s->Luma()) {
    q[0] = {s->Luma(), full};
    n = 1;
  } else if (s->Grey()) {
    q[0] = {s->Grey(), full};
    n = 1;
  }
  if (n == 0) return false;
  impl_->screen->DrawTexturedQuad(v, q, n, colours, edges);
  return true;
}

int32_t TGLBackend::VideoLumaRows(T3DYUVGL* s) { return s && s->Luma() ? s->Luma()->AllocHeight() : 0; }

int TGLBackend::MultiTextureCount() const {
  return impl_->textures ? impl_->textures->MultiTextureCount() : 0;
}

bool TGLBackend::CopyBackBuffer(TBitmap& out) { return impl_->screen && impl_->screen->CopyToBitmap(out); }
bool TGLBackend::ReadTarget(TBitmap& out) { return impl_->screen && impl_->screen->ReadTarget(out); }

}  // namespace zem
