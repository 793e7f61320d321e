#include "package/package_tools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "foundation/process.h"
#include "foundation/strings.h"
#include "package/disk_path.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "script/ini_file.h"

namespace zem {

namespace {

constexpr const char* kThroughLink = "refused: the path goes through a symbolic link";

// A descriptor closed when it goes out of scope.
class TFd {
 public:
  explicit TFd(int fd = -1) : fd_(fd) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The folder components and the file name of a member below the extraction folder; false when
// the name would leave it.
bool MemberComponents(const std::string& name, std::vector<std::string>& parts) {
  std::string joined;
  if (!SafeJoin("", name, joined)) return false;
  parts.clear();
  size_t start = 0;
  for (size_t i = 0; i <= joined.size(); ++i) {
    if (i == joined.size() || joined[i] == '/') {
      if (i > start) parts.push_back(joined.substr(start, i - start));
      start = i + 1;
    }
  }
  return !parts.empty();
}

// Writes the stream to root/parts... without following any symbolic link below root: folders are
// made and entered with openat (O_NOFOLLOW), the file is opened with O_NOFOLLOW, and an existing
// file must be a plain file with one link (a hard link would write elsewhere).
bool WriteBelow(int root, const std::vector<std::string>& parts, TStream& in, std::string& error) {
  TFd dir(::dup(root));
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const char* p = parts[i].c_str();
    if (::mkdirat(dir.Get(), p, 0755) != 0 && errno != EEXIST) {
      error = std::string("cannot make the folder ") + p + ": " + std::strerror(errno);
      return false;
    }
    int next = ::openat(dir.Get(), p, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) {
      error = errno == ELOOP || errno == ENOTDIR ? std::string(kThroughLink) + " or a file at " + p
                                                 : std::string("cannot enter ") + p + ": " + std::strerror(errno);
      return false;
    }
    dir.Reset(next);
  }
  const char* leaf = parts.back().c_str();
  TFd out(::openat(dir.Get(), leaf, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (out.Get() < 0) {
    error = errno == ELOOP ? std::string(kThroughLink) + " (" + leaf + ")"
                           : std::string("cannot write ") + leaf + ": " + std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::fstat(out.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
    error = std::string("refused: ") + leaf + " exists and is not a plain file of its own";
    return false;
  }
  if (::ftruncate(out.Get(), 0) != 0) {
    error = std::string("cannot write ") + leaf + ": " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> buf(64 * 1024);
  int64_t total = 0, n;
  while ((n = in.Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0) {
    for (int64_t done = 0; done < n;) {
      const ssize_t w = ::write(out.Get(), buf.data() + done, static_cast<size_t>(n - done));
      if (w <= 0) {
        error = std::string("cannot write ") + leaf + ": " + std::strerror(errno);
        return false;
      }
      done += w;
    }
    total += n;
  }
  if (total != in.Size()) {
    error = "read " + std::to_string(total) + " of " + std::to_string(in.Size()) + " bytes";
    return false;
  }
  return true;
}

}  // namespace

bool ExtractPackage(const TZemUnpack& unpack, const std::string& dir, TExtractReport& report) {
  if (!ForceFolders(dir)) {
    report.failed.push_back(dir + ": cannot create the folder");
    return false;
  }
  // The folder itself is the caller's choice; nothing below it is followed.
  TFd root(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (root.Get() < 0) {
    report.failed.push_back(dir + ": cannot open the folder");
    return false;
  }
  for (const std::string& name : unpack.MemberNames()) {
    std::vector<std::string> parts;
    if (!MemberComponents(name, parts)) {
      report.refused.push_back(name);
      continue;
    }
    std::string error;
    auto stream = unpack.OpenMember(name, &error);
    if (!stream) {
      report.failed.push_back(name + ": " + error);
      continue;
    }
    if (!WriteBelow(root.Get(), parts, *stream, error)) {
      if (error.rfind("refused", 0) == 0) report.linked.push_back(name + ": " + error);
      else report.failed.push_back(name + ": " + error);
      continue;
    }
    ++report.extracted;
  }
  return report.refused.empty() && report.failed.empty() && report.linked.empty();
}

namespace {

// Opens a member and reads it through with the caller's buffer: the problem, or empty.
std::string CheckMember(const TZemUnpack& unpack, const std::string& name, std::vector<uint8_t>& buf,
                        int64_t& bytes) {
  const std::string member = "member \"" + name + "\": ";
  TMemberInfo info;
  if (!unpack.FindMember(name, info)) return member + "no position or size in the table";
  if (info.method == kMethodUnknown) return member + "unknown storage method \"" + info.method_text + "\"";
  if (!unpack.MemberReadable(info))
    return member + "position " + std::to_string(info.position) + " size " + std::to_string(info.size) +
           " lies outside the file";
  std::string error;
  auto stream = unpack.OpenMember(name, &error);
  if (!stream) return member + error;
  int64_t size = stream->Size(), got = 0, n;
  while ((n = stream->Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0) got += n;
  if (got != size) return member + "read " + std::to_string(got) + " of " + std::to_string(size) + " bytes";
  bytes = got;
  return std::string();
}

std::string OpenFailure(const TZemUnpack& unpack) {
  const std::string& e = unpack.Error();
  return e.empty() ? unpack.Reason() : e + ": " + unpack.Reason();
}

}  // namespace

bool VerifyPackage(const std::string& path, TVerifyReport& report) {
  auto unpack = OpenPackage(path);
  if (!unpack->IsOpen()) {
    report.problems.push_back(OpenFailure(*unpack));
    return false;
  }
  report.shift = unpack->Shift();
  bool script = false;
  // One fixed buffer: members of any size are read in bounded memory.
  std::vector<uint8_t> buf(64 * 1024);
  for (const std::string& name : unpack->MemberNames()) {
    ++report.members;
    int64_t bytes = 0;
    std::string problem = CheckMember(*unpack, name, buf, bytes);
    if (!problem.empty()) {
      report.problems.push_back(std::move(problem));
      continue;
    }
    report.bytes += bytes;
    if (LowerAscii(name) == LowerAscii(kProjectScriptName)) script = true;
  }
  if (!script) report.problems.push_back(std::string("no readable member \"") + kProjectScriptName + "\"");
  return report.problems.empty();
}

std::string ShowOpenReason(const std::string& path) {
  auto unpack = OpenPackage(path);
  if (!unpack->IsOpen()) return OpenFailure(*unpack);
  TMemberInfo info;
  if (!unpack->FindMember(kProjectScriptName, info))
    return std::string("no readable member \"") + kProjectScriptName + "\"";
  std::vector<uint8_t> buf(64 * 1024);
  int64_t bytes = 0;
  std::string problem = CheckMember(*unpack, kProjectScriptName, buf, bytes);
  if (!problem.empty()) return problem;
  TIniFile script;
  auto stream = unpack->OpenMember(kProjectScriptName);
  std::string why;
  if (!stream || !ParseShowScript(*stream, script, &why))
    return std::string("the script \"") + kProjectScriptName + "\" " + why;
  return std::string();
}

}  // namespace zem
