#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace zem {

bool MessageBoxDisplayAvailable() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  // Drivers without a screen: a box would either fail or, worse, wait for nobody.
  if (driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy") ||
                 !std::strcmp(driver, "evdev")))
    return false;
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

namespace {
std::mutex g_routine_lock;
TMessageBoxRoutine g_routine;  // guarded by g_routine_lock

// The test routine's answer, when one is set.
bool ToRoutine(uint32_t flags, const char* caption, const std::string& text, SDL_Window* owner) {
  TMessageBoxRoutine routine;
  {
    std::lock_guard<std::mutex> g(g_routine_lock);
    routine = g_routine;
  }
  if (!routine) return false;
  routine(flags, caption, text, owner);
  return true;
}
}  // namespace

void SetMessageBoxRoutine(TMessageBoxRoutine routine) {
  std::lock_guard<std::mutex> g(g_routine_lock);
  g_routine = std::move(routine);
}

TMessageBoxResult ShowErrorBox(const std::string& text, SDL_Window* owner) {
  if (ToRoutine(SDL_MESSAGEBOX_WARNING, kErrorBoxCaption, text, owner)) return TMessageBoxResult::Shown;
  if (MessageBoxDisplayAvailable() &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, kErrorBoxCaption, text.c_str(), owner) == 0)
    return TMessageBoxResult::Shown;
  std::fprintf(stderr, "%s: %s\n", kErrorBoxCaption, text.c_str());
  std::fflush(stderr);
  return TMessageBoxResult::StandardError;
}

TMessageBoxResult ShowNoticeBox(const std::string& text, SDL_Window* owner) {
  if (ToRoutine(0, "", text, owner)) return TMessageBoxResult::Shown;
  if (MessageBoxDisplayAvailable() && SDL_ShowSimpleMessageBox(0, "", text.c_str(), owner) == 0)
    return TMessageBoxResult::Shown;
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  return TMessageBoxResult::StandardError;
}

}  // namespace zem
