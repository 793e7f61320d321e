// Facts about the running process.
#pragma once
#include <string>

namespace zem {

// The player's own file (the stand-in for the program's ".exe"): /proc/self/exe resolved.
std::string OwnExecutablePath();
// Folder of a path (without the trailing "/"), and the name part.
std::string ExtractFileDir(const std::string& path);
std::string ExtractFileName(const std::string& path);
// Extension with its dot ("" when none), and the path with a new extension.
std::string ExtractFileExt(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);

}  // namespace zem
