// The audio device under the software mixer: one output stream of 44100 Hz, stereo, 16-bit
// frames that pulls mixed audio through a callback. The SDL backend plays it (or writes it to a
// file with SDL's disk driver); the null backend never pulls, so tests drive the mixer directly.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/refobj.h"

namespace zem {

// Runs on the audio thread of the backend: fills `frames` interleaved stereo frames.
using TMixCallback = std::function<void(int16_t* out, int32_t frames)>;

class TAudioOutput : public TObj {
 public:
  // Opens the device and starts pulling; false when no device can be opened.
  virtual bool Open(TMixCallback mix) = 0;
  // Stops pulling; once it returns, the callback is not running and will not run again.
  virtual void Close() = 0;
  // Frames the device takes per callback (the mixer's lead over the play cursor).
  virtual int32_t PeriodFrames() const = 0;
  virtual std::string Name() const = 0;
};

std::unique_ptr<TAudioOutput> CreateSdlAudioOutput();
std::unique_ptr<TAudioOutput> CreateNullAudioOutput();

// Which backend new sound devices open (process-wide; set before devices are made). The
// default is SDL; ZEM_AUDIO_BACKEND=null in the environment selects the null backend.
enum class TAudioBackendKind { Sdl, Null };
void SetAudioBackendKind(TAudioBackendKind kind);
TAudioBackendKind AudioBackendKind();

}  // namespace zem
