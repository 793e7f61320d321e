// Facts about the running process.
#pragma once
#include <cstdint>
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
// Peak resident memory of this process in bytes (VmHWM), 0 when unknown.
int64_t PeakResidentBytes();

}  // namespace zem
