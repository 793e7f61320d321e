// Opening shows in the player: finds the package (or project on disk), shows the error box when
// that fails, and keeps the current show. This is the part of the main window that does not
// depend on the window itself; the window owns one.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "package/show_locator.h"
#include "shell/process_context.h"

namespace zem {

inline constexpr const char* kErrCantLoadShow = "Can`t Load Show";
inline constexpr const char* kErrCantLoadZem = "Can`t Load .zem File";
inline constexpr const char* kErrExeFnEmpty = "opt_exefn - Empty";
inline constexpr const char* kDefaultCaption = "ZemViewer v5.6";
// The low-colour display refusal, shown before anything else exists.
inline constexpr const char* kErrDisplayDepth =
    "Currently you have 256 or 16 colors display mode.\nSet True color or High color display mode.";

// A project opened from disk names the program it will be published as ("opt_exefn"); a later
// request to open that program opens the project instead.
struct TReplacePair {
  std::string exe_name;
  std::string project_path;
};

// Called with the new locator whenever a show opens (nullptr for a project on disk).
using TShowOpenHook = std::function<void(TZemShowLocator* locator)>;
struct TShowOpenHooks {
  TShowOpenHook video_library;
  TShowOpenHook exclusive_mode;
};
// The process-wide hooks, installed once at start-up (before any show opens); also installs
// the device layer's restacking of an exclusive window that became inactive.
TShowOpenHooks& ShowOpenHooks();
void InstallShowOpenHooks();
// User-interface thread: the exclusive full-screen window (SDL window id) lost the foreground.
void RestackInactiveExclusiveWindow(uint32_t window_id);

// Where playback starts.
struct TStartPosition {
  bool given = false;
  bool is_time = false;
  int64_t value = 0;  // slide number (1-based) or show time in ms
};
// From the switches "slide" (wins) and "time".
TStartPosition StartPositionFromCommands(const TCommandsStorage& commands);

// The package file to open for a requested path: the path itself, or for a path ending in
// ".app" the bundle's "Contents/Resources/slideshow.dat" when that file exists.
std::string ResolvePackageFile(const std::string& path);

class TShowShell {
 public:
  explicit TShowShell(const TProcessContext& context);
  ~TShowShell();

  // Opens a show in this player. False (after the error box) when it cannot be opened; the
  // current show then stays as it was.
  bool OpenShowFile(const std::string& path, bool packaged, bool start_is_time, bool with_checks,
                    int64_t start_value);

  TZemShowLocator* CurrentLocator() const { return locator_.get(); }
  const std::string& ShowPath() const { return show_path_; }
  const std::string& ShowFolder() const { return show_folder_; }
  const std::string& ShowVersion() const { return show_version_; }
  void SetShowVersion(std::string v) { show_version_ = std::move(v); }
  const std::string& Caption() const { return caption_; }
  bool WheelEnabled() const { return wheel_enabled_; }
  bool StartupMode() const { return startup_mode_; }
  const TReplacePair& ReplacePair() const { return replace_pair_; }
  const TStartPosition& PendingStart() const { return pending_start_; }
  // The command-line file ("-filename"), empty for packaged shows.
  std::string command_line_file;
  bool file_name_given = false;

  // The error box (the platform box by default; tests capture the text).
  std::function<void(const std::string& text)> error_box;
  // Checks run when a show opens with checks: the show password, then (outside start-up mode)
  // the start-up window. Each answers whether the show may play. Unset: allowed.
  std::function<bool(TZemShowLocator& locator)> password_check;
  std::function<bool(TZemShowLocator& locator, const std::string& path, bool packaged)> startup_window;
  // Installs the start-up window's stream filter (used only in start-up mode).
  TStartupFilterInstaller startup_filter;

 private:
  std::unique_ptr<TZemShowLocator> locator_;
  TReplacePair replace_pair_;
  std::string show_path_, show_folder_, show_version_;
  std::string caption_ = kDefaultCaption;
  bool wheel_enabled_ = true;
  bool startup_mode_ = false;
  TStartPosition pending_start_;
};

// The whole player run from program entry to exit; returns the exit status.
int RunPlayer(int argc, const char* const* argv);

}  // namespace zem
