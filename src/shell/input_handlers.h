// The main window's key and mouse-button handlers: they consult the key and mouse map, the
// engine's dialog and barrier state, and hand actions to ExecuteAction or the engine.
// User-interface thread.
#pragma once
#include <cstdint>

#include "shell/action_exec.h"
#include "shell/input_mapping.h"

namespace zem {

// What the handlers need beyond the action host.
class TInputHost : public TActionHost {
 public:
  virtual bool StartupMode() const = 0;
  virtual bool HasEngine() const = 0;
  // An open dialog holds playback.
  virtual bool DialogHoldsPlayback() const = 0;
  virtual void CloseTopDialog() = 0;
  virtual void ShowHelp() = 0;
  virtual uint32_t MsSinceWindowCreated() const = 0;
  virtual bool PointerHidden() const = 0;
  virtual void RefreshPointer() = 0;
  // Sends a mouse event to the engine, with the mapped action (kind None for none).
  virtual void SendMouseToEngine(uint8_t kind, int32_t x, int32_t y, const TZemActionInfo& action, uint8_t state,
                                 uint8_t button) = 0;
};

// Handles a key event; answers whether the window system's default handling follows.
bool HandleKey(TInputHost& host, const TInputMappingClass& mapping, uint8_t modifiers, int key, uint8_t event_type);
// Handles a mouse button event (down, up or double click).
void HandleMouseButton(TInputHost& host, TInputMappingClass& mapping, uint8_t modifiers, int32_t x, int32_t y,
                       uint8_t kind, uint8_t button);

}  // namespace zem
