// Member names on disk. Names keep "\" as folder separator (they are keys of the show); on disk
// "\" becomes "/", and a component that does not exist with its exact case is looked up
// case-insensitively in its folder (shows are authored where names ignore case).
#pragma once
#include <string>

namespace zem {

// "\" → "/".
std::string SlashPath(const std::string& name);
// The existing path that matches `path` ignoring case component by component; the input
// unchanged when nothing matches.
std::string ResolveCaseInsensitive(const std::string& path);
// Joins a member name below a folder, refusing names that would leave it: absolute names, drive
// letters, and ".." components. Empty and "." components are dropped. False when refused.
bool SafeJoin(const std::string& folder, const std::string& member_name, std::string& out);
// Creates every missing folder of a path (like mkdir -p); false on failure.
bool ForceFolders(const std::string& folder);

}  // namespace zem
