#include "package/disk_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <vector>

#include "foundation/strings.h"

namespace zem {

std::string SlashPath(const std::string& name) {
  std::string s = name;
  for (char& c : s)
    if (c == '\\') c = '/';
  return s;
}

namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

// The entry of folder whose name equals `name` ignoring case; "" when none.
std::string FindNoCase(const std::string& folder, const std::string& name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::string();
  std::string found;
  WideString wanted = Utf8ToWide(name);
  while (dirent* e = ::readdir(dir)) {
    if (SameTextNoCase(Utf8ToWide(e->d_name), wanted)) { found = e->d_name; break; }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

std::string ResolveCaseInsensitive(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  auto parts = SplitComponents(path);
  std::string result;
  bool absolute = path[0] == '/';
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    std::string folder = result;
    if (i == 0 && absolute) { result = "/"; continue; }
    if (part.empty() || part == "." || part == "..") {
      if (!result.empty() && result.back() != '/') result += '/';
      result += part;
      continue;
    }
    std::string candidate = folder.empty() ? part : (folder.back() == '/' ? folder + part : folder + "/" + part);
    if (!Exists(candidate)) {
      std::string match = FindNoCase(folder, part);
      if (match.empty()) return path;
      candidate = folder.empty() ? match : (folder.back() == '/' ? folder + match : folder + "/" + match);
    }
    result = candidate;
  }
  return result;
}

bool SafeJoin(const std::string& folder, const std::string& member_name, std::string& out) {
  std::string name = SlashPath(member_name);
  if (name.empty() || name[0] == '/') return false;
  // A drive letter ("C:") or any colon-led form is refused too.
  if (name.size() >= 2 && name[1] == ':') return false;
  std::string joined = folder;
  bool any = false;
  for (const std::string& part : SplitComponents(name)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    if (!joined.empty() && joined.back() != '/') joined += '/';
    joined += part;
    any = true;
  }
  if (!any) return false;
  out = joined;
  return true;
}

bool ForceFolders(const std::string& folder) {
  if (folder.empty()) return true;
  std::string partial;
  for (size_t i = 0; i <= folder.size(); ++i) {
    if (i == folder.size() || folder[i] == '/') {
      partial = folder.substr(0, i);
      if (!partial.empty() && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zem
