#include "shell/viewer.h"

#include <cstdio>
#include <cstdlib>

#include "engine/engine.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "foundation/process.h"
#include "model/zem_video.h"
#include "render/draw_device.h"
#include "script/ini_file.h"
#include "shell/command_line.h"

namespace zem {

TWindowMode WindowModeFromScript(const TIniStorage& script, const TMonitorRect& primary) {
  TWindowMode m;
  if (script.ReadInteger(u"Main", u"opt_scr_full", 1) == 1) {
    m.mode = 0;
    m.width = primary.Width();
    m.height = primary.Height();
    return m;
  }
  m.width = script.ReadInteger(u"Main", u"opt_scr_width", 640);
  m.height = script.ReadInteger(u"Main", u"opt_scr_height", 480);
  m.mode = script.ReadBool(u"Main", u"opt_withoutborder", true) ? 2 : 1;
  return m;
}

TZemShowViewer::TZemShowViewer(TZemApplication& app, TViewerForm& form) : app_(app), form_(form) {}

TZemShowViewer::~TZemShowViewer() { StopEngine(); }

bool TZemShowViewer::EngineRunning() const { return engine_ && engine_->IsStarted(); }

void TZemShowViewer::CreateEngine(const TIniStorage& script) {
  std::unique_ptr<TDrawDevice> device = form_.MakeDrawDevice();
  device_ = device.get();
  engine_ = std::make_unique<TZemEngine>(&app_, device.release(), uint8_t{0}, true, true);
  engine_->SetOnFirstFrame([this] { HandleFirstFrame(); });
  engine_->SetOnPosition([this](int32_t t, bool end, int32_t d) { HandlePosition(t, end, d); });
  engine_->SetOnEvent([this](TZemEventData& data) { HandleEngineEvent(data); });
  engine_->SetBackgroundOverride(false, background_colour);
  engine_->SetBarriersEnabled(barriers_enabled);
  engine_->SetCoverFit(cover);
  TZemSourceOptions options;
  options.screenSaver = screen_saver;
  engine_->SetSourceOptions(options);
  if (engine_setup) engine_setup(*engine_);
  // The window gets the show's mode before the engine reports it, so the first frame is drawn
  // at the right size.
  const std::vector<TMonitorRect> monitors = form_.Monitors();
  const TWindowMode mode = WindowModeFromScript(script, ChooseMonitor(monitors, 0));
  HandleWindowMode(mode.width, mode.height, mode.mode);
}

void TZemShowViewer::Open(const TFileAccessor* files, const TIniStorage& script, int32_t start_time) {
  if (engine_stopped_) return;
  if (!engine_) CreateEngine(script);
  auto copy = std::make_unique<TIniFile>();
  copy->Assign(script);
  engine_->OpenShow(files ? files->Clone() : nullptr, std::move(copy), start_time);
  if (!engine_->IsStarted()) engine_->Start();
}

void TZemShowViewer::Open(const TFileAccessor* files, std::shared_ptr<const TIniStorage> script, int32_t start_time) {
  if (engine_stopped_ || !script) return;
  if (!engine_) CreateEngine(*script);
  engine_->OpenShow(files ? files->Clone() : nullptr, TSharedScript{std::move(script)}, start_time);
  if (!engine_->IsStarted()) engine_->Start();
}

void TZemShowViewer::SetPaused(bool paused) {
  if (paused == paused_) return;
  paused_ = paused;
  CurrentLog().WriteBool("TZemShowViewer.SetPaused: ", paused);
  if (engine_) engine_->SetPaused(paused);
}

void TZemShowViewer::Seek(int64_t time) {
  if (time < 0) return;
  const int32_t t = time > 2147483647 ? 2147483647 : static_cast<int32_t>(time);
  CurrentLog().WriteInt("TZemShowViewer.Seek: ", t);
  time_ = t;
  if (engine_) engine_->Seek(t);
}

void TZemShowViewer::SeekAndPause(int64_t time, bool paused) {
  Seek(time);
  SetPaused(paused);
}

void TZemShowViewer::Mouse(uint8_t kind, int32_t x, int32_t y, int32_t state, uint8_t flag) {
  if (!EngineRunning()) return;
  engine_->PostMouse(TMouseRecord{kind, x, y, state, flag});
}

void TZemShowViewer::MouseAction(uint8_t kind, int32_t x, int32_t y, const TZemActionInfo& action, int32_t state,
                                 uint8_t flag) {
  if (!EngineRunning()) return;
  engine_->PostMouse(TMouseRecord{kind, x, y, state, flag}, action);
}

void TZemShowViewer::ShowHelp() {
  if (EngineRunning()) engine_->ShowHelp();
}

void TZemShowViewer::CloseDialog() {
  if (EngineRunning()) engine_->CloseDialog();
}

void TZemShowViewer::Capture() {
  if (EngineRunning()) engine_->Capture();
}

bool TZemShowViewer::StopEngine(int32_t wait_ms) {
  engine_stopped_ = true;
  if (!engine_) return true;
  if (first_frame_tick_ != 0)
    LogLine("TZemShowViewer: frames drawn " + std::to_string(engine_->FramesDrawn()) + " in " +
            std::to_string(TimeGetTime() - first_frame_tick_) + " ms since the first frame");
  std::vector<std::string> stats = TFrameStats::Describe(engine_->FrameStatistics().Summary());
  if (T3DDrawer* drawer = engine_->DrawController() ? engine_->DrawController()->Drawer() : nullptr) {
    char line[120];
    std::snprintf(line, sizeof line, "texture uploads: %.0f ms in all, at most %.1f ms in one frame",
                  drawer->Backend().UploadMsTotal(), drawer->Backend().UploadMsMaxFrame());
    stats.push_back(line);
  }
  if (const TVideoFrameTotals v = VideoFrameTotals(); v.drawn > 0)
    stats.push_back("video frames: " + std::to_string(v.drawn) + " drawn, " + std::to_string(v.missed) +
                    " not the frame of their show time");
  stats.push_back("peak memory: " + std::to_string(PeakResidentBytes() >> 20) + " MiB");
  for (const std::string& line : stats) {
    LogLine("TZemShowViewer: " + line);
    if (print_stats) std::printf("%s\n", line.c_str());
  }
  if (print_stats) std::fflush(stdout);
  if (const char* dump = std::getenv("ZEM_FRAME_DUMP")) {
    if (FILE* f = std::fopen(dump, "w")) {
      for (const TFrameRecord& r : engine_->FrameStatistics().Records())
        std::fprintf(f, "%.1f %.1f %.1f %d\n", r.showTime, r.presentedAt, r.lateness, int(r.picture));
      std::fclose(f);
    }
  }
  // Reports still queued for the old engine are dropped with its message id.
  engine_->SetOnFirstFrame({});
  engine_->SetOnPosition({});
  engine_->SetOnEvent({});
  if (wait_ms >= 0) {
    // The process is ending: its threads are stopped, but a large show's objects are not freed
    // one by one (seconds for 100,000 of them). A thread still inside the graphics driver or a
    // slide keeps the engine and its window until the process ends.
    engine_left_running_ = !engine_->StopWithin(wait_ms);
    if (engine_left_running_)
      LogLine("TZemShowViewer: the engine did not stop within " + std::to_string(wait_ms) +
              " ms (a frame or a slide is still being made); it is left to the end of the process");
    (void)engine_.release();
    device_ = nullptr;
    return !engine_left_running_;
  }
  engine_.reset();
  device_ = nullptr;
  return true;
}

void TZemShowViewer::HandleFirstFrame() {
  if (first_frame_tick_ == 0) {
    first_frame_tick_ = TimeGetTime();
    CurrentLog().WriteInt("TZemShowViewer: first frame, ms since the program started: ", first_frame_tick_);
  }
  if (!form_.FormVisible()) form_.ShowForm();
}

void TZemShowViewer::HandlePosition(int32_t time, bool end, int32_t duration) {
  time_ = time;
  duration_ = duration;
  if (on_position) on_position(time, end);
}

void TZemShowViewer::HandleEngineEvent(TZemEventData& data) {
  switch (data.code) {
    case kUiFirstFrame:
      HandleFirstFrame();
      break;
    case kUiPosition:
      HandlePosition(data.Value(1), data.Value(3) != 0, data.Value(2));
      break;
    case kUiAction: {
      const TZemActionInfo action{static_cast<TZemActionKind>(data.Value(0)), data.Value(1), data.Text()};
      if (on_action) on_action(action);
      break;
    }
    case kUiCaptured: {
      auto* picture = dynamic_cast<TPictureValue*>(data.objectValue.get());
      if (picture && on_image) on_image(picture->picture);
      break;
    }
    case kUiWindowMode:
      HandleWindowMode(data.Value(0), data.Value(1), data.Value(2));
      break;
    default:
      break;
  }
}

void TZemShowViewer::HandleWindowMode(int32_t width, int32_t height, int32_t mode) {
  TPlacementInput in = PlacementFromCommands(form_.Commands(), width, height, mode);
  if (mode == 1) {
    const TBorderStyle border = in.resize ? TBorderStyle::Sizeable : TBorderStyle::Single;
    form_.FrameSize(border, in.border_dx, in.border_dy);
  }
  placement_ = PlaceWindow(form_.Monitors(), in);
  form_.ApplyPlacement(placement_);
  if (!device_) return;
  const TMonitorRect client = form_.ClientRect();
  device_->SetBounds({client.left, client.top, client.right, client.bottom},
                     {static_cast<float>(client.left), static_cast<float>(client.top)}, placement_.full_screen);
  device_->has_restore_rect = true;
  device_->restore_rect = {placement_.left, placement_.top, placement_.left + placement_.width,
                           placement_.top + placement_.height};
}

}  // namespace zem
