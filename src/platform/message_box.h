// The error box: caption "Slideshow Error", warning icon, OK button. Without a display the text
// goes to standard error instead, so a run without a screen never waits on a box.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

struct SDL_Window;

namespace zem {

inline constexpr const char* kErrorBoxCaption = "Slideshow Error";

// How the last box was shown (tests and callers that must choose an exit status).
enum class TMessageBoxResult { Shown, StandardError };

// Shows the text as a warning box owned by `owner` (an SDL window of the user-interface thread;
// null: no owner, as before any window exists). Any thread; SDL serialises it.
TMessageBoxResult ShowErrorBox(const std::string& text, SDL_Window* owner = nullptr);
// A plain notice: empty caption, no icon, OK button, owned by `owner` (an SDL window; may be
// null). User-interface thread. Standard error without a display.
TMessageBoxResult ShowNoticeBox(const std::string& text, SDL_Window* owner);
// True when boxes can be shown on a display (a desktop session and a video driver that draws).
bool MessageBoxDisplayAvailable();

// Tests: every box goes to this routine (SDL message box flags, caption, text, owner) instead
// of the screen or standard error. Empty: the normal way.
using TMessageBoxRoutine =
    std::function<void(uint32_t flags, const std::string& caption, const std::string& text, SDL_Window* owner)>;
void SetMessageBoxRoutine(TMessageBoxRoutine routine);

}  // namespace zem
