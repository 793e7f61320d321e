// Facts about the display the player starts on.
#pragma once

namespace zem {

// Bits per pixel of the primary display's desktop mode; 0 when there is no display to ask
// (headless runs are not refused).
int PrimaryDisplayDepth();
// Whether desktop composition is on (exclusive full-screen output is allowed only when off).
// Linux compositors cannot be asked portably; see the source for the rule used.
bool DesktopCompositionEnabled();

// Whether the current show may use exclusive full-screen output; set by the start-up code each
// time a show opens and read by the graphics device layer. Any thread.
bool ExclusiveModeAllowed();
void SetExclusiveModeAllowed(bool allowed);

}  // namespace zem
