// T3DDrawer: the drawer over the device layer. Whole frames, item blur and sharpen effects,
// boxes with their fill styles and edge antialiasing, frames, tiled images with their texture
// cache, masked layers, offscreen passes with the unsharp mask, snapshots.
//
// Threads: drawing from the engine thread; whole frames of all drawers are serialised by the
// process-wide frame lock. The resource mutex guards Init, Close, ReleaseImage, destruction
// and the pictures' texture caches, but is held only for lookups, publishing and drawing:
// PrepareImage decodes, reduces and fills tiles off it, so the loader never holds up a frame.
#pragma once
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "model/draw_interface.h"
#include "render/drawer/effecter.h"
#include "render/drawer/gl_backend.h"
#include "render/yuv.h"

namespace zem {

class T3DScreen;
class TCapturePicture;
class TD3DTriController;
class TDrawFilter;
class TSlideEffFilter;

// The frame lock shared by every drawer: one frame at a time.
std::recursive_mutex& FrameLock();

class T3DDrawer : public TDeviceDrawer, public TVideoSurfaceOwner {
 public:
  T3DDrawer();
  ~T3DDrawer() override;

  void BeginFrame() override;
  void EndFrame() override;
  bool Present() override;
  bool IsReady() override;
  // Refresh rate of the window's display (Hz; 60 when unknown).
  int RefreshRate();
  TRectI GetTargetRect() override;
  void Init(TDeviceWindow* window) override;
  void Close() override;
  void PrepareImage(TDrawPicture* image, const TImageParams& params) override;
  void ReleaseImage(TDrawPicture* image) override;
  void SetDesignSize(int32_t width, int32_t height) override;
  int32_t CheckDevice() override;
  void Clear(uint32_t colour, bool withDepth) override;
  void ClearRect(uint32_t colour, const TRectI& rect) override;
  bool DrawItem(TDrawItem* item) override;
  void DrawTransition(TDrawItem* first, TDrawItem* second, TZemFilter* filter) override;
  void DrawImage(TDrawPicture* image, const TVec3& position, const TPointF& offset,
                 const TVec3& axisX, const TVec3& axisY, const TImageParams& params) override;
  void DrawBox(const TVec3& position, const TPointF& offset, const TVec3& axisX,
               const TVec3& axisY, const TBoxParams& params) override;
  void DrawFrame(const TVec3& position, const TVec3& axisX, const TVec3& axisY,
                 const TPointF& offset, const TPointF& borders, const TPointF& outerSize,
                 uint32_t colour, float opacity, bool antialias) override;
  TRef<T3DYUV> CreateVideoSurface(int32_t width, int32_t height, bool rgba,
                                             bool mask) override;
  void DrawVideo(T3DYUV* surface, const TVec3& position, const TPointF& offset,
                 const TVec3& axisX, const TVec3& axisY, const TVideoParams& params) override;
  void FillQuad(const TPointF& corner1, const TPointF& corner2, uint32_t colour) override;
  void DrawMasked(TDrawItem* maskItem, std::span<const TMaskedLayer> layers,
                  TDrawPicture* tileImage) override;
  void BeginOffscreen() override;
  void EndOffscreen(uint8_t threshold, float amount) override;
  bool CopyToBitmap(TBitmap& bitmap) override;
  TRef<TDrawPicture> Snapshot() override;
  void SetViewport(const TRectI& designRect, const TPointI& designSize) override;

  // A surface tells the drawer when it closes (any thread).
  void SurfaceClosed(T3DYUVGL* surface) override;
  size_t VideoSurfaceCount();

  // Fills the parts of the target outside the frame clip rectangle (widened by one pixel)
  // with the colour made opaque.
  void PaintBorder(uint32_t rgb);
  TRectI FrameClipRect() const { return frameClipRect_; }
  // The bounds primitives covered while the current item effect runs (target pixels).
  TRectI DrawnBounds() const { return {bounds_.left, bounds_.top, bounds_.right, bounds_.bottom}; }
  bool ItemEffectRunning() const { return effectRunning_; }
  bool OffscreenOpen() const { return offscreen_ != nullptr; }
  TGLBackend& Backend() { return gl_; }
  // Masked layers may take the one-pass path for a single flat image (on by default; off
  // draws every layer through the layer target, for comparison).
  void SetMaskedFastPath(bool on) { fastMasked_ = on; }
  int FastMaskedDraws() const { return fastMaskedDraws_; }
  // A cross-fade whose entering item draws one opaque picture over the whole frame draws that
  // picture straight onto the target at the fade's opacity, without the capture (on by
  // default; off always captures, for comparison).
  void SetFadeFastPath(bool on) { fastFade_ = on; }
  int FastFadeDraws() const { return fastFadeDraws_; }
  // Picture textures drawn in the frame last begun (frame statistics: a frame that shows a
  // picture). Drawing thread.
  int ImagesDrawn() const { return imagesDrawn_; }
  // The transition capture side; made at the first frame.
  TCustomD3DEffecter* Effecter() { return effecter_.get(); }
  // Maps the design space onto the current target again (after a target change).
  void RemapDesign() { MapDesign(); }

