// Fuzz target: member reading. The input is a table text, a 0xFF 0x00 separator and member bytes;
// the harness builds a well-formed package from them (members, deflated table, trailer), so the
// fuzzer reaches the member paths with any positions, sizes and methods the table names.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "package/partial_stream.h"
#include "package/unpack.h"
#include "package_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t sep[2] = {0xFF, 0x00};
  const uint8_t* cut = std::search(data, data + size, sep, sep + 2);
  if (cut == data + size) return 0;
  const size_t table_len = static_cast<size_t>(cut - data);
  const uint8_t* members = cut + 2;
  const size_t members_len = size - table_len - 2;

  std::vector<uint8_t> file(members, members + members_len), table;
  if (!zem::DeflateRaw(data, table_len, table)) return 0;
  file.insert(file.end(), table.begin(), table.end());
  uint8_t trailer[12] = {0, 0, 0, 0, 0, 0, 0, 0, '.', 'd', 'n', 'e'};
  for (int i = 0; i < 8; ++i) trailer[i] = static_cast<uint8_t>(static_cast<uint64_t>(members_len) >> (8 * i));
  file.insert(file.end(), trailer, trailer + 12);

  zem::fuzz::TMemFile mem(file.data(), file.size());
  if (!mem.Ok()) return 0;
  auto unpack = zem::OpenPackage(mem.Path());
  if (!unpack->IsOpen()) return 0;
  uint8_t buf[1024];
  for (const std::string& name : unpack->MemberNames()) {
    auto s = unpack->OpenMember(name);
    if (!s) continue;
    const int64_t size_of = s->Size();
    int64_t total = 0, n;
    while ((n = s->Read(buf, sizeof buf)) > 0) total += n;
    if (total != size_of) __builtin_trap();  // a member reads exactly its size
    // Odd positions, and the end.
    for (int64_t pos : {int64_t(1), int64_t(33), size_of / 2, size_of, size_of + 5}) {
      if (s->Seek(pos, zem::TSeekOrigin::Begin) == pos) {
        int64_t got = s->Read(buf, 77);
        if (got < 0 || got > std::max<int64_t>(0, std::min<int64_t>(77, size_of - pos))) __builtin_trap();
      }
    }
  }
  return 0;
}
