#include "foundation/process.h"

#include <unistd.h>

#include <climits>
#include <fstream>

namespace zem {

std::string OwnExecutablePath() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

std::string ExtractFileDir(const std::string& path) {
  auto p = path.rfind('/');
  if (p == std::string::npos) return std::string();
  return p == 0 ? std::string("/") : path.substr(0, p);
}

std::string ExtractFileName(const std::string& path) {
  auto p = path.rfind('/');
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string& path) {
  std::string name = ExtractFileName(path);
  auto d = name.rfind('.');
  return d == std::string::npos ? std::string() : name.substr(d);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::string name = ExtractFileName(path);
  auto d = name.rfind('.');
  if (d == std::string::npos) return path + ext;
  return path.substr(0, path.size() - (name.size() - d)) + ext;
}

int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;  // "VmHWM:  1234 kB"
  return 0;
}

}  // namespace zem
