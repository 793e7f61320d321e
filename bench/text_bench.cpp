// Text pictures: a 40-character title and a 20-line paragraph at 1080p laid out and rasterized
// with an empty font cache (outlines read from the installed font) and with a warm one; a slide
// of 30 texts built and prepared as the slide loader does; texts of 100,000 characters and of
// 10,000 lines.
#include <benchmark/benchmark.h>

#include <string>

#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "model/zem_text.h"
#include "resources/text/text_layout.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

const WideString kTitle = u"Harbour lights over the old town at dusk";  // 40 characters

std::vector<WideString> Paragraph() {
  std::vector<WideString> lines;
  for (int i = 0; i < 20; ++i) lines.push_back(u"Line " + Utf8ToWide(std::to_string(i + 1)) + u" of a longer caption text");
  return lines;
}

// The picture name of lines whose block is `blockHeight` pixels high.
WideString PictureName(const std::vector<WideString>& lines, float blockHeight) {
  auto text = BuildSystemVectorText(u"Arial", 0, lines);
  TTextPictureFields fields;
  fields.lines = lines;
  fields.scale = blockHeight / LayoutText(*text, 1, 0, kAlignCenter).Height();
  return TextPictureName(fields);
}

void Build(benchmark::State& state, const WideString& name, bool cold) {
  TTextRaster r;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      TFontCache::Instance().Clear();
      state.ResumeTiming();
    }
    if (!BuildTextPicture(nullptr, name, r)) state.SkipWithError("no font");
    benchmark::DoNotOptimize(r.bitmap.Data());
  }
  state.counters["pixels"] = double(r.bitmap.Width()) * r.bitmap.Height();
}

// A title 8 % of a 1080-line slide high (86 pixels).
void BM_TitleCold(benchmark::State& s) { Build(s, PictureName({kTitle}, 86.4f), true); }
void BM_TitleCached(benchmark::State& s) { Build(s, PictureName({kTitle}, 86.4f), false); }
// A paragraph of 20 lines, 60 % of the slide high.
void BM_ParagraphCold(benchmark::State& s) { Build(s, PictureName(Paragraph(), 648), true); }
void BM_ParagraphCached(benchmark::State& s) { Build(s, PictureName(Paragraph(), 648), false); }
// 100,000 characters on one line and 10,000 lines, at the scale the caps allow.
void BM_HugeLine(benchmark::State& s) { Build(s, PictureName({WideString(100000, u'x')}, 1e9f), true); }
void BM_TenThousandLines(benchmark::State& s) {
  Build(s, PictureName(std::vector<WideString>(10000, WideString(u"one of many lines")), 1e9f), true);
}

// 30 texts of a slide built from the script, laid out and prepared, as the loader does for a new
// slide (the drawer records what it is asked to upload).
void BM_SlideOf30Texts(benchmark::State& state) {
  std::string s = "[Main]\nopt_scr_width=1920\nopt_scr_height=1080\nopt_slidescount=30\nopt_synchpos1=5000\n[Slide1]\n";
  for (int i = 0; i < 30; ++i)
    s += "object text: T" + std::to_string(i) + "\nText=Caption number " + std::to_string(i) +
         " of <%SlidesCount%>^&second line\nobject keypoint:\nTime=0\nScaleY=" + std::to_string(4 + i % 5) +
         "\nPosition=" + std::to_string(i % 6 * 30 - 75) + "," + std::to_string(i / 6 * 35 - 70) +
         "\nend\nobject keypoint:\nTime=4000\nScaleY=" + std::to_string(8 + i % 5) + "\nend\nend\n";
  TIniFile ini;
  ini.LoadFromText(Utf8ToWide(s));
  TRecordingDrawer drawer(1920, 1080);
  const bool cold = state.range(0) != 0;
  for (auto _ : state) {
    if (cold) {
      state.PauseTiming();
      TFontCache::Instance().Clear();
      state.ResumeTiming();
    }
    std::string err;
    auto slide = BuildSectionTree(ini, u"Slide1", {}, &err);
    if (!slide) state.SkipWithError(err.c_str());
    slide->Prepare(drawer);
    benchmark::DoNotOptimize(slide.get());
    drawer.ClearLog();
  }
}

BENCHMARK(BM_TitleCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TitleCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParagraphCold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParagraphCached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlideOf30Texts)->Arg(1)->Arg(0)->ArgName("cold")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HugeLine)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_TenThousandLines)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
