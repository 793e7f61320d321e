// Facts about the display the player starts on.
#pragma once
#include <cstdint>

namespace zem {

// Starts SDL video once for the life of the process (it is never quit); a display that refuses
// is asked again every 50 ms for up to retry_ms. False when it still refuses. Any thread.
bool StartVideo(int32_t retry_ms = 2000);
// Bits per pixel of the primary display's desktop mode (starting video, which stays up); 0 when
// there is no display to ask (headless runs are not refused).
int PrimaryDisplayDepth();
// Whether desktop composition is on (exclusive full-screen output is allowed only when off).
// Linux compositors cannot be asked portably; see the source for the rule used.
bool DesktopCompositionEnabled();

// Whether the current show may use exclusive full-screen output; set by the start-up code each
// time a show opens and read by the graphics device layer. Any thread.
bool ExclusiveModeAllowed();
void SetExclusiveModeAllowed(bool allowed);

}  // namespace zem
