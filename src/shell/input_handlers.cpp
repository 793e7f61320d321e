#include "shell/input_handlers.h"

#include "platform/key_codes.h"

namespace zem {
namespace {

bool ReleasesBarrier(int key) {
  switch (key) {
    case kVkPause: case kVkSpace: case kVkNext: case kVkRight: case kVkBrowserForward: case kVkMediaNextTrack:
    case kVkMediaPlayPause:
      return true;
    default:
      return false;
  }
}

}  // namespace

bool HandleKey(TInputHost& host, const TInputMappingClass& mapping, uint8_t modifiers, int key, uint8_t event_type) {
  if (host.Busy()) return false;
  if (host.StartupMode() && key == kVkReturn && event_type == kKeyDown) {
    ExecuteAction(host, TZemActionInfo{TZemActionKind::CloseDialog, 0, {}});
    return false;
  }
  if (host.HasEngine() && host.DialogHoldsPlayback()) {
    if (key == kVkEscape && event_type == kKeyDown) host.CloseTopDialog();
    if (key != kVkF1) return false;
  }
  if (const TKeyMap* map = mapping.KeyAction(modifiers, key, event_type)) {
    if (host.HasEngine() && map->action.kind == TZemActionKind::Help)
      host.ShowHelp();
    else
      ExecuteAction(host, map->action);
  }
  if (!mapping.FreeControl() && event_type == kKeyDown && host.AtBarrier() && ReleasesBarrier(key))
    host.ReleaseBarrier();
  return true;
}

void HandleMouseButton(TInputHost& host, TInputMappingClass& mapping, uint8_t modifiers, int32_t x, int32_t y,
                       uint8_t kind, uint8_t button) {
  if (host.Busy() || host.MsSinceWindowCreated() < 1000) return;
  host.RefreshPointer();
  const TZemActionInfo action = mapping.MouseAction(modifiers, x, y, kind, button);
  if (!host.PointerHidden() || action.kind == TZemActionKind::Help) {
    host.SendMouseToEngine(kind, x, y, action, modifiers, button);
    return;
  }
  if (!action.IsNone()) ExecuteAction(host, action);
}

}  // namespace zem
