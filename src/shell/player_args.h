// What a Linux user types beside the player's own switches: a show path as a plain argument,
// "--help" and "--version".
#pragma once
#include <cstdio>
#include <optional>
#include <string>

#include "shell/command_line.h"

namespace zem {

// Prints the usage text or the version when the command line asks for it ("--help", "-h",
// "--version") and returns the exit status; nothing otherwise.
std::optional<int> HandleInfoSwitches(const TCommandLine& line, std::FILE* out);
std::string PlayerUsage();

// The first plain argument that is neither the program itself nor the value of a switch that
// takes one ("-exename FILE", "-slide 3", ...); empty when there is none.
std::string PositionalShowPath(const TCommandLine& line);

// The file the player opens and how.
struct TShowRequest {
  std::string path;
  bool project = false;  // an unpacked project script, as with "-filename"
};

// Turns a positional path into what to open: a folder plays its "Project.zem", a ".zem" file is a
// project script, anything else is a package file (a published show, a package, a ".ZmShow").
// Relative paths are taken from the current folder.
TShowRequest ShowRequestForPath(const std::string& path);

// A relative path given on the command line: from the current folder when it exists there,
// otherwise next to the program (where published shows have always looked).
std::string ResolveCommandLinePath(const std::string& path, const std::string& own_folder);

}  // namespace zem
