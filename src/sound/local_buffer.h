// A byte buffer with a wave format: the converters' input, decoded and output buffers. Data
// lies from the start; `Size` bytes are in use, the rest up to `Capacity` is free space.
// One thread at a time (the converter's owner).
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "sound/sound_format.h"

namespace zem {

class TLocalBuffer : public TObj {
 public:
  // Largest capacity a buffer may reach (untrusted formats cannot make it grow without end).
  static constexpr int64_t kMaxCapacity = 64 << 20;

  TLocalBuffer() = default;

  uint8_t* Data() { return data_.data(); }
  const uint8_t* Data() const { return data_.data(); }
  uint8_t* FreeSpace() { return data_.data() + size_; }
  int64_t Size() const { return size_; }
  int64_t Capacity() const { return static_cast<int64_t>(data_.size()); }
  int64_t FreeBytes() const { return Capacity() - size_; }
  bool Empty() const { return size_ == 0; }

  const TWaveFormat& Format() const { return format_; }
  void SetFormat(const TWaveFormat& f) { format_ = f; }

  // Capacity becomes at least n bytes.
  void Reserve(int64_t n);
  // Capacity grows by n bytes.
  void Grow(int64_t n) { Reserve(Capacity() + n); }
  // At least n bytes of free space after the data.
  void MakeRoom(int64_t n) { Reserve(size_ + n); }
  // Marks n more bytes of the free space as data.
  void Commit(int64_t n);
  // Appends bytes (room is made first).
  void Append(const void* bytes, int64_t n);
  // Appends another buffer's data and empties it; there must be room ("Buffer overrun").
  void AppendFrom(TLocalBuffer& other);
  // Appends n bytes of the value (room is made first).
  void Pad(uint8_t value, int64_t n);
  // Drops n bytes from the front; the rest moves down.
  void Consume(int64_t n);
  void Clear() { size_ = 0; }

  // Reads into the free space from the stream's position, not past `end_pos` of the stream.
  // False when nothing was read or the stream already lies at or past `end_pos`.
  bool ReadFromStream(TStream& stream, int64_t end_pos);

 private:
  std::vector<uint8_t> data_;
  int64_t size_ = 0;
  TWaveFormat format_;
};

}  // namespace zem
