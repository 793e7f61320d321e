#include "model/recording_drawer.h"

#include <cstdio>

#include "foundation/assert.h"

namespace zem {

TRecordingDrawer::TRecordingDrawer(int32_t width, int32_t height) {
  targetRect_ = {0, 0, width, height};
  SetNotify([this](TDeviceDrawer&, TDrawItem*, int code) { Log("Notify " + std::to_string(code)); });
}

std::string TRecordingDrawer::Num(double v) {
  if (v == 0) v = 0;  // no "-0"
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

std::string TRecordingDrawer::Vec(const TVec3& v) {
  return "(" + Num(v.x) + "," + Num(v.y) + "," + Num(v.z) + ")";
}

std::string TRecordingDrawer::Pt(const TPointF& p) { return "(" + Num(p.x) + "," + Num(p.y) + ")"; }

std::string TRecordingDrawer::Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

static std::string RectText(const TRectI& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom) + ")";
}

static std::string RectText(const TRectF& r) {
  using D = TRecordingDrawer;
  return "(" + D::Num(r.left) + "," + D::Num(r.top) + "," + D::Num(r.right) + "," + D::Num(r.bottom) + ")";
}

static std::string PictureText(const TDrawPicture* p) {
  if (!p) return "none";
  std::string name = WideToUtf8(p->Name());
  return "'" + name + "' " + std::to_string(p->Width()) + "x" + std::to_string(p->Height());
}

static std::string ImageParamsText(const TImageParams& p) {
  using D = TRecordingDrawer;
  return "aa=" + std::to_string(p.antialiased) + " op=" + D::Num(p.opacity) +
         " filter=" + std::to_string(p.filtering) + " src=" + RectText(p.sourceRect) +
         " text=" + std::to_string(p.textColouring) + " bgr=" + std::to_string(p.colourB) + "," +
         std::to_string(p.colourG) + "," + std::to_string(p.colourR) + " mip=" + std::to_string(p.mipLevel) +
         " bias=" + D::Num(p.mipBias) + " sprite=" + std::to_string(p.spriteColumns) + "x" +
         std::to_string(p.spriteRows) + " border=" + D::Hex(p.border) + " colorise=" + D::Num(p.coloriseAmount);
}

void TRecordingDrawer::BeginFrame() {
  Log("BeginFrame");
  inScene_ = true;
  frameClipRect_ = clipRect_.IsEmpty() ? targetRect_ : clipRect_;
  Notify(nullptr, kDrawNotifyFrameBegin);
}

void TRecordingDrawer::EndFrame() {
  Log("EndFrame");
  Notify(nullptr, kDrawNotifyFrameEnd);
}

bool TRecordingDrawer::Present() {
  Log(std::string("Present") + (noPresent_ ? " (no-present)" : ""));
  inScene_ = false;
  return true;
}

bool TRecordingDrawer::IsReady() { return ready_; }

void TRecordingDrawer::SetClipRect(const TRectI& rect) {
  Log("SetClipRect " + RectText(rect));
  TDeviceDrawer::SetClipRect(rect);
}

void TRecordingDrawer::Init(TDeviceWindow*) { Log("T3DDrawer.Init"); }
void TRecordingDrawer::Close() { Log("T3DDrawer.Close"); }

void TRecordingDrawer::PrepareImage(TDrawPicture* image, const TImageParams& params) {
  Log("PrepareImage " + PictureText(image) + " " + ImageParamsText(params));
}

void TRecordingDrawer::ReleaseImage(TDrawPicture* image) {
  if (image) image->textureCache.reset();
  Log("ReleaseImage " + PictureText(image));
}

void TRecordingDrawer::SetDesignSize(int32_t width, int32_t height) {
  Log("SetDesignSize " + std::to_string(width) + "x" + std::to_string(height));
}

int32_t TRecordingDrawer::CheckDevice() {
  Log("CheckDevice");
  return 0;
}

void TRecordingDrawer::Clear(uint32_t colour, bool withDepth) {
  Log("Clear " + Hex(colour) + (withDepth ? " depth" : ""));
}

void TRecordingDrawer::ClearRect(uint32_t colour, const TRectI& rect) {
  Log("ClearRect " + Hex(colour) + " " + RectText(rect));
}

bool TRecordingDrawer::SetOffset(float dx, float dy) {
  Log("SetOffset " + Pt({dx, dy}));
  return TDeviceDrawer::SetOffset(dx, dy);
}

bool TRecordingDrawer::DrawItem(TDrawItem* item) {
  ZEM_ASSERT(item != nullptr);
  if (depth_ == 0) {
    // Outermost call: one whole frame. The bracket closes also when drawing raises.
    BeginFrame();
    ++frames_;
    ++depth_;
    try {
      item->Draw(*this);
    } catch (...) {
      --depth_;
      EndFrame();
      Present();
      throw;
    }
    --depth_;
    EndFrame();
    return Present();
  }
  // Blurring or sharpening is an item effect: the owner hears of it first.
  if (item->GetBlur() != 0) Notify(item, kDrawNotifyItemEffect);
  Log("DrawItem depth=" + std::to_string(depth_));
  ++depth_;
  try {
    item->Draw(*this);
  } catch (...) {
    --depth_;
    throw;
  }
  --depth_;
  return true;
}

void TRecordingDrawer::DrawTransition(TDrawItem* first, TDrawItem* second, TZemFilter*) {
  Log("DrawTransition");
  if (first) DrawItem(first);
  if (second) DrawItem(second);
}

void TRecordingDrawer::DrawImage(TDrawPicture* image, const TVec3& position, const TPointF& offset,
                                 const TVec3& axisX, const TVec3& axisY, const TImageParams& params) {
  if (!HasNotify()) ZEM_FAIL("drawing without owner notification");
  Log("DrawImage " + PictureText(image) + " pos=" + Vec(position) + " off=" + Pt(offset) + " X=" + Vec(axisX) +
      " Y=" + Vec(axisY) + " " + ImageParamsText(params));
}

void TRecordingDrawer::DrawBox(const TVec3& position, const TPointF& offset, const TVec3& axisX,
                               const TVec3& axisY, const TBoxParams& p) {
  if (!HasNotify()) ZEM_FAIL("drawing without owner notification");
  Log("DrawBox pos=" + Vec(position) + " off=" + Pt(offset) + " X=" + Vec(axisX) + " Y=" + Vec(axisY) +
      " style=" + std::to_string(p.fillStyle) + " c1=" + Hex(p.colour1) + " c2=" + Hex(p.colour2) +
      " size=" + Pt({p.width, p.height}) + " op=" + Num(p.opacity) + " aa=" + std::to_string(p.edgeAntialias[0]) +
      std::to_string(p.edgeAntialias[1]) + std::to_string(p.edgeAntialias[2]) + std::to_string(p.edgeAntialias[3]));
}

void TRecordingDrawer::DrawFrame(const TVec3& position, const TVec3& axisX, const TVec3& axisY,
                                 const TPointF& offset, const TPointF& borders, const TPointF& outerSize,
                                 uint32_t colour, float opacity, bool antialias) {
  if (!HasNotify()) ZEM_FAIL("drawing without owner notification");
  Log("DrawFrame pos=" + Vec(position) + " X=" + Vec(axisX) + " Y=" + Vec(axisY) + " off=" + Pt(offset) +
      " borders=" + Pt(borders) + " outer=" + Pt(outerSize) + " c=" + Hex(colour) + " op=" + Num(opacity) +
      " aa=" + std::to_string(antialias ? 1 : 0));
}

TRef<T3DYUV> TRecordingDrawer::CreateVideoSurface(int32_t width, int32_t height, bool rgba, bool mask) {
  Log("CreateVideoSurface " + std::to_string(width) + "x" + std::to_string(height) + " rgba=" +
      std::to_string(rgba ? 1 : 0) + " mask=" + std::to_string(mask ? 1 : 0));
  if (width < 2 || height < 2 || width > 8192 || height > 8192) return {};
  return TRef<T3DYUV>(new TMemoryVideoSurface(width, height, rgba, mask));
}

// ---------------------------------------------------------------------------------------------
// Memory video surface

TMemoryVideoSurface::TMemoryVideoSurface(int32_t width, int32_t height, bool rgba, bool mask)
    : width_(width), height_(height), rgba_(rgba), mask_(mask) {
  layout_ = mask ? TYUVLayout::Gray : rgba ? TYUVLayout::Rgba : TYUVLayout::Planar420;
  for (int k = 0; k < 5; ++k) {
    const bool has = layout_ == TYUVLayout::Planar420 ? k <= kPlaneV : layout_ == TYUVLayout::Gray ? k == kPlaneY
                                                                                                   : k == kPlaneRgba;
    if (has) planes_[k].assign(size_t(PlaneWidth(k)) * size_t(PlaneHeight(k)) * (k == kPlaneRgba ? 4 : 1), 0);
  }
}

int32_t TMemoryVideoSurface::PlaneWidth(int kind) const {
  return kind == kPlaneU || kind == kPlaneV ? width_ / 2 : width_;
}

int32_t TMemoryVideoSurface::PlaneHeight(int kind) const {
  return kind == kPlaneU || kind == kPlaneV ? height_ / 2 : height_;
}

bool TMemoryVideoSurface::OpenPlane(int kind, TYUVPlane& plane) {
  ZEM_ASSERT(kind >= 0 && kind <= 4);
  std::lock_guard<TMonitor> g(*this);
  std::vector<uint8_t>& p = planes_[kind];
  if (p.empty()) return false;
  const int64_t pitch = int64_t(PlaneWidth(kind)) * (kind == kPlaneRgba ? 4 : 1);
  plane.width = PlaneWidth(kind);
  plane.height = PlaneHeight(kind);
  plane.pitch = pitch;
  plane.rows.resize(size_t(plane.height));
  for (int32_t y = 0; y < plane.height; ++y) plane.rows[size_t(y)] = p.data() + y * pitch;
  return true;
}

bool TMemoryVideoSurface::CommitPlane(int, TYUVPlane& plane) {
  plane.rows.clear();
  return true;
}

std::vector<uint8_t> TMemoryVideoSurface::Plane(int kind) {
  std::lock_guard<TMonitor> g(*this);
  return planes_[kind];
}

int32_t TMemoryVideoSurface::Finished() {
  std::lock_guard<TMonitor> g(*this);
  return finished_;
}

void TRecordingDrawer::DrawVideo(T3DYUV* surface, const TVec3& position, const TPointF& offset,
                                 const TVec3& axisX, const TVec3& axisY, const TVideoParams& p) {
  if (!HasNotify()) ZEM_FAIL("drawing without owner notification");
  std::string size = surface ? std::to_string(surface->Width()) + "x" + std::to_string(surface->Height()) : "none";
  Log("DrawVideo " + size + " pos=" + Vec(position) + " off=" + Pt(offset) + " X=" + Vec(axisX) + " Y=" +
      Vec(axisY) + " op=" + Num(p.opacity) + " src=" + RectText(p.sourceRect) + " key=" + Num(p.chromaKey[0]) +
      "," + Num(p.chromaKey[1]) + "," + Num(p.chromaKey[2]) + " tol=" + Num(p.chromaTolerance) +
      " colorise=" + Num(p.coloriseAmount) + " deint=" + std::to_string(p.deinterlace) +
      " invert=" + std::to_string(p.maskInvert));
}

void TRecordingDrawer::FillQuad(const TPointF& corner1, const TPointF& corner2, uint32_t colour) {
  Log("FillQuad " + Pt(corner1) + " " + Pt(corner2) + " " + Hex(colour));
}

void TRecordingDrawer::DrawMasked(TDrawItem*, std::span<const TMaskedLayer> layers, TDrawPicture* tileImage) {
  Log("DrawMasked layers=" + std::to_string(layers.size()) + " tile=" + PictureText(tileImage));
  for (const TMaskedLayer& l : layers)
    Log("  layer " + PictureText(l.image) + " pos=" + Vec(l.position) + " off=" + Pt(l.offset) + " X=" +
        Vec(l.axisX) + " Y=" + Vec(l.axisY) + " " + ImageParamsText(l.imageParams));
}

void TRecordingDrawer::BeginOffscreen() {
  ++offscreen_;
  Log("BeginOffscreen");
}

void TRecordingDrawer::EndOffscreen(uint8_t threshold, float amount) {
  ZEM_ASSERT(offscreen_ > 0);
  --offscreen_;
  Log("EndOffscreen " + std::to_string(threshold) + " " + Num(amount));
}

bool TRecordingDrawer::CopyToBitmap(TBitmap& bitmap) {
  Log("CopyToBitmap");
  if (!noPresent_) return true;  // outside capture mode nothing is copied
  TRectI t = targetRect_;
  if (!bitmap.Allocate(t.Width(), t.Height(), TPixelFormat::Argb32)) return false;
  bitmap.Fill(0xFF000000u);
  return true;
}

TRef<TDrawPicture> TRecordingDrawer::Snapshot() {
  Log("Snapshot");
  TBitmap b;
  bool saved = noPresent_;
  noPresent_ = true;
  bool ok = CopyToBitmap(b);
  noPresent_ = saved;
  if (!ok) return {};
  return MakeRef<TBitmapPicture>(std::move(b), u"snapshot");
}

void TRecordingDrawer::SetViewport(const TRectI& designRect, const TPointI& designSize) {
  Log("SetViewport " + RectText(designRect) + " " + std::to_string(designSize.x) + "x" + std::to_string(designSize.y));
  TDeviceDrawer::SetViewport(designRect, designSize);
}

std::string TRecordingDrawer::Text() const {
  std::string s;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) s += '\n';
    s += lines_[i];
  }
  return s;
}

size_t TRecordingDrawer::Count(const std::string& prefix) const {
  size_t n = 0;
  for (const auto& l : lines_)
    if (l.compare(0, prefix.size(), prefix) == 0) ++n;
  return n;
}

}  // namespace zem
