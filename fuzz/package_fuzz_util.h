// Fuzz helpers: the package reader opens files by path, so inputs go into an anonymous memory
// file reached through /proc/self/fd.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace zem::fuzz {

class TMemFile {
 public:
  TMemFile(const uint8_t* data, size_t size) {
    fd_ = ::memfd_create("zem-fuzz", MFD_CLOEXEC);
    size_t done = 0;
    while (fd_ >= 0 && done < size) {
      ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
  }
  ~TMemFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }
  bool Ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace zem::fuzz
