// The demo show's navigation bar: a video-style player bar theme (its text and pictures), made
// here like the rest of the demo's media.
#pragma once
#include <cstdint>
#include <string>

#include "foundation/bitmap.h"

namespace zem {

// The theme file "navbar/video.ini" (its pictures are named relative to its folder).
std::string DemoNavBarTheme();
// The bar's background, the track line, the slider.
TBitmap PaintNavBarBack();
TBitmap PaintNavBarLine();
TBitmap PaintNavBarSlider();
// A strip of the seven button images (play, pause, sound on, sound off, backward, forward,
// exit) for a state: 0 normal, 1 hover, 2 click.
TBitmap PaintNavBarStrip(int state);

}  // namespace zem
