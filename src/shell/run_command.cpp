#include "shell/run_command.h"

#include <SDL.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <thread>

#include "foundation/log.h"
#include "foundation/strings.h"
#include "platform/close_signals.h"
#include "platform/message_box.h"
#include "shell/command_line.h"

extern char** environ;

namespace zem {
namespace {

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return std::string(s.substr(b, e - b));
}

std::string DropQuotes(std::string_view s) {
  std::string out;
  for (char c : s)
    if (c != '"') out += c;
  return out;
}

// Windows words of the original filter, then what a show must not start on Linux: shells and
// interpreters, file and disk destroyers, privilege, process and power control, network tools.
constexpr std::array<std::string_view, 37> kWindowsWords = {
    ">", "at", "attrib", "call", "cmd", "command", "copy", "del", "deltree", "erase", "for", "format", "fdisk",
    "runonce", "move", "net", "runas", "net1", "ren", "rename", "replace", "rmdir", "rd", "recover", "regedit",
    "rundll", "qstart", "start", "sys", "type", "xcopy", "regsrv", "regedt32", "regsvr32", "rcp", "ftp", "tftp"};
constexpr std::string_view kLinuxWords[] = {
    "sh", "bash", "dash", "zsh", "ksh", "csh", "tcsh", "fish", "busybox", "env", "xargs", "nohup", "setsid",
    "exec", "eval", "source", "script", "expect", "python", "python2", "python3", "perl", "ruby", "php",
    "node", "lua", "tclsh", "wish", "awk", "gawk", "mawk", "sed", "find", "rm", "rmdir", "unlink", "shred",
    "dd", "mkfs", "mke2fs", "mkswap", "fdisk", "sfdisk", "parted", "wipefs", "mount", "umount", "losetup",
    "mv", "cp", "ln", "install", "rsync", "tee", "truncate", "chmod", "chown", "chgrp", "chattr", "setfacl",
    "sudo", "su", "doas", "pkexec", "passwd", "useradd", "userdel", "usermod", "kill", "killall", "pkill",
    "shutdown", "reboot", "halt", "poweroff", "init", "telinit", "systemctl", "service", "crontab", "at",
    "batch", "insmod", "rmmod", "modprobe", "sysctl", "iptables", "nft", "curl", "wget", "nc", "ncat",
    "netcat", "socat", "ssh", "scp", "sftp", "telnet", "xdg-open", "gio", "dbus-send", "gsettings", "dconf",
    "terminal", "x-terminal-emulator", "xterm", "gnome-terminal", "konsole"};

bool IsWord(std::string_view word) {
  for (std::string_view w : kWindowsWords)
    if (w == word) return true;
  for (std::string_view w : kLinuxWords)
    if (w == word) return true;
  return false;
}

void Reap(pid_t pid) {
  std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
}

bool StartsNoCase(const std::string& text, std::string_view prefix) {
  return text.size() >= prefix.size() && LowerAscii(std::string_view(text).substr(0, prefix.size())) == prefix;
}

bool IsNotFound(int error) { return error == ENOENT || error == ENOTDIR; }

// One double quote at each end goes when the text is longer than 5 characters.
std::string StripEnclosingQuotes(std::string s) {
  if (s.size() <= 5) return s;
  if (s.front() == '"') s.erase(0, 1);
  if (!s.empty() && s.back() == '"') s.pop_back();
  return s;
}

template <typename TSpawn>
TSpawnResult RetryNotFound(const TCommandParts& parts, const std::string& dir, const TSpawn& spawn) {
  // The texts as the command gave them: a quoted program quoted again, parameters that held
  // quotes enclosed in quotes again; the retries take those quotes off.
  const std::string program = StripEnclosingQuotes(parts.program_quoted ? "\"" + parts.program + "\"" : parts.program);
  if (!parts.parameters.empty()) {
    const std::string params =
        StripEnclosingQuotes(parts.parameters_quoted ? "\"" + parts.parameters + "\"" : parts.parameters);
    LogLine("RunCommandText: not found, again without enclosing quotes: " + program);
    return spawn(program, SplitParameters(params), dir, true);
  }
  // The program's file name alone, in the show's folder (or on the PATH).
  const size_t cut = program.find_last_of("/\\");
  const std::string name = cut == std::string::npos ? program : program.substr(cut + 1);
  TSpawnResult r;
  r.error = ENOENT;
  if (!name.empty()) {
    const std::string local = dir.empty() ? name : dir + "/" + name;
    r = access(local.c_str(), F_OK) == 0 ? spawn(local, {}, dir, false) : spawn(name, {}, dir, true);
  }
  if (!IsNotFound(r.error) || program.empty() || program.front() == '/') return r;
  // The folder joined with the program as written (a relative path below the show).
  std::string base = dir;
  if (base.size() > 1 && base.back() == '/') base.pop_back();
  return spawn(base.empty() ? program : base + "/" + program, {}, dir, false);
}

}  // namespace

std::vector<std::string> SplitCommands(std::string_view text) {
  std::vector<std::string> out;
  std::string current;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) {
      out.push_back(Trim(current));
      current.clear();
    } else {
      current += c;
    }
  }
  out.push_back(Trim(current));
  std::erase_if(out, [](const std::string& s) { return s.empty(); });
  return out;
}

std::string CommandWord(std::string_view command) {
  if (command.find('>') != std::string_view::npos) return ">";
  std::string s;
  bool quoted = false;
  for (char c : command) {
    if (c == '"') {
      quoted = !quoted;
      continue;
    }
    if (c == '@' || c == '|') continue;
    if (quoted && (c == ' ' || c == '\t')) c = '_';
    s += c;
  }
  size_t b = 0;
  while (b < s.size() && (s[b] == ' ' || s[b] == '\t')) ++b;
  size_t e = s.find_first_of(" \t", b);
  std::string word = LowerAscii(std::string_view(s).substr(b, e == std::string::npos ? std::string::npos : e - b));
  const size_t slash = word.find_last_of("\\/");
  if (slash != std::string::npos) word.erase(0, slash + 1);
  const size_t dot = word.find('.');
  if (dot != std::string::npos) word.resize(dot);
  return word;
}

