// Stream views used for package members: a window on part of another stream, and a scrambling
// view. Both are used by one thread at a time, like every stream.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/stream.h"

namespace zem {

// Called after every chunk a window passes on (the read throttle, load_throttle.h).
using TThrottleProc = void (*)();

// A window (offset, size) on another stream; position 0 is the window start. It cannot be
// resized, and negative positions are refused. Reads go to the source in chunks.
class TPartialStream : public TStream {
 public:
  static constexpr int64_t kChunk = 32 * 1024;
  static constexpr int64_t kThrottledChunk = 256;

  // Fails (nullptr, error text "Insufficient Source Size") when the window does not fit in the
  // source, or (offset or size negative) "Incorrect Position".
  static std::unique_ptr<TPartialStream> Create(TStream* source, bool owns_source, int64_t offset,
                                                int64_t size, std::string* error = nullptr);
  static std::unique_ptr<TPartialStream> Create(std::unique_ptr<TStream> source, int64_t offset,
                                                int64_t size, std::string* error = nullptr);
  ~TPartialStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  bool SetSize(int64_t size) override;  // always false: "Stream Cannot be resized"

  // Attaches the throttle, which runs after every chunk. Without an explicit request the chunk
  // becomes 256 bytes; package members request 32 KB. nullptr detaches it.
  void SetThrottle(TThrottleProc proc, int64_t chunk_size = kThrottledChunk);
  TThrottleProc Throttle() const { return throttle_; }
  int64_t ChunkSize() const { return chunk_; }
  int64_t WindowOffset() const { return offset_; }
  TStream* Source() const { return source_; }
  // The last error of a refused operation ("Incorrect Position", "Stream Cannot be resized").
  const std::string& LastError() const { return error_; }

 private:
  TPartialStream(TStream* source, bool owns, int64_t offset, int64_t size)
      : source_(source), owns_(owns), offset_(offset), size_(size) {}
  TStream* source_;
  bool owns_;
  int64_t offset_;
  int64_t size_;
  int64_t pos_ = 0;
  int64_t chunk_ = kChunk;
  TThrottleProc throttle_ = nullptr;
  std::string error_;
};

// Scrambling view: a byte at member offset k is stored XOR key[k mod key length]. Position and
// size are those of the source. The key must not be empty (programming error).
class TCryptStream : public TStream {
 public:
  TCryptStream(std::unique_ptr<TStream> source, std::vector<uint8_t> key);
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return source_->Size(); }
  bool SetSize(int64_t size) override { return source_->SetSize(size); }
  TStream* Source() const { return source_.get(); }

  // XORs data that belongs at member position `position` in place.
  static void Apply(uint8_t* data, int64_t count, int64_t position, const std::vector<uint8_t>& key);

 private:
  std::unique_ptr<TStream> source_;
  std::vector<uint8_t> key_;
};

// The package's scrambling key: the 32 ASCII characters used as 32 bytes.
const std::vector<uint8_t>& PackageScrambleKey();

}  // namespace zem
