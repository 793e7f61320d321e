// The viewer: the user-interface side of playback. It owns the engine, turns the main window's
// requests (open, seek, pause, mouse events, dialog and capture requests) into engine messages,
// and reacts to what the engine reports (first frame, position and end, actions, captured
// pictures, the window mode of an opened show).
//
// Threads: everything here runs on the user-interface thread; the engine's reports arrive
// through the application queue and are handled between window events.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/application.h"
#include "engine/engine_messages.h"
#include "platform/monitors.h"
#include "script/action_info.h"
#include "shell/window_placement.h"

namespace zem {

class TCommandsStorage;
class TDrawDevice;
class TDrawPicture;
class TFileAccessor;
class TIniStorage;
class TZemEngine;

// What the viewer needs of the main window.
class TViewerForm {
 public:
  virtual ~TViewerForm() = default;
  virtual bool FormVisible() const = 0;
  virtual void ShowForm() = 0;
  // Frame size (dx, dy) a window with this border style adds to its client area.
  virtual void FrameSize(TBorderStyle border, int32_t& dx, int32_t& dy) const = 0;
  virtual std::vector<TMonitorRect> Monitors() const = 0;
  // Border style first, then the window rectangle.
  virtual void ApplyPlacement(const TWindowPlacement& placement) = 0;
  // The client area in screen coordinates after the last placement.
  virtual TMonitorRect ClientRect() const = 0;
  virtual const TCommandsStorage& Commands() const = 0;
  // The drawing device on the window, sized to its client area.
  virtual std::unique_ptr<TDrawDevice> MakeDrawDevice() = 0;
};

// The window mode a show asks for in its main section: "opt_scr_full" 1 is full screen at the
// primary monitor's size; otherwise the design size, with or without a border.
struct TWindowMode {
  int32_t width = 640, height = 480;
  int32_t mode = 0;  // 0 full screen, 1 window with border, 2 window without border
};
TWindowMode WindowModeFromScript(const TIniStorage& script, const TMonitorRect& primary);

class TZemShowViewer {
 public:
  using TOnPosition = std::function<void(int32_t time, bool end)>;
  using TOnAction = std::function<void(const TZemActionInfo& action)>;
  using TOnImage = std::function<void(TRef<TDrawPicture> picture)>;
  // Called with a new engine before its first open (tests give it a silent music device).
  using TEngineSetup = std::function<void(TZemEngine& engine)>;

  TZemShowViewer(TZemApplication& app, TViewerForm& form);
  ~TZemShowViewer();
  TZemShowViewer(const TZemShowViewer&) = delete;
  TZemShowViewer& operator=(const TZemShowViewer&) = delete;

  // Hands a show to the engine (made on the first call) with copies of the accessor (null: a
  // show without files) and of the script.
  void Open(const TFileAccessor* files, const TIniStorage& script, int32_t start_time);
  // The same without a copy: the engine reads the caller's script, which nobody writes any more.
  void Open(const TFileAccessor* files, std::shared_ptr<const TIniStorage> script, int32_t start_time);
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // Negative times are ignored.
  void Seek(int64_t time);
  void SeekAndPause(int64_t time, bool paused);
  // Dropped while the engine thread does not run.
  void Mouse(uint8_t kind, int32_t x, int32_t y, int32_t state, uint8_t flag);
  void MouseAction(uint8_t kind, int32_t x, int32_t y, const TZemActionInfo& action, int32_t state, uint8_t flag);
  void ShowHelp();
  void CloseDialog();
  void Capture();
  // Stops and frees the engine (closing the window); later requests are dropped. With wait_ms
  // of 0 or more the process is ending: the engine's threads get that long to end and the
  // engine is not freed (false when a thread still runs; see EngineLeftRunning).
  bool StopEngine(int32_t wait_ms = -1);
  bool EngineLeftRunning() const { return engine_left_running_; }

  TZemEngine* Engine() const { return engine_.get(); }
  // The engine's drawing device (window events go to it); null before the first open.
  TDrawDevice* Device() const { return device_; }
  bool EngineRunning() const;
  // The last reported position, or the last seek target (ms).
  int32_t Time() const { return time_; }
  int32_t Duration() const { return duration_; }

  // A report from the engine (the engine's event callback; public for tests).
  void HandleEngineEvent(TZemEventData& data);
  void HandlePosition(int32_t time, bool end, int32_t duration);
  void HandleFirstFrame();
  // Places the window for a window mode (message 17) and resizes the drawing device.
  void HandleWindowMode(int32_t width, int32_t height, int32_t mode);
  const TWindowPlacement& LastPlacement() const { return placement_; }

  TOnPosition on_position;
  TOnAction on_action;
  TOnImage on_image;
  TEngineSetup engine_setup;
  uint32_t background_colour = 0;
  bool barriers_enabled = true;
  // Hands slides to the producer filling the window and cut ("cover" switch).
  bool cover = false;
  // The program runs as a screen saver (main keys are forced when the show is read).
  bool screen_saver = false;
  // "-stats": the frame statistics and the peak memory go to standard output at the end.
  bool print_stats = false;

 private:
  void CreateEngine(const TIniStorage& script);

  TZemApplication& app_;
  TViewerForm& form_;
  std::unique_ptr<TZemEngine> engine_;
  TDrawDevice* device_ = nullptr;  // owned by the engine
  bool paused_ = true;
  int32_t time_ = 0;
  int32_t duration_ = 0;
  bool engine_stopped_ = false;
  bool engine_left_running_ = false;
  uint32_t first_frame_tick_ = 0;  // when the first frame was reported (statistics)
  TWindowPlacement placement_;
};

}  // namespace zem
