// MPEG audio frame headers (layers 1 to 3, MPEG 1, 2 and 2.5).
#pragma once
#include <cstdint>

namespace zem {

struct TMpegFrameHeader {
  int version = 0;        // 1 = MPEG 1, 2 = MPEG 2, 25 = MPEG 2.5
  int layer = 0;          // 1..3
  int bitrate_kbps = 0;
  int sample_rate = 0;
  int padding = 0;        // pad slot in bytes (0, 1, or 4 for layer 1)
  int channel_mode = 0;   // 3 = mono
  int samples_per_frame = 0;
  int frame_length = 0;   // bytes including the header

  int Channels() const { return channel_mode == 3 ? 1 : 2; }
  // Offset of a Xing/Info header from the frame start.
  int SideInfoEnd() const;
};

// Parses the 4 bytes at p; false when they are not a valid header (sync, version, layer,
// bitrate neither free nor 15, sample rate, emphasis).
bool ParseMpegHeader(const uint8_t* p, TMpegFrameHeader& h);

// Size of an ID3v2 tag starting at p (10-byte header + size + footer), 0 when there is none.
// `avail` bytes are readable at p.
int64_t Id3v2TagSize(const uint8_t* p, int64_t avail);

}  // namespace zem
