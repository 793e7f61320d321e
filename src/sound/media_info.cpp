#include "sound/media_info.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "sound/ffmpeg_audio.h"
#include "sound/plugin_converter.h"
#include "sound/stream_access.h"

namespace zem {

namespace {


uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Be32(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// Reads exactly n bytes at pos through the stream access object.
bool ReadAt(TStream& s, int64_t pos, void* buf, int64_t n) {
  TStreamWrapperClass& sw = StreamWrapper();
  if (sw.Seek(&s, pos, 0) != pos) return false;
  auto* p = static_cast<uint8_t*>(buf);
  while (n > 0) {
    int64_t got = sw.Read(&s, p, n);
    if (got <= 0) return false;
    p += got;
    n -= got;
  }
  return true;
}

}  // namespace


// ------------------------------------------------------------------------------------------
// WAVE

bool TRiffInfo::Read(TStream& stream, TMediaInfo& info) {
  info.Clear();
  const int64_t size = StreamWrapper().Size(&stream);
  uint8_t head[12];
  if (size < 12 || !ReadAt(stream, 0, head, 12)) return false;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;

  int64_t pos = 12;
  int chunks = 0;
  // Walk to "fmt ".
  uint8_t ch[8];
  uint32_t fmt_len = 0;
  for (;;) {
    if (++chunks > kMaxChunks || pos + 8 > size || !ReadAt(stream, pos, ch, 8)) return false;
    uint32_t len = Le32(ch + 4);
    if (std::memcmp(ch, "fmt ", 4) == 0) {
      fmt_len = len;
      break;
    }
    pos += 8 + static_cast<int64_t>(len) + (len & 1);  // chunks are word aligned
  }
  if (fmt_len < 16 || pos + 8 + 16 > size) return false;
  uint8_t fmt[50] = {};
  int64_t want = std::min<int64_t>({static_cast<int64_t>(fmt_len), 50, size - (pos + 8)});
  if (!ReadAt(stream, pos + 8, fmt, want)) return false;
  TWaveFormat& f = info.wave_format;
  f.format_tag = Le16(fmt);
  f.channels = Le16(fmt + 2);
  f.samples_per_sec = Le32(fmt + 4);
  f.avg_bytes_per_sec = Le32(fmt + 8);
  f.block_align = Le16(fmt + 12);
  f.bits_per_sample = Le16(fmt + 14);
  f.extra_size = 0;

  switch (f.format_tag) {
    case kWaveFormatPcm:
      info.format_code = kMediaPcmWave;
      break;
    case kWaveFormatAdpcm:
      if (fmt_len < 50 || want < 50) return false;
      info.format_code = kMediaAdpcmWave;
      f.extra_size = 32;
      std::memcpy(info.extra, fmt + 18, 32);
      break;
    case kWaveFormatIeeeFloat:
      info.format_code = kMediaFloatWave;
      break;
    case kWaveFormatMpegLayer3: {
      uint64_t hint = static_cast<uint64_t>(f.avg_bytes_per_sec) * 8 / 1000;
      TMpegInfo mpeg;
      bool ok = mpeg.Read(stream, info, static_cast<int32_t>(std::min<uint64_t>(hint, 100000)));
      if (ok) info.mpeg_in_wave = 1;
      return ok;
    }
    default:
      info.Clear();
      return false;
  }
  if (!PlausibleWaveFormat(f)) {
    info.Clear();
    return false;
  }
  if (info.format_code != kMediaAdpcmWave) {
    // Rates and frame sizes decide every position later: keep them consistent.
    f.avg_bytes_per_sec = f.samples_per_sec * f.block_align;
  }

  // Walk from the end of "fmt " to "data".
  pos += 8 + static_cast<int64_t>(fmt_len) + (fmt_len & 1);
  for (;;) {
    if (++chunks > kMaxChunks || pos + 8 > size || !ReadAt(stream, pos, ch, 8)) {
      info.Clear();
      return false;
    }
    uint32_t len = Le32(ch + 4);
    if (std::memcmp(ch, "data", 4) == 0) {
      int64_t data_start = pos + 8;
      int64_t avail = size - data_start;
      int64_t data_size = std::min<int64_t>(len, avail);
      if (data_start > UINT32_MAX) {
        info.Clear();
        return false;
      }
      info.data_offset = static_cast<uint32_t>(data_start);
      info.data_size = static_cast<uint32_t>(data_size);
      info.duration = static_cast<uint32_t>(
          std::llround(static_cast<double>(info.data_size) / f.avg_bytes_per_sec * 1000.0));
      return true;
    }
    pos += 8 + static_cast<int64_t>(len) + (len & 1);
  }
}

// ------------------------------------------------------------------------------------------
// MPEG

bool TMpegInfo::Read(TStream& stream, TMediaInfo& info, int32_t bitrate_hint_kbps) {
  const uint32_t keep_in_wave = info.mpeg_in_wave;
  info.Clear();
  info.mpeg_in_wave = keep_in_wave;
  TStreamWrapperClass& sw = StreamWrapper();
  const int64_t size = sw.Size(&stream);
  if (size < 8) return false;
  int64_t start = 0;
  uint8_t tag[10];
  if (ReadAt(stream, 0, tag, 10)) start = Id3v2TagSize(tag, 10);
  if (start >= size) return false;

  // The window searched for the first frame, plus room for its successor and a VBR header.
  int64_t window = std::min<int64_t>(size - start, kSearchWindow + 8192);
  std::vector<uint8_t> buf(static_cast<size_t>(window));
  if (!ReadAt(stream, start, buf.data(), window)) return false;

  int64_t first = -1;
  TMpegFrameHeader h, next;
  for (int64_t i = 0; i + 4 <= window && i < kSearchWindow; ++i) {
    if (!ParseMpegHeader(&buf[i], h)) continue;
    int64_t j = i + h.frame_length;
    if (j + 4 > window || !ParseMpegHeader(&buf[j], next)) continue;
    first = i;
    break;
  }
  if (first < 0) return false;
  header_ = h;

  const int64_t data_offset = start + first;
  int64_t data_size = size - data_offset;
  uint8_t v1[3];
  if (size - 128 >= data_offset && ReadAt(stream, size - 128, v1, 3) && std::memcmp(v1, "TAG", 3) == 0)
    data_size -= 128;
  if (data_offset > UINT32_MAX || data_size <= 0) return false;

  // A Xing/Info or VBRI header in the first frame gives the frame count.
  uint32_t frames = 0;
  bool vbr = false;
  std::memset(vbr_header_, 0, sizeof vbr_header_);
  int64_t xing = first + h.SideInfoEnd();
  if (xing + 12 <= window && (std::memcmp(&buf[xing], "Xing", 4) == 0 || std::memcmp(&buf[xing], "Info", 4) == 0)) {
    std::memcpy(vbr_header_, &buf[xing], static_cast<size_t>(std::min<int64_t>(120, window - xing)));
    uint32_t flags = Be32(&buf[xing + 4]);
    if (flags & 1) frames = Be32(&buf[xing + 8]);
    vbr = frames > 0;
  } else if (first + 36 + 18 <= window && std::memcmp(&buf[first + 36], "VBRI", 4) == 0) {
    std::memcpy(vbr_header_, &buf[first + 36], 18);
    frames = Be32(&buf[first + 36 + 14]);
    vbr = frames > 0;
  }

  // Largest frame length among the first frames.
  uint32_t largest = 0;
  {
    int64_t p = first;
    TMpegFrameHeader fh;
    for (int k = 0; k < 16 && p + 4 <= window && ParseMpegHeader(&buf[p], fh); ++k) {
      largest = std::max<uint32_t>(largest, fh.frame_length);
      p += fh.frame_length;
    }
  }

  const int32_t kbps = bitrate_hint_kbps > 0 ? bitrate_hint_kbps : h.bitrate_kbps;
  uint64_t duration;
  if (vbr) {
    duration = static_cast<uint64_t>(std::llround(static_cast<double>(frames) * h.samples_per_frame / h.sample_rate * 1000.0));
  } else {
    duration = static_cast<uint64_t>(data_size) * 8 / static_cast<uint64_t>(kbps);
  }
  if (duration > UINT32_MAX) return false;

  info.data_offset = static_cast<uint32_t>(data_offset);
  info.data_size = static_cast<uint32_t>(std::min<int64_t>(data_size, UINT32_MAX));
  info.duration = static_cast<uint32_t>(duration);
  info.stream_duration = vbr ? info.duration
                             : static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(size) * 8 / kbps, UINT32_MAX));
  info.largest_frame = largest;
  if (vbr)
    info.frame_time = static_cast<double>(info.duration) / frames;
  else if (info.data_size > 0 && largest > 0 && info.duration > 0)
    info.frame_time = static_cast<double>(info.duration) / info.data_size * largest;
  else
    info.frame_time = 26.0;
  if (!(info.frame_time > 0)) info.frame_time = 26.0;
  info.format_code = kMediaMpeg;
  info.wave_format = PcmFormat(static_cast<uint32_t>(h.sample_rate), static_cast<uint16_t>(h.Channels()), 16);
  info.extra[0] = vbr ? 1 : 0;
  return true;
}

