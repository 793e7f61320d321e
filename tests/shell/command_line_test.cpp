#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "shell/command_line.h"
#include "shell/player_args.h"
#include "shell/show_shell.h"

namespace zem {
namespace {

TEST(Tokenizer, BlanksQuotesAndControlCharacters) {
  auto t = TokenizeCommandText("  prog.exe\t-filename \"C:\\My Shows\\a b.zem\"\r\n-slide 3 x\"y\"z \"\"");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0], "prog.exe");
  EXPECT_EQ(t[1], "-filename");
  EXPECT_EQ(t[2], "C:\\My Shows\\a b.zem");
  EXPECT_EQ(t[3], "-slide");
  EXPECT_EQ(t[4], "3");
  EXPECT_EQ(t[5], "xyz");
  EXPECT_EQ(t[6], "");
  // A quote in the middle of a token keeps blanks inside it.
  t = TokenizeCommandText("-x a\" b\"c");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1], "a bc");
  EXPECT_TRUE(TokenizeCommandText(" \t\x01 ").empty());
}

TEST(CommandLine, SwitchesIgnoreCaseValuesKeepOrder) {
  TCommandLine cl;
  cl.ParseText("player.exe stray -FILENAME one.zem two.zem -Startup -log -display 2");
  const auto& c = cl.Commands();
  EXPECT_EQ(c.FirstValue("filename"), "one.zem");  // two values: the first is used
  ASSERT_TRUE(c.Find("FileName"));
  EXPECT_EQ(c.Find("filename")->Items().size(), 2u);
  EXPECT_TRUE(c.Has("log"));
  EXPECT_FALSE(c.HasValue("log"));
  EXPECT_EQ(c.FirstInteger("display", 0), 2);
  // Values before any switch belong to the empty name.
  ASSERT_TRUE(c.Find(""));
  EXPECT_EQ(c.Find("")->Items().size(), 2u);
  EXPECT_EQ(c.FirstValue(""), "player.exe");
  // Only the exact token "-startup" means start-up mode.
  EXPECT_TRUE(c.Has("startup"));
  EXPECT_FALSE(cl.HasArg("-startup"));
  EXPECT_TRUE(cl.HasArg("-Startup"));
  EXPECT_EQ(cl.Args().size(), 9u);
  TProcessContext ctx;
  ctx.command_line = std::move(cl);
  EXPECT_FALSE(TShowShell(ctx).StartupMode());
  ctx.command_line.AddToken("-startup");
  EXPECT_TRUE(TShowShell(ctx).StartupMode());
}

TEST(CommandLine, IntegerValues) {
  auto v = [](const char* text) { return TCommandItem(text).AsInteger(-99); };
  EXPECT_EQ(v("42"), 42);
  EXPECT_EQ(v("$2A"), 42);
  EXPECT_EQ(v("0x2a"), 42);
  EXPECT_EQ(v("0X2A"), 42);
  EXPECT_EQ(v("$FFFFFFFF"), -1);
  EXPECT_EQ(v("2147483647"), 2147483647);
  EXPECT_EQ(v("2147483648"), -99);
  EXPECT_EQ(v("abc"), -99);
  EXPECT_EQ(v(""), -99);
  EXPECT_EQ(v("12 "), -99);
  EXPECT_EQ(v("$"), -99);
  EXPECT_EQ(v("0x"), -99);
}

TStartPosition Start(const char* text) {
  TCommandLine cl;
  cl.ParseText(text);
  return StartPositionFromCommands(cl.Commands());
}

TEST(CommandLine, StartPosition) {
  EXPECT_FALSE(Start("p").given);
  auto s = Start("p -slide 0");
  EXPECT_TRUE(s.given);
  EXPECT_FALSE(s.is_time);
  EXPECT_EQ(s.value, 1);
  EXPECT_EQ(Start("p -slide abc").value, 1);
  EXPECT_EQ(Start("p -slide 3").value, 3);
  s = Start("p -time 1");
  EXPECT_TRUE(s.is_time);
  EXPECT_EQ(s.value, 0);
  EXPECT_EQ(Start("p -time 5000").value, 4999);
  EXPECT_EQ(Start("p -time -3").value, 0);
  EXPECT_EQ(Start("p -time x").value, 0);
  s = Start("p -time 500 -slide 2");  // "slide" wins
  EXPECT_FALSE(s.is_time);
  EXPECT_EQ(s.value, 2);
}

}  // namespace
}  // namespace zem

namespace zem {
namespace {

TEST(PlayerArgs, PositionalPathSkipsSwitchValuesAndScreenSaverTokens) {
  auto positional = [](const char* text) {
    TCommandLine cl;
    cl.ParseText(text);
    return PositionalShowPath(cl);
  };
  EXPECT_EQ(positional("zemviewer show.zmshow"), "show.zmshow");
  EXPECT_EQ(positional("zemviewer -slide 3 -log my/show"), "my/show");  // "-log" takes no value
  EXPECT_EQ(positional("zemviewer -exename a.exe -display 2"), "");
  EXPECT_EQ(positional("zemviewer /s"), "");
  EXPECT_EQ(positional("zemviewer"), "");
}

TEST(PlayerArgs, FoldersScriptsAndPackagesFromTheCurrentFolder) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("zem_args_" + std::to_string(::getpid()));
  fs::create_directories(dir / "proj");
  std::ofstream(dir / "proj" / "PROJECT.ZEM") << "[Main]\n";
  std::ofstream(dir / "show.zmshow") << "x";
  const fs::path before = fs::current_path();
  fs::current_path(dir);
  TShowRequest folder = ShowRequestForPath("proj/");
  TShowRequest script = ShowRequestForPath("proj/PROJECT.ZEM");
  TShowRequest package = ShowRequestForPath("show.zmshow");
  // -exename: the current folder first, next to the program when the file is not here.
  std::string here = ResolveCommandLinePath("show.zmshow", "/opt/zem/");
  std::string there = ResolveCommandLinePath("other.exe", "/opt/zem/");
  fs::current_path(before);
  EXPECT_TRUE(folder.project);
  EXPECT_EQ(folder.path, (dir / "proj" / "PROJECT.ZEM").string());  // matched without case
  EXPECT_TRUE(script.project);
  EXPECT_FALSE(package.project);
  EXPECT_EQ(package.path, (dir / "show.zmshow").string());
  EXPECT_EQ(here, (dir / "show.zmshow").string());
  EXPECT_EQ(there, "/opt/zem/other.exe");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace zem
