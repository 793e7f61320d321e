// zemtool verify: trailer, table, integrity test, and every member opened and read through.
#include <cstdio>

#include "commands.h"
#include "package/package_tools.h"

namespace {

int RunVerify(const zemtool::Args& args) {
  if (args.size() != 1) return zemtool::Fail("usage: zemtool verify PACKAGE");
  zem::TVerifyReport report;
  bool ok = zem::VerifyPackage(args[0], report);
  for (const auto& p : report.problems) std::printf("%s\n", p.c_str());
  std::printf("verify: %s: %d members, %lld bytes, shift %lld, %s\n", args[0].c_str(), report.members,
              static_cast<long long>(report.bytes), static_cast<long long>(report.shift),
              ok ? "OK" : (std::to_string(report.problems.size()) + " problems").c_str());
  return ok ? 0 : 1;
}

}  // namespace

ZEMTOOL_COMMAND("verify",
                "verify PACKAGE\n"
                "    Checks trailer, table, integrity test and every member; status 0 only when\n"
                "    all is well.",
                RunVerify);
