#include "shell/input_mapping.h"

#include <cstdlib>

#include "platform/key_codes.h"
#include "script/ini_file.h"

namespace zem {
namespace {

constexpr uint8_t kMapMask = kModShift | kModAlt | kModCtrl;

TZemActionInfo Action(TZemActionKind kind, int32_t number = 0) {
  TZemActionInfo a;
  a.kind = kind;
  a.number = number;
  return a;
}

}  // namespace

TZemActionInfo MouseActionFromText(WideView text) {
  if (text == u"Exit") return Action(TZemActionKind::Exit);
  if (text == u"Next slide") return Action(TZemActionKind::NextSlide);
  if (text == u"Prev. slide") return Action(TZemActionKind::PrevSlide);
  if (text == u"Help") return Action(TZemActionKind::Help);
  if (text == u"Pause") return Action(TZemActionKind::Pause);
  if (text == u"Go to first") return Action(TZemActionKind::GotoSlide, 0);
  return {};
}

TInputMappingClass::TInputMappingClass(const TIniStorage& script) {
  left_ = MouseActionFromText(script.ReadString(u"main", u"opt_leftmouse", u""));
  right_ = MouseActionFromText(script.ReadString(u"main", u"opt_rightmouse", u""));
  double_click_ = MouseActionFromText(script.ReadString(u"main", u"opt_dblclick", u""));
  screen_saver_ = script.ReadBool(u"main", u"opt_ssaver", false);
  exit_map_.action = Action(TZemActionKind::Exit);
  if (screen_saver_ || script.ReadBool(u"main", u"opt_exitonmove", false)) move_detector_.emplace();
  free_control_ = script.ReadBool(u"main", u"opt_synchpermitcontrol", true);

  Add(kVkEscape, 0, Action(TZemActionKind::Exit));
  if (free_control_) {
    for (int key : {kVkSpace, kVkPause, kVkMediaPlayPause}) Add(key, 0, Action(TZemActionKind::Pause));
    Add('P', kModCtrl, Action(TZemActionKind::Pause));
    Add(kVkMediaStop, 0, Action(TZemActionKind::Stop));
    for (int key : {kVkLeft, kVkPrior, kVkBrowserBack, kVkMediaPrevTrack}) Add(key, 0, Action(TZemActionKind::PrevSlide));
    for (int key : {kVkRight, kVkNext, kVkBrowserForward, kVkMediaNextTrack})
      Add(key, 0, Action(TZemActionKind::NextSlide));
    Add(kVkHome, 0, Action(TZemActionKind::GotoSlide, 0));
    Add(kVkEnd, 0, Action(TZemActionKind::GotoSlide, script.ReadInteger(u"main", u"opt_slidescount", 0)));
  }
  if (!script.ReadBool(u"main", u"opt_lockf1", false)) Add(kVkF1, 0, Action(TZemActionKind::Help));
  // Printing from the keyboard (Ctrl+P already pauses); the window system's Print key belongs
  // to the desktop.
  Add('P', kModCtrl | kModShift, Action(TZemActionKind::Print));
}

void TInputMappingClass::Add(int key, uint8_t value, TZemActionInfo action) {
  auto map = std::make_unique<TKeyMap>();
  map->mask = kMapMask;
  map->value = value;
  map->event_type = kKeyDown;
  map->action = std::move(action);
  map->next = std::move(keys_[static_cast<size_t>(key)]);
  keys_[static_cast<size_t>(key)] = std::move(map);
}

const TKeyMap* TInputMappingClass::KeyAction(uint8_t modifiers, int key, uint8_t event_type) const {
  if (screen_saver_) return &exit_map_;
  if (key < 0 || key >= 256) return nullptr;
  for (const TKeyMap* m = keys_[static_cast<size_t>(key)].get(); m; m = m->next.get())
    if (m->event_type == event_type && (modifiers & m->mask) == m->value) return m;
  return nullptr;
}

TZemActionInfo TInputMappingClass::MouseAction(uint8_t modifiers, int32_t x, int32_t y, uint8_t kind,
                                               uint8_t button) {
  if (screen_saver_ && modifiers != 0) return Action(TZemActionKind::Exit);
  if (move_detector_) {
    TPointerMoveDetector& d = *move_detector_;
    if (!d.recorded) {
      d.recorded = true;
      d.x = x;
      d.y = y;
    } else if (std::llabs(x - d.x) + std::llabs(y - d.y) > 5) {
      d.x = x;
      d.y = y;
      return Action(TZemActionKind::Exit);
    }
  }
  if (kind == kMouseUp && button == kButtonLeft) return left_;
  if (kind == kMouseUp && button == kButtonRight) return right_;
  if (kind == kMouseDblClick && button == kButtonLeft) return double_click_;
  return {};
}

int TWheelCollector::Add(int units) {
  // Long-run accumulation stays far from overflow: whole notches leave at once.
  pending_ += units;
  const int notches = pending_ / kWheelDelta;
  pending_ -= notches * kWheelDelta;
  return notches;
}

}  // namespace zem
