// Vector outlines as lists of path points. The kind of a point is its path command:
//   0  move to the point, starting a contour
//   1  line to the point
//   2  quadratic segment: this point is the control point, the next point (also kind 2) the end
//   3  cubic segment: this and the next point are control points, the third the end (all kind 3)
//   9  end of a path; the point after it must carry kind 0
// Coordinates grow to the right and downwards.
#pragma once
#include <cstdint>
#include <vector>

namespace zem {

enum TPathKind : int32_t {
  kPathMoveTo = 0,
  kPathLineTo = 1,
  kPathQuadTo = 2,
  kPathCubicTo = 3,
  kPathEnd = 9,
};

struct TPathPoint {
  float x = 0, y = 0;
  int32_t kind = kPathMoveTo;
};

using TPath = std::vector<TPathPoint>;

}  // namespace zem
