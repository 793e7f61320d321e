#include <gtest/gtest.h>

#include <SDL.h>

#include "platform/key_codes.h"

namespace zem {
namespace {

TEST(KeyCodes, KeysOfTheKeyMapHaveTheirVirtualCodes) {
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_ESCAPE), 27);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_SPACE), 32);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAUSE), 19);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAGEUP), 33);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_PAGEDOWN), 34);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_END), 35);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_HOME), 36);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_LEFT), 37);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_RIGHT), 39);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_F1), 112);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_F12), 123);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_AC_BACK), 166);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_AC_FORWARD), 167);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_AUDIONEXT), 176);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_AUDIOPREV), 177);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_AUDIOSTOP), 178);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_AUDIOPLAY), 179);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_RETURN), 13);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_KP_ENTER), 13);
}

TEST(KeyCodes, LettersAreUpperCaseAndUnknownKeysHaveNone) {
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_p), 'P');
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_a), 'A');
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_z), 'Z');
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_5), '5');
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_UNKNOWN), 0);
  EXPECT_EQ(VirtualKeyFromSdl(SDLK_BRIGHTNESSUP), 0);
}

TEST(KeyCodes, ModifiersAndButtonsGiveTheStateByte) {
  EXPECT_EQ(ModifierStateFromSdl(KMOD_NONE, 0), 0);
  EXPECT_EQ(ModifierStateFromSdl(KMOD_LCTRL, 0), kModCtrl);
  EXPECT_EQ(ModifierStateFromSdl(KMOD_RSHIFT | KMOD_LALT, 0), kModShift | kModAlt);
  EXPECT_EQ(ModifierStateFromSdl(KMOD_LGUI, 0), kModWin);
  // Lock keys are not modifiers of the map.
  EXPECT_EQ(ModifierStateFromSdl(KMOD_NUM | KMOD_CAPS, 0), 0);
  EXPECT_EQ(ModifierStateFromSdl(0, SDL_BUTTON(SDL_BUTTON_LEFT) | SDL_BUTTON(SDL_BUTTON_RIGHT)),
            kModLeftButton | kModRightButton);
  EXPECT_EQ(ModifierStateFromSdl(0, SDL_BUTTON(SDL_BUTTON_MIDDLE)), kModMiddleButton);
}

TEST(KeyCodes, WheelStepsAreNotchesOf120AndSaturate) {
  EXPECT_EQ(WheelUnitsFromSdl(1), 120);
  EXPECT_EQ(WheelUnitsFromSdl(-2), -240);
  EXPECT_GT(WheelUnitsFromSdl(2000000000), 0);
  EXPECT_LT(WheelUnitsFromSdl(-2000000000), 0);
}

}  // namespace
}  // namespace zem
