// The published demo show: a sound package at the end of the player, and every slide draws a
// real picture (off screen, through the same path as the player's snapshot mode).
#include <gtest/gtest.h>

#include <filesystem>

#include "demo_test_util.h"
#include "engine/nav_bar_video.h"
#include "engine/nav_panel.h"
#include "foundation/stream.h"
#include "model/slide_producer.h"
#include "model/slide_source.h"
#include "model/zem_slide.h"
#include "model/zem_text.h"
#include "package/package_tools.h"
#include "package/show_locator.h"
#include "render/drawer/headless_window.h"
#include "render/drawer/snapshot.h"
#include "script/ini_file.h"
#include "transitions/filter_factory.h"
#include "video/video_layer.h"

namespace zem {
namespace test {
void PinDriverModules();
}
namespace {

using demotest::LumaDeviation;
using demotest::MeanDifference;

// True when an off-screen window can be made here. The driver's modules are pinned while one
// exists, so that the leak check can still name their exit-time allocations.
bool HeadlessDrawingWorks() {
  auto probe = THeadlessWindow::Create(8, 8);
  if (!probe) return false;
  test::PinDriverModules();
  return true;
}

// The show as the player opens it, with the transition filters the player installs.
TRef<TZemSource> OpenDemo() {
  InstallTransitionFilters();
  InstallVideoLayer();
  std::string error;
  auto locator = OpenPackagedShow(ZEM_DEMO_SHOW, error);
  EXPECT_TRUE(locator && locator->HasScript()) << error;
  if (!locator || !locator->HasScript()) return {};
  auto script = std::make_unique<TIniFile>();
  script->Assign(*locator->Script());
  return MakeRef<TZemSource>(std::move(script), locator->Accessor().Clone());
}

TEST(DemoShow, PackageVerifiesWithTheScriptAndEveryMedium) {
  TVerifyReport report;
  EXPECT_TRUE(VerifyPackage(ZEM_DEMO_SHOW, report));
  EXPECT_TRUE(report.problems.empty()) << report.problems.front();
  // The script, six pictures, the music, the clip, the bar's theme (seven) and the button theme (four).
  EXPECT_EQ(report.members, 20);
  // Appended to the player: the file is a program, larger than its package.
  auto file = TFileStream::Open(ZEM_DEMO_SHOW, TFileMode::Read);
  ASSERT_TRUE(file);
  char head[4] = {};
  ASSERT_EQ(file->Read(head, 4), 4);
  EXPECT_EQ(std::string(head, 4), "\x7f" "ELF");
  EXPECT_GT(std::filesystem::file_size(ZEM_DEMO_SHOW), uint64_t(report.bytes));
}

TEST(DemoShow, EverySlideDrawsItsOwnPicture) {
  if (!HeadlessDrawingWorks()) GTEST_SKIP() << "no headless window here";
  auto show = OpenDemo();
  ASSERT_TRUE(show);
  std::vector<TBitmap> frames;
  for (int32_t i = 0; i < show->SlideCount(); ++i) {
    SCOPED_TRACE(i);
    const TSlideInfo& s = show->Infos()[size_t(i)];
    // Halfway between the end of the incoming transition and the slide's hand-over.
    const double t = s.start + s.inLength + (s.next - s.start - s.inLength) / 2;
    TBitmap frame;
    std::string error;
    ASSERT_TRUE(RenderShowSnapshot(show, t, 320, 180, frame, &error)) << error;
    EXPECT_GT(LumaDeviation(frame), 8.0);
    frames.push_back(std::move(frame));
  }
  for (size_t i = 0; i < frames.size(); ++i)
    for (size_t j = i + 1; j < frames.size(); ++j) EXPECT_GT(MeanDifference(frames[i], frames[j]), 4.0) << i << " " << j;
}

TEST(DemoShow, TransitionFramesMixTheTwoSlides) {
  if (!HeadlessDrawingWorks()) GTEST_SKIP() << "no headless window here";
  auto show = OpenDemo();
  ASSERT_TRUE(show);
  // Halfway through each transition the frame is neither the outgoing nor the incoming slide as
  // they look just before and just after it.
  for (int32_t i = 1; i < show->SlideCount(); ++i) {
    SCOPED_TRACE(i);
    const TSlideInfo& s = show->Infos()[size_t(i)];
    TBitmap before, middle, after;
    ASSERT_TRUE(RenderShowSnapshot(show, s.start - 1, 160, 90, before));
    ASSERT_TRUE(RenderShowSnapshot(show, s.start + s.inLength / 2, 160, 90, middle));
    ASSERT_TRUE(RenderShowSnapshot(show, s.start + s.inLength + 1, 160, 90, after));
    EXPECT_GT(MeanDifference(middle, before), 4.0);
    EXPECT_GT(MeanDifference(middle, after), 4.0);
  }
}

// A click (down and up) at a point of the 1280 × 720 output on slide `index` at show time t.
TZemActionInfo Click(TSlideProducer& producer, int32_t index, double t, float x, float y) {
  std::unique_ptr<TZemSlide> slide = producer.CreateSlide(index, 0);
  EXPECT_TRUE(slide);
  TZemActionInfo action;
  if (!slide) return action;
  slide->SetTimeAndUpdate(true, t);
  slide->HandleMouse(0, x, y, true, action, 1, 1);
  slide->HandleMouse(0, x, y, true, action, 2, 1);
  return action;
}

TEST(DemoShow, LinksAnswerClicksWhereTheyAreDrawn) {
  auto show = OpenDemo();
  ASSERT_TRUE(show);
  TSlideProducer producer(show);
  producer.SetOutput({1280, 720}, 0, 100, 100);
  // The emblem of the dawn slide sits in the top right corner (its centre 80 % and -68 % of the
  // half sizes from the middle) and opens the home page.
  TZemActionInfo a = Click(producer, 1, 8000, 640 + 0.80f * 640, 360 - 0.68f * 360);
  EXPECT_EQ(a.kind, TZemActionKind::OpenWebsite);
  EXPECT_EQ(a.text, u"https://example.org/zem");
  // The picture under it has no action.
  EXPECT_TRUE(Click(producer, 1, 8000, 300, 500).IsNone());
  // The big emblem of the eighth slide leads back to the first slide.
  a = Click(producer, 7, 38000, 640, 360);
  EXPECT_EQ(a.kind, TZemActionKind::GotoSlide);
  EXPECT_EQ(a.number, 1);
  // The small diamond of the ninth slide, bottom right.
  a = Click(producer, 8, 43000, 640 + 0.88f * 640, 360 + 0.80f * 360);
  EXPECT_EQ(a.kind, TZemActionKind::OpenWebsite);
  // The buttons of the last slide (the twelfth) lead to the night and the title; their caption
  // lets clicks through.
  a = Click(producer, 11, 58000, 640 + 0.40f * 640, 360 + 0.60f * 360);
  EXPECT_EQ(a.kind, TZemActionKind::GotoSlide);
  EXPECT_EQ(a.number, 7);
  a = Click(producer, 11, 58000, 640 - 0.40f * 640, 360 + 0.60f * 360);
  EXPECT_EQ(a.number, 1);
}

TEST(DemoShow, TheVideoBarSeeksAndMutes) {
  std::string error;
  auto locator = OpenPackagedShow(ZEM_DEMO_SHOW, error);
  ASSERT_TRUE(locator && locator->HasScript()) << error;
  const TIniFile& script = *locator->Script();
  std::vector<float> seeks, volumes;
  TNavPanelConfig c;
  c.area = {0, 0, 1280, 720};
  for (int i = 1; i <= script.ReadInteger(u"Main", u"opt_newnavbuttons_count", 0); ++i)
    c.customNames.push_back(script.ReadString(u"Main", u"opt_newnavbutton" + Utf8ToWide(std::to_string(i)), u""));
  c.files = &locator->Accessor();
  c.durationMs = 45000;
  c.seek = [&seeks](float t) { seeks.push_back(t); };
  c.setVolume = [&volumes](float v) { volumes.push_back(v); };
  c.isPlaying = [] { return true; };
  TNavPanel panel(c, [](int32_t index, TRef<TDrawPicture>, const TRectI&) { return index < 0 ? 0 : index; });
  panel.LoadTheme(script.ReadString(u"Main", u"opt_nav_inifile", u""));
  auto* bar = dynamic_cast<TVideoNavBar*>(panel.Bar());
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->buttonIndexes, (std::vector<int32_t>{0, 1}));  // backward, forward
  const TRectI r = panel.BarRect();
  const TVideoNavLayout& l = bar->Layout();
  const int32_t y = r.top + l.height / 2;
  auto click = [&](int32_t x) {
    panel.HandleEvent(0, x, y, 1, 1);
    panel.HandleEvent(0, x, y, 2, 1);
  };
  click(r.left + (l.t0 + l.t1) / 2);  // the middle of the track: half the show
  ASSERT_FALSE(seeks.empty());
  EXPECT_NEAR(seeks.back(), 22500, 600);
  click(r.left + l.soundRight + bar->Measures().digitsSoundSpace + l.bw / 2);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0], 0);
  EXPECT_EQ(panel.Action().kind, TZemActionKind::Consumed);
}

TEST(DemoShow, CaptionsReadTheSlideAndItsPhotograph) {
  auto show = OpenDemo();
  ASSERT_TRUE(show);
  TSlideProducer producer(show);
  producer.SetOutput({1280, 720}, 0, 100, 100);
  auto lines = [&](int32_t index, const char16_t* caption) {
    std::unique_ptr<TZemSlide> slide = producer.CreateSlide(index, 0);
    std::vector<WideString> out;
    if (slide)
      ForEachNode(slide.get(), [&](TZemObject* n) {
        auto* t = dynamic_cast<TZemText*>(n);
        if (t && t->Caption() == caption) t->LayoutNow(), out = t->ExpandedLines();
      });
    return out;
  };
  EXPECT_EQ(lines(0, u"Subtitle"), (std::vector<WideString>{u"A slide show player", u"12 slides of generated pictures and music"}));
  EXPECT_EQ(lines(1, u"Caption"), std::vector<WideString>{u"Dawn over the hills, 2026:05:17"});
  EXPECT_EQ(lines(4, u"Number"), std::vector<WideString>{u"5 / 12"});
}

}  // namespace
}  // namespace zem
