// The engine's hold on its output: the window device, the drawer made on the first open, and
// the state flags the loop step reads (window active, repaint wanted, device lost, device ready).
//
// Threads: made and destroyed on the user-interface thread (with the engine); GetState, the
// drawer and RndLost on the engine thread; DeviceRefresh on whichever thread the window device
// calls it (the user-interface thread), hence the atomic flags.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>

#include "render/draw_device.h"
#include "render/drawer/device_window.h"
#include "render/drawer/drawer.h"

namespace zem {

class TZemDrawController;

// Told by the window device when it dies before the controller: the controller then forgets it.
class TDeviceKilledMessenger2 : public TDrawDeviceListener {
 public:
  explicit TDeviceKilledMessenger2(TZemDrawController& owner) : owner_(owner) {}
  void DrawDeviceDying(TDrawDevice* device) override;

 private:
  TZemDrawController& owner_;
};

class TZemDrawController {
 public:
  // GetState flags.
  static constexpr int32_t kReady = 1;
  static constexpr int32_t kRenderLost = 2;
  static constexpr int32_t kForceRedraw = 4;
  static constexpr int32_t kWindowActive = 8;

  TZemDrawController(TDrawDevice* window, bool ownsWindow);
  ~TZemDrawController();

  TDrawDevice* Window() const { return window_; }
  T3DDrawer* Drawer() const { return drawer_.get(); }
  // Makes the drawer when missing, then binds it to the window.
  T3DDrawer* InitDrawer();
  // The window's client size (each side at least 10).
  TPointI WindowSize() const;
  bool WindowSizeDiffers() const;

  int32_t GetState();
  void RndLost();
  void DeviceRefresh();

 private:
  friend class TDeviceKilledMessenger2;
  void WindowDied();

  TDrawDevice* window_;
  bool ownsWindow_;
  std::unique_ptr<TDeviceWindow> deviceWindow_;
  std::unique_ptr<T3DDrawer> drawer_;
  std::unique_ptr<TDeviceKilledMessenger2> messenger_;
  std::atomic<bool> renderLost_{false};
  std::atomic<bool> refresh_{false};
};

}  // namespace zem
