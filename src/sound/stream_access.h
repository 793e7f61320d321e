// Stream access for all sound code: one process-wide object serialises every stream call,
// because the package streams underneath are shared between threads.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>

#include "foundation/stream.h"
#include "foundation/strings.h"

namespace zem {

// Opens a source by name; the stream goes back to the matching free callback.
using TOpenStreamCallback = std::function<TStream*(const WideString& name)>;
using TFreeStreamCallback = std::function<void(TStream* stream)>;

// A read-only window on another stream starting at a byte offset (MPEG audio inside WAVE).
// Does not own the inner stream.
class TMp3ShiftStream : public TStream {
 public:
  TMp3ShiftStream(TStream* inner, int64_t offset) : inner_(inner), offset_(offset) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;  // program error
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  TStream* Inner() const { return inner_; }

 private:
  TStream* inner_;
  int64_t offset_;
};

class TStreamWrapperClass {
 public:
  // With a callback the callback opens the stream; without one a file of that (UTF-8) name
  // is opened for reading. nullptr on failure.
  TStream* Open(const WideString& name, const TOpenStreamCallback* callback);
  // As Open, then wrapped in a window starting at `offset`.
  TStream* OpenWindow(const WideString& name, int64_t offset, const TOpenStreamCallback* callback);
  // Unwraps a window, hands the inner stream to the callback (or frees it), frees the window.
  void Free(TStream* stream, const TFreeStreamCallback* callback);

  int64_t Position(TStream* stream);
  // Origin 0 = start, 1 = current, 2 = end; other origins are a program error.
  int64_t Seek(TStream* stream, int64_t offset, int origin);
  int64_t Read(TStream* stream, void* buffer, int64_t count);
  int64_t Size(TStream* stream);

 private:
  std::recursive_mutex lock_;
};

TStreamWrapperClass& StreamWrapper();

// Stream routines handed to decoder libraries ("table A"): C calling convention, 32-bit counts
// and offsets, 64-bit results; each goes through the stream access object. The stream argument
// is a TStream*.
struct TStreamRoutines {
  int64_t (*read)(void* stream, void* buffer, int32_t count);
  int64_t (*tell)(void* stream);
  int64_t (*seek)(void* stream, int32_t offset, int32_t origin);
  int64_t (*size)(void* stream);
};
const TStreamRoutines* SoundStreamRoutines();

// A name may end in "?" and a number (a track for the FFmpeg decoder): the file part is the
// text before that "?"; the track is -1 without a number.
WideString FilePartOfName(const WideString& name);
int32_t TrackOfName(const WideString& name);
// Lower-case extension of the file part including the dot ("" without one).
WideString ExtensionOfName(const WideString& name);

}  // namespace zem
