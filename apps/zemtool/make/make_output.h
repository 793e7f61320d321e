// Where "zemtool make" puts the show: a project folder (pictures and music copied in, or
// referenced where they are), a show package, or a published program (the player with the
// package appended). Packages are written through the package writer, members streamed from
// the original files.
#pragma once
#include <string>

#include "make_show.h"

namespace zemtool::make {

// OUT/Project.zem with OUT/photos and OUT/music (copies unless the plan's options say --link).
// An existing OUT is refused unless --force; then only what make writes there is replaced.
bool WriteProjectFolder(const TShowPlan& plan, std::string& error);

// The package file, or with `player` the published program. An existing file is refused
// unless --force; the file appears only when complete.
bool WritePackage(const TShowPlan& plan, const std::string& file, const std::string& player, std::string& error);

// The player for --publish: the one named, else zemviewer beside this program (installed, or
// in the build tree), else on the PATH. Empty when none is found.
std::string FindPlayer(const std::string& named);

}  // namespace zemtool::make
