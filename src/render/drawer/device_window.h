// The window a drawer binds its screen to: the drawing interface only knows it by name; here
// it carries the device layer's window device.
#pragma once

namespace zem {

class TDrawDevice;

class TDeviceWindow {
 public:
  explicit TDeviceWindow(TDrawDevice* device) : device_(device) {}
  TDrawDevice* Device() const { return device_; }

 private:
  TDrawDevice* device_;
};

}  // namespace zem
