// Themed button pictures: nine pieces laid out so that only the middle columns stretch, and the
// hue, saturation and lightness adjustment of the result.
//
// Threads: any.
#pragma once
#include <cstdint>

#include "foundation/bitmap.h"
#include "foundation/geometry.h"

namespace zem {

// Pieces of one state, in the order of their keys.
enum TButtonPiece : int {
  kPieceLeftTop = 0,
  kPieceTop,
  kPieceRightTop,
  kPieceRight,
  kPieceRightBottom,
  kPieceBottom,
  kPieceLeftBottom,
  kPieceLeft,
  kPieceCenter,
  kPieceCount
};

// A piece: its rectangle is both the area taken from its picture and its place in the button of
// nominal size. A piece without picture draws nothing.
struct TButtonPieceImage {
  const TBitmap* picture = nullptr;
  TRectI rect;
};

// Lays the pieces out on a cleared 32-bit picture of width x height. The middle area runs from
// the left piece's right edge to width - the right piece's width, and from the top piece's
// bottom edge to height - the bottom piece's height; the top, bottom and centre pieces repeat
// their left column across it. Rectangles are clipped to their pictures and to the button.
// False when the picture cannot be allocated.
bool ComposeButton(const TButtonPieceImage (&pieces)[kPieceCount], int32_t width, int32_t height, TBitmap& out);

// Hue (degrees), saturation and lightness (percent) added to every pixel on a 0..255 scale.
void AdjustHsl(TBitmap& bitmap, int32_t hue, int32_t saturation, int32_t lightness);
// One colour through the same conversion (0xRRGGBB).
uint32_t AdjustHslColour(uint32_t rgb, int32_t hue, int32_t saturation, int32_t lightness);

}  // namespace zem
