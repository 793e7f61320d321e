// Picture loading: a 24-megapixel JPEG through LoadPicture against libjpeg's own djpeg on the
// same file (full size), the reduced levels a slide asks for, and the cache's promise that a
// picture named by 100 objects is decoded once.
// The JPEG is generated in /tmp when the benchmark starts (ImageMagick, with light noise so it
// compresses like a camera picture) and removed at the end.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/file_accessor.h"
#include "package/file_source.h"
#include "resources/file_access.h"

extern char** environ;

namespace {

const std::string& BigJpeg() {
  // Kept to process end (not destroyed before the removal at exit).
  static const std::string* path = [] {
    auto* p = new std::string("/tmp/zem-bench-24mp-" + std::to_string(::getpid()) + ".jpg");
    std::string cmd = "convert '" ZEM_TESTDATA_DIR "/images/jpeg/exif-orientation/Landscape_1.jpg' -resize '6000x4000!' "
                      "-attenuate 0.4 +noise Gaussian -quality 90 '" + *p + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot generate %s\n", p->c_str());
    std::atexit([] { std::remove(BigJpeg().c_str()); });
    return p;
  }();
  return *path;
}

// Every iteration uses a new file source, so the cache holds no decoded picture for it.
void BM_LoadPictureJpeg24MP(benchmark::State& state) {
  const std::string& path = BigJpeg();
  for (auto _ : state) {
    zem::TFileAccessor accessor(zem::MakeRef<zem::TRealFileSource>());
    auto picture = zem::LoadPicture(accessor, path);
    const zem::TBitmap& b = picture->Store()->Bitmap();
    benchmark::DoNotOptimize(b.Data());
    if (b.Width() != 6000) state.SkipWithError("not decoded");
  }
  state.counters["Mpixel/s"] = benchmark::Counter(24.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadPictureJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// The reduced level a slide asks for (arg: the level): a 24 MP photo on a 1080p slide needs
// level 1 (3000 × 2000), decoded at libjpeg's 1/2 scale straight into 32-bit rows; level 0 is
// the full picture in 32 bits.
void BM_LevelJpeg24MP(benchmark::State& state) {
  const std::string& path = BigJpeg();
  const int level = int(state.range(0));
  for (auto _ : state) {
    zem::TFileAccessor accessor(zem::MakeRef<zem::TRealFileSource>());
    auto picture = zem::LoadPicture(accessor, path);
    auto b = picture->Store()->Level(level);
    benchmark::DoNotOptimize(b->Data());
    if (b->Width() != zem::TBitmap::ReducedSide(6000, level)) state.SkipWithError("not decoded");
  }
  state.counters["Mpixel/s"] = benchmark::Counter(24.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LevelJpeg24MP)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// What a 1080p slide really asks for: level 1 with its shown size (1620 × 1080 fitted, times
// 1.3333 = 2160 × 1440), decoded at 3/8 (2250 × 1500).
void BM_ShownOn1080pJpeg24MP(benchmark::State& state) {
  const std::string& path = BigJpeg();
  for (auto _ : state) {
    zem::TFileAccessor accessor(zem::MakeRef<zem::TRealFileSource>());
    auto picture = zem::LoadPicture(accessor, path);
    auto b = picture->Store()->Level(1, 2160, 1440);
    benchmark::DoNotOptimize(b->Data());
    if (b->Width() != 2250) state.SkipWithError("not decoded at 3/8");
  }
  state.counters["Mpixel/s"] = benchmark::Counter(24.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ShownOn1080pJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Level 1 the way it was made before pictures decoded at their size: the full picture, then
// reduced (with today's row-wise reduction).
void BM_FullDecodeThenLevel1Jpeg24MP(benchmark::State& state) {
  const std::string& path = BigJpeg();
  for (auto _ : state) {
    zem::TFileAccessor accessor(zem::MakeRef<zem::TRealFileSource>());
    auto picture = zem::LoadPicture(accessor, path);
    zem::TBitmap b = zem::ReduceBitmap(picture->Store()->Bitmap(), 1, zem::TPixelFormat::Argb32);
    benchmark::DoNotOptimize(b.Data());
  }
  state.counters["Mpixel/s"] = benchmark::Counter(24.0 * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FullDecodeThenLevel1Jpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// djpeg decoding the same file to PPM, written to /dev/null.
void BM_DjpegJpeg24MP(benchmark::State& state) {
  const std::string& path = BigJpeg();
  double childCpuMs = 0;
  for (auto _ : state) {
    pid_t pid;
    const char* argv[] = {"djpeg", "-outfile", "/dev/null", path.c_str(), nullptr};
    if (posix_spawnp(&pid, "djpeg", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      state.SkipWithError("djpeg not found");
      break;
    }
    int status = 0;
    rusage u{};
    wait4(pid, &status, 0, &u);
    childCpuMs += (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-3;
  }
  state.counters["Mpixel/s"] = benchmark::Counter(24.0 * state.iterations(), benchmark::Counter::kIsRate);
  // djpeg's own processor time per decode, to set against the "CPU" column of the others on a
  // busy machine.
  state.counters["child_cpu_ms"] = childCpuMs / double(std::max<int64_t>(1, state.iterations()));
}
BENCHMARK(BM_DjpegJpeg24MP)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// 100 objects name one picture (in varying letter case): one decode per source.
void BM_PictureNamedBy100Objects(benchmark::State& state) {
  const std::string path = std::string(ZEM_TESTDATA_DIR) + "/images/jpeg/pillow/flower.jpg";
  int64_t decodes = 0;
  for (auto _ : state) {
    zem::TFileAccessor accessor(zem::MakeRef<zem::TRealFileSource>());
    const int64_t before = zem::TBitmapStore::DecodeCount();
    std::vector<std::unique_ptr<zem::TZemImage>> objects;
    for (int i = 0; i < 100; ++i) {
      objects.push_back(zem::LoadPicture(accessor, path));
      benchmark::DoNotOptimize(objects.back()->Store()->Bitmap().Data());
    }
    decodes += zem::TBitmapStore::DecodeCount() - before;
  }
  state.counters["decodes_per_100_objects"] = double(decodes) / double(state.iterations());
}
BENCHMARK(BM_PictureNamedBy100Objects)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
