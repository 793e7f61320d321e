// Where the main window goes for a show's window mode: a pure computation over the monitor
// rectangles, so it can be checked without a display.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/monitors.h"

namespace zem {

class TCommandsStorage;

enum class TBorderStyle { None, Single, Sizeable };

struct TPlacementInput {
  int32_t width = 640, height = 480;  // design size of the show
  int32_t mode = 0;                   // 0 full screen, 1 window with border, 2 without border
  int32_t display = 0;                // "display" value (1-based), 0 when absent
  bool desktop_align = false;         // "desktopalign"
  bool resize = false;                // "resize"
  int32_t border_dx = 0, border_dy = 0;  // frame size of a bordered window
};
TPlacementInput PlacementFromCommands(const TCommandsStorage& commands, int32_t width, int32_t height, int32_t mode);

struct TWindowPlacement {
  TBorderStyle border = TBorderStyle::None;
  TMonitorRect target;
  int32_t client_width = 0, client_height = 0;
  int32_t left = 0, top = 0, width = 0, height = 0;  // window rectangle, frame included
  bool full_screen = false;
};

// The monitor the window plays on: the numbered one when it exists, else the primary.
TMonitorRect ChooseMonitor(const std::vector<TMonitorRect>& monitors, int32_t display);
TMonitorRect DesktopRect(const std::vector<TMonitorRect>& monitors);
TWindowPlacement PlaceWindow(const std::vector<TMonitorRect>& monitors, const TPlacementInput& input);

}  // namespace zem
