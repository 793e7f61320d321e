#include "sound/adpcm_converter.h"

#include <algorithm>

namespace zem {

namespace {

const int kAdaptation[16] = {230, 230, 230, 230, 307, 409, 512, 614, 768, 614, 512, 409, 307, 230, 230, 230};

int16_t Le16s(const uint8_t* p) { return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8))); }

struct TChannelState {
  int32_t c1, c2;
  int64_t delta;
  int32_t s1, s2;
};

inline int16_t Step(TChannelState& st, int nibble) {
  int signed_nibble = nibble >= 8 ? nibble - 16 : nibble;
  int64_t predictor = (static_cast<int64_t>(st.s1) * st.c1 + static_cast<int64_t>(st.s2) * st.c2) / 256;
  predictor += signed_nibble * st.delta;
  int32_t sample = static_cast<int32_t>(std::clamp<int64_t>(predictor, -32768, 32767));
  st.s2 = st.s1;
  st.s1 = sample;
  // Kept within bounds so that hostile data cannot overflow it.
  st.delta = std::clamp<int64_t>(kAdaptation[nibble] * st.delta / 256, 16, 1 << 24);
  return static_cast<int16_t>(sample);
}

}  // namespace

bool ParseAdpcmFormat(const TWaveFormat& f, const uint8_t extra[32], TAdpcmParams& p) {
  if (f.format_tag != kWaveFormatAdpcm || (f.channels != 1 && f.channels != 2)) return false;
  if (f.bits_per_sample != 4 || f.samples_per_sec < 1000 || f.samples_per_sec > 384000) return false;
  if (f.block_align < 7 * f.channels + 1 || f.avg_bytes_per_sec == 0) return false;
  p.channels = f.channels;
  p.block_align = f.block_align;
  p.samples_per_block = (f.block_align - 7 * f.channels) * 2 / f.channels + 2;
  p.coef_count = extra[2] | (extra[3] << 8);
  if (p.coef_count < 1 || p.coef_count > 7) return false;
  for (int i = 0; i < p.coef_count; ++i) {
    p.coefs[i][0] = Le16s(extra + 4 + 4 * i);
    p.coefs[i][1] = Le16s(extra + 6 + 4 * i);
  }
  return true;
}

bool DecodeAdpcmBlock(const TAdpcmParams& p, const uint8_t* block, int16_t* out) {
  const int ch = p.channels;
  TChannelState st[2];
  for (int c = 0; c < ch; ++c) {
    int predictor = block[c];
    if (predictor >= p.coef_count) return false;
    st[c].c1 = p.coefs[predictor][0];
    st[c].c2 = p.coefs[predictor][1];
    st[c].delta = Le16s(block + ch + 2 * c);
    st[c].s1 = Le16s(block + 3 * ch + 2 * c);
    st[c].s2 = Le16s(block + 5 * ch + 2 * c);
  }
  // The header holds the first two samples, older one first.
  for (int c = 0; c < ch; ++c) {
    out[c] = static_cast<int16_t>(st[c].s2);
    out[ch + c] = static_cast<int16_t>(st[c].s1);
  }
  int16_t* o = out + 2 * ch;
  const uint8_t* codes = block + 7 * ch;
  const int code_bytes = p.block_align - 7 * ch;
  int c = 0;
  for (int i = 0; i < code_bytes; ++i) {
    // High nibble first; channels alternate nibble by nibble.
    *o++ = Step(st[c], codes[i] >> 4);
    c = (c + 1) % ch;
    *o++ = Step(st[c], codes[i] & 15);
    c = (c + 1) % ch;
  }
  return true;
}

bool TAdpcmConverter::Open(const TMediaInfo& info) {
  if (!ParseAdpcmFormat(info.wave_format, info.extra, params_)) return false;
  if (!TWavConverter::Open(info)) return false;
  // Whole blocks per read, at least the usual 2048 bytes: a block cut by a chunk end would be lost.
  read_chunk_ = std::max(1, 2048 / params_.block_align) * params_.block_align;
  TWaveFormat pcm = PcmFormat(info.wave_format.samples_per_sec, info.wave_format.channels, 16);
  decoded_.SetFormat(pcm);
  output_.SetFormat(has_target_ ? target_ : pcm);
  return true;
}

bool TAdpcmConverter::Read() {
  // The input may keep a partial block from the previous read; TWavConverter::Read appends.
  return TWavConverter::Read();
}

bool TAdpcmConverter::Process(TLocalBuffer& in) {
  const int64_t blocks = in.Size() / params_.block_align;
  if (blocks == 0) return true;
  const int64_t frame_bytes = 2 * params_.channels;
  decoded_.MakeRoom(blocks * params_.samples_per_block * frame_bytes);
  bool ok = true;
  for (int64_t b = 0; b < blocks; ++b) {
    auto* out = reinterpret_cast<int16_t*>(decoded_.FreeSpace());
    if (!DecodeAdpcmBlock(params_, in.Data() + b * params_.block_align, out)) {
      ok = false;
      break;
    }
    decoded_.Commit(params_.samples_per_block * frame_bytes);
  }
  in.Consume(blocks * params_.block_align);
  if (!ok && decoded_.Empty()) return false;
  return ProcessPcm(decoded_) && ok;
}

}  // namespace zem
