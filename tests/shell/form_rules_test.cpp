// The main window's rules that need no window: run on exit, the start-up child's command line,
// mouse events, and the time line the slide-stepping helpers read from the show source.
#include <gtest/gtest.h>

#include <SDL.h>

#include "../package/test_util.h"
#include "model/slide_source.h"
#include "package/show_locator.h"
#include "script/ini_file.h"
#include "shell/command_line.h"
#include "shell/form_rules.h"
#include "shell/input_mapping.h"
#include "shell/source_timeline.h"

namespace zem {
namespace {

std::unique_ptr<TIniFile> Script(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  return ini;
}

TEST(RunOnExit, OnlyAfterTheLastSlideAndAnExitRequest) {
  auto s = Script(u"[Main]\nopt_runapponexit=1\nopt_runapponexitfn=next.exe\n");
  // By default only a show that ended at its end runs the exit program.
  EXPECT_EQ(RunOnExitMode(*s, false, true), 0);
  EXPECT_EQ(RunOnExitMode(*s, true, true), 1);
  EXPECT_EQ(RunOnExitMode(*s, true, false), 0) << "closing the window is no exit request";
  EXPECT_EQ(RunOnExitFile(*s), "next.exe");

  auto any = Script(u"[Main]\nopt_runapponexit=2\nopt_runapponexitiflastslide=0\n");
  EXPECT_EQ(RunOnExitMode(*any, false, true), 2);
  EXPECT_EQ(RunOnExitMode(*any, false, false), 0);
  EXPECT_EQ(RunOnExitMode(*Script(u"[Main]\n"), true, true), 0);
}

TEST(StartupChild, CommandLineAndOwnerWindow) {
  TCommandLine plain;
  plain.ParseText("player");
  EXPECT_EQ(StartupChildArgs("/opt/show", "/opt/show", true, plain.Commands(), 0),
            (std::vector<std::string>{"/opt/show", "-exename", "/opt/show", "-startup"}));

  TCommandLine with_display;
  with_display.ParseText("player -filename a.zem -display 2 3");
  EXPECT_EQ(StartupChildArgs("/bin/player", "/p/a b.zem", false, with_display.Commands(), 4194310),
            (std::vector<std::string>{"/bin/player", "-filename", "/p/a b.zem", "-startup", "-display", "2",
                                      "-ownerwnd", "4194310"}));

  // The child finds its owner as the last of at least two parameters.
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-startup", "-ownerwnd", "4194310"}), 4194310u);
  EXPECT_EQ(OwnerWindowFromArgs({"p", "77"}), 0u) << "one parameter is not enough";
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-startup", "12x"}), 0u);
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-startup", "-exename"}), 0u);
  // Read as the command line reads integers; numbers that name no window give none.
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-ownerwnd", "0x400006"}), 0x400006u);
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-ownerwnd", "$1A"}), 0x1Au);
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-ownerwnd", "-5"}), 0u);
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-ownerwnd", "0"}), 0u);
  EXPECT_EQ(OwnerWindowFromArgs({"p", "-ownerwnd", "99999999999"}), 0u) << "beyond 32 bits";
}

// The start-up child's wait loop: the child's window is brought forward only while the main
// window is in front, and the loop waits 100 ms while the child shows nothing yet.
TEST(StartupChild, ForegroundGoesToTheChildOnlyFromTheMainWindow) {
  bool main_in_front = false;
  uint64_t child = 0;
  int child_queries = 0;
  std::vector<uint64_t> brought;
  const TForegroundHandoff handoff{
      [&] { return main_in_front; },
      [&] {
        ++child_queries;
        return child;
      },
      [&](uint64_t w) {
        brought.push_back(w);
        main_in_front = false;
        return true;
      },
  };
  // The user works in another program: nothing is looked up or taken from them.
  child = 0x200004;
  EXPECT_EQ(HandForegroundToChild(handoff), 0u);
  EXPECT_EQ(child_queries, 0);
  EXPECT_TRUE(brought.empty());

  main_in_front = true;
  child = 0;
  EXPECT_EQ(HandForegroundToChild(handoff), kChildWindowPollMs) << "no child window yet";
  EXPECT_TRUE(brought.empty());

  child = 0x200004;
  EXPECT_EQ(HandForegroundToChild(handoff), 0u);
  EXPECT_EQ(brought, std::vector<uint64_t>{0x200004});
  // Once the child is in front, later passes leave it there.
  EXPECT_EQ(HandForegroundToChild(handoff), 0u);
  EXPECT_EQ(brought.size(), 1u);
  EXPECT_EQ(child_queries, 2);

  // Without a window system every answer is "none": the loop neither sleeps nor raises.
  EXPECT_EQ(HandForegroundToChild(TForegroundHandoff{}), 0u);
}

TEST(MouseEvents, ButtonsAndDoubleClicks) {
  EXPECT_EQ(MapMouseButton(SDL_BUTTON_LEFT), kButtonLeft);
  EXPECT_EQ(MapMouseButton(SDL_BUTTON_RIGHT), kButtonRight);
  EXPECT_EQ(MapMouseButton(SDL_BUTTON_MIDDLE), kButtonMiddle);
  EXPECT_EQ(MapMouseButton(SDL_BUTTON_X1), 0);
  EXPECT_EQ(MouseEventKinds(true, 1, kButtonLeft), (std::vector<uint8_t>{kMouseDown}));
  // A double click is a press followed by the double click, for the left button only.
  EXPECT_EQ(MouseEventKinds(true, 2, kButtonLeft), (std::vector<uint8_t>{kMouseDown, kMouseDblClick}));
  EXPECT_EQ(MouseEventKinds(true, 2, kButtonRight), (std::vector<uint8_t>{kMouseDown}));
  EXPECT_EQ(MouseEventKinds(false, 2, kButtonLeft), (std::vector<uint8_t>{kMouseUp}));
}

TEST(SourceTimeline, SlideTimesOfTheShow) {
  auto s = Script(
      u"[Main]\nopt_slidescount=3\nopt_fx_enable=0\nopt_synchpos1=3000\nopt_synchpos2=6000\nopt_synchpos3=9000\n"
      u"opt_repeat=close\n[Slide1]\nslideid=Intro\n[Slide2]\n[Slide3]\n");
  std::unique_ptr<TSourceTimeline> line = TSourceTimeline::FromScript(*s, false);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->SlideCount(), 3);
  EXPECT_TRUE(line->ShowEnds());
  EXPECT_TRUE(line->ClosesAtEnd());
  EXPECT_EQ(line->Duration(), 9000.0);
  EXPECT_EQ(line->SlideStart(1), 3000.0);
  EXPECT_EQ(line->SlideNext(1), 6000.0);
  EXPECT_EQ(line->IndexAt(4000), 1);
  EXPECT_EQ(line->IndexAt(-5), -1);
  EXPECT_EQ(line->SlideId(0), u"Intro");
  // The stepping helpers over it: the next slide from inside the first, the previous from the third.
  EXPECT_EQ(NextSlideTime(*line, 100, false), 3001);
  EXPECT_EQ(PreviousSlideTime(*line, 6100), 3000);
  EXPECT_EQ(SlideIndexById(*line, u"Intro"), 0);

