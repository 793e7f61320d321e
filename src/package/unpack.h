// The show package: members, then a raw-deflated file table, then a trailer (table offset and
// the marker ".dne"), and, when appended to another file, the package length.
// Every value of the table is untrusted: positions and sizes are checked against the file.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/stream.h"
#include "package/inflate_stream.h"

namespace zem {

class TIniFile;

// Texts of the open failures (shown to the user as they stand).
inline constexpr const char* kErrFileNotFound = "Slideshow File not Found";
inline constexpr const char* kErrFileModified = "Slide-show File Modified";
inline constexpr const char* kErrFileDamaged = "Slide-show File Damaged";
inline constexpr const char* kErrShowOpen = "Executable SlideShow Open Error";

inline constexpr const char kPackageMarker[4] = {'.', 'd', 'n', 'e'};
inline constexpr const char* kProtectionSection = "$protection$";
inline constexpr const char* kProjectScriptName = "Project.zem";

// Storage methods of a member; any other "_pm" value makes the member damaged.
enum TPackMethod : int32_t { kMethodUnknown = -1, kMethodStored = 0, kMethodDeflated = 1, kMethodScrambled = 2 };

// Where the package lies in its file.
struct TPackageTrailer {
  int64_t start = 0;  // S
  int64_t end = 0;    // E: just after the marker
  int64_t table_offset = 0;  // T, relative to S
  bool appended = false;     // the file ends with the 8-byte package length
  int64_t TablePosition() const { return start + table_offset; }
};

// Finds the trailer of a file of `file_size` bytes; false when the file holds no package or the
// trailer values do not fit in the file.
bool LocatePackageTrailer(TStream& file, int64_t file_size, TPackageTrailer& out);

// One member as the table records it (position already corrected by the shift). Positions and
// sizes are 64-bit; a position the shift would carry past the 64-bit range lies outside the file.
struct TMemberInfo {
  int64_t position = -1;
  int64_t size = -1;
  int32_t method = kMethodStored;
  std::string method_text;     // "_pm" as written (for messages about unknown methods)
  int64_t inflated_size = -1;  // "_us": what a deflated member inflates to, when recorded
};

// Section name of a member: "[" and "]" become "<" and ">"; and back.
std::string MemberSectionName(const std::string& member_name);
std::string MemberNameFromSection(const std::string& section_name);

// The file table is inflated and parsed whole: its text may not exceed these (about 30,000
// members); a larger table counts as unreadable.
inline constexpr int64_t kMaxTableSize = int64_t(4) << 20;
inline constexpr int64_t kMaxTableLines = 200000;

// Raw deflate (RFC 1951) helpers. Inflate fails when the data is damaged, does not end, or its
// result would exceed max_out.
bool InflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out,
                int64_t max_out = kMaxInflatedSize);
bool InflateRawStream(TStream& source, int64_t count, std::vector<uint8_t>& out,
                      int64_t max_out = kMaxInflatedSize, std::string* why = nullptr);
bool DeflateRaw(const uint8_t* data, size_t size, std::vector<uint8_t>& out, int level = 9);

// The parsed file table.
class TUnpackStruc : public TObj {
 public:
  TUnpackStruc();
  ~TUnpackStruc() override;
  TIniFile& Ini() { return *ini_; }
  const TIniFile& Ini() const { return *ini_; }

 private:
  std::unique_ptr<TIniFile> ini_;
};

// An opened package file. Open never fails outright: check IsOpen() and Error().
class TZemUnpack : public TObj {
 public:
  static std::unique_ptr<TZemUnpack> Open(const std::string& path);
  ~TZemUnpack() override;

  // True when the file, its trailer, table and integrity test are all right.
  bool IsOpen() const { return file_ != nullptr; }
  // The failure text; empty for a missing trailer or an unreadable table.
  const std::string& Error() const { return error_; }
  // What exactly failed (for the log, the error box and verify); empty when open.
  const std::string& Reason() const { return reason_; }
  const std::string& Path() const { return path_; }
  const std::string& Version() const { return version_; }
  int64_t Shift() const { return shift_; }
  int64_t FileSize() const { return file_size_; }
  const TPackageTrailer& Trailer() const { return trailer_; }
  const std::vector<uint8_t>& Key() const { return key_; }
  // The table; nullptr unless open.
  const TIniFile* Table() const { return struc_ ? &struc_->Ini() : nullptr; }

  // The table's record of a member (case-insensitive name, folders separated by "\").
  bool FindMember(const std::string& name, TMemberInfo& info) const;
  // True when the recorded bytes lie inside the file (positions and sizes are untrusted).
  bool MemberReadable(const TMemberInfo& info) const;
  // A new stream on the decoded member bytes, with its own file handle; nullptr (and the reason)
  // when the member is missing, lies outside the file, has an unknown storage method or (deflated)
  // does not inflate within its limits. Deflated members are inflated while they are read.
  std::unique_ptr<TStream> OpenMember(const std::string& name, std::string* error = nullptr) const;
  // Names of every member in table order.
  std::vector<std::string> MemberNames() const;

 private:
  TZemUnpack() = default;
  std::unique_ptr<TFileStream> file_;
  std::unique_ptr<TUnpackStruc> struc_;
  TPackageTrailer trailer_;
  int64_t file_size_ = 0;
  int64_t shift_ = 0;
  std::string path_;
  std::string error_;
  std::string reason_;
  std::string version_;
  std::vector<uint8_t> key_;
};

inline std::unique_ptr<TZemUnpack> OpenPackage(const std::string& path) { return TZemUnpack::Open(path); }
// Opens a package only to read its "zemversion".
bool PackageVersion(const std::string& path, std::string& version);
// True when the file ends with a package trailer (used to tell packages from scripts).
bool HasPackageTrailer(const std::string& path);

}  // namespace zem
