#include "platform/cursor.h"

#include <SDL.h>

namespace zem {
namespace {

class TSdlCursorControl : public TCursorControl {
 public:
  ~TSdlCursorControl() override {
    if (arrow_) SDL_FreeCursor(arrow_);
    if (hand_) SDL_FreeCursor(hand_);
  }
  void SetVisible(bool visible) override { SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE); }
  void SetShape(TCursorShape shape) override {
    SDL_Cursor*& slot = shape == TCursorShape::Hand ? hand_ : arrow_;
    if (!slot)
      slot = SDL_CreateSystemCursor(shape == TCursorShape::Hand ? SDL_SYSTEM_CURSOR_HAND : SDL_SYSTEM_CURSOR_ARROW);
    if (slot && SDL_GetCursor() != slot) SDL_SetCursor(slot);
  }

 private:
  SDL_Cursor* arrow_ = nullptr;
  SDL_Cursor* hand_ = nullptr;
};

}  // namespace

std::unique_ptr<TCursorControl> MakeSdlCursorControl() { return std::make_unique<TSdlCursorControl>(); }

}  // namespace zem
