#include "platform/display.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>

namespace zem {

int PrimaryDisplayDepth() {
  // Asking needs the video subsystem; it is released again so the window code starts clean.
  bool started_here = false;
  if (!SDL_WasInit(SDL_INIT_VIDEO)) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
    started_here = true;
  }
  int depth = 0;
  SDL_DisplayMode mode;
  if (SDL_GetNumVideoDisplays() > 0 && SDL_GetDesktopDisplayMode(0, &mode) == 0)
    depth = static_cast<int>(SDL_BITSPERPIXEL(mode.format));
  if (started_here) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  return depth;
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
