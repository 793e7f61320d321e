// zemtool list: the package's protection values and its members.
#include <cstdio>

#include "commands.h"
#include "foundation/strings.h"
#include "package/unpack.h"
#include "script/ini_file.h"

namespace {

const char* MethodName(int32_t m) {
  switch (m) {
    case zem::kMethodStored: return "stored";
    case zem::kMethodDeflated: return "deflated";
    case zem::kMethodScrambled: return "scrambled";
    default: return "unknown";
  }
}

int RunList(const zemtool::Args& args) {
  if (args.size() != 1) return zemtool::Fail("usage: zemtool list PACKAGE");
  auto unpack = zem::OpenPackage(args[0]);
  if (!unpack->IsOpen())
    return zemtool::Fail(args[0] + ": " + (unpack->Error().empty() ? "no usable package" : unpack->Error()));
  if (const zem::TIniSection* prot = unpack->Table()->FindSection(zem::Utf8ToWide(zem::kProtectionSection))) {
    for (const zem::TCommonIniItem* item = prot->First(); item; item = item->Next())
      if (auto* key = dynamic_cast<const zem::TIniIdent*>(item))
        std::printf("%s=%s\n", zem::WideToUtf8(key->Name()).c_str(), zem::WideToUtf8(key->Value()).c_str());
  }
  if (unpack->Shift() != 0) std::printf("shift=%lld\n", static_cast<long long>(unpack->Shift()));
  for (const std::string& name : unpack->MemberNames()) {
    zem::TMemberInfo info;
    if (!unpack->FindMember(name, info)) {
      std::printf("%s\t(no position or size)\n", name.c_str());
      continue;
    }
    std::printf("%s\t%s\t%lld\t%lld%s\n", name.c_str(), MethodName(info.method),
                static_cast<long long>(info.size), static_cast<long long>(info.position),
                unpack->MemberReadable(info) ? "" : "\t(outside the file)");
  }
  return 0;
}

}  // namespace

ZEMTOOL_COMMAND("list",
                "list PACKAGE\n"
                "    Prints the table's protection values, then name, method, stored size and\n"
                "    absolute position of every member.",
                RunList);
