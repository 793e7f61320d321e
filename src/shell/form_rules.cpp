#include "shell/form_rules.h"

#include <SDL.h>

#include "engine/engine_messages.h"
#include "platform/key_codes.h"
#include "script/ini_file.h"
#include "shell/command_line.h"
#include "shell/input_mapping.h"

namespace zem {

int32_t RunOnExitMode(const TIniStorage& script, bool ended_at_end, bool exit_requested) {
  int32_t mode = script.ReadInteger(u"Main", u"opt_runapponexit", 0);
  if (script.ReadBool(u"Main", u"opt_runapponexitiflastslide", true) && !ended_at_end) mode = 0;
  if (!exit_requested) mode = 0;
  return mode;
}

std::string RunOnExitFile(const TIniStorage& script) {
  return WideToUtf8(script.ReadString(u"Main", u"opt_runapponexitfn", u""));
}

std::vector<std::string> StartupChildArgs(const std::string& own_path, const std::string& show_path, bool packaged,
                                          const TCommandsStorage& commands, uint64_t owner_window) {
  std::vector<std::string> args{own_path, packaged ? "-exename" : "-filename", show_path, "-startup"};
  if (commands.HasValue("display")) {
    args.push_back("-display");
    args.push_back(commands.FirstValue("display"));
  }
  if (owner_window != 0) {
    args.push_back("-ownerwnd");
    args.push_back(std::to_string(owner_window));
  }
  return args;
}

uint64_t OwnerWindowFromArgs(const std::vector<std::string>& args) {
  // args[0] is the program itself.
  if (args.size() < 3) return 0;
  const int32_t value = TCommandItem(args.back()).AsInteger(0);
  return value > 0 ? static_cast<uint64_t>(value) : 0;
}

uint32_t HandForegroundToChild(const TForegroundHandoff& handoff) {
  if (!handoff.main_in_front || !handoff.main_in_front()) return 0;
  const uint64_t child = handoff.child_window ? handoff.child_window() : 0;
  if (child == 0) return kChildWindowPollMs;
  if (handoff.bring_to_front) handoff.bring_to_front(child);
  return 0;
}

uint8_t MapMouseButton(uint8_t sdl_button) {
  switch (sdl_button) {
    case SDL_BUTTON_LEFT: return kButtonLeft;
    case SDL_BUTTON_RIGHT: return kButtonRight;
    case SDL_BUTTON_MIDDLE: return kButtonMiddle;
    default: return 0;
  }
}

std::vector<uint8_t> MouseEventKinds(bool pressed, uint8_t clicks, uint8_t button) {
  if (!pressed) return {kMouseUp};
  if (clicks >= 2 && button == kButtonLeft) return {kMouseDown, kMouseDblClick};
  return {kMouseDown};
}

uint8_t PointerModifiers() {
  return ModifierStateFromSdl(static_cast<uint16_t>(SDL_GetModState()), SDL_GetMouseState(nullptr, nullptr));
}

}  // namespace zem
