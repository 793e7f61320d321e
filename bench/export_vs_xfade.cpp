// Timed command: the anchor show (ten 1080p photos, 3 s each, 1 s cross-fades, 30 fps, 21 s)
// exported by the player and produced by the usual ffmpeg "xfade" recipe with the same encoders
// and settings (libx264 preset medium CRF 19, 4:2:0; AAC 192 kb/s; MP4), alternately, in one
// run. Prints each run's wall time and peak memory, the medians, frames per second and the ratio
// of the medians (player / ffmpeg). The photos are generated here (landscapes, plasma, dunes and
// night skies with photographic grain).
//   zem_export_vs_xfade [runs=3] [folder to keep the files in]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "demo_pictures.h"
#include "foundation/stream.h"
#include "jpeg_writer.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace zem;

constexpr int kPhotos = 10, kWidth = 1920, kHeight = 1080, kFps = 30, kSeconds = 21;

uint32_t Hash(uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  return x ^ (x >> 16);
}

// Photo i: one of the four painted scenes, mirrored for the second set, with grain.
TBitmap Photo(int i) {
  TBitmap b;
  switch (i % 4) {
    case 0: b = PaintLandscape(kWidth, kHeight); break;
    case 1: b = PaintPlasma(kWidth, kHeight); break;
    case 2: b = PaintDunes(kWidth, kHeight); break;
    default: b = PaintNight(kWidth, kHeight); break;
  }
  if ((i / 4) % 2 == 1) {
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth / 2; ++x) {
        const uint32_t a = b.GetPixel(x, y), c = b.GetPixel(kWidth - 1 - x, y);
        b.SetPixel(x, y, c);
        b.SetPixel(kWidth - 1 - x, y, a);
      }
  }
  for (int32_t y = 0; y < kHeight; ++y)
    for (int32_t x = 0; x < kWidth; ++x) {
      const uint32_t p = b.GetPixel(x, y);
      const int g = int(Hash(uint32_t(i) * 0x9E3779B9u ^ uint32_t(y * kWidth + x)) % 13) - 6;
      auto ch = [&](int shift) { return uint32_t(std::clamp(int((p >> shift) & 0xFF) + g, 0, 255)) << shift; };
      b.SetPixel(x, y, 0xFF000000u | ch(16) | ch(8) | ch(0));
    }
  return b;
}

// The show: slide k ends its own time at 2 s + 2 s × k, the next one fades in over 1 s from
// there; the first comes without a transition, the last one stays 3 s. 21 s in all.
std::string Script() {
  std::string s = "[Main]\nopt_scr_full=0\nopt_scr_width=1920\nopt_scr_height=1080\nopt_slidescount=10\n"
                  "opt_repeat=close\nopt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff3=1\nopt_bstyle=1\nopt_bname=0\n";
  for (int k = 1; k <= kPhotos; ++k)
    s += "opt_synchpos" + std::to_string(k) + "=" + std::to_string(k < kPhotos ? 2000 * k : 21000) + "\n";
  for (int k = 1; k <= kPhotos; ++k) {
    s += "[Slide" + std::to_string(k) + "]\n";
    if (k == 1) s += "Pers_Effect=1\nEffect_Class=0\n";
    s += "object image: Photo\n  ImageName=p" + std::to_string(k) + ".jpg\n  object keypoint:\n    Time=0\n  end\nend\n";
  }
  return s;
}

std::vector<std::string> XfadeCommand(const fs::path& dir, const std::string& out) {
  std::vector<std::string> a = {"ffmpeg", "-y", "-hide_banner", "-loglevel", "error"};
  for (int k = 1; k <= kPhotos; ++k) {
    for (const char* x : {"-loop", "1", "-framerate", "30", "-t", "3", "-i"}) a.push_back(x);
    a.push_back((dir / ("p" + std::to_string(k) + ".jpg")).string());
  }
  for (const char* x : {"-f", "lavfi", "-i", "anullsrc=r=44100:cl=stereo"}) a.push_back(x);
  std::string graph;
  for (int k = 1; k < kPhotos; ++k) {
    graph += (k == 1 ? std::string("[0:v]") : "[x" + std::to_string(k - 1) + "]") + "[" + std::to_string(k) +
             ":v]xfade=transition=fade:duration=1:offset=" + std::to_string(2 * k);
    graph += k + 1 < kPhotos ? "[x" + std::to_string(k) + "];" : ",format=yuv420p[v]";
  }
  for (const std::string& x : {std::string("-filter_complex"), graph, std::string("-map"), std::string("[v]"),
                               std::string("-map"), std::to_string(kPhotos) + ":a", std::string("-c:v"),
                               std::string("libx264"), std::string("-preset"), std::string("medium"),
                               std::string("-crf"), std::string("19"), std::string("-c:a"), std::string("aac"),
                               std::string("-b:a"), std::string("192k"), std::string("-shortest"),
                               std::string("-movflags"), std::string("+faststart"), out})
    a.push_back(x);
  return a;
}

