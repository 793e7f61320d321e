#include "shell/main_form.h"

#include <SDL.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "engine/engine.h"
#include "model/slide_source.h"
#include "foundation/assert.h"
#include "foundation/clock.h"
#include "foundation/log.h"
#include "package/unpack.h"
#include "platform/close_signals.h"
#include "platform/display.h"
#include "platform/key_codes.h"
#include "platform/message_box.h"
#include "platform/monitors.h"
#include "render/draw_device.h"
#include "render/gl_context.h"
#include "render/gl_device.h"
#include "script/ini_file.h"
#include "shell/form_rules.h"
#include "shell/run_command.h"
#include "shell/show_options.h"

namespace zem {

namespace {
// Hover coordinates that lie outside every object: hover states in the show end.
constexpr int32_t kOutside = 2147483647;
}  // namespace

TMainForm::TMainForm(const TProcessContext& context, TShowShell& shell)
    : context_(context), shell_(shell), monitor_([] { return TimeGetTime(); }) {}

TMainForm::~TMainForm() {
  shell_.error_box = [](const std::string& text) { ShowErrorBox(text); };
  Shutdown();
  // The engine's thread still draws into the window: it is not destroyed under it.
  if (ThreadsLeftRunning()) return;
  T3DEngineGL::Instance().SetWakeUp({});
  app_.SetWakeUp({});
  cursor_.reset();
  if (window_) SDL_DestroyWindow(window_);
}

bool TMainForm::Create() {
  // Video is started once and kept (the display test may have started it already); a display
  // that refuses for a moment (an X server resetting) is asked again.
  const uint32_t give_up = TimeGetTime() + kDisplayRetryMs;
  if (!StartVideo(kDisplayRetryMs)) {
    LogLine(std::string("TMainForm: SDL video failed: ") + SDL_GetError());
    return false;
  }
  wake_event_ = SDL_RegisterEvents(1);
  // The GL driver stays loaded until the process ends: destroying the last GL window would
  // otherwise unload it while it still holds its one-time allocations.
  if (SDL_GL_LoadLibrary(nullptr) != 0) LogLine(std::string("TMainForm: no GL library: ") + SDL_GetError());
  // The drawing context is made on this window later; its pixel format is chosen now.
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 8);
  for (;;) {
    window_ = SDL_CreateWindow(kDefaultCaption, 0, 0, 640, 480,
                               SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS);
    if (window_ || static_cast<int32_t>(TimeGetTime() - give_up) >= 0) break;
    SleepMs(50);
  }
  if (!window_) {
    LogLine(std::string("TMainForm: no window: ") + SDL_GetError());
    return false;
  }
  client_ = {0, 0, 640, 480, true};

  T3DEngineGL& gl = T3DEngineGL::Instance();
  gl.SetUiThread(std::this_thread::get_id());
  gl.SetWakeUp([this] { WakeUp(); });
  app_.SetWakeUp([this] { WakeUp(); });

  viewer_ = std::make_unique<TZemShowViewer>(app_, *this);
  viewer_->barriers_enabled = true;
  viewer_->cover = Commands().Has("cover");
  viewer_->print_stats = Commands().Has("stats");
  viewer_->screen_saver = IsScreenSaverCopy(context_.own_path);
  viewer_->on_position = [this](int32_t t, bool end) { ShowEnd(t, end); };
  viewer_->on_action = [this](const TZemActionInfo& a) { RunEngineAction(a); };
  viewer_->on_image = [](TRef<TDrawPicture>) {
    // Printing comes with the print dialog; until then the captured picture is dropped.
    LogLine("TMainForm: captured picture not printed (no print dialog)");
  };

  cursor_ = MakeSdlCursorControl();
  ConnectCursor(monitor_, *cursor_, [this] {
    TPointerHover h;
    if (TZemEngine* e = viewer_ ? viewer_->Engine() : nullptr) {
      const std::string cls = e->HoverClassName() ? e->HoverClassName() : "";
      h.over_nav_panel = cls == "NavPanel";
      h.over_link_not_button = e->HoverLink() && cls != "TZemButton";
    }
    return h;
  });
  monitor_.on_leave = [this] {
    if (viewer_) viewer_->Mouse(kMouseMove, kOutside, kOutside, 0, 0);
  };
  monitor_.on_enter = [] {};
  // Error boxes are owned by the main window.
  shell_.error_box = [this](const std::string& text) { ShowErrorBox(text, window_); };
  // Shows are opened with checks: the start-up window runs as a child process.
  shell_.startup_window = [this](TZemShowLocator& locator, const std::string& path, bool packaged) {
    if (!locator.Script() || !locator.Script()->ReadBool(u"Main", u"stw_show", false)) return true;
    return RunStartupChild(path, packaged);
  };
  return true;
}

