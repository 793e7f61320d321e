// The monitors of the desktop, for placing the main window.
#pragma once
#include <cstdint>
#include <vector>

namespace zem {

struct TMonitorRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;  // right and bottom exclusive
  bool primary = false;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const TMonitorRect&) const = default;
};

// Every monitor in the window system's order; SDL's display 0 is the primary one. Empty when
// there is no video subsystem (headless runs). Main thread.
std::vector<TMonitorRect> EnumerateMonitors();

}  // namespace zem
