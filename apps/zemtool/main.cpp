#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"

namespace zemtool {

static std::vector<Command>& Registry() {
  static std::vector<Command> r;
  return r;
}

bool RegisterCommand(const Command& c) {
  Registry().push_back(c);
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "zemtool: %s\n", message.c_str());
  return 2;
}

static void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: zemtool COMMAND ARGS...\n\ncommands:\n");
  auto cmds = Registry();
  std::sort(cmds.begin(), cmds.end(), [](const Command& a, const Command& b) { return std::strcmp(a.name, b.name) < 0; });
  for (auto& c : cmds) std::fprintf(out, "%s\n\n", c.usage);
}

}  // namespace zemtool

int main(int argc, char** argv) {
  using namespace zemtool;
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
    PrintHelp(argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  if (!std::strcmp(argv[1], "--version")) {
    std::printf("zemtool %s\n", ZEM_VERSION);
    return 0;
  }
  for (auto& c : Registry())
    if (!std::strcmp(c.name, argv[1])) return c.run(Args(argv + 2, argv + argc));
  return Fail(std::string("unknown command '") + argv[1] + "' (try zemtool --help)");
}
