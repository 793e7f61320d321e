#include "package/partial_stream.h"

#include <algorithm>
#include <cstring>

#include "foundation/assert.h"

namespace zem {

std::unique_ptr<TPartialStream> TPartialStream::Create(TStream* source, bool owns_source,
                                                       int64_t offset, int64_t size,
                                                       std::string* error) {
  ZEM_ASSERT(source != nullptr);
  auto fail = [&](const char* text) {
    if (error) *error = text;
    if (owns_source) delete source;
    return std::unique_ptr<TPartialStream>();
  };
  if (offset < 0 || size < 0) return fail("Incorrect Position");
  int64_t available = source->Size();
  // offset + size is compared without overflow: both are non-negative.
  if (available < 0 || offset > available || size > available - offset)
    return fail("Insufficient Source Size");
  return std::unique_ptr<TPartialStream>(new TPartialStream(source, owns_source, offset, size));
}

std::unique_ptr<TPartialStream> TPartialStream::Create(std::unique_ptr<TStream> source, int64_t offset,
                                                       int64_t size, std::string* error) {
  return Create(source.release(), true, offset, size, error);
}

TPartialStream::~TPartialStream() {
  if (owns_) delete source_;
}

void TPartialStream::SetThrottle(TThrottleProc proc, int64_t chunk_size) {
  throttle_ = proc;
  chunk_ = proc ? std::max<int64_t>(1, chunk_size) : kChunk;
}

int64_t TPartialStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  count = std::min(count, size_ - pos_);
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    int64_t want = std::min(chunk_, count - done);
    if (source_->Seek(offset_ + pos_, TSeekOrigin::Begin) != offset_ + pos_) break;
    int64_t n = source_->Read(out + done, want);
    if (n <= 0) break;
    done += n;
    pos_ += n;
    if (throttle_) throttle_();
    if (n < want) break;
  }
  return done;
}

int64_t TPartialStream::Write(const void* buffer, int64_t count) {
  // Writing inside the window is allowed; the window never grows.
  if (count <= 0 || pos_ >= size_) return 0;
  count = std::min(count, size_ - pos_);
  if (source_->Seek(offset_ + pos_, TSeekOrigin::Begin) != offset_ + pos_) return 0;
  int64_t n = source_->Write(buffer, count);
  if (n > 0) pos_ += n;
  return std::max<int64_t>(n, 0);
}

int64_t TPartialStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? pos_ : size_;
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) {
    error_ = "Incorrect Position";
    return -1;
  }
  pos_ = base + offset;
  return pos_;
}

bool TPartialStream::SetSize(int64_t) {
  error_ = "Stream Cannot be resized";
  return false;
}

// --- scrambling ---

TCryptStream::TCryptStream(std::unique_ptr<TStream> source, std::vector<uint8_t> key)
    : source_(std::move(source)), key_(std::move(key)) {
  ZEM_ASSERT(source_ != nullptr);
  ZEM_ASSERT(!key_.empty());
}

void TCryptStream::Apply(uint8_t* data, int64_t count, int64_t position,
                         const std::vector<uint8_t>& key) {
  ZEM_ASSERT(!key.empty());
  const int64_t n = static_cast<int64_t>(key.size());
  int64_t k = position % n;
  if (k < 0) k += n;
  for (int64_t i = 0; i < count; ++i) {
    data[i] ^= key[static_cast<size_t>(k)];
    if (++k == n) k = 0;
  }
}

int64_t TCryptStream::Read(void* buffer, int64_t count) {
  int64_t pos = source_->Position();
  int64_t n = source_->Read(buffer, count);
  if (n > 0 && pos >= 0) Apply(static_cast<uint8_t*>(buffer), n, pos, key_);
  return n;
}

int64_t TCryptStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t pos = source_->Position();
  if (pos < 0) return 0;
  // The caller's data stays as it was: scramble a copy.
  std::vector<uint8_t> copy(static_cast<const uint8_t*>(buffer),
                            static_cast<const uint8_t*>(buffer) + count);
  Apply(copy.data(), count, pos, key_);
  return source_->Write(copy.data(), count);
}

int64_t TCryptStream::Seek(int64_t offset, TSeekOrigin origin) { return source_->Seek(offset, origin); }

const std::vector<uint8_t>& PackageScrambleKey() {
  static const std::vector<uint8_t> key = [] {
    const char* text = "7F3C1A90D24E58B6A1C0E9F2354D8B17";
    return std::vector<uint8_t>(text, text + std::strlen(text));
  }();
  return key;
}

}  // namespace zem
