#include "sound/mpeg_frame.h"

namespace zem {

namespace {

// kbit/s by [version 1 or 2][layer - 1][index].
const int kBitrates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
};
const int kRates[3] = {44100, 48000, 32000};

}  // namespace

int TMpegFrameHeader::SideInfoEnd() const {
  if (version == 1) return channel_mode == 3 ? 4 + 17 : 4 + 32;
  return channel_mode == 3 ? 4 + 9 : 4 + 17;
}

bool ParseMpegHeader(const uint8_t* p, TMpegFrameHeader& h) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  int ver_bits = (p[1] >> 3) & 3;
  int layer_bits = (p[1] >> 1) & 3;
  int br_index = (p[2] >> 4) & 15;
  int sr_index = (p[2] >> 2) & 3;
  int emphasis = p[3] & 3;
  if (ver_bits == 1 || layer_bits == 0 || br_index == 0 || br_index == 15 || sr_index == 3 || emphasis == 2)
    return false;
  h.version = ver_bits == 3 ? 1 : ver_bits == 2 ? 2 : 25;
  h.layer = 4 - layer_bits;
  h.bitrate_kbps = kBitrates[h.version == 1 ? 0 : 1][h.layer - 1][br_index];
  h.sample_rate = kRates[sr_index] / (h.version == 1 ? 1 : h.version == 2 ? 2 : 4);
  h.channel_mode = (p[3] >> 6) & 3;
  bool pad = (p[2] >> 1) & 1;
  h.padding = pad ? (h.layer == 1 ? 4 : 1) : 0;
  if (h.layer == 1)
    h.samples_per_frame = 384;
  else if (h.layer == 2 || h.version == 1)
    h.samples_per_frame = 1152;
  else
    h.samples_per_frame = 576;
  // samples / 8 x bitrate x 1000 / rate, truncated, plus the pad slot.
  int64_t len = static_cast<int64_t>(h.samples_per_frame) / 8 * h.bitrate_kbps * 1000 / h.sample_rate;
  h.frame_length = static_cast<int>(len) + h.padding;
  return h.frame_length > 4;
}

int64_t Id3v2TagSize(const uint8_t* p, int64_t avail) {
  if (avail < 10 || p[0] != 'I' || p[1] != 'D' || p[2] != '3') return 0;
  if (p[3] == 0xFF || p[4] == 0xFF) return 0;
  if ((p[6] | p[7] | p[8] | p[9]) & 0x80) return 0;
  int64_t size = (static_cast<int64_t>(p[6]) << 21) | (p[7] << 14) | (p[8] << 7) | p[9];
  size += 10;
  if (p[5] & 0x10) size += 10;  // footer
  return size;
}

}  // namespace zem
