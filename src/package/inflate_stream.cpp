#include "package/inflate_stream.h"

#include <algorithm>
#include <cstring>

namespace zem {

namespace {
// The z_stream counters are unsigned int; buffers here are far below that.
uInt Count(int64_t n) { return static_cast<uInt>(n); }
}  // namespace

TInflateStream::TInflateStream(std::unique_ptr<TStream> source, int64_t stored_size)
    : source_(std::move(source)), stored_(stored_size), in_(kInBuffer), out_(kOutBuffer) {}

TInflateStream::~TInflateStream() {
  if (z_ready_) inflateEnd(&z_);
}

std::unique_ptr<TInflateStream> TInflateStream::Open(std::unique_ptr<TStream> source, int64_t stored_size,
                                                     int64_t declared_size, std::string* error) {
  std::unique_ptr<TInflateStream> s(new TInflateStream(std::move(source), stored_size));
  if (!s->Check(declared_size)) {
    if (error) *error = s->error_;
    return nullptr;
  }
  return s;
}

bool TInflateStream::Fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

bool TInflateStream::Restart(const TPoint& p) {
  if (z_ready_) inflateEnd(&z_);
  z_ = z_stream{};
  z_ready_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;
  if (!z_ready_) return Fail("out of memory for inflation");
  in_pos_ = p.bits ? p.in - 1 : p.in;
  if (p.bits) {
    uint8_t b = 0;
    if (source_->Seek(in_pos_, TSeekOrigin::Begin) != in_pos_ || source_->Read(&b, 1) != 1)
      return Fail("the stored data cannot be read");
    ++in_pos_;
    inflatePrime(&z_, p.bits, b >> (8 - p.bits));
  }
  if (!p.window.empty()) inflateSetDictionary(&z_, p.window.data(), Count(static_cast<int64_t>(p.window.size())));
  out_start_ = p.out;
  out_len_ = 0;
  ended_ = false;
  return true;
}

void TInflateStream::AddPoint() {
  if (points_.size() >= kMaxPoints) {
    // Keep every other point (the start among them) and space later ones twice as far.
    size_t w = 1;
    for (size_t r = 2; r < points_.size(); r += 2) points_[w++] = std::move(points_[r]);
    points_.resize(w);
    span_ *= 2;
  }
  TPoint p;
  p.out = out_start_ + out_len_;
  p.in = in_pos_ - z_.avail_in;
  p.bits = z_.data_type & 7;
  const int64_t keep = std::min(out_len_, kWindow);
  p.window.assign(out_.begin() + (out_len_ - keep), out_.begin() + out_len_);
  points_.push_back(std::move(p));
}

bool TInflateStream::Produce(bool record_points) {
  if (ended_ || !z_ready_) return false;
  if (out_len_ == kOutBuffer) {
    // Keep the last window: restart points take their history from it.
    std::memmove(out_.data(), out_.data() + (out_len_ - kWindow), static_cast<size_t>(kWindow));
    out_start_ += out_len_ - kWindow;
    out_len_ = kWindow;
  }
  if (z_.avail_in == 0 && in_pos_ < stored_) {
    const int64_t want = std::min<int64_t>(kInBuffer, stored_ - in_pos_);
    int64_t n = 0;
    if (source_->Seek(in_pos_, TSeekOrigin::Begin) == in_pos_) n = source_->Read(in_.data(), want);
    if (n <= 0) return Fail("the stored data cannot be read");
    in_pos_ += n;
    z_.next_in = in_.data();
    z_.avail_in = Count(n);
  }
  z_.next_out = out_.data() + out_len_;
  z_.avail_out = Count(kOutBuffer - out_len_);
  const int ret = inflate(&z_, record_points ? Z_BLOCK : Z_NO_FLUSH);
  out_len_ = kOutBuffer - z_.avail_out;
  if (ret == Z_STREAM_END) {
    ended_ = true;
    return true;
  }
  if (ret == Z_DATA_ERROR || ret == Z_NEED_DICT) return Fail("the deflate data is damaged");
  if (ret == Z_MEM_ERROR) return Fail("out of memory for inflation");
  // Z_BUF_ERROR: no progress possible; more input comes with the next call, unless none is left.
  if (ret == Z_BUF_ERROR && z_.avail_in == 0 && in_pos_ >= stored_) return Fail("the deflate data ends early");
  if (record_points && (z_.data_type & 128) && !(z_.data_type & 64)) {
    const int64_t out = out_start_ + out_len_;
    if (out - points_.back().out >= span_) AddPoint();
  }
  return true;
}

bool TInflateStream::Check(int64_t declared) {
  points_.push_back(TPoint{});  // the start
  if (!Restart(points_.front())) return false;
  for (;;) {
    const bool more = Produce(true);
    const int64_t total = out_start_ + out_len_;
    if (declared >= 0 && total > declared)
      return Fail("inflates beyond its declared size of " + std::to_string(declared) + " bytes");
    if (total > kMaxInflatedSize) return Fail("inflates beyond the limit of 1 GiB");
    if (!InflateWithinLimits(stored_, total))
      return Fail("inflates to more than " + std::to_string(kMaxInflateRatio) + " times its stored size");
    if (!more) {
      if (!ended_) return false;
      size_ = total;
      break;
    }
  }
  if (declared >= 0 && size_ != declared)
    return Fail("inflates to " + std::to_string(size_) + " bytes, not its declared " + std::to_string(declared));
  return Restart(points_.front());
}

int64_t TInflateStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  count = std::min(count, size_ - pos_);
  // The nearest restart point at or before the position, when it saves inflating.
  const TPoint* best = nullptr;
  for (const TPoint& p : points_)
    if (p.out <= pos_) best = &p;
  if (best && (pos_ < out_start_ || best->out > out_start_ + out_len_))
    if (!Restart(*best)) return 0;
  auto* dst = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    const int64_t end = out_start_ + out_len_;
    if (pos_ >= out_start_ && pos_ < end) {
      const int64_t n = std::min(count - done, end - pos_);
      std::memcpy(dst + done, out_.data() + (pos_ - out_start_), static_cast<size_t>(n));
      done += n;
      pos_ += n;
      continue;
    }
    if (!Produce(false)) {
      if (!ended_ || out_start_ + out_len_ <= pos_) {
        Fail("the member changed after it was checked");
        break;
      }
    }
  }
  return done;
}

int64_t TInflateStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? pos_ : size_;
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target) || target < 0) return -1;
  pos_ = target;
  return pos_;
}

}  // namespace zem
