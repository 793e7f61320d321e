// Generated pictures: the drop shadow of a 24-megapixel picture (its alpha outline, and the
// rectangle a photograph without alpha casts), of a text across a 1080p slide; the three
// pictures of a 400-pixel-wide button; a slide of 20 shadowed objects read and prepared as the
// slide loader does, against the same slide without shadows.
#include <benchmark/benchmark.h>

#include <string>

#include "model/button_test_util.h"
#include "model/button_theme.h"
#include "model/recording_drawer.h"
#include "model/show_loader.h"
#include "resources/generated/shadow_builder.h"
#include "resources/text/text_layout.h"
#include "script/ini_file.h"

namespace {

using namespace zem;

// 6000 x 4000 with an alpha outline: an opaque ellipse on transparency.
const TBitmap& Photo24() {
  static const TBitmap b = [] {
    TBitmap p;
    p.Allocate(6000, 4000, TPixelFormat::Argb32);
    for (int32_t y = 0; y < 4000; ++y) {
      uint32_t* row = reinterpret_cast<uint32_t*>(p.Row(y));
      const double dy = (y - 2000) / 1900.0;
      for (int32_t x = 0; x < 6000; ++x) {
        const double dx = (x - 3000) / 2900.0;
        row[x] = dx * dx + dy * dy < 1 ? 0xFF808080u : 0;
      }
    }
    return p;
  }();
  return b;
}

// ShadowSize 16 with the picture's measure, as an image object asks.
double PictureRadius(double w, double h) { return 16 * std::sqrt(w * h) / 400; }

void BM_ShadowPhoto24MPAlpha(benchmark::State& state) {
  const TBitmap& pic = Photo24();
  const TShadowLayout l = ComputeShadowLayout(6000, 4000, PictureRadius(6000, 4000));
  TBitmap out;
  for (auto _ : state) {
    TAlphaPlane sil;
    PictureSilhouette(pic, 0, {0, 0, 6000, 4000}, 0, 0, 0, l, sil);
    RenderShadow(sil, l, {0, 0, 0, 0, 59}, out);
    benchmark::DoNotOptimize(out.Data());
  }
  state.counters["pixels"] = double(out.Width()) * out.Height();
}

// A photograph without alpha casts its rectangle, computed at about 200 x 200.
void BM_ShadowPhoto24MPRectangle(benchmark::State& state) {
  const double f = std::sqrt(40000.0 / (6000.0 * 4000));
  const TShadowLayout l = ComputeShadowLayout(std::lround(6000 * f), std::lround(4000 * f), PictureRadius(6000, 4000) * f);
  TBitmap out;
  for (auto _ : state) {
    TAlphaPlane sil;
    BoxSilhouette(l.silWidth, l.silHeight, 0, 0, 0, 255, 255, 8, l, sil);
    RenderShadow(sil, l, {0, 0, 0, 0, 59}, out);
    benchmark::DoNotOptimize(out.Data());
  }
  state.counters["pixels"] = double(out.Width()) * out.Height();
}

// A title across a 1080p slide: 160 pixels per em, as wide as the slide.
void BM_ShadowText1080p(benchmark::State& state) {
  const TBitmap text = RenderTextBlock({u"Harbour lights at dusk"}, u"Arial", 160, 0xFFFFFFFFu, 0, 0);
  if (text.Empty()) {
    state.SkipWithError("no font");
    return;
  }
  const TShadowLayout l = ComputeShadowLayout(text.Width(), text.Height(), 16 * 160 / 400.0 * 1.1);
  TBitmap out;
  for (auto _ : state) {
    TAlphaPlane sil;
    PictureSilhouette(text, 0, {0, 0, text.Width(), text.Height()}, 0, 0, 0, l, sil);
    RenderShadow(sil, l, {0, 0, 0, 0, 59}, out);
    benchmark::DoNotOptimize(out.Data());
  }
  state.counters["pixels"] = double(text.Width()) * text.Height();
}

void BM_ButtonThreePictures400(benchmark::State& state) {
  auto files = MakeRef<test::TThemeSource>();
  test::AddTheme(*files, "aqua", test::ThemeIni("Color=0,0,0\n"));
  TFileAccessor accessor{TRef<TFileSource>(files.get())};
  TIniFile ini;
  ini.LoadFromText(Utf8ToWide(test::ThemeIni("Color=0,0,0\n")));
  TButtonProducer theme(ini, u"Buttons\\aqua\\", u"aqua");
  for (auto _ : state)
    for (int s : {1, 2, 0}) {
      TBitmap b = theme.Build(s, 400, 30, 10, 5, &accessor);
      benchmark::DoNotOptimize(b.Data());
    }
}

// 20 objects with shadows: 8 pictures with alpha, 6 texts, 6 boxes.
std::string TwentyObjects(bool shadows) {
  const std::string on = shadows ? "ShadowEnable=1\n" : "ShadowEnable=0\n";
  std::string s = "[Main]\nopt_scr_width=1920\nopt_scr_height=1080\nopt_slidescount=1\nopt_synchpos1=5000\n[Slide1]\n";
  for (int i = 0; i < 20; ++i) {
    const std::string pos = "Position=" + std::to_string(-80 + (i % 5) * 40) + "," + std::to_string(-60 + (i / 5) * 40) + "\n";
    const std::string key = "object keypoint:\nTime=0\nScaleX=18\nScaleY=18\n" + pos + "end\n";
    if (i % 10 < 4)
      s += "object image: p" + std::to_string(i) + "\nImageName=pic" + std::to_string(i % 4) + ".png\n" + on + key + "end\n";
    else if (i % 10 < 7)
      s += "object text: t" + std::to_string(i) + "\nText=Caption " + std::to_string(i) + "\n" + on + key + "end\n";
    else
      s += "object box: b" + std::to_string(i) + "\nSize=400,300\nColor1=200,100,50\n" + on + key + "end\n";
  }
  return s;
}

void Slide(benchmark::State& state, bool shadows) {
  TIniFile ini;
  ini.LoadFromText(Utf8ToWide(TwentyObjects(shadows)));
  std::vector<TRef<TDrawPicture>> pictures;
  for (int i = 0; i < 4; ++i) {
    TBitmap b;
    b.Allocate(800, 600, TPixelFormat::Argb32);
    for (int32_t y = 40 + i * 10; y < 560; ++y)
      for (int32_t x = 40; x < 760 - i * 20; ++x) b.SetPixel(x, y, 0xFF406080u);
    pictures.push_back(MakeRef<TBitmapPicture>(std::move(b), u"pic" + Utf8ToWide(std::to_string(i)) + u".png"));
  }
  TRecordingDrawer drawer(1920, 1080);
  for (auto _ : state) {
    // A new host each time: nothing is shared with the previous slide.
    auto host = MakeRef<TSimpleSlideHost>(1920, 1080);
    for (const auto& p : pictures) host->AddPicture(p->Name(), p);
    auto slide = BuildSectionTree(ini, u"Slide1", host, nullptr);
    slide->SetTimeAndUpdate(true, 0);
    slide->Prepare(drawer);
    drawer.ClearLog();
    benchmark::DoNotOptimize(slide.get());
  }
}
void BM_SlideOf20Prepared_NoShadows(benchmark::State& s) { Slide(s, false); }
void BM_SlideOf20Prepared_Shadows(benchmark::State& s) { Slide(s, true); }

}  // namespace

BENCHMARK(BM_ShadowPhoto24MPAlpha)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShadowPhoto24MPRectangle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShadowText1080p)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ButtonThreePictures400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlideOf20Prepared_NoShadows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SlideOf20Prepared_Shadows)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
