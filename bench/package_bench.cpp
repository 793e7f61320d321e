// Package reading speed: opening a package of 20,000 members and reading one (time, and peak
// memory measured in a fresh child process), and reading a 200 MB stored member against `cat`
// of the same file. The data is generated under $TMPDIR (or /tmp) and removed afterwards.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/process.h"
#include "foundation/stream.h"
#include "package/package_writer.h"
#include "package/unpack.h"

extern char** environ;

namespace {

std::string g_dir, g_many, g_big;
constexpr int kMembers = 20000;
constexpr int64_t kBigSize = 200ll * 1000 * 1000;

std::string MemberName(int i) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "images\\folder%03d\\picture%05d.jpg", i / 100, i);
  return buf;
}

bool Prepare() {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/zem-package-bench-XXXXXX";
  if (!::mkdtemp(tmpl.data())) return false;
  g_dir = tmpl;
  g_many = g_dir + "/many.ZmShow";
  g_big = g_dir + "/big.ZmShow";
  {
    auto out = zem::TFileStream::Open(g_many, zem::TFileMode::Create);
    zem::TPackOptions o;
    o.store_all = true;
    zem::TPackageWriter w(*out, o);
    std::vector<uint8_t> data(200);
    for (int i = 0; i < kMembers; ++i) {
      std::memcpy(data.data(), &i, sizeof i);
      if (!w.AddMember(MemberName(i), data)) return false;
    }
    if (!w.Finish(false)) return false;
  }
  {
    auto out = zem::TFileStream::Open(g_big, zem::TFileMode::Create);
    zem::TPackOptions o;
    o.store_all = true;
    zem::TPackageWriter w(*out, o);
    std::vector<uint8_t> data(static_cast<size_t>(kBigSize));
    uint32_t seed = 1;
    for (auto& b : data) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    if (!w.AddMemberAs("video\\big.avi", data, zem::kMethodStored) || !w.Finish(false)) return false;
  }
  return true;
}

void OpenManyAndReadOne() {
  auto u = zem::OpenPackage(g_many);
  auto s = u->OpenMember(MemberName(12345));
  uint8_t buf[256];
  if (!s || s->Read(buf, sizeof buf) != 200) std::abort();
}

void BM_Open20000MembersReadOne(benchmark::State& state) {
  for (auto _ : state) OpenManyAndReadOne();
}
BENCHMARK(BM_Open20000MembersReadOne)->Unit(benchmark::kMillisecond);

void BM_ReadStoredMember200MB(benchmark::State& state) {
  auto u = zem::OpenPackage(g_big);
  std::vector<uint8_t> buf(1 << 20);
  for (auto _ : state) {
    auto s = u->OpenMember("video\\big.avi");
    int64_t total = 0, n;
    while ((n = s->Read(buf.data(), static_cast<int64_t>(buf.size()))) > 0) total += n;
    if (total != kBigSize) std::abort();
  }
  state.SetBytesProcessed(state.iterations() * kBigSize);
}
BENCHMARK(BM_ReadStoredMember200MB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The baseline: `cat` of the same package file to /dev/null (the member is almost all of it).
void BM_CatSameFile(benchmark::State& state) {
  const int64_t size = std::filesystem::file_size(g_big);
  for (auto _ : state) {
    const char* argv[] = {"cat", g_big.c_str(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawnp(&pid, "cat", &fa, nullptr, const_cast<char**>(argv), environ) != 0) std::abort();
    posix_spawn_file_actions_destroy(&fa);
    int status;
    waitpid(pid, &status, 0);
  }
  state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_CatSameFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peak resident size of this process image (VmHWM; unlike ru_maxrss it starts afresh at
// exec, so a spawned child does not inherit its parent's peak).
long MaxRssKb() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (!std::strncmp(line, "VmHWM:", 6)) kb = std::atol(line + 6);
  std::fclose(f);
  return kb;
}

// Peak memory of a fresh process that only opens the package and reads one member, against the
// same process doing nothing.
long ChildPeakKb(const char* mode) {
  std::string self = zem::OwnExecutablePath();
  const char* argv[] = {self.c_str(), mode, g_many.c_str(), nullptr};
  int fds[2];
  if (pipe(fds) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  pid_t pid;
  int rc = posix_spawn(&pid, self.c_str(), &fa, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  char buf[64] = {0};
  if (rc == 0) (void)!read(fds[0], buf, sizeof buf - 1);
  close(fds[0]);
  int status;
  if (rc == 0) waitpid(pid, &status, 0);
  return std::atol(buf);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && (!std::strcmp(argv[1], "--child-open") || !std::strcmp(argv[1], "--child-idle"))) {
    g_many = argv[2];
    if (!std::strcmp(argv[1], "--child-open")) OpenManyAndReadOne();
    std::printf("%ld\n", MaxRssKb());
    return 0;
  }
  if (!Prepare()) {
    std::fprintf(stderr, "cannot prepare the benchmark data in %s\n", g_dir.c_str());
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  long open_kb = ChildPeakKb("--child-open"), idle_kb = ChildPeakKb("--child-idle");
  std::printf("Peak memory opening %d members and reading one: %ld KB (process baseline %ld KB, difference %ld KB)\n",
              kMembers, open_kb, idle_kb, open_kb - idle_kb);
  std::printf("Package file sizes: %lld bytes (%d members), %lld bytes (one stored member)\n",
              static_cast<long long>(std::filesystem::file_size(g_many)), kMembers,
              static_cast<long long>(std::filesystem::file_size(g_big)));
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(g_dir, ec);
  return 0;
}
