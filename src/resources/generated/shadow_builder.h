// Drop shadow pictures: a silhouette's alpha, halved until it is small enough, blurred by
// shrinking and enlarging with a cubic B-spline, shaped by a spread curve and coloured. Pure
// pixel work: the show model decides what the silhouette is and where the picture is drawn.
//
// Threads: any; nothing here is shared.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/geometry.h"

namespace zem {

// Silhouettes are halved until they hold at most this many pixels and this many per side.
inline constexpr int64_t kShadowMaxPixels = 700000;
inline constexpr int32_t kShadowMaxSide = 10000;
// Blur radius cap, in silhouette pixels before halving.
inline constexpr double kShadowMaxRadius = 4096;
// The padded picture is halved further past these (a huge radius on a large silhouette).
inline constexpr int64_t kShadowMaxPaddedPixels = 4000000;
inline constexpr int32_t kShadowMaxPaddedSide = 16384;

// Answers whether work may go on (the host's continue test); empty means always.
using TKeepGoing = std::function<bool()>;

// ------------------------------------------------------------------------- spread curves

inline constexpr int kSpreadCurveCount = 10;
using TSpreadTable = std::array<uint8_t, 256>;

// Name of curve 0..9 ("Linear", "Cone", ..., "Tooth"); empty outside.
const char* SpreadCurveName(int index);
// Curve 0..9 in its stored form: a count of points, then x and y of each point, every value a
// big-endian 16-bit number. Empty outside 0..9.
std::vector<uint8_t> SpreadCurveBytes(int index);
// Control points of a stored curve. A curve of fewer than 2 or more than 255 points, with a
// coordinate outside 0..255, or cut short is refused: false, and the identity (0,0) (255,255).
bool ReadStoredCurve(std::span<const uint8_t> bytes, std::vector<TPointI>& points);
// The 256-entry table through the control points (uniform Catmull-Rom between kept points).
TSpreadTable MakeSpreadTable(const std::vector<TPointI>& points);
// Table of curve 0..9; false (and the identity) outside.
bool SpreadCurveTable(int index, TSpreadTable& out);

// ------------------------------------------------------------------------- silhouettes

// An 8-bit alpha plane.
struct TAlphaPlane {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> alpha;  // rows top-down, no padding
  uint8_t At(int32_t x, int32_t y) const { return alpha[size_t(y) * size_t(width) + size_t(x)]; }
};

// Sizes of one shadow picture.
struct TShadowLayout {
  int32_t halvings = 0;                 // n: the silhouette is 1 / 2^n of its source size
  int32_t silWidth = 0, silHeight = 0;  // the halved silhouette
  int32_t pad = 0;                      // blur room on every side
  float radius = 0;                     // blur radius in halved pixels
  int32_t Width() const { return silWidth + 2 * pad; }
  int32_t Height() const { return silHeight + 2 * pad; }
  bool Valid() const { return silWidth > 0 && silHeight > 0; }
};

// The layout of a silhouette of width x height source pixels (margins included) blurred with
// `radius` (ShadowSize x measure, in source pixels). Invalid for an empty or absurd size.
TShadowLayout ComputeShadowLayout(int64_t width, int64_t height, double radius);

// The silhouette of a picture: its rectangle `rect` (in pixels of the picture reduced `level`
// times by halving) with `marginX`, `marginY` pixels around it at `marginAlpha`, reduced by
// the layout's halvings. Every halved pixel is the mean of the picture pixels it covers;
// pictures without an alpha channel count as opaque. False when the continue test failed.
bool PictureSilhouette(const TBitmap& picture, int32_t level, const TRectI& rect, int32_t marginX, int32_t marginY,
                       uint8_t marginAlpha, const TShadowLayout& layout, TAlphaPlane& out,
                       const TKeepGoing& keepGoing = {});
// The silhouette of a box of width x height with margins: both alphas 255 fill it opaque,
// otherwise the corners get the alphas of fill style `style` (as DrawBox colours them) and the
// two triangles between them blend linearly.
void BoxSilhouette(int32_t width, int32_t height, int32_t marginX, int32_t marginY, uint8_t marginAlpha,
                   uint8_t alpha1, uint8_t alpha2, uint8_t style, const TShadowLayout& layout, TAlphaPlane& out);

// ------------------------------------------------------------------------- blur and colour

struct TShadowStyle {
  int32_t spreadIndex = 0;  // 0 keeps the plain blur; outside 0..9 the alpha stays as blurred
  uint8_t red = 0, green = 0, blue = 0;
  float opacity = 59;       // percent
};

// The shadow picture (32-bit, straight alpha, layout.Width() x layout.Height()) of a
// silhouette of the layout's halved size. False when the continue test failed.
bool RenderShadow(const TAlphaPlane& silhouette, const TShadowLayout& layout, const TShadowStyle& style,
                  TBitmap& out, const TKeepGoing& keepGoing = {});

}  // namespace zem
