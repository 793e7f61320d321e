// The demo show's button theme "glass": three piece pictures (normal, hover, click) of a
// rounded glossy bar and its "btn.ini". Pure functions: the same input gives the same bytes.
#pragma once
#include <string>

#include "foundation/bitmap.h"

namespace zem {

// Side of the square piece picture; its nine pieces are thirds of it.
inline constexpr int32_t kDemoButtonSide = 48;

// State 0 normal, 1 hover (lighter), 2 click (darker, the gloss at the bottom). 32-bit with
// straight alpha: transparent outside the rounded corners.
TBitmap PaintButtonPiece(int state);
// The theme's "btn.ini": the pieces of normal.png, hover.png and click.png, white captions.
std::string DemoButtonThemeIni();

}  // namespace zem
