#include "platform/display.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

namespace zem {

bool StartVideo(int32_t retry_ms) {
  static std::mutex lock;
  std::lock_guard<std::mutex> g(lock);
  if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
  // The player handles SIGINT and SIGTERM itself (close_signals.h).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Once started, video stays up for the life of the process: an X server that resets when its
  // last client leaves refuses a second connection while it resets. Refusals for a moment (that
  // reset) are retried.
  const uint64_t until = SDL_GetTicks64() + static_cast<uint64_t>(retry_ms < 0 ? 0 : retry_ms);
  for (;;) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    if (SDL_GetTicks64() >= until) return false;
    SDL_Delay(50);
  }
}

int PrimaryDisplayDepth() {
  if (!StartVideo()) return 0;
  SDL_DisplayMode mode;
  if (SDL_GetNumVideoDisplays() > 0 && SDL_GetDesktopDisplayMode(0, &mode) == 0)
    return static_cast<int>(SDL_BITSPERPIXEL(mode.format));
  return 0;
}

bool DesktopCompositionEnabled() {
  // A Wayland session always composites; on X11 exclusive output is possible (the compositor
  // unredirects full-screen windows), so it counts as off.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return wayland && *wayland;
}

namespace {
std::atomic<bool> g_exclusive_allowed{false};
}

bool ExclusiveModeAllowed() { return g_exclusive_allowed.load(); }
void SetExclusiveModeAllowed(bool allowed) { g_exclusive_allowed.store(allowed); }

}  // namespace zem
