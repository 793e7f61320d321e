#include "package/temp_folders.h"

#include "package/disk_path.h"
#include "package/file_accessor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <vector>

namespace zem {

namespace {

// Recorded folders. Guarded by a lock although requests come from few threads; the signal
// handler reads the fixed-size copy below without locking.
std::mutex g_lock;
std::string g_base;
std::vector<std::string> g_folders;
bool g_hooks_installed = false;

// A copy of the folder paths for the fatal-signal handler (no allocation there).
constexpr int kSignalSlots = 64;
char g_signal_paths[kSignalSlots][256];
volatile sig_atomic_t g_signal_count = 0;

bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ChooseBase() {
  const char* env = std::getenv("TMPDIR");
  std::string base = env && *env ? env : "";
  if (!IsFolder(base)) base = "/tmp";
  if (!IsFolder(base)) throw ETempFolder(kErrTempPath);
  if (base.back() != '/') base += '/';
  return base;
}

std::string NewGuidText() {
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  uint64_t a = rng(), b = rng();
  // Version 4 and variant bits as a random GUID carries them.
  a = (a & 0xFFFFFFFFFFFF0FFFull) | 0x4000ull;
  b = (b & 0x3FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%04X-%012llX", unsigned(a >> 32),
                unsigned((a >> 16) & 0xFFFF), unsigned(a & 0xFFFF), unsigned(b >> 48),
                static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
  return buf;
}

// Removes a tree without allocating, for the fatal-signal handler: directory entries are read
// with getdents64 into a stack buffer, files removed with unlinkat. Depth is bounded.
struct RawDirent {
  uint64_t ino;
  int64_t off;
  unsigned short reclen;
  unsigned char type;
  char name[1];
};

void RemoveTreeAt(int parent_fd, const char* name, int depth) {
  if (::unlinkat(parent_fd, name, 0) == 0) return;
  if (depth > 16) return;
  int fd = ::openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  alignas(8) char buf[4096];
  for (;;) {
    long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
    if (n <= 0) break;
    for (long off = 0; off < n;) {
      auto* d = reinterpret_cast<RawDirent*>(buf + off);
      off += d->reclen;
      const char* entry = d->name;
      if ((entry[0] == '.' && entry[1] == 0) || (entry[0] == '.' && entry[1] == '.' && entry[2] == 0))
        continue;
      RemoveTreeAt(fd, entry, depth + 1);
    }
  }
  ::close(fd);
  ::unlinkat(parent_fd, name, AT_REMOVEDIR);
}

void FatalSignal(int sig) {
  for (int i = 0; i < g_signal_count; ++i) RemoveTreeAt(AT_FDCWD, g_signal_paths[i], 0);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void InstallHooks() {
  if (g_hooks_installed) return;
  g_hooks_installed = true;
  std::atexit(RemoveTempFolders);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV, SIGABRT, SIGBUS, SIGFPE}) {
    struct sigaction old {};
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) std::signal(sig, FatalSignal);
  }
}

}  // namespace

std::string TempBase() {
  std::lock_guard<std::mutex> g(g_lock);
  return g_base;
}

std::string NewTempFolder(bool trailing_slash) {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_base.empty()) g_base = ChooseBase();
  if (!IsFolder(g_base)) throw ETempFolder(kErrTempPath);
  InstallHooks();
  // A bounded number of attempts: a base that refuses every new folder ends the request.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = g_base + "[" + NewGuidText() + "]";
    if (::mkdir(path.c_str(), 0700) != 0) continue;
    g_folders.push_back(path);
    if (g_signal_count < kSignalSlots && path.size() < sizeof g_signal_paths[0]) {
      std::snprintf(g_signal_paths[g_signal_count], sizeof g_signal_paths[0], "%s", path.c_str());
      g_signal_count = g_signal_count + 1;
    }
    return trailing_slash ? path + "/" : path;
  }
  throw ETempFolder(kErrTempPath);
}

bool ExtractMemberToTemp(const TFileAccessor& accessor, const std::string& member_name, std::string& path,
                         std::string* error) {
  auto fail = [&](const std::string& text) {
    if (error) *error = text;
    return false;
  };
  std::string slashed = SlashPath(member_name);
  std::string leaf = slashed.substr(slashed.rfind('/') == std::string::npos ? 0 : slashed.rfind('/') + 1);
  if (leaf.empty() || leaf == "." || leaf == ".." || leaf.find(':') != std::string::npos)
    return fail("unusable member name");
  auto stream = accessor.OpenStream(member_name);
  if (!stream) return fail("member not found");
  std::string folder;
  try {
    folder = NewTempFolder(true);
  } catch (const ETempFolder& e) {
    return fail(e.what());
  }
  std::string target;
  if (!SafeJoin(folder, leaf, target)) return fail("unusable member name");
  auto out = TFileStream::Open(target, TFileMode::Create);
  const int64_t size = stream->Size();
  if (!out || out->CopyFrom(*stream, -1) != size) return fail("cannot write " + target);
  path = target;
  return true;
}

void RemoveTempFolders() {
  std::vector<std::string> folders;
  {
    std::lock_guard<std::mutex> g(g_lock);
    folders.swap(g_folders);
    g_signal_count = 0;
  }
  for (const auto& f : folders) {
    std::error_code ec;
    std::filesystem::remove_all(f, ec);
  }
}

}  // namespace zem
