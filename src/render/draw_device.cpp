#include "render/draw_device.h"

#include <SDL2/SDL.h>

#include <algorithm>

#include "foundation/log.h"
#include "render/device.h"
#include "render/gl_context.h"

namespace zem {

TDrawDevice::~TDrawDevice() { NotifyDying(); }

void TDrawDevice::NotifyDying() {
  if (dying_notified_) return;
  dying_notified_ = true;
  // Listeners may remove themselves while being told.
  auto listeners = listeners_;
  for (auto* l : listeners) l->DrawDeviceDying(this);
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  stores_.clear();
}

void TDrawDevice::SetBounds(const TIntRect& bounds, TPointF origin, bool full_screen) {
  bool changed = !(bounds == bounds_) || origin.x != origin_.x || origin.y != origin_.y ||
                 full_screen != full_screen_;
  bounds_ = bounds;
  origin_ = origin;
  full_screen_ = full_screen;
  if (changed) RequestRefresh();
}

void TDrawDevice::AddListener(TDrawDeviceListener* l) {
  if (std::find(listeners_.begin(), listeners_.end(), l) == listeners_.end()) listeners_.push_back(l);
}

void TDrawDevice::RemoveListener(TDrawDeviceListener* l) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), l), listeners_.end());
}

std::shared_ptr<TObj> TDrawDevice::Store(int adapter) const {
  for (auto& [a, s] : stores_)
    if (a == adapter) return s;
  return nullptr;
}

void TDrawDevice::SetStore(int adapter, std::shared_ptr<TObj> store) {
  for (auto& [a, s] : stores_)
    if (a == adapter) { s = std::move(store); return; }
  stores_.emplace_back(adapter, std::move(store));
}

void TDrawDevice::DropStore(const TObj* store) {
  std::erase_if(stores_, [&](auto& e) { return e.second.get() == store; });
}

TSdlWindowDevice::TSdlWindowDevice(SDL_Window* window) : window_(window) { ApplyWindowBounds(); }

TSdlWindowDevice::~TSdlWindowDevice() { NotifyDying(); }

bool TSdlWindowDevice::IsActive() const {
  return window_ && (SDL_GetWindowFlags(window_) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void TSdlWindowDevice::ApplyWindowBounds() {
  if (!window_) return;
  int x = 0, y = 0, w = 0, h = 0;
  SDL_GetWindowPosition(window_, &x, &y);
  SDL_GL_GetDrawableSize(window_, &w, &h);
  if (w <= 0 || h <= 0) SDL_GetWindowSize(window_, &w, &h);
  uint32_t flags = SDL_GetWindowFlags(window_);
  bool fs = (flags & SDL_WINDOW_FULLSCREEN) != 0;
  SetBounds({x, y, x + w, y + h}, {float(x), float(y)}, fs);
}

bool TSdlWindowDevice::HandleEvent(const SDL_Event& e) {
  if (e.type != SDL_WINDOWEVENT || !window_ || e.window.windowID != SDL_GetWindowID(window_))
    return false;
  switch (e.window.event) {
    case SDL_WINDOWEVENT_MOVED:
    case SDL_WINDOWEVENT_RESIZED:
    case SDL_WINDOWEVENT_SIZE_CHANGED:
      ApplyWindowBounds();
      break;
    case SDL_WINDOWEVENT_EXPOSED:
      RequestRefresh();
      break;
    default:
      break;
  }
  return true;
}

std::unique_ptr<THeadlessDevice> THeadlessDevice::Create(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  if (!EnsureSdlVideo(true)) {
    LogLine(std::string("THeadlessDevice: SDL video failed: ") + SDL_GetError());
    return nullptr;
  }
  // The GL driver stays loaded until the process ends (once per process): destroying the last
  // GL window would otherwise unload it while it still holds its one-time allocations.
  static const bool pinned = SDL_GL_LoadLibrary(nullptr) == 0;
  (void)pinned;
  SDL_Window* w = SDL_CreateWindow("zem", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!w) {
    LogLine(std::string("THeadlessDevice: no window: ") + SDL_GetError());
    return nullptr;
  }
  auto dev = std::unique_ptr<THeadlessDevice>(new THeadlessDevice(w));
  dev->SetBounds({0, 0, width, height}, {0, 0}, false);
  return dev;
}

THeadlessDevice::~THeadlessDevice() {
  NotifyDying();
  if (window_) SDL_DestroyWindow(window_);
}

}  // namespace zem
