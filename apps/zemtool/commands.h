// zemtool commands. Each command lives in its own cmd_NAME.cpp and registers itself with
// ZEMTOOL_COMMAND, so the commands of later subsystems add files, not edits.
#pragma once
#include <string>
#include <vector>

namespace zemtool {

using Args = std::vector<std::string>;  // arguments after the command word
using CommandFn = int (*)(const Args&);

struct Command {
  const char* name;
  const char* usage;  // one or more lines for --help
  CommandFn run;
};

bool RegisterCommand(const Command& c);
// Prints "zemtool: " + message to standard error and returns exit status 2.
int Fail(const std::string& message);

}  // namespace zemtool

#define ZEMTOOL_COMMAND(name, usage, fn) \
  static const bool zemtool_registered_##fn = ::zemtool::RegisterCommand({name, usage, fn})
