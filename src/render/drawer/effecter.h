// The capture side of transitions: renders a slide into an offscreen capture whose texel (0, 0)
// is the output rectangle's top-left corner, and extends its right and bottom edges so filters
// that sample by fractions of a pixel never see the clear colour.
//
// Threads: engine thread, inside a frame.
#pragma once
#include "model/draw_interface.h"
#include "render/drawer/gl_backend.h"

namespace zem {

class T3DDrawer;

class TCustomD3DEffecter {
 public:
  TCustomD3DEffecter(T3DDrawer& drawer, TGLBackend& gl) : drawer_(drawer), gl_(gl) {}
  ~TCustomD3DEffecter();

  void SetRect(const TBRect& r) { output_ = r; }
  void SetClipRect(const TBRect& r) { clip_ = r; }
  const TBRect& Rect() const { return output_; }
  // pair: the first and the second capture (each only if not held); otherwise the first.
  void SetCaptureMode(bool pair);
  // Renders the item into the first capture (cleared to grey 128 with alpha 0); with `extend`
  // its last column and row are copied one pixel outwards.
  TRenderTargetTexture* CaptureForTriangles(bool extend, TDrawItem* item);
  // The same in two steps, the caller drawing in between: Begin makes the first capture the
  // target (null without one), End returns to the previous target and extends the edges.
  TRenderTargetTexture* BeginTriangleCapture();
  void EndTriangleCapture(bool extend);
  // Renders the item into the current capture (transparent black) with the doubling
  // extension: up to 31 columns and rows beyond the area repeat its last ones.
  void CapturePair(TDrawItem* item);
  void Toggle() { current_ = !current_; }
  void ReleaseCaptures();
  // 0 or 1; another index is a programming error.
  TRenderTargetTexture* Capture(int index) const;
  // The area last rendered, in texels of the capture.
  const TBRect& Area() const { return area_; }

 private:
  TBRect Render(TRenderTargetTexture* t, TDrawItem* item, uint32_t clear);
  // Render in two steps: the target set, cleared and confined to the area (returned, in
  // texels); then back to the previous target with what lies outside the area cleared.
  TBRect BeginRender(TRenderTargetTexture* t, uint32_t clear);
  void EndRender(TRenderTargetTexture* t, const TBRect& texels, uint32_t clear);
  // Copies a texel rectangle of `t` to (dx, dy), through the scratch target in pieces.
  void Copy(TRenderTargetTexture* t, const TBRect& from, int32_t dx, int32_t dy);

  T3DDrawer& drawer_;
  TGLBackend& gl_;
  TBRect output_, clip_, area_;
  TBRect triangleTexels_;  // the area of the triangle capture being drawn
  TTargetPtr captures_[2];
  bool current_ = false;
  TTargetPtr scratch_;
};

}  // namespace zem
