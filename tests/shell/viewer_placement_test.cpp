#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "script/ini_file.h"
#include "shell/mouse_monitor.h"
#include "shell/screen_saver.h"
#include "shell/show_options.h"
#include "shell/window_placement.h"

namespace zem {
namespace {

TMainOptions Options(const std::string& keys) {
  TIniFile f;
  EXPECT_TRUE(f.LoadFromText(Utf8ToWide("[MAIN]\r\n" + keys)));
  return ReadMainOptions(f);
}

TEST(MainOptions, DefaultsAndWindowMode) {
  const TMainOptions d = Options("");
  EXPECT_EQ(d.scr_full, 1);
  EXPECT_EQ(d.WindowMode(), 0);
  EXPECT_EQ(d.caption, u"ZemViewer v5.6");
  EXPECT_TRUE(d.synch_permit_control);
  EXPECT_TRUE(d.run_app_on_exit_if_last_slide);
  EXPECT_EQ(d.startup_caption, u"Startup Window");
  const TMainOptions w = Options("opt_scr_full=0\r\n");
  EXPECT_EQ(w.WindowMode(), 2);
  EXPECT_EQ(w.scr_width, 640);
  EXPECT_EQ(w.scr_height, 480);
  EXPECT_EQ(Options("opt_scr_full=0\r\nopt_withoutborder=0\r\n").WindowMode(), 1);
}

TEST(MainOptions, CursorHiding) {
  EXPECT_EQ(CursorHidingFromOptions(Options("")).delay_ms, 0);
  EXPECT_FALSE(CursorHidingFromOptions(Options("")).hidden_at_start);
  EXPECT_TRUE(CursorHidingFromOptions(Options("opt_hidecursor=1\r\nopt_hc2_hideinterval=3\r\n")).hidden_at_start);
  EXPECT_EQ(CursorHidingFromOptions(Options("opt_hidecursor=1\r\nopt_hc2_hideinterval=3\r\n")).delay_ms, 0);
  const TCursorHiding h = CursorHidingFromOptions(Options("opt_hidecursor=2\r\nopt_hc2_hideinterval=3\r\nopt_hc2_hideonstartup=1\r\n"));
  EXPECT_EQ(h.delay_ms, 3000);
  EXPECT_TRUE(h.hidden_at_start);
}

const std::vector<TMonitorRect> kTwo = {{0, 0, 1280, 1024, false}, {1280, 0, 3200, 1080, true}};

TEST(WindowPlacement, MonitorChoice) {
  EXPECT_EQ(ChooseMonitor(kTwo, 1), kTwo[0]);
  EXPECT_EQ(ChooseMonitor(kTwo, 0), kTwo[1]);  // the primary
  EXPECT_EQ(ChooseMonitor(kTwo, 3), kTwo[1]);
  const std::vector<TMonitorRect> one = {{0, 0, 800, 600, true}};
  EXPECT_EQ(ChooseMonitor(one, 2), one[0]);
  const std::vector<TMonitorRect> none_primary = {{0, 0, 800, 600, false}, {800, 0, 1600, 600, false}};
  EXPECT_EQ(ChooseMonitor(none_primary, 0), none_primary[0]);
  const TMonitorRect d = DesktopRect(kTwo);
  EXPECT_EQ(d.left, 0);
  EXPECT_EQ(d.right, 3200);
  EXPECT_EQ(d.bottom, 1080);
}

TEST(WindowPlacement, ModesScalingAndCentring) {
  TPlacementInput in;
  in.mode = 2;
  TWindowPlacement p = PlaceWindow(kTwo, in);
  EXPECT_EQ(p.border, TBorderStyle::None);
  EXPECT_EQ(p.left, (1280 + 3200 - 640) / 2);
  EXPECT_EQ(p.top, (1080 - 480) / 2);
  EXPECT_EQ(p.width, 640);
  in.mode = 0;
  p = PlaceWindow(kTwo, in);
  EXPECT_TRUE(p.full_screen);
  EXPECT_EQ(p.client_width, 1920);
  EXPECT_EQ(p.left, 1280);
  // A 1920 x 1080 bordered window on a 1280 x 1024 monitor.
  in = {};
  in.width = 1920;
  in.height = 1080;
  in.mode = 1;
  in.display = 1;
  in.border_dx = 16;
  in.border_dy = 39;
  p = PlaceWindow(kTwo, in);
  EXPECT_EQ(p.border, TBorderStyle::Single);
  const double f = std::min((1024.0 - 39) / 1080, (1280.0 - 16) / 1920);
  EXPECT_EQ(p.client_width, static_cast<int>(std::lround(1920 * f)));
  EXPECT_EQ(p.client_height, static_cast<int>(std::lround(1080 * f)));
  EXPECT_EQ(p.width, p.client_width + 16);
  EXPECT_LE(p.width, 1280);
  EXPECT_EQ(p.left, (1280 - p.width) / 2);
  in.resize = true;
  EXPECT_EQ(PlaceWindow(kTwo, in).border, TBorderStyle::Sizeable);
  // Centring rounds toward zero for negative coordinates.
  const std::vector<TMonitorRect> left = {{-1001, 0, 0, 600, true}};
  in = {};
  in.mode = 2;
  EXPECT_EQ(PlaceWindow(left, in).left, (-1001 + 0 - 640) / 2);
  in.width = 0;  // a broken size does not divide by zero
  EXPECT_GE(PlaceWindow(left, in).client_width, 1);
}

TEST(MouseMonitor, HidesAfterTheDelayAndShowsOnMovesOverFourPixels) {
  uint32_t now = 1000;
  TMouseMonitor m([&] { return now; });
  std::vector<bool> changes;
  int enters = 0, leaves = 0;
  m.on_visibility = [&](bool hidden) { changes.push_back(hidden); };
  m.on_enter = [&] { ++enters; };
  m.on_leave = [&] { ++leaves; };
  m.SetHideDelay(3000);
  m.MouseMove(100, 100, true);
  EXPECT_EQ(enters, 1);
  EXPECT_TRUE(m.TimerRunning());
  now += 3000;
  m.Check(true);
  EXPECT_FALSE(m.Hidden());
  now += 1;
  m.Check(true);
  EXPECT_TRUE(m.Hidden());
  m.MouseMove(103, 97, true);  // 3 pixels: stays hidden
  EXPECT_TRUE(m.Hidden());
  m.MouseMove(105, 100, true);
  EXPECT_FALSE(m.Hidden());
  EXPECT_EQ(changes, (std::vector<bool>{true, false}));
  m.Check(false);
  EXPECT_EQ(leaves, 1);
  EXPECT_FALSE(m.TimerRunning());
}

TEST(MouseMonitor, HiddenWithoutDelayStaysHidden) {
  uint32_t now = 0;
  TMouseMonitor m([&] { return now; });
  m.SetHideDelay(-5);
  EXPECT_EQ(m.HideDelay(), 0);
  m.Hide();
  m.MouseMove(500, 500, true);
  now += 100000;
  m.Check(true);
  EXPECT_TRUE(m.Hidden());
}

TEST(ScreenSaver, CopiesSwitchesAndTheInstanceLock) {
  EXPECT_TRUE(IsScreenSaverCopy("/opt/show/Show.SCR"));
  EXPECT_FALSE(IsScreenSaverCopy("/opt/show.scr/show"));
  TCommandLine c;
  c.ParseText("player -display 2");
  EXPECT_FALSE(ScreenSaverRunRequested(c));
  c.AddToken("/S");
  EXPECT_TRUE(ScreenSaverRunRequested(c));
  const std::string name = InstanceName("/opt/show/show.scr");
  EXPECT_EQ(name.rfind("Instance_ID", 0), 0u);
  EXPECT_EQ(name.substr(name.size() - 8), "show.scr");
  EXPECT_NE(name, InstanceName("/opt/other/show.scr"));

  const std::string dir = ::testing::TempDir();
  const std::string own = "/opt/zem-test-" + std::to_string(getpid()) + "/show.scr";
  {
    TInstanceLock first(own, dir);
    EXPECT_TRUE(first.Acquired());
    TInstanceLock second(own, dir);
    EXPECT_FALSE(second.Acquired());
  }
  TInstanceLock again(own, dir);
  EXPECT_TRUE(again.Acquired());
  std::filesystem::remove(again.Path());
}

}  // namespace
}  // namespace zem
