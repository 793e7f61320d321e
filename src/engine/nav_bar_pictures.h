// Picture work shared by the two navigation bars: cut-outs, grey variants, straight-alpha
// compositing, tiling, stretching (whole, or with unstretched left and right parts) and the hue
// shift. Every picture here is 32-bit ARGB with straight (not premultiplied) alpha; every
// operation clips to both pictures, so a caller's rectangle can never reach outside them.
//
// Threads: any (no shared state).
#pragma once
#include <cstdint>

#include "foundation/bitmap.h"
#include "foundation/geometry.h"

namespace zem {

TRectI IntersectRect(const TRectI& a, const TRectI& b);
// The smallest rectangle holding both; an empty one does not count.
TRectI UnionRect(const TRectI& a, const TRectI& b);
TRectI PictureRect(const TBitmap& b);
// True when r has no negative size and lies inside the picture (checked in 64 bits).
bool RectInside(const TRectI& r, const TBitmap& b);

// `src` drawn over `dst` with ordinary (non-premultiplied) alpha compositing.
uint32_t BlendPixel(uint32_t dst, uint32_t src);

// A 32-bit copy of r (which must lie inside the picture; else empty).
TBitmap CutPicture(const TBitmap& src, const TRectI& r);
// Red, green and blue become their mean; with quarterAlpha the alpha is divided by 4.
void GreyPicture(TBitmap& b, bool quarterAlpha);

// Resampled to w x h: linear when enlarging, a widened tent (area-like) when reducing; colours
// weighted by alpha so transparent pixels lend no colour. Empty when either size is below 1.
TBitmap StretchPicture(const TBitmap& src, int32_t w, int32_t h);
// Stretched to w x h with its leftmost `left` and rightmost `right` columns kept at their width
// (both shrink in proportion when w is narrower than they are together).
TBitmap StretchThreeSlice(const TBitmap& src, int32_t w, int32_t h, int32_t left, int32_t right);

// `src` with its top-left corner at (x, y) composited over `dst`, only inside `clip`.
void DrawOver(TBitmap& dst, const TBitmap& src, int32_t x, int32_t y, const TRectI& clip);
// `tex` repeated from the cell's top-left corner across the cell, composited over `dst` inside
// the cell and `clip`.
void TileOver(TBitmap& dst, const TBitmap& tex, const TRectI& cell, const TRectI& clip);
// The pixels of r copied from `src` (same size as `dst`).
void CopyRect(TBitmap& dst, const TBitmap& src, const TRectI& r);
// r made transparent black.
void ClearRect(TBitmap& dst, const TRectI& r);
// Every pixel of r: hue (on a 0..255 circle) moved by degrees x 256 div 360, saturation and
// lightness kept.
void ShiftHue(TBitmap& dst, const TRectI& r, int32_t degrees);

}  // namespace zem
