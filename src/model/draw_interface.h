// The drawing contract between everything drawable and the one drawer. Draw items call the
// drawer's primitives from Draw(); the drawer calls Draw() through DrawItem(). Coordinates are
// design pixels: a primitive's content point (u, v) lands at P + D + X(u - ox) + Y(v - oy),
// where D is the drawer's translation (SetOffset). Colours are 32-bit ARGB.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "foundation/bitmap.h"
#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "model/geometry.h"
#include "model/yuv_image.h"

namespace zem {

class TDeviceDrawer;
class TZemFilter;     // transition descriptor, defined by the transitions
class TDeviceWindow;  // the window a drawer binds its screen to, defined by the device layer

// A picture as the drawer sees it: its nominal size and, when decoded, its pixels. The resource
// layer's pictures and generated pictures reach the drawer through this interface; the drawer
// may keep its textures in the cache slot (freed by ReleaseImage or with the picture).
class TDrawPicture : public TRefObj {
 public:
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // Decoded pixels, or null when the picture has none (yet).
  virtual const TBitmap* Pixels() const = 0;
  virtual WideString Name() const { return {}; }
  // Generated pictures (text) are drawn from one texture of their own at full size, whatever
  // mip level or sprite grid the parameters name.
  virtual bool OwnTileTexture() const { return false; }
  // Whether the picture has an alpha channel (a shadow follows its outline then).
  virtual bool HasAlpha() const {
    const TBitmap* p = Pixels();
    return p && p->Format() == TPixelFormat::Argb32;
  }
  // The picture halved `level` times (each side rounding up) in 32-bit ARGB; null when it has
  // no pixels. May decode and take long, so the loader prepares with it and the drawing thread
  // asks only for pictures nobody prepared. Valid while the picture lives. The base reduces
  // Pixels(); pictures of the file layer decode at the reduced size.
  // With a shown size (both above 0) the copy may be reduced further where a decoding scale
  // keeps it larger than that size in both directions.
  virtual std::shared_ptr<const TBitmap> LevelPixels(int32_t level, int32_t shownWidth = 0,
                                                     int32_t shownHeight = 0) const;

  std::unique_ptr<TObj> textureCache;  // owned by whichever drawer prepared the picture
};

// A picture over a bitmap it owns; what tests and generated pictures use.
class TBitmapPicture : public TDrawPicture {
 public:
  TBitmapPicture(TBitmap bitmap, WideString name = {}) : bitmap_(std::move(bitmap)), name_(std::move(name)) {}
  int32_t Width() const override { return bitmap_.Width(); }
  int32_t Height() const override { return bitmap_.Height(); }
  const TBitmap* Pixels() const override { return bitmap_.Empty() ? nullptr : &bitmap_; }
  WideString Name() const override { return name_; }

 private:
  TBitmap bitmap_;
  WideString name_;
};

// Textures for video frames, made by the drawer (CreateVideoSurface); the video frame source
// writes frames into it through TYUVImage.
class T3DYUV : public TYUVImage {
 public:
  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  virtual bool IsRgba() const = 0;
  virtual bool IsMask() const = 0;
};

struct TImageParams {
  uint8_t antialiased = 0;
  uint8_t reserved = 0;  // part of the texture cache key
  float opacity = 100;   // percent
  uint8_t filtering = 0; // 0 nearest, 1 bilinear, 2 default
  TRectF sourceRect;     // image pixels; empty = whole image
  uint8_t textColouring = 0;
  uint8_t colourB = 0, colourG = 0, colourR = 0;  // text or colorising colour
  int32_t mipLevel = 0;
  float mipBias = 0;
  int32_t spriteColumns = 0, spriteRows = 0;
  uint32_t border = 0;
  float coloriseAmount = 0;  // 0 = off
  // The size the picture's reduced copy must exceed (the largest displayed size with its
  // margin, as the mip level was chosen for); 0 = the mip level's own size.
  int32_t shownWidth = 0, shownHeight = 0;

  bool operator==(const TImageParams&) const = default;
};

// Fill styles of DrawBox that the show model uses.
enum : uint8_t {
  kFillTLBRGradient = 0,
  kFillTRBLGradient = 1,
  kFillVGradient = 5,
  kFillHGradient = 6,
  kFillSolid = 8,
};

struct TBoxParams {
  uint8_t edgeAntialias[4] = {0, 0, 0, 0};  // left, top, right, bottom
  uint8_t fillStyle = kFillSolid;
  uint32_t colour1 = 0xFF000000u;
  uint32_t colour2 = 0xFF000000u;
  float width = 1;
  float height = 1;
  float opacity = 100;  // nothing is drawn unless above 0

  bool operator==(const TBoxParams&) const = default;
};

struct TVideoParams {
  float opacity = 100;
  uint8_t antialiased = 0;
  uint8_t deinterlace = 0;  // 0 none, 1 and 2 the two field orders
  TRectF sourceRect;        // must not be empty
  float chromaKey[3] = {0, 0, 0};
  float chromaTolerance = 0;
  uint8_t maskInvert = 0;
  uint8_t tintB = 0, tintG = 0, tintR = 0;
  float coloriseAmount = 0;
};

struct TMaskedLayer {
  TDrawPicture* image = nullptr;
  TImageParams imageParams;
  T3DYUV* video = nullptr;
  TVideoParams videoParams;  // for a video layer; an empty source rectangle means the whole frame
  TVec3 position;
  TPointF offset;
  TVec3 axisX, axisY;
};

// Anything the drawer can draw. Either change flag set means the item must be redrawn.
class TDrawItem : public TObj {
 public:
  ~TDrawItem() override = default;
  virtual bool IsChanged() const { return changedProps_ || changedGeometry_; }
  // Greater than 0 blurs, less than 0 sharpens.
  virtual float GetBlur() const { return 0; }
  // Called after the frame that drew the item was presented.
  virtual void FrameDone(TDeviceDrawer& /*drawer*/) {}
  // Draws the item through drawer primitives and its children through DrawItem.
  virtual void Draw(TDeviceDrawer& drawer) = 0;

