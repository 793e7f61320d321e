#include "render/drawer/headless_window.h"

#include "render/draw_device.h"

namespace zem {

struct THeadlessWindow::TImpl {
  std::unique_ptr<THeadlessDevice> device;
};

THeadlessWindow::THeadlessWindow(std::unique_ptr<TImpl> impl)
    : impl_(std::move(impl)), window_(impl_->device.get()) {}

THeadlessWindow::~THeadlessWindow() = default;

std::unique_ptr<THeadlessWindow> THeadlessWindow::Create(int32_t width, int32_t height) {
  auto impl = std::make_unique<TImpl>();
  impl->device = THeadlessDevice::Create(width, height);
  if (!impl->device) return nullptr;
  return std::unique_ptr<THeadlessWindow>(new THeadlessWindow(std::move(impl)));
}

}  // namespace zem
