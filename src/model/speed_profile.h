// Eased speed profiles of the rotation, zoom and pan groups, and the smoother that turns an
// interval into constant acceleration, constant speed and constant deceleration.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/refobj.h"

namespace zem {

// One eased span of a profile, from keypoint `from` to keypoint `to` (indexes into the list).
// `first` is where acceleration ends and `second` where deceleration begins, as fractions of
// the span's time.
struct TInterval {
  int32_t from = 0;
  int32_t to = 0;
  long double first = 0;
  long double second = 1;

  // A profile interval with fractions 0 and 1 is plain linear motion.
  bool IsEased() const;
  bool operator==(const TInterval&) const = default;
};

class TSpeedStorage : public TObj {
 public:
  static constexpr int32_t kMaxCount = 10000;

  std::vector<int32_t> keys;         // keypoint times truncated to ms, in keypoint order
  std::vector<TInterval> intervals;  // in order
  long double defaultFirst = 0;
  long double defaultSecond = 1;

  void Clear();
  // "count;keys...;count;from;to;first;second;...;defFirst;defSecond;"
  std::string ToText() const;
  // Replaces the profile by the text. On any error the profile is emptied and left with one
  // key 0; the answer is then false.
  bool FromText(std::string_view text);

  // Fractions as written: up to 16 significant digits, trailing zeros removed.
  static std::string FormatFraction(long double v);
};

// Working state of one eased motion from vs to ve; the keypoint list derives from it so that
// evaluation needs no allocation.
class TSmoother : public TObj {
 public:
  void SetupSmoother(double ta, double tc, double td, double vs, double ve);
  double Smooth(double u) const;

 protected:
  float t1_ = 0, t2_ = 0, t3_ = 0;
  double vs_ = 0, ve_ = 0;
  double m_ = 0, kA_ = 0, kD_ = 0, vA_ = 0, vD_ = 0;
  double ta_ = 0, td_ = 0;
};

}  // namespace zem