bool IsProhibitedCommand(std::string_view command) {
  return IsWord(CommandWord(command));
}

TCommandParts SplitProgram(std::string_view command) {
  TCommandParts parts;
  const std::string c = Trim(command);
  size_t end;
  if (!c.empty() && c.front() == '"') {
    parts.program_quoted = true;
    end = c.find('"', 1);
    end = end == std::string::npos ? c.size() : end + 1;
  } else {
    end = c.find(' ');
    if (end == std::string::npos) end = c.size();
  }
  parts.program = Trim(DropQuotes(std::string_view(c).substr(0, end)));
  const std::string_view rest = std::string_view(c).substr(end);
  parts.raw_parameters = Trim(rest);
  parts.parameters_quoted = rest.find('"') != std::string_view::npos;
  parts.parameters = Trim(DropQuotes(rest));
  return parts;
}

std::vector<std::string> SplitParameters(std::string_view raw) { return TokenizeCommandText(raw); }

TProgramKind ClassifyProgram(const std::string& program, const std::string& folder) {
  for (std::string_view scheme : {"http://", "https://", "mailto:", "ftp://", "www."})
    if (StartsNoCase(program, scheme)) return TProgramKind::Address;
  const std::string path = program.empty() || program.front() == '/' || folder.empty() ? program : folder + "/" + program;
  struct stat st {};
  if (program.find('/') == std::string::npos && access(path.c_str(), F_OK) != 0) return TProgramKind::Executable;
  if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) != 0)
    return TProgramKind::Document;
  return TProgramKind::Executable;
}

void BindTopmostWindow(TRunOptions& options, SDL_Window* window) {
  if (!window) return;
  options.is_topmost = [window] { return (SDL_GetWindowFlags(window) & SDL_WINDOW_ALWAYS_ON_TOP) != 0; };
  options.set_topmost = [window](bool topmost) { SDL_SetWindowAlwaysOnTop(window, topmost ? SDL_TRUE : SDL_FALSE); };
}

TSpawnResult SpawnProgram(const std::string& program, const std::vector<std::string>& args,
                          const std::string& working_folder, bool search_path) {
  TSpawnResult result;
  if (program.empty()) {
    result.error = ENOENT;
    return result;
  }
  std::vector<std::string> argv_text;
  argv_text.push_back(program);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!working_folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, working_folder.c_str());
  const bool use_path = search_path && program.find('/') == std::string::npos;
  posix_spawnattr_t attr;
  ChildSpawnAttributes(attr);  // the player's blocked close signals do not pass to the program
  const int rc = use_path ? posix_spawnp(&result.pid, program.c_str(), &actions, &attr, argv.data(), environ)
                          : posix_spawn(&result.pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.error = rc;
    result.pid = -1;
    return result;
  }
  return result;
}

TSpawnResult OpenAddress(const std::string& address, const std::string& working_folder) {
  return SpawnProgram("xdg-open", {address}, working_folder, true);
}

TRunCommandResult RunCommandText(std::string_view text, const std::string& folder, const TRunOptions& options) {
  TRunCommandResult result;
  if (Trim(text).empty()) return result;
  const std::vector<std::string> commands = SplitCommands(text);
  for (const std::string& c : commands) {
    if (IsProhibitedCommand(c)) {
      result.refused = true;
      if (options.message_box)
        options.message_box(kMsgProhibitedCommand);
      else
        ShowErrorBox(kMsgProhibitedCommand);
      return result;
    }
  }
  std::string dir = folder;
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const auto spawn = [&options](const std::string& program, const std::vector<std::string>& args,
                                const std::string& working_folder, bool search_path) {
    return options.spawn ? options.spawn(program, args, working_folder, search_path)
                         : SpawnProgram(program, args, working_folder, search_path);
  };
  for (const std::string& c : commands) {
    const TCommandParts parts = SplitProgram(c);
    if (parts.program.empty()) continue;
    const std::vector<std::string> args = SplitParameters(parts.raw_parameters);
    const bool topmost = options.is_topmost && options.is_topmost();
    if (topmost && options.set_topmost) options.set_topmost(false);
    TSpawnResult r;
    const TProgramKind kind = ClassifyProgram(parts.program, dir);
    if (kind == TProgramKind::Address) {
      // An address may hold blanks; it is handed on whole.
      r = OpenAddress(c, dir);
    } else if (kind == TProgramKind::Document) {
      r = OpenAddress(parts.program.front() == '/' ? parts.program : dir + "/" + parts.program, dir);
    } else {
      // A program that comes with the show, next to it, wins over one of the same name in PATH.
      const std::string local = dir + "/" + parts.program;
      if (parts.program.find('/') == std::string::npos && !dir.empty() && access(local.c_str(), X_OK) == 0)
        r = spawn(local, args, dir, false);
      else
        r = spawn(parts.program, args, dir, true);
      if (IsNotFound(r.error)) r = RetryNotFound(parts, dir, spawn);
    }
    if (r.error != 0) {
      if (topmost && options.set_topmost) options.set_topmost(true);
      LogLine("RunCommandText: cannot start " + parts.program);
      result.failed.push_back(parts.program);
      continue;
    }
    if (r.pid > 0) {
      result.started.push_back(r.pid);
      if (options.reap_children) Reap(r.pid);
    }
  }
  return result;
}

}  // namespace zem
