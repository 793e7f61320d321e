// A hidden window of a fixed size for drawing without a display (tests, snapshots, export),
// offered to the drawer as its window.
#pragma once
#include <cstdint>
#include <memory>

#include "render/drawer/device_window.h"

namespace zem {

class THeadlessWindow {
 public:
  // None when no window can be made (no video driver).
  static std::unique_ptr<THeadlessWindow> Create(int32_t width, int32_t height);
  ~THeadlessWindow();
  TDeviceWindow* Window() { return &window_; }

 private:
  struct TImpl;
  THeadlessWindow(std::unique_ptr<TImpl> impl);
  std::unique_ptr<TImpl> impl_;
  TDeviceWindow window_;
};

}  // namespace zem
