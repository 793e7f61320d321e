// zemtool extract: every member to a file below a folder. Names that would leave the folder, and
// paths through symbolic links already in it, are refused; the others are still extracted.
#include <cstdio>

#include "commands.h"
#include "package/package_tools.h"
#include "package/unpack.h"

namespace {

int RunExtract(const zemtool::Args& args) {
  if (args.size() != 2) return zemtool::Fail("usage: zemtool extract PACKAGE DIR");
  auto unpack = zem::OpenPackage(args[0]);
  if (!unpack->IsOpen())
    return zemtool::Fail(args[0] + ": " + (unpack->Error().empty() ? "no usable package" : unpack->Error()));
  zem::TExtractReport report;
  bool ok = zem::ExtractPackage(*unpack, args[1], report);
  for (const auto& name : report.refused)
    std::fprintf(stderr, "zemtool: extract: refused member \"%s\": its name would leave %s\n", name.c_str(),
                 args[1].c_str());
  for (const auto& l : report.linked)
    std::fprintf(stderr, "zemtool: extract: %s (nothing is written through links below %s)\n", l.c_str(),
                 args[1].c_str());
  for (const auto& f : report.failed) std::fprintf(stderr, "zemtool: extract: %s\n", f.c_str());
  std::printf("extracted %d members to %s", report.extracted, args[1].c_str());
  if (!ok)
    std::printf(", %zu refused, %zu failed", report.refused.size() + report.linked.size(), report.failed.size());
  std::printf("\n");
  return ok ? 0 : 1;
}

}  // namespace

ZEMTOOL_COMMAND("extract",
                "extract PACKAGE DIR\n"
                "    Writes every member to a file under DIR (\"\\\" becomes \"/\"); names that would\n"
                "    leave DIR, and paths through symbolic links inside DIR, are refused, and the\n"
                "    status is then non-zero.",
                RunExtract);
