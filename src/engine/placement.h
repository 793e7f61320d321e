// Placing an element (logo, navigation bar) in an area by a position pair and an anchor pair,
// both in percent: position 0 is the middle of the area, -100 and 100 its edges; anchor -100
// puts the element's left (top) edge at the position, 0 its middle, 100 its right (bottom) edge.
#pragma once
#include <array>
#include <cstdint>

#include "foundation/bitmap.h"
#include "foundation/geometry.h"
#include "foundation/strings.h"

namespace zem {

// The nine named positions, numbered in this order (the panel's "opt_cp" choices).
enum class TPlacePosition : uint8_t {
  LeftTop = 0,
  Top = 1,
  RightTop = 2,
  Right = 3,
  RightBottom = 4,
  Bottom = 5,
  LeftBottom = 6,
  Left = 7,
  Center = 8,
};

struct TPlacement {
  TPointF position;  // percent of half the area from its middle
  TPointF anchor;    // percent of half the element from its middle
  bool operator==(const TPlacement&) const = default;
};

// "Left-Top", "Top", ..., "Center", in position order.
const std::array<WideView, 9>& PlacementNames();

// The pairs of a named position; `offset` (percent of half the area) moves the element inwards
// from the edges it touches.
TPlacement PlacementFor(TPlacePosition position, float offset);

// The logo's position code: 0 Left, 1 Top, 2 Right, 3 Bottom, 5 Left-Top, 6 Right-Top,
// 7 Right-Bottom, 8 Left-Bottom; any other value is the centre.
TPlacePosition LogoPosition(int32_t code);

// The rectangle of a w x h element placed in `area`.
TRectI PlaceRect(const TRectI& area, const TPlacement& placement, int32_t width, int32_t height);

// Rounds half away from zero into the 32-bit range (non-finite values give 0).
int32_t RoundToInt(double v);

// The size a picture is reduced to before it is shown at about targetWidth x targetHeight:
// sides are halved (rounding up) while both stay at least twice the target, so the shown
// picture is scaled down by less than half and keeps its detail.
TPointI HalvedSize(int32_t width, int32_t height, double targetWidth, double targetHeight);
// One halving step of a 32-bit picture: each side becomes ceil(side / 2); an odd last row or
// column averages fewer pixels. Colours are weighted by alpha, so transparent pixels lend no
// colour to their neighbours.
TBitmap HalvePicture(const TBitmap& source);

}  // namespace zem
