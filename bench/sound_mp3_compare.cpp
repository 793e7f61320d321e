// Timed command: decodes one MP3 file with our converter and with "mpg123 -t" (decode, no
// output), each N times in the same run, and prints the medians and their ratio.
//   sound_mp3_compare [file] [runs]
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "sound/converter_factory.h"
#include "sound/media_info.h"

extern char** environ;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Now() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zem;
  std::string file = argc > 1 ? argv[1] : ZEM_TESTDATA_DIR "/audio/raylib_country.mp3";
  int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  std::vector<uint8_t> bytes;
  if (!ReadFileBytes(file, bytes)) {
    std::fprintf(stderr, "cannot read %s\n", file.c_str());
    return 1;
  }
  std::vector<double> ours, theirs;
  double audio_ms = 0;
  for (int r = 0; r < runs; ++r) {
    // Ours: from the file on disk, as a show would read it (the file is in the page cache).
    double t0 = Now();
    auto s = TFileStream::Open(file, TFileMode::Read);
    TMediaInfo info;
    if (!s || !TMediaInfoExtractor::Extract(*s, u".mp3", info)) return 1;
    auto c = CreateConverter(s.get(), u"a.mp3", info);
    if (!c || !c->Open(info)) return 1;
    while (c->Fill(65536)) c->Output().Consume(65536);
    audio_ms = c->Position();
    ours.push_back(Now() - t0);

    const char* args[] = {"mpg123", "-q", "-t", file.c_str(), nullptr};
    pid_t pid;
    t0 = Now();
    if (posix_spawnp(&pid, "mpg123", nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
      std::fprintf(stderr, "mpg123 not found\n");
      return 1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    theirs.push_back(Now() - t0);
  }
  double a = Median(ours), b = Median(theirs);
  std::printf("file %s, %.1f s of audio, %d runs\n", file.c_str(), audio_ms / 1000, runs);
  std::printf("zem converter: median %.1f ms (%.0fx real time)\n", a, audio_ms / a);
  std::printf("mpg123 -t:     median %.1f ms (%.0fx real time, includes process start)\n", b, audio_ms / b);
  std::printf("ratio zem / mpg123: %.2f\n", a / b);
  return 0;
}
