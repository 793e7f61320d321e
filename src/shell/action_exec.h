// Carrying out the actions that reach the main window (navigation, pause, printing, links,
// programs, presentations, exit) and the wheel. The window side is reached through
// `TActionHost`, so the rules here do not depend on a window. User-interface thread.
#pragma once
#include <cstdint>
#include <string>

#include "script/action_info.h"
#include "shell/input_mapping.h"
#include "shell/slide_times.h"
#include "shell/show_shell.h"

namespace zem {

inline constexpr const char* kErrNotZemExe = "Not ZemShow Executable File or File Corrupted:";
inline constexpr const char* kErrZemNotFound = "ZemShow File not Found:";
inline constexpr const char* kErrVersionMismatch = "ZemShow ExeFile Version Mismatch:";

// What the viewer, the engine and the main window must do for an action.
class TActionHost {
 public:
  virtual ~TActionHost() = default;
  virtual bool Busy() const = 0;
  virtual bool HasViewer() const = 0;
  virtual int64_t CurrentTime() const = 0;
  virtual bool Paused() const = 0;
  virtual void SetPaused(bool paused) = 0;
  // Seek keeps the pause state.
  virtual void Seek(int64_t time) = 0;
  virtual bool AtBarrier() const = 0;
  virtual void ReleaseBarrier() = 0;
  virtual void Capture() = 0;
  // Null while no show is open.
  virtual const TSlideTimeline* Timeline() const = 0;
  virtual void RequestExit() = 0;  // set exit requested
  virtual void CloseWindow() = 0;
  virtual void SetExitCode(int code) = 0;
  virtual void RunCommand(const std::string& text) = 0;  // RunCommandText in the own folder

  // Run presentation support.
  virtual bool FileExists(const std::string& path) const = 0;
  virtual bool ReadPackageVersion(const std::string& path, std::string& version) const = 0;
  virtual void ErrorBox(const std::string& text) = 0;
  virtual std::string ShowPath() const = 0;
  virtual std::string ShowFolder() const = 0;
  virtual std::string ShowVersion() const = 0;
  virtual std::string ExeFnOption() const = 0;      // "opt_exefn" of the current show
  virtual std::string CommandLineFile() const = 0;  // "-filename" value, or empty
  virtual bool OpenShowFile(const std::string& path, bool packaged, const TStartPosition& start) = 0;
  virtual void PushReturnPoint(const std::string& command_text) = 0;
};

// The show index at the current time (-1 before the first slide, or without a show).
int32_t CurrentSlideIndex(const TActionHost& host);
// Runs an action; answers whether it was handled here.
bool ExecuteAction(TActionHost& host, const TZemActionInfo& action);
// Run presentation (kind 12) or run presentation and return (kind 14).
bool RunPresentation(TActionHost& host, const TZemActionInfo& action);
// The address handed to the opener: "http://" or "mailto:" in front unless already there.
std::string WebAddress(const std::string& text);
std::string MailAddress(const std::string& text);

// The main window's wheel handler: units as collected from the window system (120 a notch,
// positive = wheel up), the modifier state, and whether the wheel is locked.
void HandleWheel(TActionHost& host, TWheelCollector& wheel, int units, uint8_t modifiers, bool wheel_locked);

}  // namespace zem
