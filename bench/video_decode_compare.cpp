// Timed command: decodes a clip through the frame extractor (every frame into a video surface in
// memory, the copy the drawer's staging gets) and with "ffmpeg -i CLIP -f null -", alternately,
// N times in the same run; prints the median processor time (user + system, all threads) of
// each and their ratio.
//   zem_video_decode_compare [clip] [runs]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "model/recording_drawer.h"
#include "model/video_extractor.h"
#include "video/video_layer.h"

extern char** environ;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; }

double OwnCpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return Ms(u.ru_utime) + Ms(u.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zem;
  const std::string clip = argc > 1 ? argv[1] : ZEM_TESTDATA_DIR "/video/moviepy_smpte-2997.mp4";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  InstallVideoLayer();
  std::vector<double> ours, theirs;
  int64_t frames = 0;
  for (int r = 0; r < runs; ++r) {
    const double c0 = OwnCpuMs();
    {
      auto source = CreateFrameSource(TFileStream::Open(clip, TFileMode::Read), Utf8ToWide(clip));
      if (!source) {
        std::fprintf(stderr, "cannot open %s\n", clip.c_str());
        return 1;
      }
      const video::TVideoParams p = source->Params();
      TRef<TZemVideoExtractor> x = TZemVideoExtractor::Create(std::move(source));
      for (int i = 0; i < 2; ++i)
        x->AddImage(TRef<TYUVImage>(new TMemoryVideoSurface(p.width, p.height, p.rgb, false)));
      frames = p.frameCount;
      // Frame by frame as playback asks: the frame for t, the next one prefetched.
      for (int64_t n = 0; n < p.frameCount; ++n) {
        const double t = double(n) * 1000.0 / p.fps;
        x->Prepare(t, true);
        TZemVideoExtractor::TEntry e;
        if (!x->Take(p.fps, t, e) || e.held != n) {
          std::fprintf(stderr, "frame %lld not delivered\n", static_cast<long long>(n));
          return 1;
        }
        x->GiveBack(std::move(e));
      }
      x->Stop();
    }
    WaitForActiveThreads(10000);
    ours.push_back(OwnCpuMs() - c0);

    const char* args[] = {"ffmpeg", "-v", "error", "-nostdin", "-i", clip.c_str(), "-f", "null", "-", nullptr};
    pid_t pid;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, const_cast<char**>(args), environ) != 0) {
      std::fprintf(stderr, "ffmpeg not found\n");
      return 1;
    }
    int status = 0;
    rusage u{};
    if (wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "ffmpeg failed\n");
      return 1;
    }
    theirs.push_back(Ms(u.ru_utime) + Ms(u.ru_stime));
  }
  const double a = Median(ours), b = Median(theirs);
  std::printf("clip %s, %lld frames, %d runs\n", clip.c_str(), static_cast<long long>(frames), runs);
  std::printf("extractor into surfaces: median %.1f ms processor time\n", a);
  std::printf("ffmpeg -f null:          median %.1f ms processor time\n", b);
  std::printf("ratio %.2f\n", a / b);
  return 0;
}
