// The process-wide read throttle: every chunk read through a member window calls LoadCallback.
// While the show plays, reading yields 1 ms every 5 ms so loading never starves playback, and
// the process runs with raised priority. Any thread may call; the mode is switched by the engine.
#pragma once

namespace zem {

enum class TLoadMode { Paused, Playing };

void SetLoadMode(TLoadMode mode);
TLoadMode LoadMode();
// The throttle procedure attached to member windows.
void LoadCallback();

}  // namespace zem
