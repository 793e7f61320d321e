// The key codes, modifier bits and wheel units of the key map. The map is written in the
// virtual-key codes of the original key tables; this is the one place that turns SDL's codes
// into those.
#pragma once
#include <cstdint>

namespace zem {

// Virtual-key codes used by the key map.
enum : int {
  kVkBack = 8, kVkTab = 9, kVkReturn = 13, kVkShift = 16, kVkControl = 17, kVkMenu = 18,
  kVkPause = 19, kVkCapital = 20, kVkEscape = 27, kVkSpace = 32, kVkPrior = 33, kVkNext = 34,
  kVkEnd = 35, kVkHome = 36, kVkLeft = 37, kVkUp = 38, kVkRight = 39, kVkDown = 40,
  kVkSnapshot = 44, kVkInsert = 45, kVkDelete = 46, kVkLWin = 91, kVkRWin = 92, kVkApps = 93,
  kVkNumpad0 = 96, kVkMultiply = 106, kVkAdd = 107, kVkSubtract = 109, kVkDecimal = 110,
  kVkDivide = 111, kVkF1 = 112, kVkNumLock = 144, kVkScroll = 145,
  kVkBrowserBack = 166, kVkBrowserForward = 167, kVkVolumeMute = 173, kVkVolumeDown = 174,
  kVkVolumeUp = 175, kVkMediaNextTrack = 176, kVkMediaPrevTrack = 177, kVkMediaStop = 178,
  kVkMediaPlayPause = 179,
};

// Modifier state bits of key and mouse events.
enum : uint8_t {
  kModWin = 1, kModShift = 2, kModAlt = 4, kModCtrl = 8,
  kModLeftButton = 16, kModRightButton = 32, kModMiddleButton = 64,
};

// Wheel units of one notch.
constexpr int kWheelDelta = 120;

// The virtual-key code of an SDL key code (SDL_Keycode value); 0 when the key has none.
int VirtualKeyFromSdl(int32_t sdl_keycode);
// The modifier state byte from SDL's key modifiers (SDL_Keymod) and mouse button mask
// (SDL_GetMouseState's SDL_BUTTON_* bits).
uint8_t ModifierStateFromSdl(uint16_t sdl_keymod, uint32_t sdl_buttons);
// Wheel units from SDL wheel steps (positive = away from the user).
int WheelUnitsFromSdl(int32_t steps);

}  // namespace zem
