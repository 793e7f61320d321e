// The random draws of "zemtool make": a small generator whose sequence is fixed by its seed on
// every platform and library (the standard distributions are not), so a seed always makes the
// same show.
#pragma once
#include <cstdint>

namespace zemtool::make {

class TRandom {
 public:
  explicit TRandom(uint64_t seed) : state_(seed) {}
  // splitmix64
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [0, 1).
  double Unit() { return double(Next() >> 11) * 0x1.0p-53; }
  // In [0, n) for n > 0.
  uint32_t Below(uint32_t n) { return uint32_t(Unit() * n); }
  double Between(double a, double b) { return a + (b - a) * Unit(); }

 private:
  uint64_t state_;
};

}  // namespace zemtool::make
