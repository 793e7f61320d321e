// Procedural pictures of the demo show. Every painter is a pure function of its size: the same
// size gives the same pixels, so the demo's media are reproducible from the sources alone.
#pragma once
#include <cstdint>

#include "foundation/bitmap.h"

namespace zem {

// A dawn landscape: a graded sky, a sun with its glow and mountain ranges fading into haze.
TBitmap PaintLandscape(int32_t width, int32_t height);
// A colourful plasma of overlapping sine fields through a cosine palette.
TBitmap PaintPlasma(int32_t width, int32_t height);
// Sand dunes under a sunset, shaded by their slopes.
TBitmap PaintDunes(int32_t width, int32_t height);
// A night sky with stars and aurora curtains over a dark ridge.
TBitmap PaintNight(int32_t width, int32_t height);
// Bevelled square tiles in a checker of two palettes (flat colours: small as PNG).
TBitmap PaintTiles(int32_t width, int32_t height, int32_t tile);
// A text-free emblem on a transparent background: a ring, six petals and a play triangle.
// 32-bit with straight (not premultiplied) alpha.
TBitmap PaintLogo(int32_t side);

// Deterministic value noise in [0, 1] (smoothly interpolated lattice of hashed values), and its
// sum over octaves (each octave twice the frequency and half the weight), also in [0, 1].
double ValueNoise(double x, double y, uint32_t seed);
double FractalNoise(double x, double y, uint32_t seed, int octaves);

}  // namespace zem
