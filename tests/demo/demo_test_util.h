// Helpers of the demo tests: the notes that sound loudest in a stretch of audio, and picture
// statistics.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <utility>
#include <vector>

#include "foundation/bitmap.h"

namespace zem::demotest {

// Power of the signal at `freq` (Goertzel filter), normalised by the length.
inline double PowerAt(const std::vector<double>& v, double freq, double rate) {
  const double w = 2 * M_PI * freq / rate, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (double x : v) {
    const double s0 = x + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double n = static_cast<double>(v.size());
  return (s1 * s1 + s2 * s2 - c * s1 * s2) / (n * n);
}

// The `count` note numbers (from `low` to `high`, 69 = 440 Hz) with the most power, loudest first.
inline std::vector<int32_t> LoudestNotes(const std::vector<double>& v, double rate, size_t count, int32_t low = 33,
                                         int32_t high = 100) {
  std::vector<std::pair<double, int32_t>> p;
  for (int32_t m = low; m <= high; ++m) p.push_back({PowerAt(v, 440.0 * std::pow(2.0, (m - 69) / 12.0), rate), m});
  std::sort(p.begin(), p.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  std::vector<int32_t> out;
  for (size_t i = 0; i < count && i < p.size(); ++i) out.push_back(p[i].second);
  return out;
}

inline double Rms(const std::vector<double>& v) {
  if (v.empty()) return 0;
  double s = 0;
  for (double x : v) s += x * x;
  return std::sqrt(s / static_cast<double>(v.size()));
}

// Standard deviation of the luminance over every pixel: 0 for a uniform picture.
inline double LumaDeviation(const TBitmap& b) {
  double sum = 0, sq = 0;
  int64_t n = 0;
  for (int32_t y = 0; y < b.Height(); ++y) {
    for (int32_t x = 0; x < b.Width(); ++x) {
      const uint32_t p = b.GetPixel(x, y);
      const double l = 0.299 * ((p >> 16) & 255) + 0.587 * ((p >> 8) & 255) + 0.114 * (p & 255);
      sum += l;
      sq += l * l;
      ++n;
    }
  }
  if (n == 0) return 0;
  const double mean = sum / double(n);
  return std::sqrt(std::max(0.0, sq / double(n) - mean * mean));
}

// Mean absolute difference per channel of two pictures of one size (alpha ignored).
inline double MeanDifference(const TBitmap& a, const TBitmap& b) {
  double sum = 0;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      const uint32_t p = a.GetPixel(x, y), q = b.GetPixel(x, y);
      for (int s = 0; s < 24; s += 8) sum += std::abs(int((p >> s) & 255) - int((q >> s) & 255));
    }
  }
  return sum / (3.0 * a.Width() * a.Height());
}

}  // namespace zem::demotest
