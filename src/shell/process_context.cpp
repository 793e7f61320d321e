#include "shell/process_context.h"

#include "foundation/process.h"
#include "shell/screen_saver.h"

namespace zem {

TProcessContext TProcessContext::FromArgv(int argc, const char* const* argv) {
  TProcessContext c;
  c.own_path = OwnExecutablePath();
  if (c.own_path.empty() && argc > 0 && argv[0]) c.own_path = argv[0];
  c.own_folder = ExtractFileDir(c.own_path);
  if (c.own_folder.empty() || c.own_folder.back() != '/') c.own_folder += '/';
  c.command_line.ParseArgv(argc, argv);
  return c;
}

bool TProcessContext::AnotherInstanceRuns() const { return instance && !instance->Acquired(); }

}  // namespace zem
