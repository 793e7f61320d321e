// Opening a large show as the player does: the script parsed (show locator), the shell's time
// line and the engine's show source built over it (shared, not copied), and the first slide made
// (slide loader). A timed command: prints the milliseconds of each phase and the peak resident
// memory; "--copy" copies the script for the engine as the player once did (the baseline).
//
// usage: zem_show_open_bench [BOXES]   (default 100000 boxes, 2 keypoints each, one slide)
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "foundation/clock.h"
#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "script/ini_file.h"

using namespace zem;

namespace {

long PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss / 1024;
}

// About 140 bytes of script per box.
std::string BoxShow(int boxes) {
  std::string s =
      "[Main]\r\nZemVersion=5.6\r\nopt_scr_full=0\r\nopt_scr_width=320\r\nopt_scr_height=240\r\n"
      "opt_slidescount=1\r\nopt_synchpos1=60000\r\nopt_repeat=repeat\r\n[Slide1]\r\nPers_Fon=1\r\nbstyle=1\r\n";
  uint32_t r = 1;
  for (int i = 0; i < boxes; ++i) {
    r = r * 1103515245u + 12345u;
    s += "object box: B" + std::to_string(i) + "\r\n  Size=1,1\r\n  FillMode=Solid\r\n  Color1=" +
         std::to_string(r >> 24) + "," + std::to_string((r >> 16) & 255) + ",0\r\n  object keypoint:\r\n    Time=0\r\n" +
         "    Position=" + std::to_string(int(r % 180) - 90) + "," + std::to_string(int((r >> 8) % 180) - 90) +
         "\r\n  end\r\n  object keypoint:\r\n    Time=60000\r\n  end\r\nend\r\n";
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  int boxes = 100000;
  bool copy = false;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--copy") copy = true;
    else boxes = std::atoi(argv[i]);
  }
  const std::string text = BoxShow(boxes);
  std::printf("script: %d boxes, %.1f MB%s; peak before opening %ld MB\n", boxes, text.size() / 1048576.0,
              copy ? ", copied" : "", PeakRssMb());

  const double t0 = TimeGetTimeExact();
  auto locator_script = std::make_shared<TIniFile>();
  if (!locator_script->LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size())) return 1;
  const double t1 = TimeGetTimeExact();
  auto files = [] { return std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>("/nonexistent/")); };
  TRef<TZemSource> timeline, source;
  if (copy) {
    auto a = std::make_unique<TIniFile>(), b = std::make_unique<TIniFile>();
    a->Assign(*locator_script);
    b->Assign(*locator_script);
    timeline = MakeRef<TZemSource>(std::move(a), nullptr);
    source = MakeRef<TZemSource>(std::move(b), files());
  } else {
    timeline = MakeRef<TZemSource>(TSharedScript{locator_script}, nullptr);
    source = MakeRef<TZemSource>(TSharedScript{locator_script}, files());
  }
  const double t2 = TimeGetTimeExact();
  TSlideProducer producer(source);
  producer.SetOutput({320, 240}, TSlideProducer::kFitInside, 100, 100);
  auto slide = producer.CreateSlide(0, 0);
  const double t3 = TimeGetTimeExact();
  if (!slide) return 1;
  std::printf("parse %.0f ms, sources %.0f ms, first slide %.0f ms: open %.0f ms; peak %ld MB\n", t1 - t0, t2 - t1,
              t3 - t2, t3 - t0, PeakRssMb());
  return 0;
}
