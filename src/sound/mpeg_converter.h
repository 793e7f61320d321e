// MPEG audio (layers 1 to 3) through libmpg123, fed whole frames only.
#pragma once
#include <cstdint>
#include <mutex>

#include "sound/local_buffer.h"
#include "sound/wav_converter.h"

struct mpg123_handle_struct;

namespace zem {

// The process-wide MPEG decoder lock: every call into libmpg123 is made under it. The library
// is initialised with the first converter and released with the last (use count).
std::recursive_mutex& MpegDecoderLock();

class TMpegConverter : public TWavConverter {
 public:
  TMpegConverter();
  ~TMpegConverter() override;
  void Seek(double t_ms) override;
  bool Process(TLocalBuffer& in) override;
  bool Read() override;
  bool Open(const TMediaInfo& info) override;

 private:
  void ResetDecoder();
  // Stream position of the first valid frame at or after pos (with a valid successor), or -1.
  int64_t NextFrameAt(int64_t pos);

  mpg123_handle_struct* handle_ = nullptr;  // guarded by MpegDecoderLock()
  TLocalBuffer decoded_;
  int64_t feed_bytes_ = 0;  // whole frames at the front of the input
};

}  // namespace zem
