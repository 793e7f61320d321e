// The window system's own number of an SDL window (X11 window id), handed to child processes.
#pragma once
#include <cstdint>

struct SDL_Window;

namespace zem {

// 0 when the window has none that can be named (no X11, offscreen driver).
uint64_t NativeWindowNumber(SDL_Window* window);

}  // namespace zem
