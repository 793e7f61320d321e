// Program entry of the player, from the display test to the exit status.
#include <memory>

#include "foundation/log.h"
#include "platform/display.h"
#include "platform/message_box.h"
#include "script/ini_file.h"
#include "shell/show_shell.h"

namespace zem {

int RunPlayer(int argc, const char* const* argv) {
  TProcessContext context = TProcessContext::FromArgv(argc, argv);
  const TCommandsStorage& commands = context.command_line.Commands();

  const int depth = PrimaryDisplayDepth();
  if (depth > 0 && depth < 16) {
    ShowErrorBox(kErrDisplayDepth);
    return 1;
  }

  if (commands.Has("filelog")) InstallLog(std::make_unique<TFileLog>(std::string(), false));
  else if (commands.Has("log")) InstallLog(std::make_unique<TStdLog>());
  CurrentLog().WriteRunHeader();

  InstallShowOpenHooks();

  TShowShell shell(context);
  std::string path;
  if (commands.HasValue("filename")) {
    path = commands.FirstValue("filename");
    shell.file_name_given = true;
  } else if (commands.HasValue("exename")) {
    path = commands.FirstValue("exename");
  } else {
    path = context.own_path;
  }
  path = context.ResolvePath(path);
  if (shell.file_name_given) shell.command_line_file = path;
  const TStartPosition start = StartPositionFromCommands(commands);

  int status = 0;
  if (shell.OpenShowFile(path, !shell.file_name_given, start.is_time, true, start.given ? start.value : 0)) {
    TZemShowLocator& show = *shell.CurrentLocator();
    shell.SetShowVersion(show.ZemVersion());
    // Playback belongs to the viewer; until it exists the run ends after the open.
    CurrentLog().WriteLine("OpenShowFile: " + shell.ShowPath());
    CurrentLog().WriteInt("OpenShowFile: slides ", show.Script()->ReadInteger(u"Main", u"opt_slidescount", 0));
    CurrentLog().WriteLine("OpenShowFile: version " + shell.ShowVersion());
  } else {
    status = 1;
  }
  CurrentLog().WriteRunFooter();
  return status;
}

}  // namespace zem
