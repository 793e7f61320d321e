// Preset masks: grey pictures of a rounded rectangle or an ellipse, white inside, black outside,
// with a soft band inside the edge that fades along an ease curve. Asked for by names
// "PresetedMask:" width ":" height ":" shape ":" softness ":" corner.
//
// Threads: any.
#pragma once
#include <cstdint>

#include "foundation/bitmap.h"
#include "foundation/strings.h"

namespace zem {

inline constexpr char16_t kPresetMaskPrefix[] = u"PresetedMask:";
// Larger masks are refused (no picture, a log line).
inline constexpr int32_t kMaxPresetMaskSide = 4096;

struct TPresetMask {
  int32_t width = 512, height = 512;
  int32_t shape = 0;    // 0 rounded rectangle, 1 ellipse
  float softness = 0;   // percent
  float corner = 0;     // percent
};

// Reads a "PresetedMask:" name: every part optional, spaces before a part skipped; width and
// height that do not parse are 512; a shape other than 1 is 0; softness and corner that do not
// parse (or are not finite) are 0, and are kept within 0..100. False without the prefix.
bool ParsePresetMaskName(WideView name, TPresetMask& out);
// The mask as a 24-bit grey picture; empty (and logged) when a side is below 1 or above
// kMaxPresetMaskSide.
TBitmap MakePresetMask(const TPresetMask& mask);
// The ease curve of the soft band: 2x^2 below 0.5, 1 - 2(1 - x)^2 from there.
double MaskEase(double x);

}  // namespace zem
