// Command texts of show actions: splitting into commands, programs and arguments, the prohibited
// word, and action-text parsing never fail on any input, and no command that the filter lets
// through names a prohibited program. Nothing is started.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "script/action_info.h"
#include "shell/run_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  if (size > 16 * 1024) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const std::string& command : SplitCommands(text)) {
    if (command.empty()) std::abort();
    const bool prohibited = IsProhibitedCommand(command);
    const TCommandParts parts = SplitProgram(command);
    SplitParameters(parts.raw_parameters);
    if (!prohibited && parts.program.find('>') != std::string::npos) std::abort();
  }
  ParseAction(Utf8ToWide(text));
  return 0;
}
