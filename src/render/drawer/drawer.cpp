#include "render/drawer/drawer.h"

#include <algorithm>
#include <cmath>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "model/transition_catalogue.h"
#include "model/transition_choice.h"
#include "model/zem_slide.h"
#include "render/drawer/device_window.h"
#include "render/drawer/drawer_math.h"
#include "render/drawer/tri_tile.h"
#include "transitions/draw_filter.h"
#include "transitions/slide_eff_filter.h"

namespace zem {

std::recursive_mutex& FrameLock() {
  static std::recursive_mutex lock;
  return lock;
}

namespace {

TBVec B(const TVec3& v) { return {v.x, v.y, v.z}; }
// origin + u·x + v·y
TBVec At(const TBVec& o, const TBVec& x, const TBVec& y, float u, float v) {
  return {o.x + x.x * u + y.x * v, o.y + x.y * u + y.y * v, o.z + x.z * u + y.z * v};
}
TBRect B(const TRectI& r) { return {r.left, r.top, r.right, r.bottom}; }
TRectI M(const TBRect& r) { return {r.left, r.top, r.right, r.bottom}; }
bool RectValid(const TRectI& r) { return r.left < r.right && r.top < r.bottom; }

TRectI Intersect(const TRectI& a, const TRectI& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

// Runs a closing action on every way out of a scope.
template <class F>
struct TFinally {
  F f;
  ~TFinally() { f(); }
};
template <class F>
TFinally(F) -> TFinally<F>;

uint8_t EdgeBits(const uint8_t e[4]) {
  return uint8_t((e[0] ? 1 : 0) | (e[1] ? 2 : 0) | (e[2] ? 4 : 0) | (e[3] ? 8 : 0));
}

uint32_t VertexAlpha(float opacity) {
  return uint32_t(std::lround(std::clamp(opacity * 2.55f, 0.0f, 255.0f)));
}

}  // namespace

// A capture shown as a picture by the images of a custom effect: the capture's texels of the
// rendered area. Lives only while the transition frame holds the capture.
class TCapturePicture : public TDrawPicture {
 public:
  TCapturePicture(TRenderTargetTexture* target, const TBRect& area) : target_(target), area_(area) {}
  int32_t Width() const override { return area_.Width(); }
  int32_t Height() const override { return area_.Height(); }
  const TBitmap* Pixels() const override { return nullptr; }
  WideString Name() const override { return u"capture"; }
  TRenderTargetTexture* Target() const { return target_; }
  const TBRect& Area() const { return area_; }
  void Drop() { target_ = nullptr; }

