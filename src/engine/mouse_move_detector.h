// Tells whether the pointer has rested: small jitters (at most 5 pixels of Manhattan distance)
// do not count as movement. The navigation panel hides itself while the pointer is idle.
//
// Threads: engine thread only.
#pragma once
#include <cstdint>
#include <functional>

namespace zem {

class TMouseMoveDetector {
 public:
  // The millisecond counter; null means TimeGetTime.
  using TClock = std::function<uint32_t()>;

  explicit TMouseMoveDetector(TClock clock = {});

  // The first call only records the position (false). Later calls answer whether the pointer
  // moved more than 5 pixels from the last recorded position; such a move is recorded and
  // restarts the idle time.
  bool Feed(int32_t x, int32_t y);
  // Whether no movement happened for longer than the interval. A pending reset (SetIdle(false))
  // is taken here: the idle time starts again now.
  bool IsIdle();
  // true: idle at once; false: the idle time starts again at the next IsIdle.
  void SetIdle(bool idle);

  void SetInterval(int64_t ms) { interval_ = ms; }
  int64_t Interval() const { return interval_; }
  int32_t RecordedCount() const { return count_; }
  int64_t MoveTime() const { return moveTime_; }

 private:
  int64_t Now() const;

  TClock clock_;
  int32_t lastX_ = 0, lastY_ = 0;
  int32_t count_ = 0;     // positions recorded (saturates)
  int64_t moveTime_ = 0;  // ms of the clock
  int64_t interval_ = 0;  // ms
  bool pendingReset_ = false;
};

}  // namespace zem
