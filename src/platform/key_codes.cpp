#include "platform/key_codes.h"

#include <SDL.h>

namespace zem {

int VirtualKeyFromSdl(int32_t key) {
  // Letters and digits: SDL uses lower-case ASCII, virtual keys the upper-case letter.
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (key >= SDLK_0 && key <= SDLK_9) return '0' + (key - SDLK_0);
  if (key >= SDLK_F1 && key <= SDLK_F12) return kVkF1 + (key - SDLK_F1);
  if (key >= SDLK_F13 && key <= SDLK_F24) return kVkF1 + 12 + (key - SDLK_F13);
  if (key >= SDLK_KP_1 && key <= SDLK_KP_9) return kVkNumpad0 + 1 + (key - SDLK_KP_1);
  switch (key) {
    case SDLK_BACKSPACE: return kVkBack;
    case SDLK_TAB: return kVkTab;
    case SDLK_RETURN: case SDLK_KP_ENTER: case SDLK_RETURN2: return kVkReturn;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return kVkShift;
    case SDLK_LCTRL: case SDLK_RCTRL: return kVkControl;
    case SDLK_LALT: case SDLK_RALT: return kVkMenu;
    case SDLK_PAUSE: return kVkPause;
    case SDLK_CAPSLOCK: return kVkCapital;
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_PAGEUP: return kVkPrior;
    case SDLK_PAGEDOWN: return kVkNext;
    case SDLK_END: return kVkEnd;
    case SDLK_HOME: return kVkHome;
    case SDLK_LEFT: return kVkLeft;
    case SDLK_UP: return kVkUp;
    case SDLK_RIGHT: return kVkRight;
    case SDLK_DOWN: return kVkDown;
    case SDLK_PRINTSCREEN: return kVkSnapshot;
    case SDLK_INSERT: return kVkInsert;
    case SDLK_DELETE: return kVkDelete;
    case SDLK_LGUI: return kVkLWin;
    case SDLK_RGUI: return kVkRWin;
    case SDLK_APPLICATION: return kVkApps;
    case SDLK_KP_0: return kVkNumpad0;
    case SDLK_KP_MULTIPLY: return kVkMultiply;
    case SDLK_KP_PLUS: return kVkAdd;
    case SDLK_KP_MINUS: return kVkSubtract;
    case SDLK_KP_PERIOD: return kVkDecimal;
    case SDLK_KP_DIVIDE: return kVkDivide;
    case SDLK_NUMLOCKCLEAR: return kVkNumLock;
    case SDLK_SCROLLLOCK: return kVkScroll;
    case SDLK_AC_BACK: return kVkBrowserBack;
    case SDLK_AC_FORWARD: return kVkBrowserForward;
    case SDLK_MUTE: return kVkVolumeMute;
    case SDLK_VOLUMEDOWN: return kVkVolumeDown;
    case SDLK_VOLUMEUP: return kVkVolumeUp;
    case SDLK_AUDIONEXT: return kVkMediaNextTrack;
    case SDLK_AUDIOPREV: return kVkMediaPrevTrack;
    case SDLK_AUDIOSTOP: return kVkMediaStop;
    case SDLK_AUDIOPLAY: return kVkMediaPlayPause;
    // Punctuation of a US layout (the OEM keys).
    case SDLK_SEMICOLON: return 186;
    case SDLK_EQUALS: return 187;
    case SDLK_COMMA: return 188;
    case SDLK_MINUS: return 189;
    case SDLK_PERIOD: return 190;
    case SDLK_SLASH: return 191;
    case SDLK_BACKQUOTE: return 192;
    case SDLK_LEFTBRACKET: return 219;
    case SDLK_BACKSLASH: return 220;
    case SDLK_RIGHTBRACKET: return 221;
    case SDLK_QUOTE: return 222;
    default: return 0;
  }
}

uint8_t ModifierStateFromSdl(uint16_t mod, uint32_t buttons) {
  uint8_t state = 0;
  if (mod & KMOD_GUI) state |= kModWin;
  if (mod & KMOD_SHIFT) state |= kModShift;
  if (mod & KMOD_ALT) state |= kModAlt;
  if (mod & KMOD_CTRL) state |= kModCtrl;
  if (buttons & SDL_BUTTON(SDL_BUTTON_LEFT)) state |= kModLeftButton;
  if (buttons & SDL_BUTTON(SDL_BUTTON_RIGHT)) state |= kModRightButton;
  if (buttons & SDL_BUTTON(SDL_BUTTON_MIDDLE)) state |= kModMiddleButton;
  return state;
}

int WheelUnitsFromSdl(int32_t steps) {
  // Saturate so a driver's absurd step count cannot overflow the accumulator.
  constexpr int32_t kMaxSteps = 1 << 20;
  if (steps > kMaxSteps) steps = kMaxSteps;
  if (steps < -kMaxSteps) steps = -kMaxSteps;
  return steps * kWheelDelta;
}

}  // namespace zem
