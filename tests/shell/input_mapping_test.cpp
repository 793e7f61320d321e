#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "platform/key_codes.h"
#include "script/ini_file.h"
#include "shell/action_exec.h"
#include "shell/input_mapping.h"
#include "fake_action_host.h"

namespace zem {
namespace {

using test::TFakeHost;
using test::TFakeTimeline;

std::unique_ptr<TIniFile> Script(const std::string& main_keys) {
  auto f = std::make_unique<TIniFile>();
  EXPECT_TRUE(f->LoadFromText(Utf8ToWide("[Main]\r\nopt_slidescount=7\r\n" + main_keys)));
  return f;
}

TZemActionKind KeyKind(const TInputMappingClass& m, uint8_t mods, int key, uint8_t type = kKeyDown) {
  const TKeyMap* map = m.KeyAction(mods, key, type);
  return map ? map->action.kind : TZemActionKind::None;
}

TEST(InputMapping, KeyTableWithExactModifiers) {
  TInputMappingClass m(*Script(""));
  EXPECT_EQ(KeyKind(m, 0, kVkEscape), TZemActionKind::Exit);
  EXPECT_EQ(KeyKind(m, kModCtrl, 'P'), TZemActionKind::Pause);
  EXPECT_EQ(KeyKind(m, 0, 'P'), TZemActionKind::None);
  EXPECT_EQ(KeyKind(m, kModShift, kVkRight), TZemActionKind::None);
  EXPECT_EQ(KeyKind(m, kModWin, kVkRight), TZemActionKind::NextSlide);
  EXPECT_EQ(KeyKind(m, kModCtrl | kModShift, 'P'), TZemActionKind::Print);
  EXPECT_EQ(KeyKind(m, kModCtrl | kModAlt, 'P'), TZemActionKind::None);
  for (int k : {kVkSpace, kVkPause, kVkMediaPlayPause}) EXPECT_EQ(KeyKind(m, 0, k), TZemActionKind::Pause);
  for (int k : {kVkLeft, kVkPrior, kVkBrowserBack, kVkMediaPrevTrack}) EXPECT_EQ(KeyKind(m, 0, k), TZemActionKind::PrevSlide);
  for (int k : {kVkRight, kVkNext, kVkBrowserForward, kVkMediaNextTrack})
    EXPECT_EQ(KeyKind(m, 0, k), TZemActionKind::NextSlide);
  EXPECT_EQ(KeyKind(m, 0, kVkMediaStop), TZemActionKind::Stop);
  EXPECT_EQ(KeyKind(m, 0, kVkF1), TZemActionKind::Help);
  EXPECT_EQ(m.KeyAction(0, kVkHome, kKeyDown)->action.number, 0);
  EXPECT_EQ(m.KeyAction(0, kVkEnd, kKeyDown)->action.number, 7);
  // Only key-down events map; codes beyond the table have none.
  EXPECT_EQ(KeyKind(m, 0, kVkEscape, kKeyUp), TZemActionKind::None);
  EXPECT_EQ(KeyKind(m, 0, kVkEscape, kKeyChar), TZemActionKind::None);
  EXPECT_EQ(KeyKind(m, 0, 256), TZemActionKind::None);
  EXPECT_EQ(KeyKind(m, 0, -1), TZemActionKind::None);
}

TEST(InputMapping, ControlOffAndLockedF1LeaveOnlyExit) {
  TInputMappingClass m(*Script("opt_synchpermitcontrol=0\r\nopt_lockf1=1\r\n"));
  EXPECT_FALSE(m.FreeControl());
  EXPECT_EQ(KeyKind(m, 0, kVkEscape), TZemActionKind::Exit);
  for (int k : std::initializer_list<int>{kVkRight, kVkLeft, kVkSpace, kVkHome, kVkEnd, kVkF1, 'P'}) {
    EXPECT_EQ(KeyKind(m, 0, k), TZemActionKind::None) << k;
    EXPECT_EQ(KeyKind(m, kModCtrl, k), TZemActionKind::None) << k;
  }
}

TEST(InputMapping, MouseWordsAndButtons) {
  TInputMappingClass m(*Script("opt_leftmouse=Next slide\r\nopt_rightmouse=Prev. slide\r\nopt_dblclick=Go to first\r\n"));
  EXPECT_EQ(m.MouseAction(0, 1, 1, kMouseUp, kButtonLeft).kind, TZemActionKind::NextSlide);
  EXPECT_EQ(m.MouseAction(0, 1, 1, kMouseDown, kButtonLeft).kind, TZemActionKind::None);
  EXPECT_EQ(m.MouseAction(0, 1, 1, kMouseUp, kButtonRight).kind, TZemActionKind::PrevSlide);
  EXPECT_EQ(m.MouseAction(0, 1, 1, kMouseUp, kButtonMiddle).kind, TZemActionKind::None);
  const TZemActionInfo dbl = m.MouseAction(0, 1, 1, kMouseDblClick, kButtonLeft);
  EXPECT_EQ(dbl.kind, TZemActionKind::GotoSlide);
  EXPECT_EQ(dbl.number, 0);
  EXPECT_EQ(MouseActionFromText(u"Exit").kind, TZemActionKind::Exit);
  EXPECT_EQ(MouseActionFromText(u"Help").kind, TZemActionKind::Help);
  EXPECT_EQ(MouseActionFromText(u"Pause").kind, TZemActionKind::Pause);
  EXPECT_EQ(MouseActionFromText(u"next slide").kind, TZemActionKind::None);  // compared exactly
}

TEST(InputMapping, ScreenSaverExitsOnKeysClicksAndMovesOverFivePixels) {
  TInputMappingClass m(*Script("opt_ssaver=1\r\n"));
  EXPECT_TRUE(m.HasMoveDetector());
  EXPECT_EQ(KeyKind(m, 0, 'A', kKeyUp), TZemActionKind::Exit);
  EXPECT_EQ(KeyKind(m, kModShift, 300, kKeyChar), TZemActionKind::Exit);
  // The first pointer event only records where the pointer is.
  EXPECT_EQ(m.MouseAction(0, 100, 100, kMouseMove, 0).kind, TZemActionKind::None);
  EXPECT_EQ(m.MouseAction(0, 103, 102, kMouseMove, 0).kind, TZemActionKind::None);  // 5 pixels
  EXPECT_EQ(m.MouseAction(0, 104, 102, kMouseMove, 0).kind, TZemActionKind::Exit);  // 6 pixels
  EXPECT_EQ(m.MouseAction(0, 104, 102, kMouseMove, 0).kind, TZemActionKind::None);  // recorded anew
  EXPECT_EQ(m.MouseAction(kModLeftButton, 104, 102, kMouseDown, kButtonLeft).kind, TZemActionKind::Exit);
}

TEST(InputMapping, ExitOnMoveWithoutScreenSaverKeepsTheKeys) {
  TInputMappingClass m(*Script("opt_exitonmove=1\r\n"));
  EXPECT_EQ(KeyKind(m, 0, kVkRight), TZemActionKind::NextSlide);
  EXPECT_EQ(m.MouseAction(kModLeftButton, 0, 0, kMouseDown, kButtonLeft).kind, TZemActionKind::None);
  EXPECT_EQ(m.MouseAction(0, 0, 6, kMouseMove, 0).kind, TZemActionKind::Exit);
}

TEST(Wheel, CollectsUnitsIntoNotchesKeepingTheRemainder) {
  TWheelCollector w;
  EXPECT_EQ(w.Add(60), 0);
  EXPECT_EQ(w.Add(60), 1);
  EXPECT_EQ(w.Add(-250), -2);
  EXPECT_EQ(w.Pending(), -10);
  EXPECT_EQ(w.Add(370), 3);
}

TEST(SlideTimes, StartNextAndPrevious) {
  TFakeTimeline line;
  EXPECT_EQ(SlideStartTime(line, -3), 1);       // index 0 has no incoming transition
  EXPECT_EQ(SlideStartTime(line, 1), 5000);
  EXPECT_EQ(SlideStartTime(line, 2), 10001);
  EXPECT_EQ(SlideStartTime(line, 4), 20000);    // the end of an ending show
  EXPECT_EQ(NextSlideTime(line, 100, false), 5000);
  EXPECT_EQ(NextSlideTime(line, 100, true), 6000);  // paused: the transition completed
  EXPECT_EQ(NextSlideTime(line, 6000, false), 10001);
  EXPECT_EQ(NextSlideTime(line, 16000, false), 20000);
  EXPECT_EQ(NextSlideTime(line, 19000, true), 21000);  // the end mark takes the paused length too
  line.ends = false;
  EXPECT_EQ(NextSlideTime(line, 16000, false), 20000);
  line.ends = true;
  EXPECT_EQ(PreviousSlideTime(line, 7000), 0);      // in slide 1
  EXPECT_EQ(PreviousSlideTime(line, 16500), 10000);  // inside slide 3: slide 2 (no transition in)
  EXPECT_EQ(PreviousSlideTime(line, 12000), 6000);   // inside slide 2: slide 1 completed
  EXPECT_EQ(PreviousSlideTime(line, 19200), 16000);  // leaving slide 3: back to its own start
  EXPECT_EQ(PreviousSlideTime(line, 500), 0);
  EXPECT_EQ(SlideIndexById(line, u"Intro"), 2);
  EXPECT_EQ(SlideIndexById(line, u"intro"), -1);
}

TZemActionInfo Act(TZemActionKind kind, int32_t number = 0, WideString text = {}) {
  return TZemActionInfo{kind, number, std::move(text)};
}

TEST(ExecuteAction, NavigationPauseAndBarriers) {
  TFakeHost h;
  h.time = 100;
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::NextSlide)));
  EXPECT_EQ(h.seeks.back(), 5000);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::GotoSlide, 3)));
  EXPECT_EQ(h.seeks.back(), 10001);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::GotoSlide, -1, u"Intro")));
  EXPECT_EQ(h.seeks.back(), 10001);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::GotoSlide, -1, u"nowhere")));
  EXPECT_EQ(h.seeks.back(), 1);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::GotoTime, 4321)));
  EXPECT_EQ(h.seeks.back(), 4321);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::Pause)));
  EXPECT_TRUE(h.paused);
  h.barrier = true;
  const size_t seeks = h.seeks.size();
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::NextSlide)));
  EXPECT_EQ(h.releases, 1);
  EXPECT_EQ(h.seeks.size(), seeks);
  h.paused = false;
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::Stop)));
  EXPECT_TRUE(h.paused);
  EXPECT_EQ(h.seeks.back(), 0);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::Print)));
  EXPECT_EQ(h.captures, 1);
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::Help)));
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::OpenDialog, 0, u"d")));
  h.busy = true;
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::Exit)));
  EXPECT_FALSE(h.closed);
}

