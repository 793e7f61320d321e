#include "shell/player_args.h"

#include <unistd.h>

#include <array>
#include <filesystem>
#include <string_view>

#include "foundation/process.h"
#include "foundation/strings.h"

#ifndef ZEM_VERSION
#define ZEM_VERSION "unknown"
#endif

namespace zem {

namespace {

// Switches whose next token is their value; every other switch stands alone, so a path after
// it ("-log show.zem") is still the show.
constexpr std::array<std::string_view, 14> kValueSwitches = {
    "filename", "exename", "slide", "time",   "display", "ownerwnd", "snapshot",
    "at",       "outsize", "export", "fps",   "from",    "to",       "quality"};

bool TakesValue(std::string_view lower_name) {
  for (auto s : kValueSwitches)
    if (s == lower_name) return true;
  return false;
}

std::string CurrentFolder() {
  std::error_code ec;
  auto p = std::filesystem::current_path(ec);
  return ec ? std::string() : p.string();
}

std::string FromCurrentFolder(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  const std::string cwd = CurrentFolder();
  return cwd.empty() ? path : cwd + "/" + path;
}

bool IsFolder(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// "Project.zem" in a folder, matched without case as shows authored on Windows may spell it.
std::string ProjectScriptIn(const std::string& folder) {
  std::string exact = folder + "/Project.zem";
  if (Exists(exact)) return exact;
  std::error_code ec;
  for (auto it = std::filesystem::directory_iterator(folder, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (WideToUtf8(LowerCase(Utf8ToWide(name))) == "project.zem") return it->path().string();
  }
  return exact;  // missing: the open fails and names this path
}

bool HasZemExtension(const std::string& path) {
  return WideToUtf8(LowerCase(Utf8ToWide(ExtractFileExt(path)))) == ".zem";
}

}  // namespace

std::string PlayerUsage() {
  return "Usage: zemviewer [SHOW] [-switch [value]]...\n"
         "Plays a Zem slide show in a window, full screen or as a screen saver.\n"
         "\n"
         "SHOW is a published show (a player with its package appended), a package file made by\n"
         "'zemtool pack', a \"Project.zem\" script or a project folder. Without SHOW the player plays\n"
         "the package appended to its own file. Relative paths are taken from the current folder.\n"
         "\n"
         "Switches (a switch is '-' and its name, matched without case; they win over SHOW):\n"
         "  -filename FILE      play this project script (an unpacked show)\n"
         "  -exename FILE       play the package appended to this file\n"
         "  -slide N            start at slide N (1-based)\n"
         "  -time MS            start at show time MS - 1 milliseconds\n"
         "  -display N          play on monitor N (1-based; otherwise the primary one)\n"
         "  -desktopalign       place the window on the desktop area\n"
         "  -resize             give a windowed show a sizing border\n"
         "  -cover              let pictures cover the output\n"
         "  -log                log to standard error\n"
         "  -filelog            log to a file next to the program (wins over -log)\n"
         "  -snapshot OUT.png -at MS [-outsize WxH]\n"
         "                      draw the frame at show time MS into a PNG, without a display\n"
         "  -export OUT [-outsize WxH] [-fps N] [-from MS] [-to MS] [-quality Q]\n"
         "                      write the show as a video file without a display, faster than\n"
         "                      playing it: .mp4 (H.264, AAC), .mkv (H.264, Opus) or .webm (VP9,\n"
         "                      Opus); the show's design size, 30 fps, the whole show and\n"
         "                      quality 80 of 1..100 unless asked otherwise. Pause barriers\n"
         "                      and manual advance count as released after their slide's\n"
         "                      time. Ctrl+C stops with a shorter video of what was done.\n"
         "  --help, -h          this text\n"
         "  --version           the player's version\n"
         "\n"
         "Keys while a show plays are the show's own; usually Right/Left or the wheel move between\n"
         "slides, Space pauses and Esc ends the show.\n";
}

std::optional<int> HandleInfoSwitches(const TCommandLine& line, std::FILE* out) {
  const auto& args = line.Args();
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h" || args[i] == "-help") {
      std::fputs(PlayerUsage().c_str(), out);
      return 0;
    }
    if (args[i] == "--version") {
      std::fprintf(out, "zemviewer %s\n", ZEM_VERSION);
      return 0;
    }
  }
  return std::nullopt;
}

std::string PositionalShowPath(const TCommandLine& line) {
  const auto& args = line.Args();
  bool value_expected = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!a.empty() && a[0] == '-') {
      value_expected = TakesValue(WideToUtf8(LowerCase(Utf8ToWide(std::string_view(a).substr(1)))));
      continue;
    }
    if (value_expected) {
      value_expected = false;
      continue;
    }
    // "/s" and "/S" are the screen saver's own tokens.
    if (a == "/s" || a == "/S" || a.empty()) continue;
    return a;
  }
  return std::string();
}

TShowRequest ShowRequestForPath(const std::string& path) {
  TShowRequest r;
  r.path = FromCurrentFolder(path);
  while (r.path.size() > 1 && r.path.back() == '/') r.path.pop_back();
  if (IsFolder(r.path)) {
    r.path = ProjectScriptIn(r.path);
    r.project = true;
  } else {
    r.project = HasZemExtension(r.path);
  }
  return r;
}

std::string ResolveCommandLinePath(const std::string& path, const std::string& own_folder) {
  if (path.empty() || path[0] == '/') return path;
  const std::string here = FromCurrentFolder(path);
  if (Exists(here)) return here;
  return own_folder + path;
}

}  // namespace zem
