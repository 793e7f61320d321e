// The converter base: reads a source stream in chunks, decodes it (derived classes) and hands
// out PCM in a chosen wave format. Used by one thread at a time (the owner's).
#pragma once
#include <cstdint>
#include <memory>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "sound/local_buffer.h"
#include "sound/pcm_resampler.h"
#include "sound/sound_format.h"

namespace zem {

class TWavConverter : public TObj {
 public:
  static constexpr int32_t kReadChunk = 4096;
  static constexpr int32_t kReadChunk24 = 12288;

  TWavConverter() = default;

  // Positions the source at t ms; the buffers are emptied.
  virtual void Seek(double t_ms);
  // Decodes `in` into the output buffer (base: resample or append); false on a decoding error.
  virtual bool Process(TLocalBuffer& in);
  // Reads the next chunk of the source into the input buffer; false when nothing was read.
  virtual bool Read();
  // Takes the source's media information and positions at 0; false when the source cannot be
  // converted. The source stream must be set first (except for sources without one).
  virtual bool Open(const TMediaInfo& info);
  // Makes the output hold at least n bytes: true while the source delivers; at its end the
  // output is padded with silence and the result says whether it held anything before.
  virtual bool Fill(int64_t n);
  // Whether a Fill has met data that did not decode.
  bool DecodeFailed() const { return decode_failed_; }

  // The format of the output buffer becomes `f` (a resampler converts into it).
  void SetTargetFormat(const TWaveFormat& f);

  void SetStream(TStream* stream) { stream_ = stream; }
  TStream* Stream() const { return stream_; }
  TLocalBuffer& Output() { return output_; }
  TLocalBuffer& Input() { return input_; }
  const TMediaInfo& MediaInfo() const { return info_; }
  double Position() const { return position_; }
  int32_t ReadChunk() const { return read_chunk_; }

 protected:
  // Base Process on any buffer (derived decoders pass their decoded buffer).
  bool ProcessPcm(TLocalBuffer& in);

  int32_t read_chunk_ = kReadChunk;
  TLocalBuffer input_, output_;
  TMediaInfo info_;
  TStream* stream_ = nullptr;
  double position_ = 0;
  std::unique_ptr<TPcmResampler> resampler_;
  TWaveFormat target_;
  bool has_target_ = false;
  bool decode_failed_ = false;
};

}  // namespace zem
