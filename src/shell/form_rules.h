// Decisions of the main window that do not need a window: what closing runs, when the end of a
// show closes the window, the start-up child's command line, and how SDL's mouse events map to
// the key and mouse map's event kinds and buttons.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zem {

class TCommandsStorage;
class TIniStorage;

// What closing runs from "opt_runapponexit": 0 nothing, 1 the program, 2 the presentation named
// by "opt_runapponexitfn". With "opt_runapponexitiflastslide" (default on) only a show that
// ended at its end runs it, and only when exit was requested.
int32_t RunOnExitMode(const TIniStorage& script, bool ended_at_end, bool exit_requested);
std::string RunOnExitFile(const TIniStorage& script);

// The arguments of the start-up window's child process: the own path, "-exename" (packaged) or
// "-filename" with the show path, "-startup", then "-display" with the first "display" value
// when there is one and "-ownerwnd" with the owner window's number when it has one (0: none).
std::vector<std::string> StartupChildArgs(const std::string& own_path, const std::string& show_path, bool packaged,
                                          const TCommandsStorage& commands, uint64_t owner_window);
// The owner window of a start-up child: the last parameter read as an integer (decimal, or
// hexadecimal after "$" or "0x") when the process has at least two parameters; 0 otherwise and
// for numbers that cannot name a window (0 and below).
uint64_t OwnerWindowFromArgs(const std::vector<std::string>& args);

// How the main window keeps the start-up child in front while it waits for it.
struct TForegroundHandoff {
  std::function<bool()> main_in_front;         // the main window is the foreground window
  std::function<uint64_t()> child_window;      // the child's first visible window, 0: none yet
  std::function<bool(uint64_t)> bring_to_front;
};
// Milliseconds to wait before the next look while the child runs: 100 while the main window is
// in front and the child has no window yet, else 0 (the child's window was brought forward, or
// the user works elsewhere and nothing is taken from them).
inline constexpr uint32_t kChildWindowPollMs = 100;
uint32_t HandForegroundToChild(const TForegroundHandoff& handoff);

// The key and mouse map's button number (1 left, 4 right, 5 middle) of an SDL button; 0 for
// buttons the map does not know.
uint8_t MapMouseButton(uint8_t sdl_button);
// The event kinds one SDL button event makes: a press, a double click (a press followed by the
// double-click kind, left button only), or a release.
std::vector<uint8_t> MouseEventKinds(bool pressed, uint8_t clicks, uint8_t button);

// The key and mouse map's modifier state byte for pointer events: the keyboard modifiers and
// the held buttons.
uint8_t PointerModifiers();

}  // namespace zem
