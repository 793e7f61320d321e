#include "engine/draw_controller.h"

#include "foundation/log.h"
#include "render/screen.h"

namespace zem {

void TDeviceKilledMessenger2::DrawDeviceDying(TDrawDevice* device) {
  if (device == owner_.window_) owner_.WindowDied();
}

TZemDrawController::TZemDrawController(TDrawDevice* window, bool ownsWindow)
    : window_(window), ownsWindow_(ownsWindow) {
  if (window_) {
    deviceWindow_ = std::make_unique<TDeviceWindow>(window_);
    messenger_ = std::make_unique<TDeviceKilledMessenger2>(*this);
    window_->AddListener(messenger_.get());
    window_->SetRefreshCallback([this] { DeviceRefresh(); });
  }
}

TZemDrawController::~TZemDrawController() {
  // The drawer's device objects go while the window still exists.
  if (drawer_) drawer_->Close();
  drawer_.reset();
  if (window_) {
    window_->SetRefreshCallback(nullptr);
    if (messenger_) window_->RemoveListener(messenger_.get());
    if (ownsWindow_) delete window_;
  }
  window_ = nullptr;
}

void TZemDrawController::WindowDied() {
  window_ = nullptr;
  deviceWindow_.reset();
  messenger_.reset();
}

T3DDrawer* TZemDrawController::InitDrawer() {
  if (!deviceWindow_) return drawer_.get();
  if (!drawer_) {
    drawer_ = std::make_unique<T3DDrawer>();
    // The drawer's owner callback: nothing to do here.
    drawer_->SetNotify([](TDeviceDrawer&, TDrawItem*, int) {});
  }
  drawer_->Init(deviceWindow_.get());
  if (T3DScreen* screen = drawer_->Backend().Screen()) screen->SetReleaseHandler([this] { RndLost(); });
  return drawer_.get();
}

TPointI TZemDrawController::WindowSize() const {
  if (!window_) return {10, 10};
  const TIntRect& b = window_->Bounds();
  return {std::max<int32_t>(b.Width(), 10), std::max<int32_t>(b.Height(), 10)};
}

bool TZemDrawController::WindowSizeDiffers() const {
  if (!drawer_ || !window_) return false;
  const TBRect r = drawer_->Backend().BackBufferRect();
  if (r.Empty()) return false;
  const TIntRect& b = window_->Bounds();
  return b.Width() > 0 && b.Height() > 0 && (r.Width() != b.Width() || r.Height() != b.Height());
}

int32_t TZemDrawController::GetState() {
  int32_t flags = 0;
  if (window_ && window_->IsActive()) flags |= kWindowActive;
  if (refresh_.exchange(false)) flags |= kForceRedraw;
  if (WindowSizeDiffers()) {
    flags |= kForceRedraw;
    // A new back-buffer size means new device objects, as after a device reset: the show is
    // reopened for the new size through the re-initialisation path.
    renderLost_ = true;
  }
  if (renderLost_) flags |= kRenderLost;
  if (!drawer_ || !drawer_->IsReady()) return flags;
  if (renderLost_.exchange(false)) {
    LogLine("TZemDrawController.GetState: Inited, not Reinited");
    flags |= kReady;
  }
  return flags;
}

void TZemDrawController::RndLost() {
  renderLost_ = true;
  LogLine("TZemDrawController.RndLost");
}

void TZemDrawController::DeviceRefresh() {
  refresh_ = true;
  LogLine("TZemDrawController.DeviceRefresh: DrawDevice Refresh!");
}

}  // namespace zem
