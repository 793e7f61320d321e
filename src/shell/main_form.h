// The main window: an SDL window holding the viewer, the event loop of the user-interface
// thread, the key, button and wheel handlers, the pointer, opening shows, the start-up child
// process, the run stack and closing.
//
// Threads: everything here runs on the user-interface thread (the thread that made the form).
// Other threads only wake the loop: the engine through the application queue, the graphics
// device layer through its request queue; both post one SDL user event.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/application.h"
#include "platform/cursor.h"
#include "shell/input_handlers.h"
#include "shell/mouse_monitor.h"
#include "shell/process_context.h"
#include "shell/screen_saver.h"
#include "shell/show_shell.h"
#include "shell/source_timeline.h"
#include "shell/viewer.h"

struct SDL_Window;
union SDL_Event;

namespace zem {

class TMainForm : public TInputHost, public TViewerForm {
 public:
  // Interval of the pointer monitor's timer while the pointer is over the window.
  static constexpr uint32_t kMonitorTickMs = 20;
  // How long closing waits for the engine and its loader before leaving them to the end of the
  // process (a frame can take seconds; closing must not wait for it), and how long a display
  // that refuses the window is asked again.
  static constexpr int32_t kEngineStopWaitMs = 150;
  static constexpr int32_t kDisplayRetryMs = 2000;

  TMainForm(const TProcessContext& context, TShowShell& shell);
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // Makes the hidden window, the viewer and the pointer monitor; false (with the reason in the
  // log) when no window can be made.
  bool Create();
  // The first open of the process; on success playback starts. False ends the process.
  bool OpenFirstShow(const std::string& path, const TStartPosition& start);
  // Runs the event loop until the window closes.
  void Run();
  // Takes the window off the screen once the loop has ended (a closed window is hidden).
  void HideForm();
  // At the end of the process: stops the engine's threads (waiting at most kEngineStopWaitMs)
  // without freeing the show; the process then ends without freeing the form (QuickExit).
  void Shutdown();
  // Threads that did not end at Shutdown still use the window.
  bool ThreadsLeftRunning() const { return viewer_ && viewer_->EngineLeftRunning(); }
  int ExitCode() const { return exit_code_; }
  TZemShowViewer* Viewer() const { return viewer_.get(); }

  // The close query: true when the window may close now.
  bool CloseQuery();
  // The viewer's position callback: the end of a show that closes at its end closes the window.
  void ShowEnd(int32_t time, bool end);

  // --- TActionHost ---
  bool Busy() const override { return busy_ > 0; }
  bool HasViewer() const override { return viewer_ != nullptr; }
  int64_t CurrentTime() const override;
  bool Paused() const override;
  void SetPaused(bool paused) override;
  void Seek(int64_t time) override;
  bool AtBarrier() const override;
  void ReleaseBarrier() override;
  void Capture() override;
  const TSlideTimeline* Timeline() const override { return CurrentTimeline(); }
  void RequestExit() override { exit_requested_ = true; }
  void CloseWindow() override { close_pending_ = true; }
  void SetExitCode(int code) override { exit_code_ = code; }
  void RunCommand(const std::string& text) override;
  bool FileExists(const std::string& path) const override;
  bool ReadPackageVersion(const std::string& path, std::string& version) const override;
  void ErrorBox(const std::string& text) override;
  std::string ShowPath() const override { return shell_.ShowPath(); }
  std::string ShowFolder() const override { return shell_.ShowFolder(); }
  std::string ShowVersion() const override { return shell_.ShowVersion(); }
  std::string ExeFnOption() const override;
  std::string CommandLineFile() const override { return shell_.command_line_file; }
  bool OpenShowFile(const std::string& path, bool packaged, const TStartPosition& start) override;
  void PushReturnPoint(const std::string& command_text) override { run_stack_.push_back(command_text); }

  // --- TInputHost ---
  bool StartupMode() const override { return shell_.StartupMode(); }
  bool HasEngine() const override;
  bool DialogHoldsPlayback() const override;
  void CloseTopDialog() override;
  void ShowHelp() override;
  uint32_t MsSinceWindowCreated() const override;
  bool PointerHidden() const override { return monitor_.Hidden(); }
  void RefreshPointer() override;
  void SendMouseToEngine(uint8_t kind, int32_t x, int32_t y, const TZemActionInfo& action, uint8_t state,
                         uint8_t button) override;

  // --- TViewerForm ---
  bool FormVisible() const override;
  void ShowForm() override;
  void FrameSize(TBorderStyle border, int32_t& dx, int32_t& dy) const override;
  std::vector<TMonitorRect> Monitors() const override;
  void ApplyPlacement(const TWindowPlacement& placement) override;
  TMonitorRect ClientRect() const override;
  const TCommandsStorage& Commands() const override { return context_.command_line.Commands(); }
  std::unique_ptr<TDrawDevice> MakeDrawDevice() override;

 private:
  void Dispatch(const SDL_Event& e);
  void HandleKeyEvent(const SDL_Event& e);
  void HandleButtonEvent(const SDL_Event& e);
  void HandleMotion(int32_t x, int32_t y);
  void HandleWheelEvent(const SDL_Event& e);
  void HandleWindowEvent(const SDL_Event& e);
  // Runs the messages of the application and the device layer and the deferred close.
  // UI thread: a close signal (SIGINT, SIGTERM, SIGHUP) closes the window once.
  void CheckCloseSignal();
  void RunQueues();
  void ProcessClose();
  void RunEngineAction(const TZemActionInfo& action);
  bool PointerInside() const;
  void WakeUp();
  // The start-up window: runs the child and answers whether the user confirmed the show.
  bool RunStartupChild(const std::string& path, bool packaged);
  void ApplyCursorHiding(const TIniStorage& script);
  // The engine's source once it has taken the latest open, else the one built from the script.
  const TSourceTimeline* CurrentTimeline() const;

  const TProcessContext& context_;
  TShowShell& shell_;
  TZemApplication app_;
  SDL_Window* window_ = nullptr;
  uint32_t wake_event_ = 0;
  std::atomic<bool> wake_pending_{false};
  std::unique_ptr<TZemShowViewer> viewer_;
  std::unique_ptr<TInputMappingClass> mapping_;
  std::unique_ptr<TSourceTimeline> timeline_;                // from the script at the open
  mutable std::unique_ptr<TSourceTimeline> engine_timeline_;  // over the engine's source
  const TZemSource* source_before_open_ = nullptr;            // compared only, never used
  TWheelCollector wheel_;
  TMouseMonitor monitor_;
  std::unique_ptr<TCursorControl> cursor_;
  TScreenSaverState saver_;
  std::vector<std::string> run_stack_;
  TMonitorRect client_;
  int32_t border_left_ = 0, border_top_ = 0;
  uint32_t creation_tick_ = 0;
  uint32_t next_tick_ = 0;
  int busy_ = 0;
  bool closing_ = false;
  bool close_pending_ = false;
  bool terminated_ = false;
  bool signal_seen_ = false;  // a close signal has asked to close (UI thread)
  bool exit_requested_ = false;
  bool ended_at_end_ = false;
  bool engine_action_running_ = false;
  int exit_code_ = 0;
};

}  // namespace zem