 private:
  void ItemEffect(TDrawItem* item);
  // Renders the item into the capture and lets the filter draw its triangles from it.
  void DrawThroughFilter(TDrawItem* item, TDrawFilter& filter);
  // The cross-fade's entering item with its drawing held back (see held_): true when it was
  // one opaque picture covering the frame and is drawn directly at `opacity` (0..255); false
  // when it went into the triangle capture, which is then ready for the filter.
  bool DrawFaded(TDrawItem* item, float opacity);
  // Stops holding: the triangle capture becomes the target and what was held is drawn into it.
  // Every drawing entry point calls it first while holding, except the box and image that
  // may be held.
  void Unhold() {
    if (held_.on) Materialize();
  }
  void Materialize();
  bool HeldImageCoversFrame();
  // A custom effect: both slides captured, then the effect slide drawn showing them.
  void DrawShaderTransition(TDrawItem* first, TDrawItem* second, TSlideEffFilter& fx);
  void DrawCapture(TCapturePicture& capture, const TVec3& origin, const TVec3& axisX, const TVec3& axisY,
                   const TImageParams& params);
  void BlurItem(TDrawItem* item, float radius);
  void GaussPass(TRenderTargetTexture* src, TRenderTargetTexture* dst, bool horizontal,
                 float weight, float step, const TBRect& half);
  // Maps the design space onto the current target.
  void MapDesign();
  // Maps target pixels one to one.
  void MapPixels();
  void Track(const TBVec* corners, int count);
  void DrawImageQuad(TDrawPicture* image, const TVec3& origin, const TVec3& axisX, const TVec3& axisY,
                     const TImageParams& params, bool premulOutput);
  // Makes the picture's textures for `d` unless they exist; the resource lock is held only to
  // look up and to publish. Not with the resource lock held. False without pixels.
  bool EnsureImage(TDrawPicture* image, const TBImageDraw& d);
  bool CanDraw();
  // Clears the confined area instead of drawing an opaque one-colour box that covers it; false
  // (nothing done) for any other box. Corners TL, TR, BL, BR.
  bool CoversWithClear(const TBVec c[4], const uint32_t colours[4]);
  // The flat axis-aligned quadrilateral covers the whole confined area of the target.
  bool CoversConfine(const TBVec c[4]);
  // A box from its corners, after holding (see DrawBox).
  void BoxCorners(const TBVec c[4], const uint32_t colours[4], uint8_t edges);
  // An image with its draw record and origin and axes in design space, after holding.
  void ImageCorners(TDrawPicture* image, const TBImageDraw& d, const TBVec& origin, const TBVec& x,
                    const TBVec& y);
  // One flat image layer over the whole window-sized target: drawn straight through the mask.
  bool MaskedFastPath(std::span<const TMaskedLayer> layers);

  TGLBackend gl_;
  std::recursive_mutex resourceLock_;
  bool inScene_ = false;
  bool designFixed_ = false;
  TPointI fixedSize_;
  bool effectRunning_ = false;
  bool fastMasked_ = true;
  int fastMaskedDraws_ = 0;  // masked draws that took the one-pass path
  bool fastFade_ = true;
  int fastFadeDraws_ = 0;    // cross-fades drawn without the capture
  // What a cross-fade's entering item drew while it was held back: a few boxes, then one
  // picture; anything else ends the holding. Drawing thread.
  struct THeld {
    bool on = false;            // primitives are held
    bool materialized = false;  // the capture took over
    struct TBox {
      TBVec c[4];
      uint32_t colours[4];
      uint8_t edges;
    };
    static constexpr size_t kMaxBoxes = 4;
    std::vector<TBox> boxes;
    struct TImage {
      TDrawPicture* image;
      TBImageDraw d;
      TBVec origin, x, y;
    };
    std::optional<TImage> image;
  };
  THeld held_;
  int imagesDrawn_ = 0;      // picture textures drawn in the current frame (drawing thread)
  TBRect bounds_;
  TTargetPtr offscreen_;  // the open offscreen pass
  int32_t offscreenSkipped_ = 0;                       // nested BeginOffscreen calls ignored
  std::unique_ptr<TCustomD3DEffecter> effecter_;
  std::unique_ptr<TD3DTriController> triController_;  // made on the first transition
  std::vector<T3DYUVGL*> surfaces_;          // live video surfaces; under resourceLock_
};

}  // namespace zem
