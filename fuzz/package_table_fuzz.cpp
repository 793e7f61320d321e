// Fuzz target: trailer search, table inflation and parsing, integrity test and member lookup on
// arbitrary bytes taken as a package file.
#include <cstdint>
#include <vector>

#include "package/unpack.h"
#include "package_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zem::fuzz::TMemFile file(data, size);
  if (!file.Ok()) return 0;
  auto unpack = zem::OpenPackage(file.Path());
  if (!unpack->IsOpen()) return 0;
  uint8_t buf[4096];
  for (const std::string& name : unpack->MemberNames()) {
    zem::TMemberInfo info;
    if (!unpack->FindMember(name, info)) continue;
    // Only members small enough to keep a run fast are read here; the member target goes deeper.
    if (info.size > (1 << 16)) continue;
    if (auto s = unpack->OpenMember(name)) {
      while (s->Read(buf, sizeof buf) > 0) {
      }
    }
  }
  return 0;
}
