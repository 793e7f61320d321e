// The process-wide load mode and read throttle: every chunk read through a member window calls
// LoadCallback. While the show plays (mode 2), reading yields 1 ms every 5 ms so loading never
// starves playback, and the process runs with raised priority; mode 1 only yields the processor
// after 5 ms of work; mode 3 tells the loaders to give up (they stop starting new work). Any
// thread may call; the mode is switched by the engine.
#pragma once

namespace zem {

enum class TLoadMode { Paused = 0, Yield = 1, Playing = 2, GiveUp = 3 };

void SetLoadMode(TLoadMode mode);
TLoadMode LoadMode();
// Mode 3: loaders stop building and reading what they have not started yet.
bool LoadGivenUp();
// The throttle procedure attached to member windows.
void LoadCallback();

}  // namespace zem