// ------------------------------------------------------------------------------------------
// Extractor

namespace {

bool PluginFallback(TStream& stream, const WideString& ext, TMediaInfo& info, const WideString& name) {
  struct TChoice {
    const char16_t* ext;
    TPluginSlot slot;
    uint8_t code;
  };
  static const TChoice kChoices[] = {{u".ape", TPluginSlot::Ape, kMediaApe}, {u".mac", TPluginSlot::Ape, kMediaApe},
                                     {u".ogg", TPluginSlot::Ogg, kMediaOgg}, {u".wma", TPluginSlot::Wma, kMediaWma},
                                     {u".aac", TPluginSlot::Aac, kMediaAac}};
  for (const TChoice& c : kChoices) {
    if (ext != c.ext) continue;
    if (PluginGetMediaInfo(c.slot, stream, info)) {
      info.format_code = c.code;
      return true;
    }
  }
  if (TFFMpegAudioUse lib; lib) {
    info.Clear();
    StreamWrapper().Seek(&stream, 0, 0);
    TFFMedia* media = lib->OpenMedia("qwe" + WideToUtf8(FilePartOfName(name)), &stream, SoundStreamRoutines());
    const bool audio = media && lib->HasAudio(media);
    if (audio) {
      info.format_code = kMediaFFmpeg;
      info.duration = uint32_t(std::clamp<int64_t>((lib->DurationUs(media) + 500) / 1000, 0, UINT32_MAX));
      info.wave_format = InternalFormat();
    }
    if (media) lib->CloseMedia(media);
    if (audio) return true;
  }
  info.Clear();
  return false;
}

}  // namespace

bool TMediaInfoExtractor::Extract(TStream& stream, const WideString& extension, TMediaInfo& info,
                                  const WideString& name) {
  info.Clear();
  const WideString ext = LowerCase(extension);
  uint8_t head[8];
  if (!ReadAt(stream, 0, head, 8)) return false;
  if (std::memcmp(head, "RIFF", 4) == 0) {
    if (TRiffInfo::Read(stream, info)) return true;
    return PluginFallback(stream, ext, info, name);
  }
  if (ext == u".mp3" || ext == u".mp2" || ext == u".mp1") {
    TMpegInfo mpeg;
    if (mpeg.Read(stream, info)) return true;
    info.Clear();
    return false;
  }
  return PluginFallback(stream, ext, info, name);
}

}  // namespace zem
