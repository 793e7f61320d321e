// Whole-package operations of the authoring tools: extracting every member to a folder and
// checking a package through.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zem {

class TZemUnpack;

struct TExtractReport {
  int extracted = 0;
  std::vector<std::string> refused;  // names that would leave the folder
  std::vector<std::string> linked;   // "name: reason": the path below the folder is a symbolic link
  std::vector<std::string> failed;   // "name: reason"
};
// Writes every member below dir ("\" becomes "/"). Names that would leave dir (absolute, drive
// letter, ".." component) are refused, and so is writing through a symbolic link (or into a
// file with other hard links) already below dir; the others are still written. True when
// nothing was refused or failed.
bool ExtractPackage(const TZemUnpack& unpack, const std::string& dir, TExtractReport& report);

struct TVerifyReport {
  int members = 0;
  int64_t bytes = 0;  // decoded bytes read
  int64_t shift = 0;
  std::vector<std::string> problems;
};
// Trailer, table and integrity test, then every member opened and read to its end; the script
// "Project.zem" must be among them. Memory stays bounded whatever the package holds. True when
// all is well.
bool VerifyPackage(const std::string& path, TVerifyReport& report);
// Why a packaged show does not open, in verify's words: the package's own failure, or the
// problem of its script member; empty when neither is at fault.
std::string ShowOpenReason(const std::string& path);

}  // namespace zem