 private:
  TRenderTargetTexture* target_;
  TBRect area_;
};

T3DDrawer::T3DDrawer() = default;

T3DDrawer::~T3DDrawer() {
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  triController_.reset();
  // Surfaces may outlive the drawer in their video sources: their textures go now.
  const std::vector<T3DYUVGL*> live = surfaces_;
  for (T3DYUVGL* s : live) s->Close();
  surfaces_.clear();
  effecter_.reset();
  offscreen_.reset();
}

bool T3DDrawer::CanDraw() {
  ZEM_ASSERT(HasNotify());
  return inScene_ && gl_.InScene();
}

// ---------------------------------------------------------------------------------------------
// Set-up and frames

void T3DDrawer::Init(TDeviceWindow* window) {
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  LogLine("T3DDrawer.Init");
  ZEM_ASSERT(window != nullptr);
  gl_.Assign(window->Device());
  gl_.CreatePrograms();
  targetRect_ = M(gl_.BackBufferRect());
  gl_.RefreshPools(targetRect_.Width(), targetRect_.Height());
}

void T3DDrawer::Close() {
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  LogLine("T3DDrawer.Close");
  offscreen_.reset();
  gl_.ReleaseDevice();
}

bool T3DDrawer::IsReady() { return gl_.IsReady(); }

int T3DDrawer::RefreshRate() { return gl_.RefreshRate(); }

int32_t T3DDrawer::CheckDevice() { return gl_.DeviceState(); }

TRectI T3DDrawer::GetTargetRect() {
  if (gl_.InScene()) return M(gl_.CurrentTargetRect());
  return targetRect_;
}

void T3DDrawer::SetDesignSize(int32_t width, int32_t height) {
  designFixed_ = width > 0 && height > 0;
  fixedSize_ = designFixed_ ? TPointI{width, height} : TPointI{};
}

void T3DDrawer::MapDesign() {
  TRectI rect = RectValid(designRect_) ? designRect_ : frameClipRect_;
  TPointI size = designSize_.x > 0 && designSize_.y > 0 ? designSize_ : TPointI{rect.Width(), rect.Height()};
  gl_.SetMapping(B(rect), size.x, size.y);
  // Frames are confined to the frame clip rectangle on the back buffer; a viewport set for the
  // whole window (the overlay's navigation panel, drawn over the painted letterbox) to its own.
  if (gl_.OnBackBuffer()) {
    TRectI whole = M(gl_.CurrentTargetRect());
    TRectI confine = Intersect(RectValid(designRect_) ? designRect_ : frameClipRect_, whole);
    gl_.Confine(B(confine.IsEmpty() ? whole : confine));
  }
}

void T3DDrawer::MapPixels() {
  TBRect t = gl_.CurrentTargetRect();
  gl_.SetMapping(t, t.Width(), t.Height());
}

void T3DDrawer::BeginFrame() {
  imagesDrawn_ = 0;
  targetRect_ = M(gl_.BackBufferRect());
  gl_.RefreshPools(targetRect_.Width(), targetRect_.Height());
  inScene_ = gl_.BeginScene();
  // The back buffer may only exist once the scene began (device made again).
  targetRect_ = M(gl_.BackBufferRect());
  gl_.RefreshPools(targetRect_.Width(), targetRect_.Height());
  TRectI clip = clipRect_.IsEmpty() ? targetRect_ : Intersect(clipRect_, targetRect_);
  if (designFixed_) {
    int32_t w = fixedSize_.x, h = fixedSize_.y;
    int32_t l = clip.left + (clip.Width() - w) / 2, t = clip.top + (clip.Height() - h) / 2;
    clip = {l, t, l + w, t + h};
  }
  frameClipRect_ = clip;
  if (!effecter_) effecter_ = std::make_unique<TCustomD3DEffecter>(*this, gl_);
  TBRect target = B(targetRect_);
  if (effecter_->Rect().left != target.left || effecter_->Rect().top != target.top ||
      effecter_->Rect().right != target.right || effecter_->Rect().bottom != target.bottom)
    effecter_->SetRect(target);
  effecter_->SetClipRect(B(frameClipRect_));
  if (inScene_) MapDesign();
  Notify(nullptr, kDrawNotifyFrameBegin);
}

void T3DDrawer::EndFrame() { Notify(nullptr, kDrawNotifyFrameEnd); }

bool T3DDrawer::Present() {
  if (!inScene_) return false;
  inScene_ = false;
  if (noPresent_) {
    // Capture mode: the frame stays in the back buffer for CopyToBitmap.
    gl_.EndScene();
    return true;
  }
  return gl_.Present();
}

bool T3DDrawer::DrawItem(TDrawItem* item) {
  ZEM_ASSERT(item != nullptr);
  ZEM_ASSERT(HasNotify());
  if (depth_ > 0) {
    if (!IsReady() || !inScene_) return false;
    ++depth_;
    TFinally leave{[this] { --depth_; }};
    ItemEffect(item);
    return true;
  }
  std::lock_guard<std::recursive_mutex> frame(FrameLock());
  BeginFrame();
  try {
    ++depth_;
    TFinally leave{[this] { --depth_; }};
    if (IsReady() && inScene_) item->Draw(*this);
  } catch (...) {
    // The scene is closed on this path too; the frame is not presented.
    effectRunning_ = false;
    if (effecter_) effecter_->ReleaseCaptures();
    while (offscreen_) {
      gl_.PopTarget();
      gl_.Return(kPoolFull, std::move(offscreen_));
    }
    if (inScene_) gl_.EndScene();
    inScene_ = false;
    item->FrameDone(*this);
    throw;
  }
  EndFrame();
  bool result = Present();
  item->FrameDone(*this);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Item effects

void T3DDrawer::ItemEffect(TDrawItem* item) {
  float b = item->GetBlur();
  bool plain = effectRunning_ || (b >= 0 && b < 0.00001f) || (b < 0 && offscreen_) ||
               gl_.ShaderLevel() != 2;
  if (plain) {
    item->Draw(*this);
    return;
  }
  Unhold();
  effectRunning_ = true;
  TFinally done{[this] { effectRunning_ = false; }};
  Notify(item, kDrawNotifyItemEffect);
  float s = float(frameClipRect_.Width());
  if (b > 0) {
    bounds_ = {};
    BlurItem(item, b / 1000.0f * s);
  } else {
    BeginOffscreen();
    bool ok = false;
    TFinally close{[&] {
      if (!ok) EndOffscreen(0, 0);
    }};
    item->Draw(*this);
    ok = true;
    EndOffscreen(0, -b / 100.0f * s);
  }
}

void T3DDrawer::Track(const TBVec* corners, int count) {
  if (!effectRunning_) return;
  float xs[4], ys[4];
  bool valid[4];
  for (int i = 0; i < count && i < 4; ++i) valid[i] = gl_.Project(corners[i], xs[i], ys[i]);
  GrowBounds(bounds_, gl_.CurrentTargetRect(), xs, ys, valid, std::min(count, 4));
}

void T3DDrawer::GaussPass(TRenderTargetTexture* src, TRenderTargetTexture* dst, bool horizontal,
                          float weight, float step, const TBRect& half) {
  int32_t sw = TGLBackend::TargetWidth(src), sh = TGLBackend::TargetHeight(src);
  int32_t grow = int32_t(std::ceil(7 * step));
  TBRect area{std::max(0, half.left - grow), std::max(0, half.top - grow), std::min(sw, half.right + grow),
              std::min(sh, half.bottom + grow)};
  if (dst) {
    gl_.PushTarget(dst);
    gl_.Clear(0, false);
  }
  MapPixels();
  gl_.SetProgram(horizontal ? kPrgGaussBlurH7 : kPrgGaussBlurV7);
  auto w = GaussWeights(weight);
  gl_.SetConstant(0, w[0], w[1], w[2], w[3]);
  float size = float(horizontal ? TGLBackend::AllocWidth(src) : TGLBackend::AllocHeight(src));
  gl_.SetConstant(1, step / size);
  TBRectF s{float(area.left), float(area.top), float(area.right), float(area.bottom)};
  TBRectF d = s;
  if (!dst) d = {s.left * 2, s.top * 2, s.right * 2, s.bottom * 2};  // onto the frame: scaled up
  gl_.DrawTarget(src, s, d);
  gl_.SetProgram(-1);
  if (dst) gl_.PopTarget();
}

void T3DDrawer::BlurItem(TDrawItem* item, float radius) {
  TTargetPtr a = gl_.Take(kPoolFull);
  if (!a) {
    item->Draw(*this);
    return;
  }
  TFinally giveA{[&] {
    gl_.Return(kPoolFull, std::move(a));
    MapDesign();
  }};
  // 1: the item alone, sharp, into A.
  gl_.PushTarget(a.get());
  gl_.Clear(0, false);
  MapDesign();
  {
    TFinally pop{[&] { gl_.PopTarget(); }};
    item->Draw(*this);
  }
  TBRect full = bounds_;
  if (full.Empty()) return;
  // 2: its drawn bounds at half scale into B.
  TTargetPtr b = gl_.Take(kPoolHalf);
  if (!b) return;
  TFinally giveB{[&] { gl_.Return(kPoolHalf, std::move(b)); }};
  TBRect half{full.left / 2, full.top / 2, (full.right + 1) / 2, (full.bottom + 1) / 2};
  half.right = std::min(half.right, TGLBackend::TargetWidth(b.get()));
  half.bottom = std::min(half.bottom, TGLBackend::TargetHeight(b.get()));
  gl_.PushTarget(b.get());
  gl_.Clear(0, false);
  MapPixels();
  gl_.DrawTarget(a.get(), {float(half.left * 2), float(half.top * 2), float(half.right * 2), float(half.bottom * 2)},
                 {float(half.left), float(half.top), float(half.right), float(half.bottom)});
  gl_.PopTarget();

  TBlurPlan plan = PlanBlur(radius * 0.5f);
  if (plan.separable) {
    TTargetPtr c = gl_.Take(kPoolHalf);
    if (!c) return;
    TFinally giveC{[&] { gl_.Return(kPoolHalf, std::move(c)); }};
    float step = 1;
    for (int i = 0; i < plan.passes; ++i) {
      GaussPass(b.get(), c.get(), true, 1, step, half);
      GaussPass(c.get(), b.get(), false, 1, step, half);
      step *= 2;
    }
    GaussPass(b.get(), c.get(), true, plan.lastWeight, step, half);
    GaussPass(c.get(), nullptr, false, plan.lastWeight, step, half);
  } else {
    MapPixels();
    gl_.SetProgram(kPrgGaussMix);
    gl_.SetConstant(0, plan.mixWeight);
    TBRectF dest{float(full.left), float(full.top), float(full.right), float(full.bottom)};
    TBRectF halfSrc{full.left * 0.5f, full.top * 0.5f, full.right * 0.5f, full.bottom * 0.5f};
    gl_.DrawTarget(a.get(), dest, dest, 0xFFFFFFFFu, b.get(), &halfSrc);
    gl_.SetProgram(-1);
  }
}

void T3DDrawer::BeginOffscreen() {
  if (gl_.ShaderLevel() != 2 || !CanDraw()) return;
  Unhold();
  if (offscreen_) {
    ++offscreenSkipped_;
    return;
  }
  offscreen_ = gl_.Take(kPoolFull);
  if (!offscreen_) return;
  gl_.PushTarget(offscreen_.get());
  gl_.Clear(0, false);
  MapDesign();
}

void T3DDrawer::EndOffscreen(uint8_t threshold, float amount) {
  if (gl_.ShaderLevel() != 2) return;
  Unhold();
  if (offscreenSkipped_ > 0) {
    --offscreenSkipped_;
    return;
  }
  if (!offscreen_) return;
  LogLine("apply unsharp, amount= " + FormatAmount(amount));
  TTargetPtr t = std::move(offscreen_);
  gl_.PopTarget();
  MapPixels();
  gl_.SetProgram(kPrgUnsharp);
  gl_.SetConstant(0, 1.0f / float(TGLBackend::AllocWidth(t.get())), 1.0f / float(TGLBackend::AllocHeight(t.get())));
  gl_.SetConstant(1, float(threshold) / 256.0f);
  gl_.SetConstant(2, amount / 100.0f);
  TBRect whole = gl_.CurrentTargetRect();
  TBRectF r{0, 0, float(whole.Width()), float(whole.Height())};
  gl_.DrawTarget(t.get(), r, r);
  gl_.SetProgram(-1);
  MapDesign();
  gl_.Return(kPoolFull, std::move(t));
}

// ---------------------------------------------------------------------------------------------
// Primitives

void T3DDrawer::Clear(uint32_t colour, bool withDepth) {
  if (!CanDraw()) return;
  Unhold();
  gl_.Clear(colour, withDepth);
}

void T3DDrawer::ClearRect(uint32_t colour, const TRectI& rect) {
  if (!CanDraw()) return;
  Unhold();
  gl_.ClearRect(colour, B(rect));
}

void T3DDrawer::DrawBox(const TVec3& position, const TPointF& offset, const TVec3& axisX,
                        const TVec3& axisY, const TBoxParams& params) {
  auto colours = BoxCornerColours(params.fillStyle, params.colour1, params.colour2, params.opacity);
  if (!CanDraw() || !(params.opacity > 0)) return;
  TVec3 d{offset_.x, offset_.y, 0};
  TVec3 tl = position + d - axisX * offset.x - axisY * offset.y;
  TBVec c[4] = {B(tl), B(tl + axisX * params.width), B(tl + axisY * params.height),
                B(tl + axisX * params.width + axisY * params.height)};
  Track(c, 4);
  uint8_t edges = EdgeBits(params.edgeAntialias);
  if (held_.on) {
    // Boxes under the picture of a faded item (its background) are hidden if the picture
    // covers the frame; a few are kept in case it does not.
    if (!held_.image && held_.boxes.size() < THeld::kMaxBoxes) {
      THeld::TBox& b = held_.boxes.emplace_back();
      std::copy(c, c + 4, b.c);
      std::copy(colours.begin(), colours.end(), b.colours);
      b.edges = edges;
      return;
    }
    Materialize();
  }
  BoxCorners(c, colours.data(), edges);
}

void T3DDrawer::BoxCorners(const TBVec c[4], const uint32_t colours[4], uint8_t edges) {
  if (edges)
    gl_.AntialiasedQuad(c, colours, edges);
  else if (!CoversWithClear(c, colours))
    gl_.ColoredQuad(c, colours);
}

bool T3DDrawer::CoversWithClear(const TBVec c[4], const uint32_t colours[4]) {
  // An opaque one-colour box lying flat over everything drawing is confined to (a slide's
  // background, mostly) is the same as clearing that rectangle, which costs the rasterizer
  // no shading.
  const uint32_t colour = colours[0];
  if ((colour >> 24) != 0xFF || colours[1] != colour || colours[2] != colour || colours[3] != colour) return false;
  if (!gl_.PlainState() || !CoversConfine(c)) return false;
  gl_.ClearRect(colour, gl_.ConfineRect());
  return true;
}

bool T3DDrawer::CoversConfine(const TBVec c[4]) {
  for (int i = 0; i < 4; ++i)
    if (c[i].z != 0) return false;
  // Axis-aligned: TL and TR share y, TL and BL share x.
  if (c[0].y != c[1].y || c[0].x != c[2].x || c[1].x != c[3].x || c[2].y != c[3].y) return false;
  float x0, y0, x1, y1;
  if (!gl_.Project(c[0], x0, y0) || !gl_.Project(c[3], x1, y1)) return false;
  const TBRect confine = gl_.ConfineRect();
  if (confine.Empty()) return false;
  return std::min(x0, x1) <= float(confine.left) && std::min(y0, y1) <= float(confine.top) &&
         std::max(x0, x1) >= float(confine.right) && std::max(y0, y1) >= float(confine.bottom);
}

void T3DDrawer::DrawFrame(const TVec3& position, const TVec3& axisX, const TVec3& axisY,
                          const TPointF& offset, const TPointF& borders, const TPointF& outerSize,
                          uint32_t colour, float opacity, bool antialias) {
  if (!(borders.x > 0) || !(borders.y > 0)) return;
  uint8_t on = antialias ? 1 : 0;
  TBoxParams p;
  p.fillStyle = kFillSolid;
  p.colour1 = p.colour2 = colour;
  p.opacity = opacity;
  // Left band.
  p.width = borders.x;
  p.height = outerSize.y;
  p.edgeAntialias[0] = on, p.edgeAntialias[1] = on, p.edgeAntialias[2] = 0, p.edgeAntialias[3] = on;
  DrawBox(position, offset, axisX, axisY, p);
  // Right band.
  p.edgeAntialias[0] = 0, p.edgeAntialias[1] = on, p.edgeAntialias[2] = on, p.edgeAntialias[3] = on;
  DrawBox(position, {offset.x - (outerSize.x - borders.x), offset.y}, axisX, axisY, p);
  // Top band.
  p.width = outerSize.x - 2 * borders.x;
  p.height = borders.y;
  p.edgeAntialias[0] = 0, p.edgeAntialias[1] = on, p.edgeAntialias[2] = 0, p.edgeAntialias[3] = 0;
  DrawBox(position, {offset.x - borders.x, offset.y}, axisX, axisY, p);
  // Bottom band.
  p.edgeAntialias[1] = 0, p.edgeAntialias[3] = on;
  DrawBox(position, {offset.x - borders.x, offset.y - (outerSize.y - borders.y)}, axisX, axisY, p);
}

namespace {
TBImageDraw ImageDraw(const TImageParams& params, const TDrawPicture& image) {
  TBImageDraw d;
  d.mipLevel = std::clamp(params.mipLevel, 0, 16);
  d.columns = std::max(1, params.spriteColumns);
  d.rows = std::max(1, params.spriteRows);
  d.reserved = params.reserved != 0;
  d.nearest = params.filtering == 0;
  d.anisotropic = params.filtering == 2;
  d.mipBias = params.mipBias;
  d.border = int32_t(params.border);
  d.antialiased = params.antialiased != 0;
  uint32_t a = VertexAlpha(params.opacity) << 24;
  uint32_t rgb = (uint32_t(params.colourR) << 16) | (uint32_t(params.colourG) << 8) | params.colourB;
  // Text and generated pictures: one full-size texture of their own, drawn as one quad of the
  // source rectangle whatever level, grid or colorising the parameters name.
  const bool own = image.OwnTileTexture();
  if (own) {
    d.mipLevel = 0;
    d.columns = d.rows = 1;
    d.reserved = false;
    // Text is rasterized for the largest size it reaches; a mip chain would grey its thin
    // stems wherever it is shown smaller.
    d.anisotropic = false;
  }
  d.colorise = params.coloriseAmount > 0 && !own ? params.coloriseAmount : 0;
  d.colour = a | ((params.textColouring || d.colorise > 0) ? rgb : 0x00FFFFFFu);
  d.shownWidth = params.shownWidth;
  d.shownHeight = params.shownHeight;
  d.pictureWidth = image.Width();
  d.pictureHeight = image.Height();
  TRectF s = params.sourceRect;
  if (s.IsEmpty()) s = {0, 0, float(image.Width()), float(image.Height())};
  d.source = {s.left, s.top, s.right, s.bottom};
  return d;
}
}  // namespace

bool T3DDrawer::EnsureImage(TDrawPicture* image, const TBImageDraw& d) {
  {
    std::lock_guard<std::recursive_mutex> g(resourceLock_);
    if (gl_.HasImage(image->textureCache, d)) return true;
  }
  // Decoding, reducing and filling the tiles run off the resource lock, so the drawing thread
  // never waits for them; only the result is published under it.
  std::shared_ptr<const TBitmap> level = image->LevelPixels(d.mipLevel, d.shownWidth, d.shownHeight);
  if (!level || level->Empty()) return false;
  std::unique_ptr<TObj> made = gl_.MakeImage(*level, d);
  level.reset();
  if (!made) return false;
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  gl_.PublishImage(image->textureCache, d, std::move(made));
  return true;
}

void T3DDrawer::DrawImageQuad(TDrawPicture* image, const TVec3& origin, const TVec3& axisX,
                              const TVec3& axisY, const TImageParams& params, bool premulOutput) {
  if (image->Width() <= 0 || image->Height() <= 0) return;
  TBImageDraw d = ImageDraw(params, *image);
  d.premulOutput = premulOutput;
  // A picture nobody prepared (overlay, generated pictures) is made here, on the drawing thread.
  if (!EnsureImage(image, d)) return;
  if (held_.on) {
    if (!held_.image && gl_.PlainState() && !premulOutput) {
      held_.image = THeld::TImage{image, d, B(origin), B(axisX), B(axisY)};
      return;
    }
    Materialize();
  }
  ImageCorners(image, d, B(origin), B(axisX), B(axisY));
}

void T3DDrawer::ImageCorners(TDrawPicture* image, const TBImageDraw& d, const TBVec& origin, const TBVec& x,
                             const TBVec& y) {
  const TBVec c[4] = {At(origin, x, y, d.source.left, d.source.top), At(origin, x, y, d.source.right, d.source.top),
                      At(origin, x, y, d.source.left, d.source.bottom),
                      At(origin, x, y, d.source.right, d.source.bottom)};
  Track(c, 4);
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  if (gl_.DrawImage(image->textureCache, d, origin, x, y)) ++imagesDrawn_;
  // Drawn before the lock is left: the loader may release the image's tiles right after.
  gl_.Flush();
}

void T3DDrawer::DrawImage(TDrawPicture* image, const TVec3& position, const TPointF& offset,
                          const TVec3& axisX, const TVec3& axisY, const TImageParams& params) {
  if (!CanDraw() || !image) return;
  TVec3 origin = position + TVec3{offset_.x, offset_.y, 0} - axisX * offset.x - axisY * offset.y;
  if (auto* capture = dynamic_cast<TCapturePicture*>(image)) {
    Unhold();
    DrawCapture(*capture, origin, axisX, axisY, params);
    return;
  }
  DrawImageQuad(image, origin, axisX, axisY, params, false);
}

void T3DDrawer::DrawCapture(TCapturePicture& capture, const TVec3& origin, const TVec3& axisX, const TVec3& axisY,
                            const TImageParams& params) {
  if (!capture.Target() || capture.Area().Empty()) return;
  TImageParams flat = params;
  flat.mipLevel = 0;  // a capture has no reduced levels
  TBImageDraw d = ImageDraw(flat, capture);
  TBVec c[4] = {B(origin + axisX * d.source.left + axisY * d.source.top),
                B(origin + axisX * d.source.right + axisY * d.source.top),
                B(origin + axisX * d.source.left + axisY * d.source.bottom),
                B(origin + axisX * d.source.right + axisY * d.source.bottom)};
  Track(c, 4);
  const TBRect& a = capture.Area();
  TBRectF texels{d.source.left + float(a.left), d.source.top + float(a.top), d.source.right + float(a.left),
                 d.source.bottom + float(a.top)};
  // The image's opacity and edge coverage reach the colour only when the capture is blended as
  // straight colour (its slides are opaque, so both readings agree inside).
  gl_.SetPremultiplied(capture.Target(), false);
  gl_.TargetQuad(capture.Target(), texels, c, d.colour, d.antialiased ? 15 : 0);
  gl_.SetPremultiplied(capture.Target(), true);
}

void T3DDrawer::PrepareImage(TDrawPicture* image, const TImageParams& params) {
  if (!image || image->Width() <= 0 || image->Height() <= 0) return;
  EnsureImage(image, ImageDraw(params, *image));
}

void T3DDrawer::ReleaseImage(TDrawPicture* image) {
  if (!image) return;
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  TGLBackend::ReleaseImage(image->textureCache);
}

void T3DDrawer::FillQuad(const TPointF& corner1, const TPointF& corner2, uint32_t colour) {
  if (!CanDraw()) return;
  Unhold();
  TBVec c[4] = {{corner1.x, corner1.y, 0}, {corner2.x, corner1.y, 0}, {corner1.x, corner2.y, 0},
                {corner2.x, corner2.y, 0}};
  uint32_t colours[4] = {colour, colour, colour, colour};
  Track(c, 4);
  gl_.ColoredQuad(c, colours);
}

void T3DDrawer::PaintBorder(uint32_t rgb) {
  if (!CanDraw()) return;
  Unhold();
  TBRect inner = B(frameClipRect_);
  inner = {inner.left - 1, inner.top - 1, inner.right + 1, inner.bottom + 1};
  for (const TBRect& band : BorderBands(gl_.CurrentTargetRect(), inner))
    gl_.ClearRect(0xFF000000u | (rgb & 0x00FFFFFFu), band);
}

void T3DDrawer::DrawMasked(TDrawItem* maskItem, std::span<const TMaskedLayer> layers, TDrawPicture* tileImage) {
  if (gl_.ShaderLevel() != 2 || !CanDraw()) return;
  Unhold();
  TTargetPtr m = gl_.Take(kPoolFull);
  TTargetPtr l = gl_.Take(kPoolFull);
  TFinally give{[&] {
    gl_.Return(kPoolFull, std::move(m));
    gl_.Return(kPoolFull, std::move(l));
    MapDesign();
  }};
  if (!m || !l) return;
  // 1: the mask, over a grid of the tile picture when there is one.
  gl_.PushTarget(m.get());
  {
    TFinally pop{[&] { gl_.PopTarget(); }};
    gl_.Clear(0, false);
    MapDesign();
    if (tileImage && tileImage->Width() > 0 && tileImage->Height() > 0) {
      TRectI area = RectValid(designRect_) ? designRect_ : frameClipRect_;
      TPointI size = designSize_.x > 0 && designSize_.y > 0 ? designSize_ : TPointI{area.Width(), area.Height()};
      for (int32_t y = 0; y < size.y; y += tileImage->Height())
        for (int32_t x = 0; x < size.x; x += tileImage->Width())
          DrawImageQuad(tileImage, {float(x), float(y), 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{}, false);
    }
    if (maskItem) DrawItem(maskItem);
  }
  if (MaskedFastPath(layers)) {
    // 2: the one flat image straight onto the target, the mask as its second texture.
    const TMaskedLayer& layer = layers[0];
    TBImageDraw d = ImageDraw(layer.imageParams, *layer.image);
    if (!EnsureImage(layer.image, d)) return;
    const TVec3 origin = layer.position + TVec3{offset_.x, offset_.y, 0} - layer.axisX * layer.offset.x -
                         layer.axisY * layer.offset.y;
    const TVec3& x = layer.axisX;
    const TVec3& y = layer.axisY;
    TBVec c[4] = {B(origin + x * d.source.left + y * d.source.top), B(origin + x * d.source.right + y * d.source.top),
                  B(origin + x * d.source.left + y * d.source.bottom),
                  B(origin + x * d.source.right + y * d.source.bottom)};
    Track(c, 4);
    ++fastMaskedDraws_;
    MapDesign();
    gl_.SetProgram(kPrgPremul2);
    {
      std::lock_guard<std::recursive_mutex> g(resourceLock_);
      if (gl_.DrawImageOverMask(layer.image->textureCache, d, B(origin), B(x), B(y), m.get())) ++imagesDrawn_;
      gl_.Flush();
    }
    gl_.SetProgram(-1);
    return;
  }
  // 3: every layer into L, premultiplied.
  gl_.PushTarget(l.get());
  {
    TFinally pop{[&] { gl_.PopTarget(); }};
    gl_.Clear(0, true);
    MapDesign();
    for (const TMaskedLayer& layer : layers) {
      if (layer.image) {
        gl_.SetProgram(kPrgPremul3);
        TVec3 origin = layer.position + TVec3{offset_.x, offset_.y, 0} - layer.axisX * layer.offset.x -
                       layer.axisY * layer.offset.y;
        DrawImageQuad(layer.image, origin, layer.axisX, layer.axisY, layer.imageParams, true);
        gl_.SetProgram(-1);
      } else if (layer.video && layer.video->Width() > 0 && layer.video->Height() > 0) {
        // Video programs write straight colour, which the blend into L premultiplies.
        TVideoParams vp = layer.videoParams;
        if (vp.sourceRect.IsEmpty()) vp.sourceRect = {0, 0, float(layer.video->Width()), float(layer.video->Height())};
        if (vp.opacity > 0) DrawVideo(layer.video, layer.position, layer.offset, layer.axisX, layer.axisY, vp);
      }
    }
  }
  // L through M onto the target.
  MapPixels();
  TBRect whole = gl_.CurrentTargetRect();
  TBRectF r{0, 0, float(whole.Width()), float(whole.Height())};
  gl_.SetProgram(kPrgPremul);
  gl_.SetPremultiplied(l.get(), false);  // the program writes straight colour
  gl_.DrawTarget(l.get(), r, r, 0xFFFFFFFFu, m.get(), &r);
  gl_.SetProgram(-1);
  gl_.SetPremultiplied(l.get(), true);
}

bool T3DDrawer::MaskedFastPath(std::span<const TMaskedLayer> layers) {
  if (!fastMasked_ || layers.size() != 1) return false;
  const TMaskedLayer& layer = layers[0];
  if (!layer.image || layer.video) return false;
  if (layer.position.z != 0 || layer.axisX.z != 0 || layer.axisY.z != 0) return false;
  const TRectI target = M(gl_.CurrentTargetRect());
  const TRectI window = M(gl_.BackBufferRect());
  return gl_.OnBackBuffer() && target.left == window.left && target.top == window.top &&
         target.right == window.right && target.bottom == window.bottom && frameClipRect_.left == target.left &&
         frameClipRect_.top == target.top && frameClipRect_.right == target.right &&
         frameClipRect_.bottom == target.bottom;
}

// ---------------------------------------------------------------------------------------------
// Video surfaces: made by the video layer's surface class once it joins the drawer.

TRef<T3DYUV> T3DDrawer::CreateVideoSurface(int32_t width, int32_t height, bool rgba, bool mask) {
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  constexpr int32_t kMaxVideoSide = 8192;
  if (width <= 0 || height <= 0 || width > kMaxVideoSide || height > kMaxVideoSide || !gl_.Screen()) return {};
  // The surface picks its layout (three planes, RGBA, mask or grey) from the screen.
  TRef<T3DYUVGL> surface(new T3DYUVGL(gl_.Screen(), this, width, height, rgba, mask));
  surfaces_.push_back(surface.get());
  return surface;
}

void T3DDrawer::SurfaceClosed(T3DYUVGL* surface) {
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  std::erase(surfaces_, surface);
}

size_t T3DDrawer::VideoSurfaceCount() {
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  return surfaces_.size();
}

void T3DDrawer::DrawVideo(T3DYUV* surface, const TVec3& position, const TPointF& offset, const TVec3& axisX,
                          const TVec3& axisY, const TVideoParams& params) {
  ZEM_ASSERT(surface != nullptr);
  ZEM_ASSERT(!params.sourceRect.IsEmpty());
  auto* s = dynamic_cast<T3DYUVGL*>(surface);
  ZEM_ASSERT(s != nullptr);
  if (!CanDraw()) return;
  Unhold();
  const TRectF& r = params.sourceRect;
  const TVec3 origin = position + TVec3{offset_.x, offset_.y, 0} - axisX * offset.x - axisY * offset.y;
  TBVec c[4] = {B(origin + axisX * r.left + axisY * r.top), B(origin + axisX * r.right + axisY * r.top),
                B(origin + axisX * r.left + axisY * r.bottom), B(origin + axisX * r.right + axisY * r.bottom)};
  Track(c, 4);
  const uint32_t colour = (VertexAlpha(params.opacity) << 24) | (uint32_t(params.tintR) << 16) |
                          (uint32_t(params.tintG) << 8) | params.tintB;
  // The decoder must not free or refill the textures while they are drawn: surface lock
  // first, the device mutex (taken by the flush) inside it.
  s->Enter();
  TFinally leave{[&] { s->Leave(); }};
  if (s->Closed()) return;
  int program = -1;
  if (s->Luma() && s->ChromaU() && s->ChromaV()) {
    static const float kYuv[5] = {1.596f, 0.813f, 0.391f, 2.018f, 1.164f};
    const bool keyed = params.chromaTolerance > 0 || params.coloriseAmount > 0;
    const float h = float(TGLBackend::VideoLumaRows(s));
    const float fa = params.deinterlace == 2 ? 1.0f : 0.0f, fb = params.deinterlace == 2 ? -1.0f : 0.0f;
    if (keyed)
      program = params.deinterlace == 0 ? kPrgChromakey : kPrgChromaDeinter;
    else
      program = params.deinterlace == 0 ? kPrgYuvLum : kPrgYuvDeinterlaceLum;
    gl_.Flush();
    gl_.SetProgram(program);
    for (int i = 0; i < 5; ++i) gl_.SetConstant(i, kYuv[i]);
    gl_.SetConstant(5, h, h > 0 ? 1.0f / h : 0.0f);
    if (keyed) {
      const float t = params.chromaTolerance;
      gl_.SetConstant(6, fa, fb, t, t > 0 ? 1.0f / t : 0.0f);
      gl_.SetConstant(7, params.coloriseAmount, params.chromaKey[1], params.chromaKey[2]);
    } else {
      gl_.SetConstant(6, fa, fb);
    }
  } else if (s->Mask()) {
    program = kPrgVideomask;
    gl_.Flush();
    gl_.SetProgram(program);
    gl_.SetConstant(0, params.maskInvert ? 1.0f : 0.0f);
  }
  // The tint only feeds the colorising programs; a surface drawn plainly would be darkened by it.
  const uint32_t vertex = program >= 0 ? colour : (colour | 0x00FFFFFFu);
  const uint8_t edges = params.antialiased ? 15 : 0;
  gl_.VideoQuad(s, c, vertex, {r.left, r.top, r.right, r.bottom}, edges);
  // Drawn while the surface is held.
  gl_.Flush();
  if (program >= 0) gl_.SetProgram(-1);
}

// ---------------------------------------------------------------------------------------------
// Transitions

void T3DDrawer::DrawThroughFilter(TDrawItem* item, TDrawFilter& filter) {
  if (!item) return;
  TRenderTargetTexture* capture = nullptr;
  auto* fade = dynamic_cast<TAlphaFilter*>(&filter);
  if (fastFade_ && fade && !filter.ExtendsEdges() && effecter_->Capture(0)) {
    if (DrawFaded(item, fade->Opacity())) return;
    capture = effecter_->Capture(0);
  } else {
    capture = effecter_->CaptureForTriangles(filter.ExtendsEdges(), item);
  }
  if (!capture) return;
  gl_.Flush();
  gl_.SetProgram(-1);
  MapPixels();
  // The triangles carry their opacity in the vertex alpha, which only blends a capture read as
  // straight (not premultiplied) colour.
  gl_.SetPremultiplied(capture, false);
  triController_->SetRect(M(effecter_->Rect()));
  triController_->SetClipRect(frameClipRect_);
  triController_->SetCapture(capture);
  // Closed on every way out, also when the filter raises (the frame ends there).
  TFinally release{[&] {
    triController_->FlushBatch();
    triController_->SetCapture(nullptr);
    gl_.SetPremultiplied(capture, true);
    MapDesign();
  }};
  filter.Draw(triController_.get());
}

bool T3DDrawer::DrawFaded(TDrawItem* item, float opacity) {
  held_ = THeld{};
  held_.on = true;
  {
    TFinally stop{[&] { held_.on = false; }};
    DrawItem(item);
  }
  if (!held_.materialized) {
    if (HeldImageCoversFrame()) {
      // The capture would hold this picture alone inside the frame, fully opaque, and be drawn
      // at the fade's opacity: the same as drawing the picture at it (the filter rounds the
      // same way).
      const THeld::TImage& h = *held_.image;
      TBImageDraw d = h.d;
      const uint32_t alpha = uint32_t(std::clamp(std::lround(opacity), 0L, 255L));
      d.colour = (alpha << 24) | 0x00FFFFFFu;
      ++fastFadeDraws_;
      ImageCorners(h.image, d, h.origin, h.x, h.y);
      held_ = THeld{};
      return true;
    }
    held_.on = true;
    Materialize();
  }
  held_ = THeld{};
  effecter_->EndTriangleCapture(false);
  return false;
}

bool T3DDrawer::HeldImageCoversFrame() {
  if (!held_.image) return false;
  const THeld::TImage& h = *held_.image;
  if (h.d.colour != 0xFFFFFFFFu || h.d.colorise > 0) return false;
  // The frame's clip rectangle is all that the capture would show.
  if (!gl_.OnBackBuffer() || !gl_.PlainState()) return false;
  const TBRect confine = gl_.ConfineRect();
  if (confine.left != frameClipRect_.left || confine.top != frameClipRect_.top ||
      confine.right != frameClipRect_.right || confine.bottom != frameClipRect_.bottom)
    return false;
  const TBVec c[4] = {At(h.origin, h.x, h.y, h.d.source.left, h.d.source.top),
                      At(h.origin, h.x, h.y, h.d.source.right, h.d.source.top),
                      At(h.origin, h.x, h.y, h.d.source.left, h.d.source.bottom),
                      At(h.origin, h.x, h.y, h.d.source.right, h.d.source.bottom)};
  if (!CoversConfine(c)) return false;
  std::lock_guard<std::recursive_mutex> g(resourceLock_);
  return gl_.ImageOpaque(h.image->textureCache, h.d);
}

void T3DDrawer::Materialize() {
  ZEM_ASSERT(held_.on);
  held_.on = false;
  held_.materialized = true;
  effecter_->BeginTriangleCapture();
  for (const THeld::TBox& b : held_.boxes) BoxCorners(b.c, b.colours, b.edges);
  if (const auto& h = held_.image) ImageCorners(h->image, h->d, h->origin, h->x, h->y);
}

void T3DDrawer::DrawTransition(TDrawItem* first, TDrawItem* second, TZemFilter* descriptor) {
  Unhold();
  if (!descriptor) {
    if (first) DrawItem(first);
    return;
  }
  if (!descriptor->filter) {
    TZemSlide* slide = dynamic_cast<TZemSlide*>(second);
    descriptor->filter = CreateFilter(frameClipRect_, descriptor->effectClass, descriptor->effectType, slide,
                                      descriptor->params, descriptor->duration);
    if (auto* made = dynamic_cast<TDrawFilter*>(descriptor->filter.get())) made->SetClipRect(frameClipRect_);
    if (auto* fx = dynamic_cast<TSlideEffFilter*>(descriptor->filter.get())) {
      fx->SetTime(float(descriptor->progressTime));
      fx->SetProgress(fx->Progress());
      fx->Prepare(*this);
    }
  }
  auto* filter = dynamic_cast<TDrawFilter*>(descriptor->filter.get());
  if (filter) filter->SetTime(float(descriptor->progressTime));
  if (descriptor->progressTime < 0 || descriptor->progressTime >= (filter ? double(filter->Duration()) : descriptor->duration)) {
    if (second) DrawItem(second);
    return;
  }
  if (auto* fx = dynamic_cast<TSlideEffFilter*>(filter); fx && effecter_ && CanDraw()) {
    DrawShaderTransition(first, second, *fx);
    return;
  }
  if (!triController_ && gl_.Screen()) triController_ = std::make_unique<TD3DTriController>(gl_.Screen());
  // Without a filter or a device the older slide stays until the newer one is due.
  if (!filter || dynamic_cast<TSlideEffFilter*>(filter) || !triController_ || !effecter_ || !CanDraw()) {
    if (first) DrawItem(first);
    return;
  }

  // The capture covers the whole target (set at BeginFrame); the frame clip confines it.
  effecter_->SetCaptureMode(false);
  const float p = filter->Progress();
  const TFilterKind kind = DescribeFilter(filter->EffectClass(), filter->EffectType(), filter->Params()).kind;
  auto through = [&](TDrawItem* item) { DrawThroughFilter(item, *filter); };
  auto plain = [&](TDrawItem* item) {
    if (item) DrawItem(item);
  };
  try {
    if (filter->Reverse()) {
      if (kind == TFilterKind::Overturn) {
        through(p >= 0.5f ? first : second);
      } else if (kind == TFilterKind::TwoSlides) {
        through(p >= 0.5f ? second : first);
        through(p >= 0.5f ? first : second);
      } else {
        plain(second);
        through(first);
      }
    } else if (kind == TFilterKind::Overturn) {
      through(p >= 0.5f ? second : first);
    } else if (kind == TFilterKind::TwoSlides) {
      through(p >= 0.5f ? first : second);
      through(p >= 0.5f ? second : first);
    } else if (auto* push = dynamic_cast<TPushFilter*>(filter)) {
      // The push offset is in target pixels; the translation is in design pixels.
      const TPointF o = push->PushOffset(float(frameClipRect_.Width()), float(frameClipRect_.Height()), p);
      const TRectI dr = EffectiveDesignRect();
      const TPointI ds = EffectiveDesignSize();
      const float sx = dr.Width() > 0 ? float(ds.x) / float(dr.Width()) : 1.0f;
      const float sy = dr.Height() > 0 ? float(ds.y) / float(dr.Height()) : 1.0f;
      const TPointF saved = offset_;
      const bool savedActive = offsetActive_;
      SetOffset(saved.x + o.x * sx, saved.y + o.y * sy);
      plain(first);
      offset_ = saved;
      offsetActive_ = savedActive;
      through(second);
    } else {
      plain(first);
      through(second);
    }
  } catch (...) {
    effecter_->ReleaseCaptures();
    throw;
  }
  effecter_->ReleaseCaptures();
}

void T3DDrawer::DrawShaderTransition(TDrawItem* first, TDrawItem* second, TSlideEffFilter& fx) {
  TRef<TCapturePicture> older, newer;
  const bool flag = fx.CaptureFlag() != 0;
  TFinally done{[&] {
    if (first) first->effectCapture_ = false;
    if (second) second->effectCapture_ = false;
    fx.Finish();
    if (older) older->Drop();
    if (newer) newer->Drop();
    effecter_->ReleaseCaptures();
  }};
  // Both slides into the pair of captures.
  if (first) first->effectCapture_ = flag;
  if (second) second->effectCapture_ = flag;
  effecter_->SetCaptureMode(true);
  TBRect areas[2];
  for (int i = 0; i < 2; ++i) {
    TDrawItem* item = i == 0 ? first : second;
    if (item) {
      effecter_->CapturePair(item);
      areas[i] = effecter_->Area();
    }
    effecter_->Toggle();
  }
  if (first) first->effectCapture_ = false;
  if (second) second->effectCapture_ = false;
  older = MakeRef<TCapturePicture>(first ? effecter_->Capture(0) : nullptr, areas[0]);
  newer = MakeRef<TCapturePicture>(second ? effecter_->Capture(1) : nullptr, areas[1]);
  fx.SetProgress(fx.Progress());
  fx.SetItems(first, second);
  // The whole target: what the frame held outside its clip rectangle must not show through.
  gl_.Clear(0xFF000000u, false);
  fx.DrawEffect(older, newer);
  // The design mapping already places the design origin at the clip rectangle's corner.
  if (TZemSlide* slide = fx.EffectSlide()) DrawItem(slide);
}

// ---------------------------------------------------------------------------------------------
// Snapshots and viewport

bool T3DDrawer::CopyToBitmap(TBitmap& bitmap) {
  Unhold();
  if (!noPresent_) return true;
  return gl_.CopyBackBuffer(bitmap);
}

TRef<TDrawPicture> T3DDrawer::Snapshot() {
  TBitmap bitmap;
  if (targetRect_.IsEmpty() || !bitmap.Allocate(targetRect_.Width(), targetRect_.Height(), TPixelFormat::Argb32))
    return {};
  if (!CopyToBitmap(bitmap)) return {};
  return MakeRef<TBitmapPicture>(std::move(bitmap));
}

void T3DDrawer::SetViewport(const TRectI& designRect, const TPointI& designSize) {
  Unhold();
  TDeviceDrawer::SetViewport(designRect, designSize);
  if (inScene_ && !offscreen_ && gl_.InScene()) MapDesign();
}

}  // namespace zem
