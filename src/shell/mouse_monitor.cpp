#include "shell/mouse_monitor.h"

#include <cstdlib>

namespace zem {

TMouseMonitor::TMouseMonitor(TClock clock) : clock_(std::move(clock)) { last_activity_ = clock_(); }

void TMouseMonitor::Check(bool inside) {
  if (on_tick) on_tick();
  if ((on_enter || on_leave) && inside != inside_) {
    inside_ = inside;
    if (inside && on_enter) on_enter();
    if (!inside && on_leave) on_leave();
  }
  inside_ = inside;
  timer_running_ = inside;
  // Unsigned difference: correct across the counter's wrap.
  if (delay_ >= 1 && clock_() - last_activity_ > static_cast<uint32_t>(delay_)) SetHidden(true);
}

void TMouseMonitor::MouseMove(int32_t x, int32_t y, bool inside) {
  if (delay_ != 0 && (std::abs(int64_t{x} - last_x_) > 4 || std::abs(int64_t{y} - last_y_) > 4)) {
    last_x_ = x;
    last_y_ = y;
    SetHidden(false);
  }
  Check(inside);
}

void TMouseMonitor::SetHidden(bool hidden) {
  last_activity_ = clock_();
  if (hidden != hidden_) {
    hidden_ = hidden;
    if (on_visibility) on_visibility(hidden);
  }
}

void TMouseMonitor::SetHideDelay(int32_t ms) {
  delay_ = ms < 0 ? 0 : ms;
  SetHidden(hidden_);
}

}  // namespace zem

#include "platform/cursor.h"

namespace zem {

void ConnectCursor(TMouseMonitor& monitor, TCursorControl& cursor, std::function<TPointerHover()> hover) {
  monitor.on_visibility = [&monitor, &cursor, hover](bool hidden) {
    if (hidden && hover && hover().over_nav_panel) {
      monitor.Show();  // re-enters with hidden = false
      return;
    }
    cursor.SetVisible(!hidden);
    if (!hidden) cursor.SetShape(TCursorShape::Arrow);
  };
  monitor.on_tick = [&monitor, &cursor, hover] {
    if (monitor.Hidden()) return;
    cursor.SetShape(hover && hover().over_link_not_button ? TCursorShape::Hand : TCursorShape::Arrow);
  };
}

}  // namespace zem
