#include "platform/monitors.h"

#include <SDL.h>

namespace zem {

std::vector<TMonitorRect> EnumerateMonitors() {
  std::vector<TMonitorRect> list;
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return list;
  const int count = SDL_GetNumVideoDisplays();
  for (int i = 0; i < count; ++i) {
    SDL_Rect r;
    if (SDL_GetDisplayBounds(i, &r) != 0) continue;
    list.push_back({r.x, r.y, r.x + r.w, r.y + r.h, i == 0});
  }
  return list;
}

}  // namespace zem
