// The viewer between the main window and the engine: what it does with each report of the
// engine, where it puts the window, and a real engine on a headless device driven through it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "engine/engine.h"
#include "foundation/clock.h"
#include "render/draw_device.h"
#include "render/gl_device.h"
#include "script/ini_file.h"
#include "shell/command_line.h"
#include "shell/viewer.h"
#include "transitions/filter_factory.h"

namespace zem {
namespace test {
void PinDriverModules();
}
namespace {

// A main window that records what the viewer asked of it. One 1280 x 1024 monitor.
class TFakeForm : public TViewerForm {
 public:
  bool visible = false;
  int shows = 0;
  int32_t frame_dx = 10, frame_dy = 30;
  std::vector<TMonitorRect> monitors{{0, 0, 1280, 1024, true}};
  std::vector<TWindowPlacement> placements;
  TCommandLine command_line;
  bool headless_device = false;

  bool FormVisible() const override { return visible; }
  void ShowForm() override {
    visible = true;
    ++shows;
  }
  void FrameSize(TBorderStyle border, int32_t& dx, int32_t& dy) const override {
    dx = border == TBorderStyle::None ? 0 : frame_dx;
    dy = border == TBorderStyle::None ? 0 : frame_dy;
  }
  std::vector<TMonitorRect> Monitors() const override { return monitors; }
  void ApplyPlacement(const TWindowPlacement& p) override { placements.push_back(p); }
  TMonitorRect ClientRect() const override {
    const TWindowPlacement& p = placements.back();
    return {p.left, p.top, p.left + p.client_width, p.top + p.client_height, true};
  }
  const TCommandsStorage& Commands() const override { return command_line.Commands(); }
  std::unique_ptr<TDrawDevice> MakeDrawDevice() override {
    if (headless_device) return THeadlessDevice::Create(160, 120);
    return nullptr;
  }
};

std::unique_ptr<TIniFile> Script(const std::u16string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromText(text));
  return ini;
}

TEST(ViewerReports, FirstFramePositionActionAndPicture) {
  TZemApplication app;
  TFakeForm form;
  TZemShowViewer viewer(app, form);
  std::vector<std::pair<int32_t, bool>> positions;
  std::vector<TZemActionInfo> actions;
  int pictures = 0;
  viewer.on_position = [&](int32_t t, bool end) { positions.push_back({t, end}); };
  viewer.on_action = [&](const TZemActionInfo& a) { actions.push_back(a); };
  viewer.on_image = [&](TRef<TDrawPicture> p) { pictures += p ? 1 : 0; };

  TZemEventData first(kUiFirstFrame, {});
  viewer.HandleEngineEvent(first);
  viewer.HandleEngineEvent(first);
  EXPECT_EQ(form.shows, 1) << "a visible window is not shown again";

  TZemEventData position(kUiPosition, {7, 4500, 12000, 0});
  viewer.HandleEngineEvent(position);
  TZemEventData end(kUiPosition, {7, 12000, 12000, 1});
  viewer.HandleEngineEvent(end);
  ASSERT_EQ(positions.size(), 2u);
  EXPECT_EQ(positions[0], std::make_pair(4500, false));
  EXPECT_EQ(positions[1], std::make_pair(12000, true));
  EXPECT_EQ(viewer.Time(), 12000);
  EXPECT_EQ(viewer.Duration(), 12000);

  TZemEventData action(kUiAction, {static_cast<int32_t>(TZemActionKind::OpenWebsite), 3},
                       std::make_unique<TStrValue>(u"example.org"));
  viewer.HandleEngineEvent(action);
  TZemEventData plain(kUiAction, {static_cast<int32_t>(TZemActionKind::NextSlide), 0});
  viewer.HandleEngineEvent(plain);
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0].kind, TZemActionKind::OpenWebsite);
  EXPECT_EQ(actions[0].number, 3);
  EXPECT_EQ(actions[0].text, u"example.org");
  EXPECT_EQ(actions[1].kind, TZemActionKind::NextSlide);
  EXPECT_TRUE(actions[1].text.empty());

  // A capture without a picture is not handed on.
  TZemEventData none(kUiCaptured, {});
  viewer.HandleEngineEvent(none);
  EXPECT_EQ(pictures, 0);
}

TEST(ViewerReports, WindowModePlacesTheWindowOnTheChosenMonitor) {
  TZemApplication app;
  TFakeForm form;
  form.command_line.ParseText("player -display 2");  // one monitor: the primary is used
  TZemShowViewer viewer(app, form);

  TZemEventData windowed(kUiWindowMode, {320, 240, 2});
  viewer.HandleEngineEvent(windowed);
  ASSERT_EQ(form.placements.size(), 1u);
  const TWindowPlacement& p = form.placements.back();
  EXPECT_EQ(p.border, TBorderStyle::None);
  EXPECT_EQ(p.client_width, 320);
  EXPECT_EQ(p.left, 480);
  EXPECT_EQ(p.top, 392);

  // A bordered show larger than the monitor is scaled to fit with its frame, then centred.
  TZemEventData large(kUiWindowMode, {1920, 1080, 1});
  viewer.HandleEngineEvent(large);
  const TWindowPlacement& q = form.placements.back();
  EXPECT_EQ(q.border, TBorderStyle::Single);
  EXPECT_EQ(q.client_width, 1270);  // f = min(994 / 1080, 1270 / 1920)
  EXPECT_EQ(q.width, 1280);
  EXPECT_EQ(q.left, 0);

  TZemEventData full(kUiWindowMode, {800, 600, 0});
  viewer.HandleEngineEvent(full);
  EXPECT_TRUE(form.placements.back().full_screen);
  EXPECT_EQ(form.placements.back().client_width, 1280);
  EXPECT_EQ(form.placements.back().client_height, 1024);
}

