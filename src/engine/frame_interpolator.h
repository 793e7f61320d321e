// Evens out the steps of the music clock from frame to frame: after a warm-up it predicts the
// next time from the mean of the last 32 steps and moves a sixth of the way to the real clock.
//
// Threads: engine thread only.
#pragma once
#include <array>
#include <cstdint>

namespace zem {

class TFrameInterpolator {
 public:
  static constexpr int32_t kRing = 32;
  static constexpr int32_t kWarmUp = 16;

  double Interpolate(double x);
  // true: pass times through from now on; false: pass exactly one more through, then predict.
  void Reset(bool bypass);
  bool Bypassing() const { return bypass_; }

 private:
  double lastOutput_ = 0;
  int32_t warmUp_ = kWarmUp;
  double lastInput_ = 0;
  std::array<double, kRing> deltas_{};
  int32_t samples_ = 0;
  int32_t position_ = 0;
  double sum_ = 0;
  bool bypass_ = false;
  bool endBypass_ = false;
};

}  // namespace zem
