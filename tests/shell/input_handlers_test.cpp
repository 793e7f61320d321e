#include <gtest/gtest.h>

#include <memory>

#include "fake_action_host.h"
#include "platform/cursor.h"
#include "platform/key_codes.h"
#include "script/ini_file.h"
#include "shell/input_handlers.h"
#include "shell/mouse_monitor.h"
#include "shell/screen_saver.h"

namespace zem {
namespace {

using test::TFakeHost;

std::unique_ptr<TInputMappingClass> Mapping(const std::string& keys) {
  TIniFile f;
  EXPECT_TRUE(f.LoadFromText(Utf8ToWide("[Main]\r\n" + keys)));
  return std::make_unique<TInputMappingClass>(f);
}

TEST(KeyHandler, MappedKeysRunActionsAndHelpGoesToTheEngine) {
  TFakeHost h;
  auto m = Mapping("");
  h.time = 100;
  EXPECT_TRUE(HandleKey(h, *m, 0, kVkRight, kKeyDown));
  EXPECT_EQ(h.seeks.back(), 5000);
  EXPECT_TRUE(HandleKey(h, *m, kModCtrl, 'P', kKeyDown));
  EXPECT_TRUE(h.paused);
  HandleKey(h, *m, 0, kVkF1, kKeyDown);
  EXPECT_EQ(h.helps, 1);
  HandleKey(h, *m, 0, kVkEscape, kKeyDown);
  EXPECT_TRUE(h.closed && h.exit_requested);
  // Busy: nothing, not even the default handling.
  TFakeHost busy;
  busy.busy = true;
  EXPECT_FALSE(HandleKey(busy, *m, 0, kVkEscape, kKeyDown));
  EXPECT_FALSE(busy.closed);
}

TEST(KeyHandler, DialogsHoldKeysExceptHelpAndStartupConfirmsOnEnter) {
  TFakeHost h;
  auto m = Mapping("");
  h.dialog = true;
  EXPECT_FALSE(HandleKey(h, *m, 0, kVkEscape, kKeyDown));
  EXPECT_EQ(h.dialogs_closed, 1);
  EXPECT_FALSE(h.closed);
  EXPECT_FALSE(HandleKey(h, *m, 0, kVkRight, kKeyDown));
  EXPECT_TRUE(h.seeks.empty());
  HandleKey(h, *m, 0, kVkF1, kKeyDown);
  EXPECT_EQ(h.helps, 1);
  TFakeHost s;
  s.startup = true;
  EXPECT_FALSE(HandleKey(s, *m, 0, kVkReturn, kKeyDown));
  EXPECT_EQ(s.exit_code, 1);
  EXPECT_TRUE(s.closed);
}

TEST(KeyHandler, WithoutFreeControlOnlyForwardKeysReleaseABarrier) {
  TFakeHost h;
  auto m = Mapping("opt_synchpermitcontrol=0\r\n");
  h.barrier = true;
  HandleKey(h, *m, 0, kVkLeft, kKeyDown);
  EXPECT_EQ(h.releases, 0);
  EXPECT_TRUE(h.seeks.empty());
  HandleKey(h, *m, 0, kVkRight, kKeyUp);
  EXPECT_EQ(h.releases, 0);
  HandleKey(h, *m, 0, kVkRight, kKeyDown);
  EXPECT_EQ(h.releases, 1);
  EXPECT_TRUE(h.seeks.empty());
  h.barrier = true;
  HandleKey(h, *m, 0, kVkSpace, kKeyDown);
  EXPECT_EQ(h.releases, 2);
}

TEST(MouseHandler, ShownPointerGoesToTheEngineHiddenRunsAtOnce) {
  TFakeHost h;
  auto m = Mapping("opt_leftmouse=Next slide\r\nopt_rightmouse=Help\r\n");
  h.since_created = 999;
  HandleMouseButton(h, *m, 0, 5, 5, kMouseUp, kButtonLeft);
  EXPECT_TRUE(h.sent.empty());
  EXPECT_EQ(h.refreshes, 0);
  h.since_created = 1000;
  HandleMouseButton(h, *m, 0, 5, 5, kMouseUp, kButtonLeft);
  ASSERT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(h.sent[0].action, TZemActionKind::NextSlide);
  EXPECT_TRUE(h.seeks.empty());
  h.hidden = true;
  HandleMouseButton(h, *m, 0, 5, 5, kMouseUp, kButtonLeft);
  EXPECT_EQ(h.sent.size(), 1u);
  EXPECT_EQ(h.seeks.size(), 1u);
  HandleMouseButton(h, *m, 0, 5, 5, kMouseUp, kButtonRight);  // help always goes to the engine
  EXPECT_EQ(h.sent.size(), 2u);
  EXPECT_EQ(h.sent[1].action, TZemActionKind::Help);
}

TEST(PointerCursor, HiddenExceptOverTheNavigationPanelAndHandOverLinks) {
  uint32_t now = 0;
  TMouseMonitor monitor([&] { return now; });
  TNullCursorControl cursor;
  TPointerHover hover;
  ConnectCursor(monitor, cursor, [&] { return hover; });
  monitor.SetHideDelay(1000);
  monitor.Check(true);
  hover.over_link_not_button = true;
  monitor.Check(true);
  EXPECT_EQ(cursor.Shape(), TCursorShape::Hand);
  now = 2000;
  monitor.Check(true);
  EXPECT_TRUE(monitor.Hidden());
  EXPECT_FALSE(cursor.Visible());
  monitor.MouseMove(50, 50, true);
  EXPECT_TRUE(cursor.Visible());
  hover.over_nav_panel = true;
  now = 4000;
  monitor.Check(true);
  EXPECT_FALSE(monitor.Hidden());
  EXPECT_TRUE(cursor.Visible());
}

TEST(ScreenSaverState, CopiesNeedTheSwitchAndOneInstanceOthersInhibitTheSaver) {
  std::vector<bool> calls;
  TCommandLine preview;
  preview.ParseText("show.scr /p 1234");
  TCommandLine run;
  run.ParseText("show.scr /s");
  {
    TScreenSaverState s([&](bool a) { calls.push_back(a); });
    EXPECT_FALSE(s.OnOpen(true, false, preview));
    EXPECT_FALSE(s.OnOpen(true, true, run));
    EXPECT_TRUE(s.OnOpen(true, false, run));
    EXPECT_TRUE(s.ScreenSaverRunning());
  }
  EXPECT_TRUE(calls.empty());
  {
    TScreenSaverState s([&](bool a) { calls.push_back(a); });
    EXPECT_TRUE(s.OnOpen(false, false, preview));
    EXPECT_TRUE(s.OnOpen(false, false, preview));
    EXPECT_EQ(calls, std::vector<bool>{false});
  }
  EXPECT_EQ(calls, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace zem