TEST(ViewerRequests, WithoutAnEngineOnlyTheStateChanges) {
  TZemApplication app;
  TFakeForm form;
  TZemShowViewer viewer(app, form);
  EXPECT_TRUE(viewer.Paused());
  viewer.SetPaused(false);
  EXPECT_FALSE(viewer.Paused());
  viewer.Seek(2500);
  EXPECT_EQ(viewer.Time(), 2500);
  viewer.Seek(-1);  // ignored
  EXPECT_EQ(viewer.Time(), 2500);
  viewer.SeekAndPause(900, true);
  EXPECT_EQ(viewer.Time(), 900);
  EXPECT_TRUE(viewer.Paused());
  // Dropped: no engine thread runs.
  viewer.Mouse(kMouseMove, 1, 1, 0, 0);
  viewer.Capture();
  viewer.ShowHelp();
  viewer.CloseDialog();
  EXPECT_FALSE(viewer.EngineRunning());
}

TEST(ViewerWindowMode, FromTheMainSection) {
  const TMonitorRect primary{0, 0, 1920, 1080, true};
  TWindowMode m = WindowModeFromScript(*Script(u"[Main]\n"), primary);
  EXPECT_EQ(m.mode, 0);
  EXPECT_EQ(m.width, 1920);
  EXPECT_EQ(m.height, 1080);
  m = WindowModeFromScript(*Script(u"[Main]\nopt_scr_full=0\n"), primary);
  EXPECT_EQ(m.mode, 2);
  EXPECT_EQ(m.width, 640);
  EXPECT_EQ(m.height, 480);
  m = WindowModeFromScript(*Script(u"[main]\nopt_scr_full=0\nopt_withoutborder=0\nopt_scr_width=800\n"), primary);
  EXPECT_EQ(m.mode, 1);
  EXPECT_EQ(m.width, 800);
  EXPECT_EQ(m.height, 480);
}

// A real engine on a headless device, driven only through the viewer.
class ViewerEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    T3DEngineGL::Instance().SetUiThread(std::this_thread::get_id());
    InstallTransitionFilters();
  }
  bool PumpUntil(const std::function<bool()>& done, uint32_t timeout_ms = 5000) {
    const uint32_t start = TimeGetTime();
    while (TimeGetTime() - start < timeout_ms) {
      app_.ProcessMessages();
      T3DEngineGL::Instance().RunPendingRequests();
      if (done()) return true;
      SleepMs(2);
    }
    return done();
  }
  TZemApplication app_;
};

TEST_F(ViewerEngine, OpenShowsTheWindowAndReportsPositionsOfSeeksAndTheEnd) {
  TFakeForm form;
  form.headless_device = true;
  // Kept to the end: the GL driver then stays loaded until its modules are pinned below.
  auto probe = THeadlessDevice::Create(16, 16);
  if (!probe) GTEST_SKIP() << "no offscreen video driver";
  TZemShowViewer viewer(app_, form);
  viewer.engine_setup = [](TZemEngine& e) { e.SetMusicDeviceFactory([] { return std::unique_ptr<TMusicPlayer>(); }); };
  std::vector<std::pair<int32_t, bool>> positions;
  viewer.on_position = [&](int32_t t, bool end) { positions.push_back({t, end}); };

  auto script = Script(
      u"[Main]\nopt_scr_full=0\nopt_scr_width=160\nopt_scr_height=120\nopt_slidescount=2\nopt_fx_enable=0\n"
      u"opt_synchpos1=3000\nopt_synchpos2=6000\nopt_repeat=close\nopt_pausewheninactive=0\n"
      u"[Slide1]\nPers_Fon=1\nbstyle=1\nbname=255\n[Slide2]\nPers_Fon=1\nbstyle=1\nbname=65280\n");
  viewer.Open(nullptr, *script, 0);
  ASSERT_NE(viewer.Engine(), nullptr);
  test::PinDriverModules();
  // The window mode from the main section comes first, before the engine reports anything.
  ASSERT_FALSE(form.placements.empty());
  EXPECT_EQ(form.placements.front().client_width, 160);
  EXPECT_TRUE(viewer.EngineRunning());
  ASSERT_TRUE(PumpUntil([&] { return form.visible; })) << "no first frame";

  viewer.Seek(4000);
  ASSERT_TRUE(PumpUntil([&] { return !positions.empty() && positions.back().first == 4000; }));
  EXPECT_TRUE(viewer.Paused());
  EXPECT_FALSE(viewer.Engine()->IsActive());

  // Playing to the end of a show that closes: one report with the end flag, at the duration.
  viewer.Seek(5800);
  viewer.SetPaused(false);
  ASSERT_TRUE(PumpUntil([&] { return !positions.empty() && positions.back().second; }));
  EXPECT_EQ(positions.back().first, 6000);
  viewer.StopEngine();
  EXPECT_EQ(viewer.Engine(), nullptr);
  // Requests after the stop are dropped.
  viewer.Open(nullptr, *script, 0);
  EXPECT_EQ(viewer.Engine(), nullptr);
}

}  // namespace
}  // namespace zem