  bool changedProps_ = false;     // properties changed
  bool changedGeometry_ = false;  // geometry or visibility changed
  bool effectCapture_ = false;    // set by the drawer while a 3D transition captures the item
};

// Codes of the owner notification.
enum : int { kDrawNotifyFrameBegin = 0, kDrawNotifyItemEffect = 1, kDrawNotifyFrameEnd = 3 };

// The abstract drawer. Resource operations (PrepareImage, ReleaseImage, CreateVideoSurface) may
// be called from the loader thread; everything else from the drawing (engine) thread.
class TDeviceDrawer : public TObj {
 public:
  using TNotify = std::function<void(TDeviceDrawer& drawer, TDrawItem* item, int code)>;

  ~TDeviceDrawer() override = default;
  virtual void BeginFrame() = 0;
  virtual void EndFrame() = 0;
  virtual bool Present() = 0;
  virtual bool IsReady() = 0;
  virtual void SetClipRect(const TRectI& rect) { clipRect_ = rect; }
  virtual TRectI GetTargetRect() { return targetRect_; }
  virtual void Init(TDeviceWindow* window) = 0;
  virtual void Close() = 0;
  virtual void PrepareImage(TDrawPicture* image, const TImageParams& params) = 0;
  virtual void ReleaseImage(TDrawPicture* image) = 0;
  virtual void SetDesignSize(int32_t width, int32_t height) = 0;
  virtual int32_t CheckDevice() = 0;
  virtual void Clear(uint32_t colour, bool withDepth) = 0;
  virtual void ClearRect(uint32_t colour, const TRectI& rect) = 0;
  virtual bool SetOffset(float dx, float dy);
  virtual bool DrawItem(TDrawItem* item) = 0;
  virtual void DrawTransition(TDrawItem* first, TDrawItem* second, TZemFilter* filter) = 0;
  virtual void DrawImage(TDrawPicture* image, const TVec3& position, const TPointF& offset,
                         const TVec3& axisX, const TVec3& axisY, const TImageParams& params) = 0;
  virtual void DrawBox(const TVec3& position, const TPointF& offset, const TVec3& axisX,
                       const TVec3& axisY, const TBoxParams& params) = 0;
  // frame: position, X and Y; borders: the border widths (inner offset); outerSize: picture
  // plus twice the border.
  virtual void DrawFrame(const TVec3& position, const TVec3& axisX, const TVec3& axisY,
                         const TPointF& offset, const TPointF& borders, const TPointF& outerSize,
                         uint32_t colour, float opacity, bool antialias) = 0;
  // Shared with the video source that fills it; null when the drawer cannot make one.
  virtual TRef<T3DYUV> CreateVideoSurface(int32_t width, int32_t height, bool rgba,
                                                     bool mask) = 0;
  virtual void DrawVideo(T3DYUV* surface, const TVec3& position, const TPointF& offset,
                         const TVec3& axisX, const TVec3& axisY, const TVideoParams& params) = 0;
  virtual void FillQuad(const TPointF& corner1, const TPointF& corner2, uint32_t colour) = 0;
  virtual void DrawMasked(TDrawItem* maskItem, std::span<const TMaskedLayer> layers,
                          TDrawPicture* tileImage) = 0;
  virtual void BeginOffscreen() = 0;
  virtual void EndOffscreen(uint8_t threshold, float amount) = 0;
  // Capture mode only (no-present set); otherwise copies nothing and answers true.
  virtual bool CopyToBitmap(TBitmap& bitmap) = 0;
  virtual TRef<TDrawPicture> Snapshot() = 0;
  virtual void SetViewport(const TRectI& designRect, const TPointI& designSize);

  // Helpers shared by every drawer.
  void SetNotify(TNotify notify) { notify_ = std::move(notify); }
  bool HasNotify() const { return static_cast<bool>(notify_); }
  // Calls the owner; drawing without an owner notification is a programming error.
  void Notify(TDrawItem* item, int code);
  // The design rectangle and size when they count, else the target rectangle and its size.
  TRectI EffectiveDesignRect() const;
  TPointI EffectiveDesignSize() const;

  TPointF Offset() const { return offset_; }
  bool OffsetActive() const { return offsetActive_; }
  int32_t Depth() const { return depth_; }
  TRectI ClipRect() const { return clipRect_; }
  bool NoPresent() const { return noPresent_; }
  void SetNoPresent(bool v) { noPresent_ = v; }

 protected:
  TPointF offset_;
  bool offsetActive_ = false;
  int32_t depth_ = 0;  // nesting of DrawItem calls
  TRectI designRect_;
  TPointI designSize_;
  TRectI targetRect_;
  TRectI clipRect_;       // empty = whole target
  TRectI frameClipRect_;  // fixed by BeginFrame
  bool noPresent_ = false;
  TNotify notify_;
};

// Process-wide, set once when the player ends: the engine thread's per-object work on the open
// show (keypoint evaluation, transforms, the display size analysis, preloading, drawing) leaves
// the remaining objects out, so that a thread inside a frame of a large show ends within
// milliseconds. Never cleared. Any thread sets it; the engine thread reads it.
void AbandonShowWork();
bool ShowWorkAbandoned();

}  // namespace zem