  auto repeat = TSourceTimeline::FromScript(*Script(u"[Main]\nopt_slidescount=1\nopt_synchpos1=1000\n"), false);
  ASSERT_TRUE(repeat);
  EXPECT_FALSE(repeat->ShowEnds());
  EXPECT_FALSE(repeat->ClosesAtEnd());
  // A screen saver always repeats.
  auto saver = TSourceTimeline::FromScript(
      *Script(u"[Main]\nopt_slidescount=1\nopt_synchpos1=1000\nopt_repeat=close\n"), true);
  ASSERT_TRUE(saver);
  EXPECT_FALSE(saver->ClosesAtEnd());
}

TEST(SourceTimeline, BrokenTimingGivesNoTimeLine) {
  std::string error;
  auto line = TSourceTimeline::FromScript(
      *Script(u"[Main]\nopt_slidescount=2\nopt_synchpos1=5000\nopt_synchpos2=1000\n"), false, &error);
  EXPECT_FALSE(line);
  EXPECT_NE(error.find("Incorrect time"), std::string::npos) << error;
}

// The show locator keeps the show source made on first use: every later use gets the same one,
// built on the show's own files.
TEST(SourceTimeline, TheLocatorKeepsItsShowSource) {
  test::TScratch dir;
  const std::string good = "[Main]\nopt_slidescount=2\nopt_synchpos1=1000\nopt_synchpos2=2000\n";
  WriteFileBytes(dir.Path("show.zem"), good.data(), good.size());
  std::unique_ptr<TZemShowLocator> locator = OpenProjectOnDisk(dir.Path("show.zem"));
  ASSERT_TRUE(locator);
  EXPECT_EQ(locator->ShowSource(), nullptr);
  auto line = TSourceTimeline::FromLocator(*locator, false);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->Duration(), 2000.0);
  EXPECT_EQ(locator->ShowSource(), line->Source());
  ASSERT_NE(line->Source()->Files(), nullptr);
  EXPECT_TRUE(line->Source()->Files()->Exists("show.zem"));
  EXPECT_EQ(TSourceTimeline::FromLocator(*locator, false)->Source(), line->Source());

  const std::string broken = "[Main]\nopt_slidescount=2\nopt_synchpos1=5000\nopt_synchpos2=1000\n";
  WriteFileBytes(dir.Path("broken.zem"), broken.data(), broken.size());
  std::unique_ptr<TZemShowLocator> bad = OpenProjectOnDisk(dir.Path("broken.zem"));
  ASSERT_TRUE(bad);
  std::string error;
  EXPECT_FALSE(TSourceTimeline::FromLocator(*bad, false, &error));
  EXPECT_NE(error.find("Incorrect time"), std::string::npos) << error;
  EXPECT_EQ(bad->ShowSource(), nullptr);
}

}  // namespace
}  // namespace zem
