// Which SDL video drivers the player tries.
#pragma once

namespace zem {

// Without a Wayland display named in the environment, SDL's Wayland driver still tries the
// default socket, and the Wayland client library complains on standard error when
// XDG_RUNTIME_DIR is unset (a plain X session, xvfb-run, ssh -X). Such a session has no Wayland
// compositor, so the Wayland driver is left out of the search; an explicit SDL_VIDEODRIVER
// always wins. Call once at start-up, before SDL video starts.
void ChooseVideoDrivers();

}  // namespace zem
