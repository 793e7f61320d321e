#include "sound/pcm_resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundation/assert.h"

namespace zem {

TWaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits) {
  TWaveFormat f;
  f.format_tag = kWaveFormatPcm;
  f.channels = channels;
  f.samples_per_sec = rate;
  f.bits_per_sample = bits;
  f.block_align = static_cast<uint16_t>(channels * (bits / 8));
  f.avg_bytes_per_sec = rate * f.block_align;
  return f;
}

bool PlausibleWaveFormat(const TWaveFormat& f) {
  if (f.channels == 0 || f.samples_per_sec < 1000 || f.samples_per_sec > 384000) return false;
  if (f.block_align == 0 || f.avg_bytes_per_sec == 0) return false;
  if (f.format_tag == kWaveFormatPcm || f.format_tag == kWaveFormatIeeeFloat) {
    if (f.bits_per_sample % 8 != 0 || f.bits_per_sample == 0) return false;
    if (f.block_align != f.channels * (f.bits_per_sample / 8)) return false;
  }
  return true;
}

bool TPcmResampler::SupportsInput(const TWaveFormat& f) {
  if (!PlausibleWaveFormat(f)) return false;
  if (f.format_tag == kWaveFormatIeeeFloat) return f.bits_per_sample == 32 && (f.channels == 1 || f.channels == 2);
  if (f.format_tag != kWaveFormatPcm) return false;
  if (f.channels == 6) return f.bits_per_sample == 16;
  if (f.channels != 1 && f.channels != 2) return false;
  return f.bits_per_sample == 8 || f.bits_per_sample == 16 || f.bits_per_sample == 24 || f.bits_per_sample == 32;
}

bool TPcmResampler::SupportsOutput(const TWaveFormat& f) {
  return f.format_tag == kWaveFormatPcm && (f.channels == 1 || f.channels == 2) &&
         (f.bits_per_sample == 8 || f.bits_per_sample == 16) && f.samples_per_sec >= 1000 &&
         f.samples_per_sec <= 384000;
}

void TPcmResampler::SetFormats(const TWaveFormat& in, const TWaveFormat& out) {
  ZEM_ASSERT(SupportsInput(in) && SupportsOutput(out));
  in_ = in;
  out_ = out;
  in_frame_ = in.channels * (in.bits_per_sample / 8);
  out_frame_ = out.channels * (out.bits_per_sample / 8);
  in_float_ = in.format_tag == kWaveFormatIeeeFloat;
  Reset();
}

void TPcmResampler::Reset() {
  l1_ = r1_ = l2_ = r2_ = 0;
  pos_ = 0;
}

int64_t TPcmResampler::OutputSize(int64_t in_bytes) const {
  if (in_frame_ <= 0) return 0;
  int64_t frames = in_bytes / in_frame_;
  // Output frames k with pos + k x in_rate < frames x out_rate.
  const int64_t limit = frames * out_.samples_per_sec - pos_;
  if (limit <= 0) return 0;
  const int64_t produced = (limit + in_.samples_per_sec - 1) / in_.samples_per_sec;
  return produced * out_frame_;
}

namespace {

inline double Sample16(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Float samples are scaled to 16-bit and kept within a range where rounding cannot overflow.
inline double FloatSample(const uint8_t* p) {
  float f;
  std::memcpy(&f, p, 4);
  if (!std::isfinite(f)) return 0;
  return std::clamp(std::round(static_cast<double>(f) * 32767.0), -1.0e6, 1.0e6);
}

inline int32_t Interpolate(double a, double b, double c, double t) {
  double v = a * (t - 1) * (t - 2) - 2 * b * t * (t - 2) + c * t * (t - 1);
  int64_t rounded = std::llround(v);
  int64_t half = rounded / 2;  // truncates toward zero
  return static_cast<int32_t>(std::clamp<int64_t>(half, -32768, 32767));
}

}  // namespace

void TPcmResampler::ReadFrame(const uint8_t* p, double& left, double& right) const {
  const int bits = in_.bits_per_sample;
  auto one = [&](const uint8_t* s) -> double {
    switch (bits) {
      case 8: return (static_cast<int>(s[0]) - 128) * 256.0;
      case 16: return Sample16(s);
      case 24: return Sample16(s + 1);
      default: return in_float_ ? FloatSample(s) : Sample16(s + 2);
    }
  };
  if (in_.channels == 1) {
    left = right = one(p);
  } else if (in_.channels == 2) {
    left = one(p);
    right = one(p + bits / 8);
  } else {  // six 16-bit channels
    double s[6];
    for (int i = 0; i < 6; ++i) s[i] = Sample16(p + 2 * i);
    left = s[0] + s[1] + s[3] + s[5];
    right = s[1] + s[2] + s[4] + s[5];
  }
}

int64_t TPcmResampler::Convert(const uint8_t* in, int64_t in_bytes, uint8_t* out) {
  ZEM_ASSERT(in_frame_ > 0);
  int64_t frames = in_bytes / in_frame_;
  uint8_t* o = out;
  const bool stereo_out = out_.channels == 2;
  const bool out16 = out_.bits_per_sample == 16;
  auto put = [&](int32_t v) {
    if (out16) {
      auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
      *o++ = static_cast<uint8_t>(u & 0xFF);
      *o++ = static_cast<uint8_t>(u >> 8);
    } else {
      *o++ = static_cast<uint8_t>(v / 256 + 128);
    }
  };
  const int64_t out_rate = out_.samples_per_sec, in_rate = in_.samples_per_sec;
  int64_t r = pos_;
  for (int64_t n = 0; n < frames; ++n) {
    double l0, r0;
    ReadFrame(in + n * in_frame_, l0, r0);
    while (r < (n + 1) * out_rate) {
      double t = static_cast<double>(r - (n - 1) * out_rate) / static_cast<double>(out_rate);
      int32_t lv = Interpolate(l2_, l1_, l0, t);
      int32_t rv = Interpolate(r2_, r1_, r0, t);
      if (stereo_out) {
        put(lv);
        put(rv);
      } else {
        put((lv + rv) / 2);
      }
      r += in_rate;
    }
    l2_ = l1_;
    r2_ = r1_;
    l1_ = l0;
    r1_ = r0;
  }
  pos_ = r - frames * out_rate;
  return o - out;
}

}  // namespace zem
