#include "foundation/stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zem {

int64_t TStream::Write(const void*, int64_t) { return 0; }

int64_t TStream::Size() {
  int64_t pos = Position();
  int64_t end = Seek(0, TSeekOrigin::End);
  Seek(pos, TSeekOrigin::Begin);
  return end;
}

bool TStream::SetSize(int64_t) { return false; }

bool TStream::ReadExact(void* buffer, int64_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    int64_t n = Read(p, count);
    if (n <= 0) return false;
    p += n;
    count -= n;
  }
  return true;
}

bool TStream::ReadRest(std::vector<uint8_t>& out, int64_t max_bytes) {
  out.clear();
  int64_t pos = Position(), size = Size();
  if (pos >= 0 && size >= pos) {
    if (size - pos > max_bytes) return false;
    out.resize(static_cast<size_t>(size - pos));
    if (!ReadExact(out.data(), static_cast<int64_t>(out.size()))) return false;
    return true;
  }
  // Size unknown: read in chunks.
  uint8_t chunk[65536];
  for (;;) {
    int64_t n = Read(chunk, sizeof chunk);
    if (n <= 0) return true;
    if (static_cast<int64_t>(out.size()) + n > max_bytes) return false;
    out.insert(out.end(), chunk, chunk + n);
  }
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  std::vector<uint8_t> buf(1 << 16);
  int64_t done = 0;
  while (count < 0 || done < count) {
    int64_t want = static_cast<int64_t>(buf.size());
    if (count >= 0) want = std::min(want, count - done);
    int64_t n = source.Read(buf.data(), want);
    if (n <= 0) break;
    if (Write(buf.data(), n) != n) break;
    done += n;
  }
  return done;
}

std::unique_ptr<TFileStream> TFileStream::Open(const std::string& path, TFileMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::Read: flags |= O_RDONLY; break;
    case TFileMode::ReadWrite: flags |= O_RDWR; break;
    case TFileMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case TFileMode::OpenOrCreate: flags |= O_RDWR | O_CREAT; break;
  }
  int fd = ::open(path.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<TFileStream>(new TFileStream(fd, path));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  for (;;) {
    ssize_t n = ::read(fd_, buffer, static_cast<size_t>(std::min<int64_t>(count, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    return n < 0 ? 0 : n;
  }
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd_, p + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::Begin ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t TFileStream::Size() {
  struct stat st;
  return fstat(fd_, &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

bool TFileStream::SetSize(int64_t size) { return ::ftruncate(fd_, static_cast<off_t>(size)) == 0; }

static int64_t NewPos(int64_t pos, int64_t size, int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == TSeekOrigin::Begin ? 0 : origin == TSeekOrigin::Current ? pos : size;
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  return base + offset;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t size = Size();
  if (count <= 0 || pos_ >= size) return 0;
  int64_t n = std::min(count, size - pos_);
  std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (pos_ + count > Size()) data_.resize(static_cast<size_t>(pos_ + count));
  std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
  pos_ += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t p = NewPos(pos_, Size(), offset, origin);
  if (p < 0) return -1;
  pos_ = p;
  return pos_;
}

bool TMemoryStream::SetSize(int64_t size) {
  if (size < 0) return false;
  data_.resize(static_cast<size_t>(size));
  pos_ = std::min(pos_, size);
  return true;
}

int64_t TBufferStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || pos_ >= size_) return 0;
  int64_t n = std::min(count, size_ - pos_);
  std::memcpy(buffer, data_ + pos_, static_cast<size_t>(n));
  pos_ += n;
  return n;
}

int64_t TBufferStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t p = NewPos(pos_, size_, offset, origin);
  if (p < 0) return -1;
  pos_ = p;
  return pos_;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>& out, int64_t max_bytes) {
  auto f = TFileStream::Open(path, TFileMode::Read);
  return f && f->ReadRest(out, max_bytes);
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  auto f = TFileStream::Open(path, TFileMode::Create);
  return f && f->WriteAll(data, static_cast<int64_t>(size));
}

}  // namespace zem
