// Media information: what a source is (WAVE, MPEG audio, a plug-in format) and where its audio
// lies. The readers take untrusted bytes: every header field is checked against the stream
// before use.
#pragma once
#include <cstdint>

#include "foundation/stream.h"
#include "foundation/strings.h"
#include "sound/mpeg_frame.h"
#include "sound/sound_format.h"

namespace zem {

// The WAVE ("RIFF") reader.
class TRiffInfo {
 public:
  // Most chunks walked before the reader gives up.
  static constexpr int kMaxChunks = 4096;
  static bool Read(TStream& stream, TMediaInfo& info);
};

// The MPEG audio reader.
class TMpegInfo {
 public:
  // Bytes searched for the first frame after an ID3v2 tag.
  static constexpr int64_t kSearchWindow = 1 << 20;
  // `bitrate_hint_kbps` > 0 replaces the first frame's bitrate in the duration.
  bool Read(TStream& stream, TMediaInfo& info, int32_t bitrate_hint_kbps = 0);

  const TMpegFrameHeader& LastHeader() const { return header_; }

 private:
  TMpegFrameHeader header_;
  uint8_t vbr_header_[120] = {};
};

class TMediaInfoExtractor {
 public:
  // (stream, extension of the name with its dot, in any case; the name itself for the FFmpeg
  // fallback) -> true with `info` filled; false leaves format code 0.
  static bool Extract(TStream& stream, const WideString& extension, TMediaInfo& info,
                      const WideString& name = WideString());
};


}  // namespace zem
