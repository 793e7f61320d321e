// The messages between the user interface and the engine.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/strings.h"
#include "model/draw_interface.h"
#include "package/file_accessor.h"
#include "script/action_info.h"
#include "script/ini_file.h"

namespace zem {

// User interface -> engine (the engine's event list).
inline constexpr int32_t kEngineMouse = 11;
inline constexpr int32_t kEngineCapture = 13;
inline constexpr int32_t kEngineCloseDialog = 15;
inline constexpr int32_t kEngineShowHelp = 16;
inline constexpr int32_t kEngineSlideList = 101;
inline constexpr int32_t kEngineOpen = 102;
inline constexpr int32_t kEnginePause = 103;

// Engine -> user interface (the application queue, under the engine's message id).
inline constexpr int32_t kUiFirstFrame = 1;
inline constexpr int32_t kUiPosition = 2;
inline constexpr int32_t kUiAction = 12;
inline constexpr int32_t kUiCaptured = 14;
inline constexpr int32_t kUiWindowMode = 17;

// A text carried by a message.
class TStrValue : public TObj {
 public:
  explicit TStrValue(WideString v = {}) : value(std::move(v)) {}
  WideString value;
};

// A captured picture carried by message 14.
class TPictureValue : public TObj {
 public:
  explicit TPictureValue(TRef<TDrawPicture> p) : picture(std::move(p)) {}
  TRef<TDrawPicture> picture;
};

// One message from the engine to the user interface. The object value belongs to the message.
class TZemEventData : public TObj {
 public:
  TZemEventData(int32_t c, std::vector<int32_t> v, std::unique_ptr<TObj> object = {})
      : code(c), values(std::move(v)), objectValue(std::move(object)) {}
  int32_t code;
  std::vector<int32_t> values;
  std::unique_ptr<TObj> objectValue;

  int32_t Value(size_t i) const { return i < values.size() ? values[i] : 0; }
  // The text of an action message, empty when it has none.
  WideString Text() const {
    auto* s = dynamic_cast<TStrValue*>(objectValue.get());
    return s ? s->value : WideString();
  }
};

// An open (storage present) or seek (storage absent) request. Move-only: a copy takes the
// accessor and the storage.
class TOpenParams : public TObj {
 public:
  TOpenParams() = default;
  TOpenParams(TOpenParams&& o) noexcept
      : TObj(), pause(o.pause), sequence(o.sequence), files(std::move(o.files)), storage(std::move(o.storage)),
        startTime(o.startTime) {}
  uint8_t pause = 0;
  int32_t sequence = 0;
  std::unique_ptr<TFileAccessor> files;
  std::shared_ptr<const TIniStorage> storage;  // read-only from here on, maybe shared with the shell
  int32_t startTime = 0;
};

// Mouse event kinds (with the input mapping's numbering).
inline constexpr uint8_t kMouseMove = 0;
inline constexpr uint8_t kMouseDown = 1;
inline constexpr uint8_t kMouseUp = 2;
inline constexpr uint8_t kMouseDouble = 3;

struct TMouseRecord {
  uint8_t kind = kMouseMove;
  int32_t x = 2147483647;
  int32_t y = 2147483647;
  int32_t state = 0;  // key and held-button state: 1 Win, 2 Shift, 4 Alt, 8 Ctrl, 16/32/64 buttons
  uint8_t flag = 0;   // the event's button: 1 left, 4 right, 5 middle; 0 for moves
};

class TMouseData : public TObj {
 public:
  TMouseRecord mouse;
  // Chosen by the input mapping; run when the show itself does nothing with the event.
  std::optional<TZemActionInfo> action;
};

class TModeData : public TObj {
 public:
  explicit TModeData(uint8_t p = 0) : pause(p) {}
  uint8_t pause;
};

}  // namespace zem
