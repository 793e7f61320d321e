// Helpers of the sound tests: synthetic WAVE files, tone measurements, a null-backend facade.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "sound/sound_format.h"
#include "test_data.h"

namespace zem::soundtest {

inline void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
inline void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}
inline void PutId(std::vector<uint8_t>& v, const char* id) {
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(id[i]));
}

// A WAVE file: the format chunk (16 bytes plus `extra`), optional chunks before "fmt " and
// between "fmt " and "data", and the data.
inline std::vector<uint8_t> MakeWave(const TWaveFormat& f, const std::vector<uint8_t>& data,
                                     const std::vector<uint8_t>& extra = {}, bool junk_before_fmt = false,
                                     bool fact_after_fmt = false) {
  std::vector<uint8_t> v;
  PutId(v, "RIFF");
  Put32(v, 0);
  PutId(v, "WAVE");
  if (junk_before_fmt) {
    PutId(v, "JUNK");
    Put32(v, 6);
    for (int i = 0; i < 6; ++i) v.push_back(0xAA);
  }
  PutId(v, "fmt ");
  Put32(v, static_cast<uint32_t>(16 + extra.size()));
  Put16(v, f.format_tag);
  Put16(v, f.channels);
  Put32(v, f.samples_per_sec);
  Put32(v, f.avg_bytes_per_sec);
  Put16(v, f.block_align);
  Put16(v, f.bits_per_sample);
  v.insert(v.end(), extra.begin(), extra.end());
  if (fact_after_fmt) {
    PutId(v, "fact");
    Put32(v, 4);
    Put32(v, 12345);
  }
  PutId(v, "data");
  Put32(v, static_cast<uint32_t>(data.size()));
  v.insert(v.end(), data.begin(), data.end());
  uint32_t riff = static_cast<uint32_t>(v.size() - 8);
  std::memcpy(&v[4], &riff, 4);
  return v;
}

// A sine of `freq` Hz at `amplitude` (0..1 of full scale) as PCM of the given format.
inline std::vector<uint8_t> Sine(const TWaveFormat& f, double freq, double amplitude, double seconds) {
  std::vector<uint8_t> v;
  const int64_t frames = static_cast<int64_t>(seconds * f.samples_per_sec);
  for (int64_t i = 0; i < frames; ++i) {
    double x = amplitude * std::sin(2 * M_PI * freq * static_cast<double>(i) / f.samples_per_sec);
    for (int c = 0; c < f.channels; ++c) {
      if (f.format_tag == kWaveFormatIeeeFloat) {
        float fl = static_cast<float>(x);
        uint8_t b[4];
        std::memcpy(b, &fl, 4);
        v.insert(v.end(), b, b + 4);
      } else if (f.bits_per_sample == 8) {
        v.push_back(static_cast<uint8_t>(std::lround(128 + x * 127)));
      } else {
        Put16(v, static_cast<uint16_t>(static_cast<int16_t>(std::lround(x * 32767))));
      }
    }
  }
  return v;
}

inline std::vector<uint8_t> SineWave(uint32_t rate, uint16_t channels, uint16_t bits, double freq, double amp,
                                     double seconds) {
  TWaveFormat f = PcmFormat(rate, channels, bits);
  return MakeWave(f, Sine(f, freq, amp, seconds));
}

// One channel of interleaved 16-bit samples.
inline std::vector<double> Channel(const int16_t* s, size_t frames, int channels, int ch) {
  std::vector<double> out(frames);
  for (size_t i = 0; i < frames; ++i) out[i] = s[i * channels + ch];
  return out;
}
inline std::vector<double> Channel(const std::vector<int16_t>& s, int channels, int ch) {
  return Channel(s.data(), s.size() / channels, channels, ch);
}
inline std::vector<double> Channel16(const uint8_t* bytes, size_t nbytes, int channels, int ch) {
  std::vector<int16_t> s(nbytes / 2);
  std::memcpy(s.data(), bytes, s.size() * 2);
  return Channel(s, channels, ch);
}

inline std::vector<double> Slice(const std::vector<double>& v, size_t from, size_t count) {
  from = std::min(from, v.size());
  count = std::min(count, v.size() - from);
  return std::vector<double>(v.begin() + from, v.begin() + from + count);
}

inline double Rms(const std::vector<double>& v) {
  if (v.empty()) return 0;
  double s = 0;
  for (double x : v) s += x * x;
  return std::sqrt(s / v.size());
}

// Frequency from the zero crossings (upward) of the signal.
inline double ZeroCrossingFrequency(const std::vector<double>& v, double rate) {
  int first = -1, last = -1, count = 0;
  for (size_t i = 1; i < v.size(); ++i) {
    if (v[i - 1] < 0 && v[i] >= 0) {
      if (first < 0) first = static_cast<int>(i);
      last = static_cast<int>(i);
      ++count;
    }
  }
  if (count < 2) return 0;
  return (count - 1) * rate / (last - first);
}

// Share of the signal's power at `freq` (Goertzel filter), 0..1.
inline double GoertzelShare(const std::vector<double>& v, double freq, double rate) {
  if (v.empty()) return 0;
  const double w = 2 * M_PI * freq / rate, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0, energy = 0;
  for (double x : v) {
    double s0 = x + c * s1 - s2;
    s2 = s1;
    s1 = s0;
    energy += x * x;
  }
  double power = s1 * s1 + s2 * s2 - c * s1 * s2;
  return energy > 0 ? 2 * power / (static_cast<double>(v.size()) * energy) : 0;
}

inline std::string TestAudio(const char* name) { return zem::test::DataFile(std::string("audio/") + name); }

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> v;
  ReadFileBytes(path, v);
  return v;
}

// Files served to a facade by name.
struct TFileTable {
  std::map<WideString, std::vector<uint8_t>> files;
  TStream* Open(const WideString& name) {
    auto it = files.find(name);
    if (it == files.end()) return nullptr;
    return new TMemoryStream(it->second);
  }
};

}  // namespace zem::soundtest

namespace zem::soundtest {
// Amplitude (full scale = 32767 units as given) of the component at `freq` (Goertzel).
inline double GoertzelAmplitude(const std::vector<double>& v, double freq, double rate) {
  const double w = 2 * M_PI * freq / rate, c = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (double x : v) {
    double s0 = x + c * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  double power = s1 * s1 + s2 * s2 - c * s1 * s2;
  return 2 * std::sqrt(std::max(0.0, power)) / static_cast<double>(v.size());
}

// A constant-valued 44100 Hz stereo 16-bit WAVE.
inline std::vector<uint8_t> ConstantWave(int16_t value, double seconds) {
  TWaveFormat f = PcmFormat(44100, 2, 16);
  std::vector<uint8_t> d;
  for (int64_t i = 0; i < static_cast<int64_t>(seconds * 44100) * 2; ++i) Put16(d, static_cast<uint16_t>(value));
  return MakeWave(f, d);
}
}  // namespace zem::soundtest