struct TRunResult {
  bool ok = false;
  double seconds = 0;  // wall
  double cpu = 0;      // user + system, all threads
  double peakMiB = 0;
};

TRunResult Run(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& s : args) argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  TRunResult r;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return r;
  int status = 0;
  struct rusage use {};
  if (wait4(pid, &status, 0, &use) != pid) return r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.peakMiB = double(use.ru_maxrss) / 1024.0;
  r.cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const bool keep = argc > 2;
  const fs::path dir = keep ? fs::path(argv[2]) : fs::temp_directory_path() / ("zem_export_bench_" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (int k = 1; k <= kPhotos; ++k) {
    std::vector<uint8_t> jpeg;
    if (!EncodeJpeg(Photo(k - 1), 92, jpeg) || !WriteFileBytes((dir / ("p" + std::to_string(k) + ".jpg")).string(), jpeg.data(), jpeg.size())) {
      std::fprintf(stderr, "cannot write the photos into %s\n", dir.c_str());
      return 1;
    }
  }
  const std::string script = Script();
  WriteFileBytes((dir / "Project.zem").string(), script.data(), script.size());
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  const std::vector<std::string> zem = {ZEMVIEWER_PATH, (dir / "Project.zem").string(), "-export",
                                        (dir / "zem.mp4").string(), "-fps", "30", "-quality", "80"};
  const std::vector<std::string> xfade = XfadeCommand(dir, (dir / "xfade.mp4").string());

  std::vector<double> zemTimes, ffTimes, zemPeak, ffPeak, zemCpu, ffCpu;
  for (int i = 0; i < runs; ++i) {
    for (int which = 0; which < 2; ++which) {
      const bool isZem = (which + i) % 2 == 0;  // alternate who goes first
      const TRunResult r = Run(isZem ? zem : xfade);
      if (!r.ok) {
        std::fprintf(stderr, "%s failed\n", isZem ? "zemviewer -export" : "ffmpeg xfade");
        return 1;
      }
      (isZem ? zemTimes : ffTimes).push_back(r.seconds);
      (isZem ? zemPeak : ffPeak).push_back(r.peakMiB);
      (isZem ? zemCpu : ffCpu).push_back(r.cpu);
      std::printf("run %d %-6s %7.2f s  cpu %7.2f s  peak %6.1f MiB\n", i + 1, isZem ? "zem" : "xfade", r.seconds, r.cpu,
                  r.peakMiB);
      std::fflush(stdout);
    }
  }
  const double zemMedian = Median(zemTimes), ffMedian = Median(ffTimes);
  const double frames = kFps * kSeconds;
  std::printf("median   zem %.2f s (%.1f fps, peak %.0f MiB)   xfade %.2f s (%.1f fps, peak %.0f MiB)\n", zemMedian,
              frames / zemMedian, Median(zemPeak), ffMedian, frames / ffMedian, Median(ffPeak));
  std::printf("ratio zem / xfade: %.2f (wall), %.2f (cpu: %.1f s / %.1f s)\n", zemMedian / ffMedian,
              Median(zemCpu) / Median(ffCpu), Median(zemCpu), Median(ffCpu));
  std::error_code ec;
  std::printf("sizes: zem.mp4 %.1f MB, xfade.mp4 %.1f MB\n", double(fs::file_size(dir / "zem.mp4", ec)) / 1e6,
              double(fs::file_size(dir / "xfade.mp4", ec)) / 1e6);
  if (!keep) fs::remove_all(dir, ec);
  return 0;
}
