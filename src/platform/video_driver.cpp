#include "platform/video_driver.h"

#include <SDL.h>

#include <cstdlib>

namespace zem {

void ChooseVideoDrivers() {
  const char* chosen = std::getenv("SDL_VIDEODRIVER");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((chosen && *chosen) || (wayland && *wayland)) return;
  // The drivers SDL would try after Wayland; the hint only orders the search.
  SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,kmsdrm");
}

}  // namespace zem
