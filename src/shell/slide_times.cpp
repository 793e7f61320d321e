#include "shell/slide_times.h"

#include <algorithm>
#include <cmath>

namespace zem {
namespace {

int64_t Ms(double t) { return std::llround(t); }

}  // namespace

int64_t SlideStartTime(const TSlideTimeline& line, int32_t index) {
  index = std::max(index, 0);
  const int64_t start = Ms(line.SlideStart(index));
  const bool end_mark = line.ShowEnds() && index == line.SlideCount();
  return line.IncomingLength(index) <= 0 && !end_mark ? start + 1 : start;
}

int64_t NextSlideTime(const TSlideTimeline& line, int64_t t, bool paused) {
  const int32_t count = line.SlideCount();
  const int32_t last = line.ShowEnds() ? count - 1 : 2147483646;
  int32_t i = std::min(line.IndexAt(static_cast<double>(t)), last);
  int64_t c;
  do {
    ++i;
    c = Ms(line.SlideStart(i));
  } while (c <= t && i < last);
  const double in = line.IncomingLength(i);
  if (in > 0 || (line.ShowEnds() && i == count)) return paused ? c + Ms(in) : c;
  return c + 1;
}

int64_t PreviousSlideTime(const TSlideTimeline& line, int64_t t) {
  int32_t b = line.IndexAt(static_cast<double>(t));
  if (t < Ms(line.SlideNext(b))) {
    if (b < 2) return 0;
    --b;
  }
  // Before the first slide there is nothing earlier to go to.
  if (b < 1) return 0;
  const int64_t r = Ms(line.SlideStart(b) + line.IncomingLength(b));
  if (t - r >= 500) return r;
  if (b == 1) return 0;
  return Ms(line.SlideStart(b - 1) + line.IncomingLength(b - 1));
}

int32_t SlideIndexById(const TSlideTimeline& line, WideView id) {
  for (int32_t i = 0; i < line.SlideCount(); ++i)
    if (line.SlideId(i) == id) return i;
  return -1;
}

}  // namespace zem