void TMainForm::WakeUp() {
  // One queued wake-up event is enough: the loop runs every queue when it gets it.
  if (wake_pending_.exchange(true)) return;
  SDL_Event e;
  std::memset(&e, 0, sizeof e);
  e.type = wake_event_;
  if (SDL_PushEvent(&e) != 1) wake_pending_ = false;
}

bool TMainForm::OpenFirstShow(const std::string& path, const TStartPosition& start) {
  if (!OpenShowFile(path, !shell_.file_name_given, start)) return false;
  shell_.SetShowVersion(shell_.CurrentLocator()->ZemVersion());
  viewer_->SetPaused(false);
  creation_tick_ = TimeGetTime();
  return true;
}

bool TMainForm::OpenShowFile(const std::string& path, bool packaged, const TStartPosition& start) {
  if (!viewer_) return false;
  const bool paused_here = !viewer_->Paused();
  if (paused_here) viewer_->SetPaused(true);
  const bool opened =
      shell_.OpenShowFile(path, packaged, start.given && start.is_time, true, start.given ? start.value : 0);
  if (!opened) {
    if (paused_here) viewer_->SetPaused(false);
    return false;
  }
  // A show opened while the window shows (a presentation action, the start-up window's return)
  // takes the keyboard.
  if (FormVisible() && !(SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS)) SDL_RaiseWindow(window_);
  TZemShowLocator* locator = shell_.CurrentLocator();
  ZEM_ASSERT(locator && locator->Script());
  const TIniFile& script = *locator->Script();
  mapping_ = std::make_unique<TInputMappingClass>(script);
  if (window_) SDL_SetWindowTitle(window_, shell_.Caption().c_str());
  ApplyCursorHiding(script);

  const bool saver_copy = IsScreenSaverCopy(context_.own_path);
  if (!saver_.OnOpen(saver_copy, context_.AnotherInstanceRuns(), context_.command_line)) {
    if (paused_here) viewer_->SetPaused(false);
    return false;
  }

  std::string error;
  source_before_open_ = HasEngine() ? viewer_->Engine()->CurrentSource().get() : nullptr;
  // The engine and the time line read the locator's script itself (a large show is held once);
  // it gets its screen-saver keys before it is shared, and is read-only from then on.
  ApplyScreenSaverKeys(*locator->Script(), saver_copy);
  timeline_ = TSourceTimeline::FromLocator(*locator, saver_copy, &error);
  if (!timeline_) LogLine("TMainForm: the show's time line is broken: " + error);
  try {
    viewer_->Open(&locator->Accessor(), locator->SharedScript(), 0);
  } catch (const std::exception& e) {
    // A script the player cannot lay out (no design size, broken music list) fails the open.
    LogLine(std::string("TMainForm: the show cannot be played: ") + e.what());
    if (shell_.error_box) shell_.error_box(std::string(kErrCantLoadShow) + "\n" + e.what());
    if (paused_here) viewer_->SetPaused(false);
    return false;
  }
  const TStartPosition& pending = shell_.PendingStart();
  if (pending.given) {
    if (pending.is_time)
      viewer_->Seek(pending.value);
    else if (const TSourceTimeline* line = CurrentTimeline())
      viewer_->Seek(SlideStartTime(*line, static_cast<int32_t>(pending.value - 1)));
  }
  if (paused_here) viewer_->SetPaused(false);
  return true;
}

void TMainForm::ApplyCursorHiding(const TIniStorage& script) {
  const TCursorHiding hiding = CursorHidingFromOptions(ReadMainOptions(script));
  monitor_.SetHideDelay(hiding.delay_ms);
  if (hiding.hidden_at_start)
    monitor_.Hide();
  else
    monitor_.Show();
}

