// Hides the mouse pointer over the main window after a time without movement, and tells the
// window when the pointer enters or leaves it. The window feeds it pointer moves and its 20 ms
// timer ticks; the clock is injected so the timing can be checked without waiting.
// User-interface thread only.
#pragma once
#include <cstdint>
#include <functional>

namespace zem {

class TMouseMonitor {
 public:
  using TClock = std::function<uint32_t()>;
  explicit TMouseMonitor(TClock clock);

  // Every check: the 20 ms tick while inside, and each pointer move or window activation.
  // `inside` says whether the pointer is over the client area now.
  void Check(bool inside);
  // A pointer move at (x, y); shows the pointer after a move of more than 4 pixels.
  void MouseMove(int32_t x, int32_t y, bool inside);
  void Hide() { SetHidden(true); }
  void Show() { SetHidden(false); }
  // Negative delays become 0 (never hide by time).
  void SetHideDelay(int32_t ms);

  bool Hidden() const { return hidden_; }
  bool Inside() const { return inside_; }
  bool TimerRunning() const { return timer_running_; }
  int32_t HideDelay() const { return delay_; }

  std::function<void()> on_enter, on_leave, on_tick;
  std::function<void(bool hidden)> on_visibility;

 private:
  void SetHidden(bool hidden);
  TClock clock_;
  int32_t delay_ = 0;
  bool hidden_ = false;
  uint32_t last_activity_ = 0;
  int32_t last_x_ = 0, last_y_ = 0;
  bool inside_ = false;
  bool timer_running_ = false;
};

}  // namespace zem

namespace zem {

class TCursorControl;

// What the engine reports about the pointer's place.
struct TPointerHover {
  bool over_nav_panel = false;        // hovered class "NavPanel"
  bool over_link_not_button = false;  // an object with a link that is not a button
};

// Connects the monitor's visibility and tick callbacks to the cursor: hidden means no cursor,
// except over the navigation panel (shown again at once); while shown, the hand over links.
void ConnectCursor(TMouseMonitor& monitor, TCursorControl& cursor, std::function<TPointerHover()> hover);

}  // namespace zem
