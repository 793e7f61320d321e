// Process-wide facts made at start-up, before any window: the own file and folder and the
// command line.
#pragma once
#include <string>

#include "shell/command_line.h"

namespace zem {

struct TProcessContext {
  std::string own_path;    // the player's own file
  std::string own_folder;  // its folder, with a trailing "/"
  TCommandLine command_line;

  static TProcessContext FromArgv(int argc, const char* const* argv);
};

}  // namespace zem