TEST(ExecuteAction, ExitConfirmAndLinks) {
  TFakeHost h;
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::OpenWebsite, 0, u"HTTPS://Example.org")));
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::OpenWebsite, 0, u"example.org")));
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::WriteEmail, 0, u"a@b.c")));
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::WriteEmail, 0, u"MAILTO:a@b.c")));
  EXPECT_EQ(h.commands, (std::vector<std::string>{"HTTPS://Example.org", "http://example.org", "mailto:a@b.c", "MAILTO:a@b.c"}));
  EXPECT_FALSE(h.closed);
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::RunAppAndExit, 0, u"viewer x")));
  EXPECT_TRUE(h.closed);
  EXPECT_FALSE(h.exit_requested);
  TFakeHost c;
  EXPECT_TRUE(ExecuteAction(c, Act(TZemActionKind::CloseDialog)));
  EXPECT_TRUE(c.exit_requested && c.closed);
  EXPECT_EQ(c.exit_code, 1);
}

TEST(ExecuteAction, RunPresentationChecksVersionAndKeepsAReturnPoint) {
  TFakeHost h;
  h.time = 11000;  // slide 2
  h.packages["/shows/other.exe"] = "5.6";
  h.packages["/shows/old.exe"] = "4.0";
  h.packages["/shows/broken.exe"] = "";
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::RunPresentationAndReturn, 0, u"/shows/other.exe -slide 2")));
  EXPECT_EQ(h.opened, std::vector<std::string>{"/shows/other.exe"});
  EXPECT_EQ(h.pushed, std::vector<std::string>{"\"/shows/main.exe\" -slide 3"});
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::RunPresentation, 0, u"/shows/old.exe")));
  EXPECT_EQ(h.boxes.back(), "ZemShow ExeFile Version Mismatch:\r/shows/old.exe");
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::RunPresentation, 0, u"/shows/broken.exe")));
  EXPECT_EQ(h.boxes.back(), "Not ZemShow Executable File or File Corrupted:\r/shows/broken.exe");
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::RunPresentation, 0, u"/shows/none.exe")));
  EXPECT_EQ(h.boxes.back(), "ZemShow File not Found:\r/shows/none.exe");
  EXPECT_EQ(h.opened.size(), 1u);
  EXPECT_FALSE(h.closed);
  // A name the show does not find is looked up in the show folder.
  h.exefn = "pub\\main.exe";
  EXPECT_TRUE(ExecuteAction(h, Act(TZemActionKind::RunPresentation, 0, u"sub\\other.exe")));
  EXPECT_EQ(h.opened.back(), "/shows/other.exe");
  // A failed open of a plain run closes the window; with a return point the pause state returns.
  h.open_result = false;
  h.paused = true;
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::RunPresentationAndReturn, 0, u"/shows/other.exe")));
  EXPECT_TRUE(h.paused);
  EXPECT_FALSE(h.closed);
  EXPECT_FALSE(ExecuteAction(h, Act(TZemActionKind::RunPresentation, 0, u"/shows/other.exe")));
  EXPECT_TRUE(h.closed && h.exit_requested);
}

TEST(Wheel, NotchesSeekAndCtrlSteps) {
  TFakeHost h;
  TWheelCollector w;
  h.time = 3000;
  HandleWheel(h, w, -120, 0, false);  // down: forward
  EXPECT_EQ(h.seeks.back(), 3700);
  HandleWheel(h, w, 240, 0, false);   // two notches up
  EXPECT_EQ(h.seeks.back(), 2300);
  HandleWheel(h, w, 60, 0, false);    // half a notch: nothing yet
  EXPECT_EQ(h.seeks.size(), 2u);
  HandleWheel(h, w, -60 - 120, kModCtrl, false);
  EXPECT_EQ(h.seeks.back(), 5000);    // next slide
  HandleWheel(h, w, 360, kModCtrl, false);
  EXPECT_EQ(h.seeks.back(), 0);       // previous slide, one step only
  HandleWheel(h, w, -120, 0, true);   // locked
  EXPECT_EQ(h.seeks.size(), 4u);
}

}  // namespace
}  // namespace zem
