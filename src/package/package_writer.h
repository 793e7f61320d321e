// Writing a show package: members, the deflated file table and the trailer, either as a file
// of its own or appended to a copy of the player (then followed by the package length).
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/stream.h"
#include "package/unpack.h"

namespace zem {

class TIniFile;

// How a member is stored: the smaller of deflated and plain, or always plain. Plain members can
// be scrambled.
struct TPackOptions {
  bool store_all = false;
  bool scramble = false;
  bool allow_modify = false;
  std::string zem_version;
  // Members the caller makes (stored vector texts), packed after the project's own files
  // unless a file already gave that name.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> extra_members;
};

class TPackageWriter {
 public:
  // Writes at the stream's current position, which becomes the package start.
  TPackageWriter(TStream& out, TPackOptions options);
  ~TPackageWriter();

  // Adds a member; the method chosen is returned in `method` when given. False on a write error.
  bool AddMember(const std::string& name, const std::vector<uint8_t>& data, int32_t* method = nullptr);
  // Adds a member with exactly this method (tests and tools that need a given layout).
  bool AddMemberAs(const std::string& name, const std::vector<uint8_t>& data, int32_t method);
  // Adds a file's contents, streamed (no whole copy in memory). False when unreadable.
  bool AddFile(const std::string& name, const std::string& path, int32_t* method = nullptr);

  // The table before Finish: "$protection$" and one section per member. Callers may edit it.
  TIniFile& Table();
  // Writes the table and the trailer; `appended` adds the package length after the marker.
  // False when the table would exceed what readers accept (kMaxTableSize, kMaxTableLines).
  bool Finish(bool appended);

  int64_t PackageStart() const { return start_; }
  int64_t TablePosition() const { return table_pos_; }

 private:
  bool Record(const std::string& name, int64_t pos, int64_t size, int32_t method, int64_t inflated);
  bool WriteScrambled(const uint8_t* data, int64_t count, int64_t member_offset);
  TStream& out_;
  TPackOptions options_;
  std::unique_ptr<TIniFile> table_;
  int64_t start_ = 0;
  int64_t table_pos_ = -1;
  bool failed_ = false;
};

// A package of its own from a project folder: every file below the script's folder becomes a
// member named by its relative path with "\"; the script itself becomes "Project.zem".
struct TPackProjectResult {
  std::vector<std::string> names;   // in the order written
  std::vector<int32_t> methods;
  std::vector<std::string> skipped; // files whose names cannot be members (relative paths)
  std::string error;                // empty on success
};
bool PackProject(const std::string& script_path, TStream& out, const TPackOptions& options,
                 bool appended, const std::string& exe_file_name, TPackProjectResult& result);

}  // namespace zem
