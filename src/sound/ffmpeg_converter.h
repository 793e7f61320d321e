// TFFMpegConverter (format code 10): audio of any media the video decoding library opens. A name
// ending in "?" and a number chooses the audio track. Used by one thread at a time (the owner's).
#pragma once
#include <cstdint>

#include "sound/ffmpeg_audio.h"
#include "sound/wav_converter.h"

namespace zem {

class TFFMpegConverter : public TWavConverter {
 public:
  explicit TFFMpegConverter(const WideString& name) : name_(name) {}
  ~TFFMpegConverter() override;
  void Seek(double t_ms) override;
  bool Process(TLocalBuffer& in) override;
  bool Read() override { return true; }  // the library reads the stream itself
  bool Open(const TMediaInfo& info) override;

 private:
  void CloseMedia();

  WideString name_;
  TFFMpegAudioLibrary* lib_ = nullptr;  // held (one use) while open
  TFFMedia* media_ = nullptr;
  bool audioOpen_ = false;
  TLocalBuffer decoded_;
};

}  // namespace zem
