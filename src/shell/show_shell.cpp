#include "shell/show_shell.h"

#include <SDL.h>
#include <sys/stat.h>

#include "foundation/log.h"
#include "foundation/process.h"
#include "model/show_limits.h"
#include "package/disk_path.h"
#include "package/package_tools.h"
#include "package/unpack.h"
#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/native_window.h"
#include "render/gl_device.h"
#include "script/ini_file.h"
#include "video/video_layer.h"

namespace zem {

namespace {

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && LowerAscii(s.substr(s.size() - tail.size())) == LowerAscii(tail);
}

bool g_video_library_ready = false;

}  // namespace

TShowOpenHooks& ShowOpenHooks() {
  static TShowOpenHooks hooks;
  return hooks;
}

void InstallShowOpenHooks() {
  auto& hooks = ShowOpenHooks();
  // The video decoding layer is linked into the player; a library shipped inside a package is
  // never loaded as code, so the hook installs the built-in layer.
  hooks.video_library = [](TZemShowLocator* locator) {
    if (g_video_library_ready) return;
    if (locator && locator->Accessor().Exists("ffmpeg.dll"))
      LogLine("Video library: package member ffmpeg.dll ignored, built-in decoder used");
    // "..\Common\FFmpeg.dll" next to the program's folder would be the other place; it is
    // never loaded either.
    const std::string common = ExtractFileDir(ExtractFileDir(OwnExecutablePath())) + "/Common/FFmpeg.dll";
    if (FileExists(common)) LogLine("Video library: " + common + " ignored, built-in decoder used");
    InstallVideoLayer();
    g_video_library_ready = true;
  };
  hooks.exclusive_mode = [](TZemShowLocator* locator) {
    bool no_exclusive = locator && locator->Script() &&
                        locator->Script()->ReadBool(u"Main", u"opt_scr_noexclusive", false);
    const bool allowed = !DesktopCompositionEnabled() && !no_exclusive;
    SetExclusiveModeAllowed(allowed);
    // The device layer decides by this when it makes a full-screen device.
    T3DEngineGL::Instance().SetExclusiveAllowed(allowed);
  };
  T3DEngineGL::Instance().SetRestackHook(RestackInactiveExclusiveWindow);
}

void RestackInactiveExclusiveWindow(uint32_t window_id) {
  SDL_Window* window = SDL_GetWindowFromID(window_id);
  if (!window) return;
  // The exclusive window is no longer kept above others; the window that took the foreground
  // is raised above it.
  SDL_SetWindowAlwaysOnTop(window, SDL_FALSE);
  const uint64_t own = NativeWindowNumber(window);
  const uint64_t front = ForegroundNativeWindow();
  if (front != 0 && front != own) RaiseNativeWindow(front);
  LogLine("T3DRenderer9.BeginScene: exclusive window inactive, restacked");
}

TStartPosition StartPositionFromCommands(const TCommandsStorage& commands) {
  TStartPosition p;
  if (commands.Has("slide")) {
    int32_t n = commands.FirstInteger("slide", 0);
    p.given = true;
    p.is_time = false;
    p.value = n < 1 ? 1 : n;
  } else if (commands.Has("time")) {
    int32_t t = commands.FirstInteger("time", 0);
    p.given = true;
    p.is_time = true;
    p.value = t < 1 ? 0 : static_cast<int64_t>(t) - 1;
  }
  return p;
}

std::string ResolvePackageFile(const std::string& path) {
  if (EndsWithNoCase(path, ".app")) {
    std::string bundle = path + "/Contents/Resources/slideshow.dat";
    if (FileExists(bundle)) return bundle;
  }
  // Everything else (".exe" included, and a player copy without extension) is the package file.
  return path;
}

TShowShell::TShowShell(const TProcessContext& context)
    : startup_mode_(context.command_line.HasArg("-startup")) {
  error_box = [](const std::string& text) { ShowErrorBox(text); };
}

TShowShell::~TShowShell() = default;

