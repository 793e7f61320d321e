#include "sound/local_buffer.h"

#include <algorithm>
#include <cstring>

#include "foundation/assert.h"
#include "sound/stream_access.h"

namespace zem {

void TLocalBuffer::Reserve(int64_t n) {
  ZEM_ASSERT(n >= 0 && n <= kMaxCapacity);
  if (n > Capacity()) data_.resize(static_cast<size_t>(n));
}

void TLocalBuffer::Commit(int64_t n) {
  ZEM_ASSERT(n >= 0 && n <= FreeBytes());
  size_ += n;
}

void TLocalBuffer::Append(const void* bytes, int64_t n) {
  if (n <= 0) return;
  MakeRoom(n);
  std::memcpy(FreeSpace(), bytes, static_cast<size_t>(n));
  size_ += n;
}

void TLocalBuffer::AppendFrom(TLocalBuffer& other) {
  if (other.size_ > FreeBytes()) ZEM_FAIL("Buffer overrun");
  if (other.size_ > 0) std::memcpy(FreeSpace(), other.Data(), static_cast<size_t>(other.size_));
  size_ += other.size_;
  other.size_ = 0;
}

void TLocalBuffer::Pad(uint8_t value, int64_t n) {
  if (n <= 0) return;
  MakeRoom(n);
  std::memset(FreeSpace(), value, static_cast<size_t>(n));
  size_ += n;
}

void TLocalBuffer::Consume(int64_t n) {
  n = std::clamp<int64_t>(n, 0, size_);
  if (n == 0) return;
  std::memmove(data_.data(), data_.data() + n, static_cast<size_t>(size_ - n));
  size_ -= n;
}

bool TLocalBuffer::ReadFromStream(TStream& stream, int64_t end_pos) {
  TStreamWrapperClass& sw = StreamWrapper();
  int64_t pos = sw.Position(&stream);
  if (pos < 0 || pos >= end_pos || FreeBytes() <= 0) return false;
  int64_t want = std::min<int64_t>(FreeBytes(), end_pos - pos);
  int64_t got = sw.Read(&stream, FreeSpace(), want);
  if (got <= 0) return false;
  size_ += got;
  return true;
}

}  // namespace zem
