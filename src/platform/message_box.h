// The error box: caption "Slideshow Error", warning icon, OK button. Without a display the text
// goes to standard error instead, so a run without a screen never waits on a box.
#pragma once
#include <string>

struct SDL_Window;

namespace zem {

inline constexpr const char* kErrorBoxCaption = "Slideshow Error";

// How the last box was shown (tests and callers that must choose an exit status).
enum class TMessageBoxResult { Shown, StandardError };

// Shows the text as a warning box owned by no window (any thread; SDL serialises it).
TMessageBoxResult ShowErrorBox(const std::string& text);
// A plain notice: empty caption, no icon, OK button, owned by `owner` (an SDL window; may be
// null). User-interface thread. Standard error without a display.
TMessageBoxResult ShowNoticeBox(const std::string& text, SDL_Window* owner);
// True when boxes can be shown on a display (a desktop session and a video driver that draws).
bool MessageBoxDisplayAvailable();

}  // namespace zem
