// Window devices: what the device layer needs to know about the window it draws into.
// TDrawDevice is the base; TSdlWindowDevice follows an SDL window of the user interface,
// THeadlessDevice owns a hidden window of a fixed size (SDL's offscreen driver when no display
// is running), for tests, snapshots and export.
//
// Threads: made, moved and destroyed on the user-interface thread; the device layer reads the
// bounds and the window under DeviceMutex().
#pragma once
#include <functional>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "render/geometry.h"

struct SDL_Window;
union SDL_Event;

namespace zem {

class TDrawDevice;

// Told when a window device dies (screens drop their device objects then).
class TDrawDeviceListener {
 public:
  virtual ~TDrawDeviceListener() = default;
  virtual void DrawDeviceDying(TDrawDevice* device) = 0;
};

class TDrawDevice : public TObj {
 public:
  TDrawDevice() = default;
  ~TDrawDevice() override;

  bool FullScreen() const { return full_screen_; }
  // Client area in screen coordinates.
  const TIntRect& Bounds() const { return bounds_; }
  TPointF Origin() const { return origin_; }
  virtual SDL_Window* Window() const = 0;
  virtual bool IsActive() const = 0;
  // Presents are paced to the display refresh (window devices) or run free (headless).
  virtual bool Paced() const = 0;

  // Stores the values; the refresh callback runs only when one of them changed.
  void SetBounds(const TIntRect& bounds, TPointF origin, bool full_screen);
  void SetRefreshCallback(std::function<void()> cb) { refresh_ = std::move(cb); }
  void RequestRefresh() { if (refresh_) refresh_(); }

  void AddListener(TDrawDeviceListener* l);
  void RemoveListener(TDrawDeviceListener* l);

  // The device store (shared drawing context) living with this window, per adapter.
  std::shared_ptr<TObj> Store(int adapter) const;
  void SetStore(int adapter, std::shared_ptr<TObj> store);
  void DropStore(const TObj* store);
  // Window rectangle to put back after exclusive full screen.
  bool has_restore_rect = false;
  TIntRect restore_rect;

 protected:
  // Derived destructors call this first, while the window still exists.
  void NotifyDying();

 private:
  bool full_screen_ = false;
  TIntRect bounds_;
  TPointF origin_;
  std::function<void()> refresh_;
  std::vector<TDrawDeviceListener*> listeners_;
  std::vector<std::pair<int, std::shared_ptr<TObj>>> stores_;
  bool dying_notified_ = false;
};

// A device over an SDL window made by the user interface (the window stays the caller's).
class TSdlWindowDevice : public TDrawDevice {
 public:
  explicit TSdlWindowDevice(SDL_Window* window);
  ~TSdlWindowDevice() override;
  SDL_Window* Window() const override { return window_; }
  bool IsActive() const override;
  bool Paced() const override { return true; }
  // Re-reads the window's place and size; the event loop calls it on move and resize.
  void ApplyWindowBounds();
  // Window events of this window: moves and resizes update the bounds, exposure asks for a
  // repaint. True when the event was this window's.
  bool HandleEvent(const SDL_Event& e);

 private:
  SDL_Window* window_;
};

// A hidden window of a fixed size; its frames are read back with snapshots.
class THeadlessDevice : public TDrawDevice {
 public:
  // None when SDL video cannot start or the window cannot be made.
  static std::unique_ptr<THeadlessDevice> Create(int32_t width, int32_t height);
  ~THeadlessDevice() override;
  SDL_Window* Window() const override { return window_; }
  bool IsActive() const override { return true; }
  bool Paced() const override { return false; }

 private:
  explicit THeadlessDevice(SDL_Window* w) : window_(w) {}
  SDL_Window* window_;
};

}  // namespace zem
