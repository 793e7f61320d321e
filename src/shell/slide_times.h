// Slide times used to step between slides: where a slide starts, the next and previous slide
// from a show time. Computed over the opened show's time line.
#pragma once
#include <cstdint>

#include "foundation/strings.h"

namespace zem {

// The show's time line as the stepping helpers need it. Positions run from -1 (before the first
// slide) upwards; in a repeating show positions past the slide count are the repeats.
class TSlideTimeline {
 public:
  virtual ~TSlideTimeline() = default;
  virtual int32_t SlideCount() const = 0;
  virtual bool ShowEnds() const = 0;  // the show does not repeat
  virtual double SlideStart(int32_t position) const = 0;
  virtual double SlideNext(int32_t position) const = 0;       // the transition to the next slide begins
  virtual double IncomingLength(int32_t position) const = 0;  // transition into the slide
  virtual WideString SlideId(int32_t position) const = 0;
  // The first position from -1 upwards whose start <= t <= next.
  virtual int32_t IndexAt(double t) const = 0;
};

int64_t SlideStartTime(const TSlideTimeline& line, int32_t index);
int64_t NextSlideTime(const TSlideTimeline& line, int64_t t, bool paused);
int64_t PreviousSlideTime(const TSlideTimeline& line, int64_t t);
// The first slide whose identifier equals the text exactly; -1 when none.
int32_t SlideIndexById(const TSlideTimeline& line, WideView id);

}  // namespace zem
