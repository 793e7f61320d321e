// Drop shadows of show objects. An object kind describes its silhouette (a picture of the show,
// or a rectangle "N\A") in a TShadowSource; its TShadow turns that and the object's shadow
// settings into a "Shadow: " picture asked of the slide host, rebuilt only when the parameters
// change, and draws it before the object, offset by ShadowDistance along ShadowAngle.
//
// A kind that casts a shadow (images, texts, buttons, boxes; videos the same way) owns a TShadow
// and calls, on the thread that owns the object:
//   Update(object, source)  whenever the silhouette may have changed (cheap when it did not),
//   Prepare / Release       from its own Prepare / Release,
//   Draw(drawer, object)    in AddPrimitives, before its own picture.
#pragma once
#include <cstdint>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "model/draw_interface.h"

namespace zem {

class TZemObject;

// The silhouette source of a plain rectangle.
inline constexpr char16_t kShadowRectSource[] = u"N\\A";
inline constexpr char16_t kShadowPrefix[] = u"Shadow: ";

// The inputs of one shadow picture; equal parameters share one picture.
struct TShadowParams {
  WideString source = kShadowRectSource;  // picture name, or "N\A"
  TRectI rect;                            // source rectangle, pixels at `level`
  int32_t marginX = 0, marginY = 0;       // added around the rectangle
  int32_t marginAlpha = 0;                // alpha of the margin area
  float size = 0;                         // ShadowSize x the size measure (blur radius in pixels)
  uint8_t red = 0, green = 0, blue = 0;   // ShadowColor
  float opacity = 59;                     // percent
  int32_t spreadIndex = 0;
  bool shadow3D = false;
  int32_t boxAlpha1 = 255, boxAlpha2 = 255;  // rectangle sources: the box's fill
  int32_t boxFill = kFillSolid;
  int32_t level = 0;                         // the picture's mip level
  bool spriteSheet = false;

  bool operator==(const TShadowParams&) const = default;
  bool IsRectangle() const { return source == kShadowRectSource; }
  // Width and height of the silhouette with its margins.
  int64_t ExtentWidth() const { return int64_t(rect.right) - rect.left + 2 * int64_t(marginX); }
  int64_t ExtentHeight() const { return int64_t(rect.bottom) - rect.top + 2 * int64_t(marginY); }
};

// "Shadow: " + every field (the source last, so it may hold any character).
WideString ShadowPictureName(const TShadowParams& p);
bool ParseShadowPictureName(WideView name, TShadowParams& out);
// Rectangles are computed at about 200 x 200 pixels: every length (rectangle, margins, blur
// size) scaled by sqrt(40000 / extent area). Gives the factor.
TShadowParams NormaliseRectangle(const TShadowParams& p, double* factor = nullptr);

// What a kind tells its shadow.
struct TShadowSource {
  TShadowParams params;        // the silhouette fields; the style comes from the object
  float sizeMeasure = 0;       // scales ShadowSize into the blur radius (source pixels)
  float distanceMeasure = 0;   // scales ShadowDistance (object pixels)
  TRectF localRect;            // where the silhouette, margins included, lies in local coordinates

  // A plain rectangle of w x h with a margin of `margin` at `marginAlpha` around it.
  static TShadowSource Rectangle(int32_t w, int32_t h, int32_t margin, uint8_t marginAlpha, const TRectF& localRect,
                                 float sizeMeasure, float distanceMeasure);
};

// The offset of an object's shadow: sqrt(|X| |Y|) x ShadowDistance x distanceMeasure / 100 along
// ShadowAngle, on screen, or along the object's own unit axes with 3DShadow.
TVec3 ShadowOffset(const TZemObject& object, float distanceMeasure);

class TShadow {
 public:
  // Applies the object's shadow settings to the source and asks the host for the picture when
  // the parameters changed. A build the host's continue test cut short is asked for again at
  // the next call.
  void Update(const TZemObject& object, const TShadowSource& source);
  void Prepare(TDeviceDrawer& drawer);
  void Release(TDeviceDrawer& drawer);
  // Draws the shadow with the object's frame and opacity (nothing at opacity 0).
  void Draw(TDeviceDrawer& drawer, const TZemObject& object) const;

  TDrawPicture* Picture() const { return picture_.get(); }
  const TShadowParams& Params() const { return params_; }
  bool Normalised() const { return normalised_; }
  float SizeMeasure() const { return sizeMeasure_; }
  // The image parameters the shadow is drawn with.
  TImageParams DrawParams(float opacity) const;

 private:
  TShadowParams params_;
  bool built_ = false;
  bool normalised_ = false;
  float sizeMeasure_ = 0, distanceMeasure_ = 0;
  TRectF localRect_;
  TRef<TDrawPicture> picture_;
};

}  // namespace zem
