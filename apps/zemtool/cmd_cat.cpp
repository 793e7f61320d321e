// zemtool cat: one member's decoded bytes on standard output.
#include <cstdio>
#include <vector>

#include "commands.h"
#include "package/unpack.h"

namespace {

int RunCat(const zemtool::Args& args) {
  if (args.size() != 2) return zemtool::Fail("usage: zemtool cat PACKAGE MEMBER");
  auto unpack = zem::OpenPackage(args[0]);
  if (!unpack->IsOpen())
    return zemtool::Fail(args[0] + ": " + (unpack->Error().empty() ? "no usable package" : unpack->Error()));
  std::string error;
  auto stream = unpack->OpenMember(args[1], &error);
  if (!stream) return zemtool::Fail(args[1] + ": " + error);
  std::vector<uint8_t> buf(1 << 20);
  for (;;) {
    int64_t n = stream->Read(buf.data(), static_cast<int64_t>(buf.size()));
    if (n <= 0) break;
    if (std::fwrite(buf.data(), 1, static_cast<size_t>(n), stdout) != static_cast<size_t>(n))
      return zemtool::Fail("write error");
  }
  return std::fflush(stdout) == 0 ? 0 : zemtool::Fail("write error");
}

}  // namespace

ZEMTOOL_COMMAND("cat", "cat PACKAGE MEMBER\n    Writes the member's decoded bytes to standard output.", RunCat);
