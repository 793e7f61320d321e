#include <SDL.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <csignal>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "render/gl_context.h"
#include "shell/run_command.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

TEST(ProhibitedCommands, WindowsAndLinuxWordsAndRedirection) {
  EXPECT_TRUE(IsProhibitedCommand("cmd /c del x"));
  EXPECT_TRUE(IsProhibitedCommand("c:\\windows\\system32\\format.com c:"));
  EXPECT_TRUE(IsProhibitedCommand("a.exe > out.txt"));
  EXPECT_TRUE(IsProhibitedCommand("\"C:\\Program Files\\x\\REGEDIT.EXE\""));
  EXPECT_TRUE(IsProhibitedCommand("@del x"));
  EXPECT_TRUE(IsProhibitedCommand("/bin/rm -rf /tmp/x"));
  EXPECT_TRUE(IsProhibitedCommand("sudo reboot"));
  EXPECT_TRUE(IsProhibitedCommand("/usr/bin/bash -c true"));
  EXPECT_TRUE(IsProhibitedCommand("SH"));
  EXPECT_FALSE(IsProhibitedCommand("notepad.exe readme.txt"));
  EXPECT_FALSE(IsProhibitedCommand("/usr/bin/true"));
  EXPECT_FALSE(IsProhibitedCommand("delta.exe"));  // only the whole word counts
  EXPECT_EQ(CommandWord("\"My Tools\\Del Me.exe\" x"), "del_me");
  EXPECT_EQ(CommandWord("a|b.exe"), "ab");
}

TEST(CommandSplitting, CommasProgramsAndParameters) {
  EXPECT_EQ(SplitCommands(" a x , \"b,c\" y ,, d "), (std::vector<std::string>{"a x", "\"b,c\" y", "d"}));
  TCommandParts p = SplitProgram("\"/opt/my app/run\" -x \"two words\"");
  EXPECT_EQ(p.program, "/opt/my app/run");
  EXPECT_TRUE(p.program_quoted);
  EXPECT_EQ(p.parameters, "-x two words");
  EXPECT_TRUE(p.parameters_quoted);
  EXPECT_EQ(SplitParameters(p.raw_parameters), (std::vector<std::string>{"-x", "two words"}));
  p = SplitProgram("notepad.exe readme.txt");
  EXPECT_EQ(p.program, "notepad.exe");
  EXPECT_EQ(p.parameters, "readme.txt");
  EXPECT_FALSE(p.parameters_quoted);
}

class RunCommands : public ::testing::Test {
 protected:
  RunCommands() {
    dir = fs::temp_directory_path() / ("zem_run_" + std::to_string(getpid()) + "_" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
    // The helper writes its working folder and arguments, one a line.
    std::ofstream(dir / "helper") << "#!/bin/sh\n{ pwd; for a in \"$@\"; do echo \"$a\"; done; } > \"$0.out.$1\"\n";
    fs::permissions(dir / "helper", fs::perms::owner_all);
    options.reap_children = false;
    options.message_box = [this](const std::string& t) { boxes.push_back(t); };
  }
  ~RunCommands() override { fs::remove_all(dir); }
  std::string Out(const std::string& first_arg, const std::string& program = "helper") {
    std::ifstream in(dir / (program + ".out." + first_arg));
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void WaitAll(const TRunCommandResult& r) {
    for (pid_t pid : r.started) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
  }
  fs::path dir;
  TRunOptions options;
  std::vector<std::string> boxes;
};

TEST_F(RunCommands, RunsEachCommandWithItsArgumentsInTheFolder) {
  const std::string helper = (dir / "helper").string();
  const auto r = RunCommandText(helper + " one \"two words\", \"" + helper + "\" second", dir.string(), options);
  EXPECT_FALSE(r.refused);
  ASSERT_EQ(r.started.size(), 2u);
  WaitAll(r);
  const std::string cwd = fs::canonical(dir).string();
  EXPECT_EQ(Out("one"), cwd + "\none\ntwo words\n");
  EXPECT_EQ(Out("second"), cwd + "\nsecond\n");
  EXPECT_TRUE(boxes.empty());
}

// The player blocks its close signals in every thread; a program it starts must not inherit
// that (it could not be stopped with SIGTERM).
TEST_F(RunCommands, StartedProgramsGetNoBlockedSignals) {
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &old);
  const std::string out = (dir / "sigblk").string();
  const TSpawnResult r = SpawnProgram("/bin/sh", {"-c", "grep SigBlk /proc/self/status > " + out}, dir.string(), false);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_GT(r.pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(r.pid, &status, 0), r.pid);
  std::ifstream in(out);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "SigBlk:\t0000000000000000");
}

TEST_F(RunCommands, AProgramWithoutPathIsFoundInTheFolder) {
  // Not in PATH, so the second try joins the folder and the name.
  fs::copy_file(dir / "helper", dir / "zem-helper-tool");
  const auto r = RunCommandText("zem-helper-tool", dir.string() + "/", options);
  ASSERT_EQ(r.started.size(), 1u);
  WaitAll(r);
  EXPECT_TRUE(fs::exists(dir / "zem-helper-tool.out."));
}

TEST_F(RunCommands, AShowProgramWithArgumentsIsFoundInTheFolder) {
  fs::copy_file(dir / "helper", dir / "zem-helper-tool");
  const auto r = RunCommandText("zem-helper-tool alpha beta", dir.string(), options);
  ASSERT_EQ(r.started.size(), 1u);
  WaitAll(r);
  EXPECT_EQ(Out("alpha", "zem-helper-tool"), fs::canonical(dir).string() + "\nalpha\nbeta\n");
}

