// What the sound code asks of the video decoding library: audio from media that no built-in
// decoder takes (the FFmpeg sound source, format code 10, and the WMA plug-in). The video layer
// (src/video) installs the implementation at start-up; without it those formats stay silent.
#pragma once
#include <cstdint>
#include <string>

#include "sound/stream_access.h"

namespace zem {

struct TFFMedia;  // an opened media of the library

struct TFFAudioTrack {
  int32_t sampleRate = 0;
  int32_t channels = 0;
  int32_t bits = 0;  // below 8 counts as 16
};

class TFFMpegAudioLibrary {
 public:
  virtual ~TFFMpegAudioLibrary() = default;
  // Takes the shared library (one use); false when it is absent.
  virtual bool Acquire() = 0;
  virtual void Release() = 0;
  // Whether the library is there to be taken.
  virtual bool Present() = 0;
  // Opens media read from `stream` through the routines (table A); none when it cannot be
  // opened or has neither video nor audio. Needs a use of the library.
  virtual TFFMedia* OpenMedia(const std::string& name, void* stream, const TStreamRoutines* routines) = 0;
  virtual void CloseMedia(TFFMedia* media) = 0;
  virtual bool HasAudio(TFFMedia* media) = 0;
  virtual int64_t DurationUs(TFFMedia* media) = 0;
  // Track -1 is the media's own audio stream.
  virtual bool GetAudioInfo(TFFMedia* media, int32_t track, TFFAudioTrack& info) = 0;
  virtual bool OpenAudioStream(TFFMedia* media, int32_t track) = 0;
  virtual void CloseAudioStream(TFFMedia* media) = 0;
  // Decodes the next piece: interleaved 16-bit PCM in the track's rate and channels, in the
  // media's own buffer (valid until the next call). Null at the end.
  virtual const uint8_t* NextAudio(TFFMedia* media, int32_t& bytes) = 0;
  virtual void AudioSeek(TFFMedia* media, double t_ms) = 0;
};

// Installed by the video layer (null removes it).
void SetFFMpegAudioLibrary(TFFMpegAudioLibrary* library);
TFFMpegAudioLibrary* FFMpegAudioLibrary();

// Holds one use of the installed library for a scope.
class TFFMpegAudioUse {
 public:
  TFFMpegAudioUse();
  ~TFFMpegAudioUse();
  TFFMpegAudioUse(const TFFMpegAudioUse&) = delete;
  TFFMpegAudioUse& operator=(const TFFMpegAudioUse&) = delete;
  TFFMpegAudioLibrary* get() const { return lib_; }
  explicit operator bool() const { return lib_ != nullptr; }
  TFFMpegAudioLibrary* operator->() const { return lib_; }

 private:
  TFFMpegAudioLibrary* lib_ = nullptr;
};

}  // namespace zem
