// Pan and zoom for "zemtool make". A photo either covers the slide (the player's Cover fit) and
// moves between two views that both keep it over every edge, or, when its shape is the other
// way round from the show's (a portrait photo on a landscape show), it is placed inside the
// slide and only zooms, over a background. The player interpolates scale and position linearly
// between the two keypoints, and the uncovered margin is concave in time on such a path, so a
// photo that covers the slide at both ends covers it at every moment in between.
#pragma once
#include <cstdint>

namespace zemtool::make {

class TRandom;

// One keypoint's view: scale in percent, position in percent of half the slide (the player's
// Position in percent mode), the photo's centre as pivot.
struct TView {
  double scale = 100, x = 0, y = 0;
};

struct TMotion {
  bool cover = true;  // Cover fit; otherwise placed inside over a background
  TView start, end;
};

// Spare edge kept on every side while a covering photo moves, as a fraction of the slide side:
// it absorbs the player's rounding of the slide size and the edge pixels' filtering.
constexpr double kCoverMargin = 0.01;

// Whether a photo shown w × h is placed inside a W × H show instead of covering it.
bool PlacedInside(int32_t w, int32_t h, int32_t showW, int32_t showH);

// The two views of a photo (seeded draws from `random`); without motion both views are equal.
TMotion ChooseMotion(int32_t w, int32_t h, int32_t showW, int32_t showH, bool motion, TRandom& random);

// True when a covering photo at `view` reaches at least `margin` past every edge of the slide.
bool CoversSlide(const TView& view, int32_t w, int32_t h, int32_t showW, int32_t showH, double margin);

// The view a fraction f (0..1) of the way from a to b, as the player interpolates it.
TView Lerp(const TView& a, const TView& b, double f);

}  // namespace zemtool::make