void TMainForm::Run() {
  while (!terminated_) {
    // A close signal may have come before the loop could be woken for it.
    CheckCloseSignal();
    // Sleep until an event arrives, or until the pointer monitor's next tick while it runs.
    int timeout = 500;
    if (monitor_.TimerRunning()) {
      const int32_t left = static_cast<int32_t>(next_tick_ - TimeGetTime());
      timeout = std::clamp<int32_t>(left, 0, static_cast<int32_t>(kMonitorTickMs));
    }
    SDL_Event e;
    if (SDL_WaitEventTimeout(&e, timeout)) {
      Dispatch(e);
      while (!terminated_ && SDL_PollEvent(&e)) Dispatch(e);
    }
    RunQueues();
    if (monitor_.TimerRunning() && static_cast<int32_t>(TimeGetTime() - next_tick_) >= 0) {
      next_tick_ = TimeGetTime() + kMonitorTickMs;
      monitor_.Check(PointerInside());
    }
  }
}

void TMainForm::CheckCloseSignal() {
  // A close signal asks once, like the close box.
  if (CloseSignal() == 0 || signal_seen_) return;
  signal_seen_ = true;
  LogLine("TMainForm: closing on signal " + std::to_string(CloseSignal()));
  CloseWindow();
}

void TMainForm::RunQueues() {
  wake_pending_ = false;
  T3DEngineGL::Instance().RunPendingRequests();
  app_.ProcessMessages();
  if (close_pending_) ProcessClose();
}

void TMainForm::ProcessClose() {
  close_pending_ = false;
  if (CloseQuery()) terminated_ = true;
}

void TMainForm::Shutdown() {
  if (viewer_) {
    viewer_->on_position = nullptr;
    viewer_->on_action = nullptr;
    viewer_->on_image = nullptr;
    viewer_->StopEngine(kEngineStopWaitMs);
  }
}

bool TMainForm::CloseQuery() {
  if (closing_ || busy_ > 0) return false;
  closing_ = true;
  TZemShowLocator* locator = shell_.CurrentLocator();
  bool allow = true;
  if (locator && locator->Script()) {
    const TIniFile& script = *locator->Script();
    const bool exit_requested = exit_requested_;
    const int32_t mode = RunOnExitMode(script, ended_at_end_, exit_requested);
    exit_requested_ = false;
    ended_at_end_ = false;
    const std::string file = RunOnExitFile(script);
    if (mode == 1) {
      RunCommand(file);
    } else if (mode == 2) {
      allow = !RunPresentation(*this, TZemActionInfo{TZemActionKind::RunPresentation, 0, Utf8ToWide(file)});
    } else if (exit_requested && !run_stack_.empty()) {
      const std::string text = run_stack_.back();
      run_stack_.pop_back();
      allow = !RunPresentation(*this, TZemActionInfo{TZemActionKind::RunPresentation, 0, Utf8ToWide(text)});
    }
    // A failed presentation asks to close again; this close answers it.
    close_pending_ = false;
  }
  if (allow) {
    Shutdown();
    SleepMs(300);
  }
  closing_ = false;
  return allow;
}

const TSourceTimeline* TMainForm::CurrentTimeline() const {
  TRef<TZemSource> source = HasEngine() ? viewer_->Engine()->CurrentSource() : TRef<TZemSource>();
  if (!source || source.get() == source_before_open_) return timeline_.get();
  if (!engine_timeline_ || engine_timeline_->Source() != source.get())
    engine_timeline_ = std::make_unique<TSourceTimeline>(source);
  return engine_timeline_.get();
}

void TMainForm::ShowEnd(int32_t, bool end) {
  const TSourceTimeline* line = CurrentTimeline();
  if (!end || closing_ || !line || !line->ClosesAtEnd()) return;
  ended_at_end_ = true;
  exit_requested_ = true;
  CloseWindow();
}

void TMainForm::RunEngineAction(const TZemActionInfo& action) {
  if (engine_action_running_) return;
  engine_action_running_ = true;
  ExecuteAction(*this, action);
  engine_action_running_ = false;
}

// --- events ---

