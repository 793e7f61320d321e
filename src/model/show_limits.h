// Limits a show script must keep to be opened: they bound the time and memory a show costs.
// The shell checks a script once when it opens and refuses it with the message below.
#pragma once
#include <cstdint>
#include <string>

namespace zem {

class TIniStorage;

// Objects below one section (a slide or a dialog), keypoints of one object, and nesting: the
// same depth and keypoint count the object reader keeps to (kMaxTreeDepth, TSpeedStorage).
inline constexpr int32_t kMaxObjectsPerSection = 100000;
inline constexpr int32_t kMaxKeypointsPerObject = 10000;
inline constexpr int32_t kMaxObjectDepth = 64;

// Empty when the script keeps to the limits; otherwise which section (and object) breaks which
// limit, naming it.
std::string CheckShowLimits(const TIniStorage& script);

// The most objects (keypoints not counted, nested objects counted) below any one section.
int64_t LargestSectionObjects(const TIniStorage& script);

}  // namespace zem
