// Program entry of the player, from the display test to the exit status.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "package/temp_folders.h"
#include "platform/close_signals.h"
#include "platform/display.h"
#include "platform/message_box.h"
#include "platform/native_window.h"
#include "platform/video_driver.h"
#include "script/ini_file.h"
#include "transitions/filter_factory.h"
#include "shell/export_mode.h"
#include "shell/form_rules.h"
#include "shell/main_form.h"
#include "shell/player_args.h"
#include "shell/screen_saver.h"
#include "shell/show_shell.h"
#include "shell/snapshot_mode.h"
#include "shell/startup_filter.h"
#include "sound/channel_killer.h"
#include "sound/plugin_setup.h"
#include "video/video_layer.h"

namespace zem {

namespace {
// The exit status of a start-up child that could not show its window (any status but 1 leaves
// the show unplayed).
constexpr int kStartupChildFailed = 2;
// A close signal this long after the first one ends the process without waiting for the close.
constexpr uint32_t kRepeatedSignalMs = 1000;
}  // namespace

namespace {
// Ends the player's process after its window closed: threads still drawing a frame or making a
// slide are not waited for and nothing is freed under them, nor is a large show freed object by
// object. The log gets its footer and the temporary folders go, as at a normal end.
[[noreturn]] void QuickExit(int status) {
  ShutDownDecoderPlugins();  // deletes the plug-in copies; decoding workers are not waited for
  CurrentLog().WriteRunFooter();
  RemoveTempFolders();
  std::fflush(nullptr);
  std::_Exit(status);
}
}  // namespace

int RunPlayer(int argc, const char* const* argv) {
  TProcessContext context = TProcessContext::FromArgv(argc, argv);
  if (auto status = HandleInfoSwitches(context.command_line, stdout)) return *status;
  ChooseVideoDrivers();
  const TCommandsStorage& commands = context.command_line.Commands();
  // Status 1 of a start-up child means "confirmed": a child that failed must not say so.
  const int failed = context.command_line.HasArg("-startup") ? kStartupChildFailed : 1;

  // A snapshot or an export draws off screen: no display is needed and errors go to standard
  // error.
  const bool exporting = commands.Has(kExportSwitch);
  const bool snapshot = commands.Has(kSnapshotSwitch) || exporting;
  // SIGINT, SIGTERM and SIGHUP close the window as its close box does; another one a second or
  // more later ends the process at once. One sent twice together (`timeout` signals the process
  // and its group) is one request. Before any other thread starts (they inherit the blocked
  // signals). Runs on the signal watching thread.
  if (!snapshot) WatchCloseSignals([](int sig) {
      static uint32_t first = 0;  // signal watching thread only
      static bool seen = false;
      const uint32_t now = TimeGetTime();
      if (seen) {
        if (now - first >= kRepeatedSignalMs) std::_Exit(128 + sig);
        return;
      }
      seen = true;
      first = now;
      if (SDL_WasInit(SDL_INIT_EVENTS)) {
        SDL_Event e{};
        e.type = SDL_QUIT;
        SDL_PushEvent(&e);
      }
    });
  const int depth = snapshot ? 0 : PrimaryDisplayDepth();
  if (depth > 0 && depth < 16) {
    ShowErrorBox(kErrDisplayDepth);
    return failed;
  }

  if (commands.Has("filelog")) InstallLog(std::make_unique<TFileLog>(std::string(), false));
  else if (commands.Has("log")) InstallLog(std::make_unique<TStdLog>());
  CurrentLog().WriteRunHeader();
  // Every process takes the single-instance lock; a screen-saver copy refuses to play while
  // another copy of the same file holds it.
  context.instance = std::make_shared<TInstanceLock>(context.own_path);

  InstallShowOpenHooks();

  TShowShell shell(context);
  // In start-up mode the show is its start-up dialog alone.
  shell.startup_filter = InstallStartupScriptFilter;
  if (snapshot) {
    InstallTransitionFilters();
    shell.error_box = [](const std::string& text) {
      std::string line = text;
      for (char& c : line)
        if (c == '\n') c = ' ';
      std::fprintf(stderr, "zemviewer: %s\n", line.c_str());
    };
  }
  // The -filename and -exename switches win; then a show named as a plain argument; else the
  // player's own file.
  std::string path;
  const std::string positional = PositionalShowPath(context.command_line);
  if (commands.HasValue("filename")) {
    path = ResolveCommandLinePath(commands.FirstValue("filename"), context.own_folder);
    shell.file_name_given = true;
  } else if (commands.HasValue("exename")) {
    path = ResolveCommandLinePath(commands.FirstValue("exename"), context.own_folder);
  } else if (!positional.empty()) {
    TShowRequest request = ShowRequestForPath(positional);
    path = request.path;
    shell.file_name_given = request.project;
  } else {
    path = context.own_path;
  }
  if (shell.file_name_given) shell.command_line_file = path;
  const TStartPosition start = StartPositionFromCommands(commands);

  int status = 0;
  if (exporting) {
    status = shell.OpenShowFile(path, !shell.file_name_given, false, true, 0) ? RunExport(shell, commands) : 1;
    ShutdownChannelKiller();
  } else if (snapshot) {
    status = shell.OpenShowFile(path, !shell.file_name_given, false, true, 0) ? RunSnapshot(shell, commands) : 1;
  } else {
    InstallTransitionFilters();
    {
      TMainForm form(context, shell);
      if (!form.Create()) {
        ShowErrorBox("Cannot create the main window");
        status = failed;
      } else if (form.OpenFirstShow(path, start)) {
        TZemShowLocator& show = *shell.CurrentLocator();
        CurrentLog().WriteLine("OpenShowFile: " + shell.ShowPath());
        CurrentLog().WriteInt("OpenShowFile: slides ", show.Script()->ReadInteger(u"Main", u"opt_slidescount", 0));
        CurrentLog().WriteLine("OpenShowFile: version " + shell.ShowVersion());
        form.Run();
        status = form.ExitCode();
      } else {
        status = failed;
      }
      // A start-up child gives the foreground back to the window that started it. Its own
      // window goes first, or the parent, still waiting, would hand the foreground back to it.
      if (shell.StartupMode()) {
        form.HideForm();
        if (const uint64_t owner = OwnerWindowFromArgs(context.command_line.Args())) BringWindowToForeground(owner);
      }
      // The engine's threads stop (or are left inside a frame); the show is not freed piece by
      // piece: the process ends here.
      form.Shutdown();
      QuickExit(status);
    }
  }
  // Decoding workers get their time to end; then the plug-in slots are emptied.
  ShutdownVideoLayer();
  ShutDownDecoderPlugins();
  CurrentLog().WriteRunFooter();
  return status;
}

}  // namespace zem
