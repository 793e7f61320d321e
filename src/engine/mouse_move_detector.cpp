#include "engine/mouse_move_detector.h"

#include <cstdlib>

#include "foundation/clock.h"

namespace zem {

TMouseMoveDetector::TMouseMoveDetector(TClock clock) : clock_(std::move(clock)) { moveTime_ = Now(); }

int64_t TMouseMoveDetector::Now() const { return clock_ ? int64_t(clock_()) : int64_t(TimeGetTime()); }

bool TMouseMoveDetector::Feed(int32_t x, int32_t y) {
  if (count_ == 0) {
    lastX_ = x;
    lastY_ = y;
    count_ = 1;
    return false;
  }
  const int64_t d = std::llabs(int64_t(x) - lastX_) + std::llabs(int64_t(y) - lastY_);
  if (d >= 6) {
    lastX_ = x;
    lastY_ = y;
    if (count_ < INT32_MAX) ++count_;
    moveTime_ = Now();
  }
  return d > 5;
}

bool TMouseMoveDetector::IsIdle() {
  const int64_t now = Now();
  if (pendingReset_) {
    pendingReset_ = false;
    moveTime_ = now;
  }
  return now - moveTime_ > interval_;
}

void TMouseMoveDetector::SetIdle(bool idle) {
  pendingReset_ = !idle;
  if (idle) moveTime_ = Now() - interval_ - 1;
}

}  // namespace zem
