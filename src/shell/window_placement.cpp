#include "shell/window_placement.h"

#include <algorithm>
#include <cmath>

#include "shell/command_line.h"

namespace zem {

TPlacementInput PlacementFromCommands(const TCommandsStorage& commands, int32_t width, int32_t height, int32_t mode) {
  TPlacementInput in;
  in.width = width;
  in.height = height;
  in.mode = mode;
  in.display = commands.FirstInteger("display", 0);
  in.desktop_align = commands.Has("desktopalign");
  in.resize = commands.Has("resize");
  return in;
}

TMonitorRect ChooseMonitor(const std::vector<TMonitorRect>& monitors, int32_t display) {
  if (monitors.empty()) return {0, 0, 640, 480, true};
  if (display >= 1 && static_cast<size_t>(display) <= monitors.size()) return monitors[static_cast<size_t>(display - 1)];
  for (size_t i = monitors.size() - 1; i >= 1; --i)
    if (monitors[i].primary) return monitors[i];
  return monitors.front();
}

TMonitorRect DesktopRect(const std::vector<TMonitorRect>& monitors) {
  if (monitors.empty()) return {0, 0, 640, 480, true};
  TMonitorRect r = monitors.front();
  for (const TMonitorRect& m : monitors) {
    r.left = std::min(r.left, m.left);
    r.top = std::min(r.top, m.top);
    r.right = std::max(r.right, m.right);
    r.bottom = std::max(r.bottom, m.bottom);
  }
  return r;
}

TWindowPlacement PlaceWindow(const std::vector<TMonitorRect>& monitors, const TPlacementInput& in) {
  TWindowPlacement p;
  p.full_screen = in.mode == 0;
  p.border = in.mode == 1 ? (in.resize ? TBorderStyle::Sizeable : TBorderStyle::Single) : TBorderStyle::None;
  p.target = in.desktop_align ? DesktopRect(monitors) : ChooseMonitor(monitors, in.display);
  const int64_t tw = p.target.Width(), th = p.target.Height();
  // A show with a zero or negative size would divide by zero below: treat it as 1 x 1.
  const int64_t w = std::max(in.width, 1), h = std::max(in.height, 1);
  int64_t cw = in.mode == 0 ? tw : w, ch = in.mode == 0 ? th : h;
  const int64_t dx = in.mode == 1 ? in.border_dx : 0, dy = in.mode == 1 ? in.border_dy : 0;
  if (cw + dx > tw || ch + dy > th) {
    const double f = std::min(static_cast<double>(th - dy) / static_cast<double>(h),
                              static_cast<double>(tw - dx) / static_cast<double>(w));
    cw = std::llround(static_cast<double>(w) * f);
    ch = std::llround(static_cast<double>(h) * f);
  }
  p.client_width = static_cast<int32_t>(std::max<int64_t>(cw, 1));
  p.client_height = static_cast<int32_t>(std::max<int64_t>(ch, 1));
  p.width = static_cast<int32_t>(p.client_width + dx);
  p.height = static_cast<int32_t>(p.client_height + dy);
  // Integer division toward zero, as the window system's own centring does.
  p.left = static_cast<int32_t>((int64_t{p.target.left} + p.target.right - p.width) / 2);
  p.top = static_cast<int32_t>((int64_t{p.target.top} + p.target.bottom - p.height) / 2);
  return p;
}

}  // namespace zem
