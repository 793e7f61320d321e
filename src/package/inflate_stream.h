// A deflated package member read as a stream: raw deflate data inflated a piece at a time, so
// that memory stays fixed whatever the member's size. Used by one thread at a time.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/stream.h"

namespace zem {

// A deflated member may not inflate beyond 1 GiB, nor past its first 64 MiB to more than 256
// times its stored size (deflate reaches about 1032 : 1 on long runs of one byte); beyond either
// it counts as damaged. The package writer stores such data plainly instead.
inline constexpr int64_t kMaxInflatedSize = int64_t(1) << 30;
inline constexpr int64_t kMaxInflateRatio = 256;
inline constexpr int64_t kRatioFloor = int64_t(64) << 20;
// Whether `inflated` bytes may come from `stored` deflated bytes.
inline bool InflateWithinLimits(int64_t stored, int64_t inflated) {
  if (inflated > kMaxInflatedSize) return false;
  return inflated <= kRatioFloor || stored >= inflated / kMaxInflateRatio + (inflated % kMaxInflateRatio != 0);
}

class TInflateStream : public TStream {
 public:
  // Checks the whole deflate stream once (reading it through in fixed buffers), learning its
  // size and keeping a few restart points for seeking. `declared_size` (-1: none) is the size the
  // table records; the member must inflate to exactly that. nullptr and a reason when damaged.
  static std::unique_ptr<TInflateStream> Open(std::unique_ptr<TStream> source, int64_t stored_size,
                                              int64_t declared_size, std::string* error);
  ~TInflateStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  // Why the last read stopped short (the file changed after the check), or empty.
  const std::string& Error() const { return error_; }
  // Restart points kept (each holds up to 32 KB of history); at most kMaxPoints.
  size_t RestartPoints() const { return points_.size(); }

  static constexpr int64_t kOutBuffer = 128 * 1024;
  static constexpr int64_t kInBuffer = 32 * 1024;
  static constexpr int64_t kWindow = 32 * 1024;
  static constexpr size_t kMaxPoints = 64;

 private:
  struct TPoint {
    int64_t out = 0;  // output offset at this point
    int64_t in = 0;   // input offset of the first whole byte not yet consumed
    int bits = 0;     // bits of the byte before `in` still to be consumed
    std::vector<uint8_t> window;  // the output just before `out` (deflate back references)
  };

  TInflateStream(std::unique_ptr<TStream> source, int64_t stored_size);
  bool Check(int64_t declared_size);
  bool Restart(const TPoint& p);
  // Inflates more output into the buffer; false at the end of the data or on damage.
  bool Produce(bool record_points);
  void AddPoint();
  bool Fail(std::string reason);

  std::unique_ptr<TStream> source_;
  const int64_t stored_;
  z_stream z_{};
  bool z_ready_ = false;
  std::vector<uint8_t> in_, out_;
  int64_t in_pos_ = 0;      // next source byte to read
  int64_t out_start_ = 0;   // output offset of out_[0]
  int64_t out_len_ = 0;     // valid bytes in out_
  bool ended_ = false;      // the deflate stream ended in this run
  int64_t size_ = 0;
  int64_t pos_ = 0;
  int64_t span_ = int64_t(1) << 20;  // output between restart points; doubles when they thin out
  std::vector<TPoint> points_;
  std::string error_;
};

}  // namespace zem
