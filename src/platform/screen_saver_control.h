// The desktop's own screen saver: kept from starting while a show plays.
#pragma once

namespace zem {

// Allows or inhibits the system screen saver (SDL's inhibit; needs the video subsystem, a no-op
// without it). Main thread.
void SetSystemScreenSaverAllowed(bool allowed);

}  // namespace zem
