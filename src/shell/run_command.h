// Running programs and links named by show actions: the command text is split into commands,
// every command is checked against the prohibited words first, and each is started directly
// with an argument vector (never through a shell, so nothing in a show text is interpreted by
// one). Web and mail addresses go to xdg-open.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct SDL_Window;

namespace zem {

inline constexpr const char* kMsgProhibitedCommand =
    "Command line contains prohibited command and will not be performed.";

// Commands at commas outside double quotes, each trimmed; empty commands are dropped.
std::vector<std::string> SplitCommands(std::string_view text);
// The word a command is judged by (">" for any redirection).
std::string CommandWord(std::string_view command);
bool IsProhibitedCommand(std::string_view command);

// A command split into its program and its parameter text. The quote flags say whether the
// program or the parameters were written with double quotes.
struct TCommandParts {
  std::string program;     // without quotes, trimmed
  std::string parameters;  // without quotes, trimmed
  std::string raw_parameters;  // as written, trimmed (keeps the quotes that group arguments)
  bool program_quoted = false;
  bool parameters_quoted = false;
};
TCommandParts SplitProgram(std::string_view command);
// The argument vector of the parameter text: blanks separate arguments outside double quotes.
std::vector<std::string> SplitParameters(std::string_view raw_parameters);

// How a command's program is started: a web or mail address, or a file that is not a program
// (a document), goes to the desktop's opener; anything else is executed.
enum class TProgramKind { Executable, Address, Document };
// `folder` is where a relative program is looked for when deciding whether it is a document.
TProgramKind ClassifyProgram(const std::string& program, const std::string& folder);

// What starting one program did.
struct TSpawnResult {
  int error = 0;  // 0, or the errno of the failed start (ENOENT: not found)
  pid_t pid = -1;
};

struct TRunOptions {
  // The refusal box (text, empty caption, OK); unset: the platform box.
  std::function<void(const std::string& text)> message_box;
  // Topmost handling of the owner window around each start; unset: nothing to do.
  std::function<bool()> is_topmost;
  std::function<void(bool topmost)> set_topmost;
  // Reap started children on a background thread; tests turn this off and wait themselves.
  bool reap_children = true;
  // Starts one program (SpawnProgram when unset; tests watch the tries through it).
  std::function<TSpawnResult(const std::string& program, const std::vector<std::string>& args,
                             const std::string& working_folder, bool search_path)>
      spawn;
};

// Topmost handling for an SDL window: a window kept on top of all others stops being so while a
// program starts (the program would open behind it) and is put back on top when the start fails.
void BindTopmostWindow(TRunOptions& options, SDL_Window* window);

struct TRunCommandResult {
  bool refused = false;
  std::vector<pid_t> started;
  std::vector<std::string> failed;  // programs that could not be started
};

// Starts a program with arguments in a working folder; a program without "/" is looked up in
// PATH. Never waits for the program.
TSpawnResult SpawnProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::string& working_folder, bool search_path);
// Hands an address to the desktop's opener (xdg-open).
TSpawnResult OpenAddress(const std::string& address, const std::string& working_folder);

// Runs every command of a text, after checking all of them; `folder` is the show program's
// folder, the working folder of the programs.
TRunCommandResult RunCommandText(std::string_view text, const std::string& folder, const TRunOptions& options = {});

}  // namespace zem
