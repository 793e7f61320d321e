// MS-ADPCM WAVE sources: our own block decoder (4-bit codes, seven predictor coefficient pairs)
// in place of the system's codec manager.
#pragma once
#include <cstdint>

#include "sound/local_buffer.h"
#include "sound/wav_converter.h"

namespace zem {

struct TAdpcmParams {
  int channels = 0;
  int block_align = 0;
  int samples_per_block = 0;  // per channel
  int coef_count = 0;
  int16_t coefs[7][2] = {};
};

// Checks the format and its 32 extra bytes (samples per block, coefficient count, seven
// coefficient pairs); false for anything the decoder cannot take.
bool ParseAdpcmFormat(const TWaveFormat& f, const uint8_t extra[32], TAdpcmParams& p);
// Decodes one whole block into p.samples_per_block interleaved 16-bit frames. False when the
// block names a predictor that does not exist.
bool DecodeAdpcmBlock(const TAdpcmParams& p, const uint8_t* block, int16_t* out);

class TAdpcmConverter : public TWavConverter {
 public:
  bool Open(const TMediaInfo& info) override;
  bool Process(TLocalBuffer& in) override;
  bool Read() override;

 private:
  TAdpcmParams params_;
  TLocalBuffer decoded_;
};

}  // namespace zem
