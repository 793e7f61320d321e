// Wave formats, the media information of a sound source, and the internal sample format that
// the mixer and the output work in (PCM, 2 channels, 44100 frames per second, 16-bit signed).
#pragma once
#include <cstdint>
#include <cstring>

namespace zem {

// The 18-byte wave format header: tag, channels, rate, bytes per second, block align, bits,
// extra size.
struct TWaveFormat {
  uint16_t format_tag = 0;
  uint16_t channels = 0;
  uint32_t samples_per_sec = 0;
  uint32_t avg_bytes_per_sec = 0;
  uint16_t block_align = 0;
  uint16_t bits_per_sample = 0;
  uint16_t extra_size = 0;

  bool operator==(const TWaveFormat&) const = default;
};

constexpr uint16_t kWaveFormatPcm = 1;
constexpr uint16_t kWaveFormatAdpcm = 2;
constexpr uint16_t kWaveFormatIeeeFloat = 3;
constexpr uint16_t kWaveFormatMpegLayer3 = 85;

constexpr int32_t kInternalRate = 44100;
constexpr int32_t kInternalChannels = 2;
constexpr int32_t kInternalBytesPerFrame = 4;
constexpr int32_t kInternalBytesPerSecond = 176400;

// PCM wave format with the given rate, channels and width.
TWaveFormat PcmFormat(uint32_t rate, uint16_t channels, uint16_t bits);
inline TWaveFormat InternalFormat() { return PcmFormat(kInternalRate, kInternalChannels, 16); }

// Byte position of t ms in the internal format: t x 44.1 frames truncated to a frame, x 4.
inline int64_t BytePosOfTime(int64_t t_ms) { return ((t_ms * 176400) / 4000) * 4; }

// Source kinds of TMediaInfo::format_code.
enum TMediaFormatCode : uint8_t {
  kMediaUnknown = 0,
  kMediaPcmWave = 1,
  kMediaAdpcmWave = 2,
  kMediaFloatWave = 3,
  kMediaMpeg = 4,
  kMediaWma = 5,
  kMediaOgg = 6,
  kMediaApe = 7,
  kMediaAac = 8,
  kMediaComposite = 9,
  kMediaFFmpeg = 10,
};

// What a source is and where its audio lies. Zero-filled before use.
struct TMediaInfo {
  uint32_t data_offset = 0;      // first audio byte (WAVE "data" chunk, first MPEG frame)
  uint32_t data_size = 0;        // bytes of audio (MPEG: without tags)
  uint32_t duration = 0;         // ms
  uint32_t stream_duration = 0;  // MPEG: whole stream including tags, ms
  uint32_t largest_frame = 0;    // MPEG: largest frame length of the first frames
  double frame_time = 0;         // MPEG: ms per frame
  uint32_t mpeg_in_wave = 0;     // 1 when MPEG audio was found inside a WAVE file
  uint8_t format_code = kMediaUnknown;
  TWaveFormat wave_format;       // WAVE: the file's format; others: the decoded output format
  uint8_t extra[32] = {};        // MS-ADPCM coefficients; MPEG: extra[0] = VBR header found

  void Clear() { *this = TMediaInfo(); }
};

// True when the format is one the converters can take apart frame by frame: a sane rate, a
// block align that matches channels x width for PCM and float.
bool PlausibleWaveFormat(const TWaveFormat& f);

}  // namespace zem
