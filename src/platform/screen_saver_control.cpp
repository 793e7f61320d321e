#include "platform/screen_saver_control.h"

#include <SDL.h>

namespace zem {

void SetSystemScreenSaverAllowed(bool allowed) {
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
  if (allowed)
    SDL_EnableScreenSaver();
  else
    SDL_DisableScreenSaver();
}

}  // namespace zem
