// The key and mouse map of the current show: which action a key, a mouse button, a double click
// or (in a screen saver) any pointer movement triggers. Rebuilt from the script at every open;
// user-interface thread only.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "engine/engine_messages.h"
#include "script/action_info.h"

namespace zem {

class TIniStorage;

// Key event types.
enum : uint8_t { kKeyUp = 0, kKeyDown = 1, kKeyChar = 2 };
// Mouse event kinds are the engine's (kMouseMove, kMouseDown, kMouseUp); a double click:
inline constexpr uint8_t kMouseDblClick = kMouseDouble;
// Mouse buttons.
enum : uint8_t { kButtonLeft = 1, kButtonRight = 4, kButtonMiddle = 5 };

// One mapping of a key; the maps of one key form a list, newest first.
struct TKeyMap {
  std::unique_ptr<TKeyMap> next;
  uint8_t mask = 0;
  uint8_t value = 0;
  uint8_t event_type = kKeyDown;
  TZemActionInfo action;
};

// Remembers where the pointer was; the first event after an open only records the position.
struct TPointerMoveDetector {
  bool recorded = false;
  int64_t x = 0, y = 0;
};

// The mouse action words of "opt_leftmouse", "opt_rightmouse" and "opt_dblclick".
TZemActionInfo MouseActionFromText(WideView text);

class TInputMappingClass {
 public:
  explicit TInputMappingClass(const TIniStorage& script);

  // The map of a key event, or null. Codes 256 and above have none.
  const TKeyMap* KeyAction(uint8_t modifiers, int key, uint8_t event_type) const;
  // The action of a mouse event (kind None when there is none). Not const: the pointer-move
  // detector remembers the last position.
  TZemActionInfo MouseAction(uint8_t modifiers, int32_t x, int32_t y, uint8_t kind, uint8_t button);

  bool ScreenSaver() const { return screen_saver_; }
  bool FreeControl() const { return free_control_; }
  bool HasMoveDetector() const { return move_detector_.has_value(); }
  const TZemActionInfo& LeftAction() const { return left_; }
  const TZemActionInfo& RightAction() const { return right_; }
  const TZemActionInfo& DoubleClickAction() const { return double_click_; }

 private:
  void Add(int key, uint8_t value, TZemActionInfo action);

  std::array<std::unique_ptr<TKeyMap>, 256> keys_;
  TZemActionInfo left_, right_, double_click_;
  bool screen_saver_ = false;
  bool free_control_ = true;
  TKeyMap exit_map_;
  std::optional<TPointerMoveDetector> move_detector_;
};

// Collects wheel units until whole notches of 120 have accumulated; the remainder stays.
class TWheelCollector {
 public:
  // Adds units and answers the whole notches now complete (positive = wheel up).
  int Add(int units);
  int Pending() const { return pending_; }

 private:
  int pending_ = 0;
};

}  // namespace zem
