// The engine's wait in the slide loader's report (message 101) while slides with ten
// 24-megapixel pictures each are built. A timed command: prints the longest and the median wait
// and the build time per slide.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/slide_loader.h"
#include "foundation/clock.h"
#include "foundation/event_list.h"
#include "model/recording_drawer.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "script/ini_file.h"

using namespace zem;

namespace {

// The engine's list: times every send from the loader until the engine has handled it.
class TTimedList : public TThreadEventList {
 public:
  bool Send(int32_t code, TObj* payload) override {
    const double t0 = TimeGetTimeExact();
    const bool r = TThreadEventList::Send(code, payload);
    std::lock_guard<std::mutex> g(lock);
    waits.push_back(TimeGetTimeExact() - t0);
    return r;
  }
  std::mutex lock;
  std::vector<double> waits;
};

}  // namespace

int main() {
  const std::string dir = "/tmp/zem-loader-bench-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir);
  const std::string cmd = "convert '" ZEM_TESTDATA_DIR "/images/jpeg/exif-orientation/Landscape_1.jpg' -resize '6000x4000!' -quality 90 '" +
                          dir + "/pic0.jpg'";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "convert failed\n");
    return 1;
  }
  const int slides = 4;
  // Every slide has its own ten files, so the picture cache decodes each of them.
  for (int s = 1; s <= slides; ++s) {
    for (int i = 0; i < 10; ++i) {
      std::filesystem::copy_file(dir + "/pic0.jpg", dir + "/s" + std::to_string(s) + "_" + std::to_string(i) + ".jpg");
    }
  }
  std::u16string text = u"[Main]\nopt_scr_width=1920\nopt_scr_height=1080\nopt_fx_enable=0\nopt_slidescount=" +
                        Utf8ToWide(std::to_string(slides)) + u"\n";
  for (int s = 1; s <= slides; ++s) {
    text += u"opt_synchpos" + Utf8ToWide(std::to_string(s)) + u"=" + Utf8ToWide(std::to_string(s * 5000)) + u"\n";
  }
  for (int s = 1; s <= slides; ++s) {
    text += u"[Slide" + Utf8ToWide(std::to_string(s)) + u"]\n";
    for (int i = 0; i < 10; ++i) {
      text += u"object image: p\n  ImageName=s" + Utf8ToWide(std::to_string(s)) + u"_" + Utf8ToWide(std::to_string(i)) +
              u".jpg\n  object keypoint:\n    Time=0\n  end\nend\n";
    }
  }
  auto ini = std::make_unique<TIniFile>();
  if (!ini->LoadFromText(text)) return 1;
  auto files = std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>(dir + "/"));
  auto source = MakeRef<TZemSource>(std::move(ini), std::move(files));

  TTimedList engine;
  int handled = 0;
  engine.SetOwnerCallback([&](int32_t, TObj*, bool& done) {
    ++handled;
    done = true;
  });
  TZemSlideLoader loader(source, 3, false, {}, {1920, 1080});
  loader.SetOutput(false);
  loader.SetReportTarget(&engine);
  TRecordingDrawer drawer(1920, 1080);
  std::vector<double> preloads;
  std::atomic<int> built{0};
  loader.SetPreloadCallback([&](TDrawContainer& c) {
    const double t0 = TimeGetTimeExact();
    // As the engine does: evaluate the slide (its pictures load), then preload it.
    c.SetTime(c.info.start);
    if (c.slide) c.slide->Preload(drawer, 0);
    preloads.push_back(TimeGetTimeExact() - t0);
    ++built;
  });
  loader.Timing().current = 0;
  loader.Start();
  // The engine's loop: handle messages, sleep 1 ms; move through the show once.
  const double start = TimeGetTimeExact();
  double t = 0;
  // Slide by slide: the time moves on once the window around it is built.
  while (t < slides * 5000.0 && TimeGetTimeExact() - start < 60000) {
    engine.Process();
    SleepMs(1);
    if (built.load() >= int(t / 5000) + 2) t += 50;
    loader.Timing().current = t;
    if (std::getenv("ZEM_BENCH_TRACE") && int(TimeGetTimeExact() - start) % 2000 == 0) {
      std::printf("t=%.0f built=%d cache=%zu\n", t, built.load(), loader.Cache().Containers().size());
    }
  }
  const double total = TimeGetTimeExact() - start;
  engine.Close();
  loader.Stop();
  std::filesystem::remove_all(dir);

  std::vector<double> w;
  {
    std::lock_guard<std::mutex> g(engine.lock);
    w = engine.waits;
  }
  std::sort(w.begin(), w.end());
  std::printf("reports %zu handled %d\n", w.size(), handled);
  if (!w.empty()) {
    std::printf("engine wait in message 101: longest %.3f ms, median %.3f ms\n", w.back(), w[w.size() / 2]);
  }
  std::printf("%d containers in %.0f ms of wall time\n", built.load(), total);
  for (size_t i = 0; i < preloads.size(); ++i) std::printf("container %zu: preload %.1f ms\n", i, preloads[i]);
  return 0;
}