void TMainForm::Dispatch(const SDL_Event& e) {
  if (e.type == wake_event_) return;  // the queues run after every batch of events
  switch (e.type) {
    case SDL_QUIT:
      if (CloseSignal() != 0) CheckCloseSignal();
      else CloseWindow();
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      HandleKeyEvent(e);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      HandleButtonEvent(e);
      break;
    case SDL_MOUSEMOTION:
      if (e.motion.windowID == SDL_GetWindowID(window_)) HandleMotion(e.motion.x, e.motion.y);
      break;
    case SDL_MOUSEWHEEL:
      HandleWheelEvent(e);
      break;
    case SDL_WINDOWEVENT:
      HandleWindowEvent(e);
      break;
    default:
      break;
  }
}

void TMainForm::HandleKeyEvent(const SDL_Event& e) {
  if (!mapping_) return;
  const int key = VirtualKeyFromSdl(e.key.keysym.sym);
  if (key == 0) return;
  const uint8_t mods = ModifierStateFromSdl(e.key.keysym.mod, SDL_GetMouseState(nullptr, nullptr));
  HandleKey(*this, *mapping_, mods, key, e.type == SDL_KEYDOWN ? kKeyDown : kKeyUp);
}

void TMainForm::HandleButtonEvent(const SDL_Event& e) {
  if (!mapping_ || e.button.windowID != SDL_GetWindowID(window_)) return;
  const uint8_t button = MapMouseButton(e.button.button);
  if (button == 0) return;
  const uint8_t mods = PointerModifiers();
  for (uint8_t kind : MouseEventKinds(e.type == SDL_MOUSEBUTTONDOWN, e.button.clicks, button))
    HandleMouseButton(*this, *mapping_, mods, e.button.x, e.button.y, kind, button);
}

void TMainForm::HandleMotion(int32_t x, int32_t y) {
  monitor_.MouseMove(x, y, PointerInside());
  if (!mapping_ || Busy()) return;
  const uint8_t mods = PointerModifiers();
  if (viewer_) viewer_->Mouse(kMouseMove, x, y, mods, 0);
  // Screen savers and "opt_exitonmove" end the show on a pointer movement.
  if (mapping_->HasMoveDetector()) {
    const TZemActionInfo action = mapping_->MouseAction(mods, x, y, kMouseMove, 0);
    if (!action.IsNone()) ExecuteAction(*this, action);
  }
}

void TMainForm::HandleWheelEvent(const SDL_Event& e) {
  int32_t steps = e.wheel.y;
  if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) steps = -steps;
  HandleWheel(*this, wheel_, WheelUnitsFromSdl(steps), PointerModifiers(), !shell_.WheelEnabled());
}

void TMainForm::HandleWindowEvent(const SDL_Event& e) {
  if (!window_ || e.window.windowID != SDL_GetWindowID(window_)) return;
  if (viewer_ && viewer_->Engine())
    if (auto* device = dynamic_cast<TSdlWindowDevice*>(viewer_->Device())) device->HandleEvent(e);
  switch (e.window.event) {
    case SDL_WINDOWEVENT_CLOSE:
      CloseWindow();
      break;
    case SDL_WINDOWEVENT_ENTER:
    case SDL_WINDOWEVENT_LEAVE:
    case SDL_WINDOWEVENT_FOCUS_GAINED:
    case SDL_WINDOWEVENT_FOCUS_LOST:
      next_tick_ = TimeGetTime() + kMonitorTickMs;
      monitor_.Check(e.window.event == SDL_WINDOWEVENT_LEAVE ? false : PointerInside());
      break;
    default:
      break;
  }
}

bool TMainForm::PointerInside() const { return window_ && SDL_GetMouseFocus() == window_; }

// --- action host ---

int64_t TMainForm::CurrentTime() const { return viewer_ ? viewer_->Time() : 0; }
bool TMainForm::Paused() const { return viewer_ ? viewer_->Paused() : true; }
void TMainForm::SetPaused(bool paused) {
  if (viewer_) viewer_->SetPaused(paused);
}
void TMainForm::Seek(int64_t time) {
  if (viewer_) viewer_->Seek(time);
}
bool TMainForm::AtBarrier() const { return HasEngine() && viewer_->Engine()->StoppedAtBarrier(); }
void TMainForm::ReleaseBarrier() {
  if (HasEngine()) viewer_->Engine()->ClearStoppedAtBarrier();
}
void TMainForm::Capture() {
  if (viewer_) viewer_->Capture();
}

