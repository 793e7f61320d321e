// Converts PCM between sample rates, channel counts and widths with quadratic interpolation.
// State carries over from call to call, so a stream converted in pieces gives the same output
// as converted at once. Output lags the input by exactly one input frame.
#pragma once
#include <cstdint>

#include "sound/sound_format.h"

namespace zem {

class TPcmResampler {
 public:
  // Input: 1 or 2 channels of 8, 16, 24 or 32 bits (32-bit: float for tag 3, integer
  // otherwise), or 6 channels of 16 bits. Output: 1 or 2 channels of 8 or 16 bits.
  static bool SupportsInput(const TWaveFormat& f);
  static bool SupportsOutput(const TWaveFormat& f);

  // Both formats must be supported (program error otherwise). Resets the carried state.
  void SetFormats(const TWaveFormat& in, const TWaveFormat& out);
  void Reset();
  const TWaveFormat& InputFormat() const { return in_; }
  const TWaveFormat& OutputFormat() const { return out_; }
  int32_t InputFrameBytes() const { return in_frame_; }

  // Bytes that Convert will write for `in_bytes` of input (whole input frames only).
  int64_t OutputSize(int64_t in_bytes) const;
  // Converts the whole input frames of `in`; returns the bytes written to `out`, which must
  // hold OutputSize(in_bytes).
  int64_t Convert(const uint8_t* in, int64_t in_bytes, uint8_t* out);

 private:
  void ReadFrame(const uint8_t* p, double& left, double& right) const;

  TWaveFormat in_, out_;
  int32_t in_frame_ = 0, out_frame_ = 0;
  bool in_float_ = false;
  // Carried state: the two input frames before the next one, and the read position relative
  // to the next input frame, in units of 1 / output rate (exact, so that pieces add up).
  double l1_ = 0, r1_ = 0, l2_ = 0, r2_ = 0;
  int64_t pos_ = 0;
};

}  // namespace zem
