// The start-up window of a show runs in a child copy of the player; the parent keeps its own
// window alive (but busy) until the child ends and plays only when the child confirms.
#include <SDL.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>

#include "foundation/clock.h"
#include "foundation/log.h"
#include "platform/close_signals.h"
#include "platform/native_window.h"
#include "shell/form_rules.h"
#include "shell/main_form.h"

extern char** environ;

namespace zem {

bool TMainForm::RunStartupChild(const std::string& path, bool packaged) {
  const uint64_t own_window = NativeWindowNumber(window_);
  // The main window's title bar stays inactive while the child works: the window manager does
  // not activate it (also not when it is shown below).
  SetNativeWindowActivatable(own_window, false);
  if (window_ && !FormVisible()) {
    // Off every screen, but visible: the child gets an owner window. The window gets its real
    // place when the engine reports the show's window mode.
    SDL_SetWindowPosition(window_, -30000, -30000);
    SDL_SetWindowSize(window_, 100, 100);
    SDL_ShowWindow(window_);
  }
  const std::vector<std::string> args =
      StartupChildArgs(context_.own_path, path, packaged, Commands(), NativeWindowNumber(window_));
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  ++busy_;
  pid_t pid = -1;
  posix_spawnattr_t attr;
  ChildSpawnAttributes(attr);
  const int rc = posix_spawn(&pid, "/proc/self/exe", nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  int code = -1;
  if (rc != 0) {
    LogLine("TMainForm: start-up window could not start: " + std::string(std::strerror(rc)));
  } else {
    for (;;) {
      int status = 0;
      const pid_t w = waitpid(pid, &status, WNOHANG);
      if (w == pid) {
        if (WIFEXITED(status)) code = WEXITSTATUS(status);
        break;
      }
      if (w < 0) break;
      // The child's window goes in front of ours, unless the user went to another program.
      const uint32_t wait_ms = HandForegroundToChild({
          [own_window] { return IsForegroundNativeWindow(own_window); },
          [pid] { return FirstVisibleWindowOfProcess(pid); },
          [](uint64_t child) { return BringWindowToForeground(child); },
      });
      if (wait_ms > 0) SleepMs(wait_ms);
      // Keep the window answering while the child runs; busy refuses input and closing.
      SDL_Event e;
      while (SDL_PollEvent(&e)) Dispatch(e);
      RunQueues();
      if (terminated_) break;
      SleepMs(10);
    }
  }
  --busy_;
  SetNativeWindowActivatable(own_window, true);
  LogLine("TMainForm: start-up window ended with " + std::to_string(code));
  return code == 1;
}

}  // namespace zem
