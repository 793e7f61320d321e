// Pure computations of the drawer: box corner colours, the blur pass plan and tap weights,
// the letterbox bands, number formatting for the log. No device needed, so tests check them
// directly.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "render/drawer/gl_backend.h"

namespace zem {

// Corner colours TL, TR, BL, BR of a box of fill style 0..8 (another style raises
// EAssertionFailed). Alphas are scaled by opacity / 100 (rounded) below 100.
std::array<uint32_t, 4> BoxCornerColours(uint8_t style, uint32_t colour1, uint32_t colour2, float opacity);
// Alpha of an ARGB colour multiplied by opacity / 100, rounded; 100 or more leaves it.
uint32_t ScaleAlpha(uint32_t argb, float opacity);
// Channel-wise average, rounded down (alpha too).
uint32_t AverageColour(uint32_t a, uint32_t b);

// How a blur of t half-size pixels is done.
struct TBlurPlan {
  bool separable = false;  // Gaussian passes; otherwise one mix draw
  int passes = 0;          // dilated full-weight pass pairs before the final pair
  float lastWeight = 0;    // weight of the final pair
  float mixWeight = 0;     // weight of the mix draw
};
TBlurPlan PlanBlur(float t);
// Constant 0 of a Gaussian pass with weight w: outer, second, third and centre tap.
std::array<float, 4> GaussWeights(float w);

// Fixed-point with up to 6 decimals, trailing zeros (and a trailing point) removed.
std::string FormatAmount(double v);

// The parts of `target` outside `inner` (top, left, right, bottom bands; empty ones left out).
std::vector<TBRect> BorderBands(const TBRect& target, const TBRect& inner);

// Grows `bounds` by the projected points, clamped to `target` (an empty `bounds` starts anew).
void GrowBounds(TBRect& bounds, const TBRect& target, const float* xs, const float* ys,
                const bool* valid, int count);

}  // namespace zem
