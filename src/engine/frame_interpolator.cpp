#include "engine/frame_interpolator.h"

#include <cstddef>

namespace zem {

double TFrameInterpolator::Interpolate(double x) {
  double out;
  if (bypass_ || warmUp_ > 0) {
    if (!bypass_) --warmUp_;
    out = x;
  } else {
    ++samples_;
    if (samples_ > kRing) sum_ -= deltas_[std::size_t(position_)];
    const double delta = x - lastInput_;
    sum_ += delta;
    deltas_[std::size_t(position_)] = delta;
    position_ = (position_ + 1) % kRing;
    if (samples_ <= kRing) {
      out = x;
    } else {
      const double predicted = lastOutput_ + sum_ / kRing;
      out = predicted + (x - predicted) / 6;
    }
  }
  lastOutput_ = out;
  lastInput_ = x;
  if (endBypass_) {
    endBypass_ = false;
    bypass_ = false;
  }
  return out;
}

void TFrameInterpolator::Reset(bool bypass) {
  if (bypass) {
    bypass_ = true;
    endBypass_ = false;
  } else if (bypass_) {
    endBypass_ = true;
  }
}

}  // namespace zem
