// Temporary folders for members that must exist as real files (libraries, plug-ins). Each is a
// new folder "[GUID]" in the temporary base ($TMPDIR, else /tmp); all are removed at process
// end and, where possible, after a fatal signal.
#pragma once
#include <stdexcept>
#include <string>

namespace zem {

class ETempFolder : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kErrTempPath = "Temp Path not Found";

// A new empty folder, with a trailing "/" on request. Throws ETempFolder("Temp Path not Found")
// when the base does not exist, or when no folder can be created in it.
std::string NewTempFolder(bool trailing_slash = true);
// The temporary base chosen by the first request (with trailing "/"); "" before it.
std::string TempBase();
class TFileAccessor;
// Copies a member into a new temporary folder under the last part of its name and returns the
// file's path. Only that last part is used, so no member name can place the file outside the
// folder; names whose last part is empty, "." or ".." are refused. False with a reason on failure
// (a missing base folder included).
bool ExtractMemberToTemp(const TFileAccessor& accessor, const std::string& member_name, std::string& path,
                         std::string* error = nullptr);

// Removes every recorded folder now (also run at exit). Safe to call more than once.
void RemoveTempFolders();

}  // namespace zem