// A program that is not found is tried again: with parameters, without the quotes that enclose
// program and parameters; without parameters, by its file name in the show's folder, then as
// the folder joined with the program.
TEST_F(RunCommands, NotFoundProgramsAreTriedAgain) {
  std::vector<std::pair<std::string, std::vector<std::string>>> tries;
  options.spawn = [&](const std::string& program, const std::vector<std::string>& args, const std::string&, bool) {
    tries.emplace_back(program, args);
    TSpawnResult r;
    r.error = ENOENT;
    return r;
  };
  auto r = RunCommandText("\"/opt/zem/prog\" \"a b\" c", dir.string(), options);
  ASSERT_EQ(tries.size(), 2u);
  EXPECT_EQ(tries[0].second, (std::vector<std::string>{"a b", "c"}));
  EXPECT_EQ(tries[1].first, "/opt/zem/prog");
  EXPECT_EQ(tries[1].second, (std::vector<std::string>{"a", "b", "c"})) << "the enclosing quotes are gone";
  EXPECT_EQ(r.failed.size(), 1u);

  tries.clear();
  RunCommandText("tools\\zem-none", dir.string(), options);
  ASSERT_EQ(tries.size(), 3u);
  EXPECT_EQ(tries[1].first, "zem-none") << "the file name alone";
  EXPECT_EQ(tries[2].first, dir.string() + "/tools\\zem-none") << "the folder joined with the program";

  // For real: a Windows path of a program that lies next to the show runs from there.
  options.spawn = nullptr;
  fs::copy_file(dir / "helper", dir / "zem-helper-tool");
  r = RunCommandText("tools\\zem-helper-tool", dir.string(), options);
  ASSERT_EQ(r.started.size(), 1u);
  WaitAll(r);
  EXPECT_TRUE(fs::exists(dir / "zem-helper-tool.out."));
}

TEST_F(RunCommands, AddressesAndDocumentsGoToTheOpener) {
  std::ofstream(dir / "readme.txt") << "text";
  EXPECT_EQ(ClassifyProgram("HTTPS://example.org/x", dir.string()), TProgramKind::Address);
  EXPECT_EQ(ClassifyProgram("mailto:a@b.c", dir.string()), TProgramKind::Address);
  EXPECT_EQ(ClassifyProgram("readme.txt", dir.string()), TProgramKind::Document);
  EXPECT_EQ(ClassifyProgram((dir / "readme.txt").string(), ""), TProgramKind::Document);
  EXPECT_EQ(ClassifyProgram("helper", dir.string()), TProgramKind::Executable);
  EXPECT_EQ(ClassifyProgram("true", dir.string()), TProgramKind::Executable);
}

TEST_F(RunCommands, AProhibitedCommandStopsTheWholeText) {
  const std::string helper = (dir / "helper").string();
  const auto r = RunCommandText(helper + " first, rm -rf " + dir.string(), dir.string(), options);
  EXPECT_TRUE(r.refused);
  EXPECT_TRUE(r.started.empty());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], kMsgProhibitedCommand);
  EXPECT_FALSE(fs::exists(dir / "helper.out.first"));
  EXPECT_TRUE(RunCommandText("   ", dir.string(), options).started.empty());
}

TEST_F(RunCommands, MissingProgramsAreReportedAndTopmostRestored) {
  int topmost_changes = 0;
  bool topmost = true;
  options.is_topmost = [&] { return topmost; };
  options.set_topmost = [&](bool t) { topmost = t; ++topmost_changes; };
  const auto r = RunCommandText("/nonexistent/zem-program x", dir.string(), options);
  EXPECT_TRUE(r.started.empty());
  EXPECT_EQ(r.failed, std::vector<std::string>{"/nonexistent/zem-program"});
  EXPECT_TRUE(topmost);
  EXPECT_EQ(topmost_changes, 2);
}

// The main window's binding: an SDL window kept on top steps back while a program starts and
// is on top again only when the start failed.
TEST_F(RunCommands, AnOnTopWindowStepsBackForAStartedProgram) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  if (!EnsureSdlVideo(true)) GTEST_SKIP() << "no SDL video driver";
  SDL_Window* window = SDL_CreateWindow("zem-topmost", 0, 0, 32, 32, SDL_WINDOW_HIDDEN);
  if (!window) GTEST_SKIP() << "no SDL window: " << SDL_GetError();
  const auto on_top = [window] { return (SDL_GetWindowFlags(window) & SDL_WINDOW_ALWAYS_ON_TOP) != 0; };
  BindTopmostWindow(options, window);

  SDL_SetWindowAlwaysOnTop(window, SDL_TRUE);
  if (!on_top()) {
    // The offscreen driver keeps no stacking order; the window suite runs this under X11.
    SDL_DestroyWindow(window);
    GTEST_SKIP() << "the video driver cannot keep windows on top";
  }
  EXPECT_EQ(RunCommandText("/nonexistent/zem-program", dir.string(), options).failed.size(), 1u);
  EXPECT_TRUE(on_top()) << "a failed start puts the window back on top";

  const auto r = RunCommandText((dir / "helper").string() + " ontop", dir.string(), options);
  ASSERT_EQ(r.started.size(), 1u);
  WaitAll(r);
  EXPECT_FALSE(on_top()) << "the started program is not covered";

  // A window that is not on top is left as it is.
  const auto plain = RunCommandText("/nonexistent/zem-program", dir.string(), options);
  EXPECT_EQ(plain.failed.size(), 1u);
  EXPECT_FALSE(on_top());
  SDL_DestroyWindow(window);
}

}  // namespace
}  // namespace zem