void TMainForm::RunCommand(const std::string& text) {
  TRunOptions options;
  BindTopmostWindow(options, window_);
  // The refusal of a prohibited command is a plain notice owned by the main window.
  options.message_box = [this](const std::string& text) { ShowNoticeBox(text, window_); };
  RunCommandText(text, context_.own_folder, options);
}

bool TMainForm::FileExists(const std::string& path) const {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TMainForm::ReadPackageVersion(const std::string& path, std::string& version) const {
  return PackageVersion(path, version);
}

void TMainForm::ErrorBox(const std::string& text) {
  if (shell_.error_box) shell_.error_box(text);
}

std::string TMainForm::ExeFnOption() const {
  TZemShowLocator* locator = shell_.CurrentLocator();
  if (!locator || !locator->Script()) return std::string();
  return WideToUtf8(locator->Script()->ReadString(u"Main", u"opt_exefn", u""));
}

bool TMainForm::HasEngine() const { return viewer_ && viewer_->Engine(); }

bool TMainForm::DialogHoldsPlayback() const {
  return HasEngine() && viewer_->Engine()->DialogHoldsPlayback();
}

void TMainForm::CloseTopDialog() {
  if (viewer_) viewer_->CloseDialog();
}

void TMainForm::ShowHelp() {
  if (viewer_) viewer_->ShowHelp();
}

uint32_t TMainForm::MsSinceWindowCreated() const {
  return creation_tick_ == 0 ? 0 : TimeGetTime() - creation_tick_;
}

void TMainForm::RefreshPointer() { monitor_.Check(PointerInside()); }

void TMainForm::SendMouseToEngine(uint8_t kind, int32_t x, int32_t y, const TZemActionInfo& action, uint8_t state,
                                  uint8_t button) {
  if (!viewer_) return;
  if (action.IsNone())
    viewer_->Mouse(kind, x, y, state, button);
  else
    viewer_->MouseAction(kind, x, y, action, state, button);
}

// --- viewer form ---

void TMainForm::HideForm() {
  if (window_) SDL_HideWindow(window_);
}

bool TMainForm::FormVisible() const { return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_SHOWN) != 0; }

void TMainForm::ShowForm() {
  if (!window_) return;
  SDL_ShowWindow(window_);
  SDL_RaiseWindow(window_);
  next_tick_ = TimeGetTime() + kMonitorTickMs;
  monitor_.Check(PointerInside());
}

void TMainForm::FrameSize(TBorderStyle border, int32_t& dx, int32_t& dy) const {
  dx = dy = 0;
  if (!window_ || border == TBorderStyle::None) return;
  // The frame is known only for a window that has one; a borderless window is given its
  // border for the measurement and set back by the placement.
  int top = 0, left = 0, bottom = 0, right = 0;
  if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
    dx = left + right;
    dy = top + bottom;
  }
}

std::vector<TMonitorRect> TMainForm::Monitors() const { return EnumerateMonitors(); }

void TMainForm::ApplyPlacement(const TWindowPlacement& p) {
  if (!window_) return;
  SDL_SetWindowBordered(window_, p.border == TBorderStyle::None ? SDL_FALSE : SDL_TRUE);
  SDL_SetWindowResizable(window_, p.border == TBorderStyle::Sizeable ? SDL_TRUE : SDL_FALSE);
  border_left_ = border_top_ = 0;
  if (p.border != TBorderStyle::None) {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window_, &top, &left, &bottom, &right) == 0) {
      border_left_ = left;
      border_top_ = top;
    }
  }
  // SDL places and sizes the client area.
  const int32_t x = p.left + border_left_, y = p.top + border_top_;
  SDL_SetWindowSize(window_, p.client_width, p.client_height);
  SDL_SetWindowPosition(window_, x, y);
  client_ = {x, y, x + p.client_width, y + p.client_height, p.target.primary};
  LogLine("TMainForm: window " + std::to_string(p.client_width) + "x" + std::to_string(p.client_height) + " at " +
          std::to_string(x) + "," + std::to_string(y));
}

TMonitorRect TMainForm::ClientRect() const { return client_; }

std::unique_ptr<TDrawDevice> TMainForm::MakeDrawDevice() {
  if (!window_) return nullptr;
  return std::make_unique<TSdlWindowDevice>(window_);
}

}  // namespace zem