bool TShowShell::OpenShowFile(const std::string& path, bool packaged, bool start_is_time, bool with_checks,
                              int64_t start_value) {
  const TStartupFilterInstaller no_filter;
  const TStartupFilterInstaller& filter = startup_mode_ ? startup_filter : no_filter;
  std::unique_ptr<TZemShowLocator> locator;
  bool project = !packaged;
  std::string open_path = path;
  if (packaged && !replace_pair_.project_path.empty() && SlashPath(path) == replace_pair_.exe_name) {
    project = true;
    open_path = replace_pair_.project_path;
  }

  if (!project) {
    std::string error;
    locator = OpenPackagedShow(ResolvePackageFile(path), error, filter);
    if (!locator) {
      const std::string alt = ChangeFileExt(path, ".ZmShow");
      // The error shown is that of the second attempt when its file exists; otherwise "not
      // found" would hide why the requested file itself was refused.
      std::string alt_error;
      locator = OpenPackagedShow(alt, alt_error, filter);
      if (FileExists(alt)) error = alt_error;
      if (!locator) {
        // verify's reason for the file whose error is shown (nothing to add when neither exists).
        const std::string file = FileExists(alt) ? alt : ResolvePackageFile(path);
        const std::string reason = FileExists(file) ? ShowOpenReason(file) : std::string();
        if (!reason.empty()) LogLine("TShowShell: " + file + ": " + reason);
        error_box((error.empty() ? std::string(kErrCantLoadShow) : error) + "\n\"" + path + "\" or \"" + alt + "\"" +
                  (reason.empty() ? std::string() : "\n" + reason));
        return false;
      }
    }
    if (ShowOpenHooks().exclusive_mode) ShowOpenHooks().exclusive_mode(locator.get());
    if (ShowOpenHooks().video_library) ShowOpenHooks().video_library(locator.get());
  } else {
    if (ShowOpenHooks().video_library) ShowOpenHooks().video_library(nullptr);
    open_path = SlashPath(open_path);
    std::string why;
    locator = OpenProjectOnDisk(open_path, filter, &why);
    if (!locator) {
      if (!why.empty()) LogLine("TShowShell: " + open_path + ": " + why);
      error_box(std::string(kErrCantLoadZem) + "\n\"" + open_path + "\"" + (why.empty() ? std::string() : "\n" + why));
      return false;
    }
  }

  // A show beyond the limits of objects, keypoints or nesting is refused before it costs memory.
  if (const std::string limit = CheckShowLimits(*locator->Script()); !limit.empty()) {
    LogLine("TShowShell: " + open_path + ": " + limit);
    error_box(std::string(kErrCantLoadShow) + "\n\"" + open_path + "\"\n" + limit);
    return false;
  }

  if (with_checks) {
    if (password_check && !password_check(*locator)) return false;
    if (!startup_mode_ && startup_window && !startup_window(*locator, open_path, !project)) return false;
  }

  locator_ = std::move(locator);  // frees the previous show
  const TIniFile& script = *locator_->Script();
  wheel_enabled_ = !script.ReadBool(u"Main", u"opt_lockwheel", false);
  caption_ = WideToUtf8(script.ReadString(u"Main", u"opt_scr_caption", Utf8ToWide(kDefaultCaption)));
  pending_start_ = TStartPosition();
  if (start_is_time || start_value > 0) {
    pending_start_.given = true;
    pending_start_.is_time = start_is_time;
    pending_start_.value = start_value;
  }

  show_path_ = path;
  const std::string exefn = WideToUtf8(script.ReadString(u"Main", u"opt_exefn", u""));
  if (!exefn.empty() && project) {
    std::string exe = SlashPath(exefn);
    // A relative name is taken next to the project script.
    if (exe[0] != '/') exe = ExtractFileDir(open_path) + "/" + exe;
    show_path_ = exe;
    replace_pair_ = TReplacePair{exe, open_path};
  } else if (exefn.empty() && !project) {
    error_box(kErrExeFnEmpty);
  }
  show_folder_ = ExtractFileDir(show_path_);
  return true;
}

}  // namespace zem
