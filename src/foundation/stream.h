// Byte streams. Reads and writes return the number of bytes moved (never negative); Seek returns
// the new position or -1. No stream operation throws: callers check results.
// A stream object is used by one thread at a time unless its class says otherwise.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/refobj.h"

namespace zem {

enum class TSeekOrigin { Begin, Current, End };

class TStream : public TObj {
 public:
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count);  // base: read-only, writes nothing
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();
  virtual bool SetSize(int64_t size);  // base: false

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  bool SetPosition(int64_t pos) { return Seek(pos, TSeekOrigin::Begin) == pos; }
  // Reads exactly count bytes; false (position undefined) when fewer are available.
  bool ReadExact(void* buffer, int64_t count);
  bool WriteAll(const void* buffer, int64_t count) { return Write(buffer, count) == count; }
  // Reads everything from the current position to the end, at most max_bytes; false when the
  // rest is longer than max_bytes or a read fails.
  bool ReadRest(std::vector<uint8_t>& out, int64_t max_bytes);
  // Copies count bytes (all remaining when count < 0) from source; returns bytes copied.
  int64_t CopyFrom(TStream& source, int64_t count);
};

enum class TFileMode { Read, ReadWrite, Create /* create or truncate, read and write */,
                       OpenOrCreate /* read and write, keep contents */ };

// A file on disk (POSIX descriptor).
class TFileStream : public TStream {
 public:
  static std::unique_ptr<TFileStream> Open(const std::string& path, TFileMode mode);
  ~TFileStream() override;
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  bool SetSize(int64_t size) override;
  const std::string& Path() const { return path_; }
  int Handle() const { return fd_; }

 private:
  TFileStream(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  int fd_;
  std::string path_;
};

// A growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  bool SetSize(int64_t size) override;
  std::vector<uint8_t>& Data() { return data_; }
  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};

// A read-only stream over memory it does not own (the memory must outlive the stream).
class TBufferStream : public TStream {
 public:
  TBufferStream(const void* data, int64_t size)
      : data_(static_cast<const uint8_t*>(data)), size_(size < 0 ? 0 : size) {}
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t pos_ = 0;
};

// Whole-file helpers.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, int64_t max_bytes = INT64_MAX);
bool WriteFileBytes(const std::string& path, const void* data, size_t size);

}  // namespace zem
