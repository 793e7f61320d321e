// Fuzz target: verify's whole path (trailer, table, integrity test, every member opened and read
// through). The input's first byte chooses the layout: 0 takes the rest as the whole file;
// otherwise the rest is a table text, a 0xFF 0x00 separator and member bytes, built into a
// package (appended after a stub when the byte is odd) so that members are reached with any
// positions, sizes, methods and declared sizes. Run with -rss_limit_mb=256: verify must stay in
// bounded memory whatever the package says.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "package/package_tools.h"
#include "package/unpack.h"
#include "package_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  ++data;
  --size;
  std::vector<uint8_t> file;
  if (mode == 0) {
    file.assign(data, data + size);
  } else {
    const uint8_t sep[2] = {0xFF, 0x00};
    const uint8_t* cut = std::search(data, data + size, sep, sep + 2);
    if (cut == data + size) return 0;
    const size_t table_len = static_cast<size_t>(cut - data);
    const bool appended = mode & 1;
    const size_t stub = appended ? 16 : 0;
    file.assign(stub, 'S');
    file.insert(file.end(), cut + 2, data + size);
    const int64_t table_offset = static_cast<int64_t>(file.size() - stub);
    std::vector<uint8_t> table;
    if (!zem::DeflateRaw(data, table_len, table)) return 0;
    file.insert(file.end(), table.begin(), table.end());
    uint8_t trailer[20] = {0, 0, 0, 0, 0, 0, 0, 0, '.', 'd', 'n', 'e'};
    for (int i = 0; i < 8; ++i) trailer[i] = static_cast<uint8_t>(static_cast<uint64_t>(table_offset) >> (8 * i));
    const int64_t length = static_cast<int64_t>(file.size() + 12 - stub);
    for (int i = 0; i < 8; ++i) trailer[12 + i] = static_cast<uint8_t>(static_cast<uint64_t>(length) >> (8 * i));
    file.insert(file.end(), trailer, trailer + (appended ? 20 : 12));
  }
  zem::fuzz::TMemFile mem(file.data(), file.size());
  if (!mem.Ok()) return 0;
  zem::TVerifyReport report;
  const bool ok = zem::VerifyPackage(mem.Path(), report);
  // A package that verifies has its script and no problems; one that does not says why.
  if (ok != report.problems.empty()) __builtin_trap();
  // The player's reason for a show that does not open is one of verify's problems, or about the
  // script's text (which verify does not parse).
  const std::string reason = zem::ShowOpenReason(mem.Path());
  if (ok && !reason.empty() && reason.rfind("the script", 0) != 0) __builtin_trap();
  return 0;
}
