// Process-wide facts made at start-up, before any window: the own file and folder and the
// command line.
#pragma once
#include <memory>
#include <string>

#include "shell/command_line.h"

namespace zem {

class TInstanceLock;

struct TProcessContext {
  std::string own_path;    // the player's own file
  std::string own_folder;  // its folder, with a trailing "/"
  TCommandLine command_line;
  // The single-instance lock every process takes at start-up (held until the process ends).
  std::shared_ptr<TInstanceLock> instance;

  // Whether another instance of the same program file holds the lock (none taken: no).
  bool AnotherInstanceRuns() const;

  static TProcessContext FromArgv(int argc, const char* const* argv);
};

}  // namespace zem
