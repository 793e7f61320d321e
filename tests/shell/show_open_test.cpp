#include <gtest/gtest.h>

#include <filesystem>

#include "../package/test_util.h"
#include "foundation/strings.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "script/ini_file.h"
#include "platform/display.h"
#include "render/gl_device.h"
#include "shell/show_shell.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

std::vector<test::TMember> Show(const std::string& main_keys) {
  return {{"Project.zem", Bytes("[Main]\r\nZemVersion=3.1\r\nopt_slidescount=4\r\n" + main_keys), kMethodDeflated}};
}

class OpenShow : public ::testing::Test {
 protected:
  OpenShow() : shell(context) {
    shell.error_box = [this](const std::string& text) { boxes.push_back(text); };
  }
  test::TScratch dir;
  TProcessContext context;
  TShowShell shell;
  std::vector<std::string> boxes;
};

TEST_F(OpenShow, PackageAppendedToAProgramOpens) {
  test::WritePackage(dir.Path("Show.exe"), Show("opt_exefn=Show.exe\r\nopt_scr_caption=My Show\r\n"), true,
                     test::Noise(2000));
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("Show.exe"), true, false, true, 0));
  EXPECT_TRUE(boxes.empty());
  ASSERT_TRUE(shell.CurrentLocator());
  EXPECT_EQ(shell.CurrentLocator()->ZemVersion(), "3.1");
  EXPECT_EQ(shell.ShowPath(), dir.Path("Show.exe"));
  EXPECT_EQ(shell.ShowFolder(), dir.Dir());
  EXPECT_EQ(shell.Caption(), "My Show");
  EXPECT_TRUE(shell.WheelEnabled());
  EXPECT_FALSE(shell.PendingStart().given);
}

TEST_F(OpenShow, PlainProgramFailsNamingBothPaths) {
  auto bytes = test::Noise(3000);
  WriteFileBytes(dir.Path("zemviewer"), bytes.data(), bytes.size());
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("zemviewer"), true, false, true, 0));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Can`t Load Show\n\"" + dir.Path("zemviewer") + "\" or \"" + dir.Path("zemviewer.ZmShow") +
                        "\"\nno package trailer (\".dne\" and a table position inside the file) at its end");
  EXPECT_FALSE(shell.CurrentLocator());
}

// The error box of a damaged package ends with the reason verify gives.
TEST_F(OpenShow, DamagedPackagesSayWhy) {
  test::WritePackage(dir.Path("cut.exe"), Show(""), true, test::Noise(500));
  std::vector<uint8_t> bytes;
  ReadFileBytes(dir.Path("cut.exe"), bytes);
  bytes.resize(bytes.size() - 30);  // the table and trailer cut short
  WriteFileBytes(dir.Path("cut.exe"), bytes.data(), bytes.size());
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("cut.exe"), true, false, true, 0));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].substr(boxes[0].rfind('\n') + 1),
            "no package trailer (\".dne\" and a table position inside the file) at its end");
  // A script member whose deflate data is broken.
  const int64_t table = test::WritePackage(dir.Path("bad.exe"), Show(""), true, test::Noise(500));
  ReadFileBytes(dir.Path("bad.exe"), bytes);
  for (int64_t i = 500; i < table; ++i) bytes[static_cast<size_t>(i)] = 0xFF;
  WriteFileBytes(dir.Path("bad.exe"), bytes.data(), bytes.size());
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("bad.exe"), true, false, true, 0));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].substr(0, boxes[1].find('\n')), "Executable SlideShow Open Error");
  EXPECT_EQ(boxes[1].substr(boxes[1].rfind('\n') + 1),
            "member \"Project.zem\": Slide-show File Damaged: the deflate data is damaged");
}

// A show beyond a limit of the object reader is refused with the limit named, and so is a
// script too large to read whole.
TEST_F(OpenShow, ShowsBeyondTheLimitsAreRefusedSayingWhich) {
  std::string deep = "opt_exefn=d.exe\r\n[Slide1]\r\n";
  for (int i = 0; i < 70; ++i) deep += "object box: b" + std::to_string(i) + "\r\n";
  for (int i = 0; i < 70; ++i) deep += "end\r\n";
  test::WritePackage(dir.Path("d.exe"), Show(deep), true, test::Noise(100));
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("d.exe"), true, false, true, 0));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Can`t Load Show\n\"" + dir.Path("d.exe") +
                          "\"\nobject \"b64\" in section \"Slide1\" is nested more than 64 levels deep (the limit)");
  EXPECT_FALSE(shell.CurrentLocator());
  const std::string lines(kMaxScriptLines + 1, '\n');
  WriteFileBytes(dir.Path("big.zem"), lines.data(), lines.size());
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("big.zem"), false, false, true, 0));
  EXPECT_EQ(boxes.back(), "Can`t Load .zem File\n\"" + dir.Path("big.zem") +
                              "\"\nthe script \"" + dir.Path("big.zem") + "\" has more than 2000000 lines");
}

TEST_F(OpenShow, FallsBackToTheZmShowFileAndReportsItsError) {
  auto bytes = test::Noise(3000);
  WriteFileBytes(dir.Path("player.exe"), bytes.data(), bytes.size());
  test::WritePackage(dir.Path("player.ZmShow"), Show("opt_exefn=player.exe\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("player.exe"), true, false, true, 0));
  EXPECT_TRUE(boxes.empty());
  // A moved package refused by the integrity test, and no ".ZmShow": that refusal is shown.
  std::vector<uint8_t> moved = test::Noise(10);
  test::WritePackage(dir.Path("m.exe"), Show(""), true, test::Noise(50));
  std::vector<uint8_t> rest;
  ReadFileBytes(dir.Path("m.exe"), rest);
  moved.insert(moved.end(), rest.begin(), rest.end());
  WriteFileBytes(dir.Path("m.exe"), moved.data(), moved.size());
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("m.exe"), true, false, true, 0));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].substr(0, boxes[0].find('\n')), "Slide-show File Modified");
  // With a ".ZmShow" file, its own error is the one shown.
  WriteFileBytes(dir.Path("m.ZmShow"), "junk", 4);
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("m.exe"), true, false, true, 0));
  EXPECT_EQ(boxes.back().substr(0, boxes.back().find('\n')), "Can`t Load Show");
  // A path that does not exist at all.
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("gone.exe"), true, false, true, 0));
  EXPECT_EQ(boxes.back().substr(0, boxes.back().find('\n')), "Slideshow File not Found");
  // The earlier show is still the current one.
  EXPECT_EQ(shell.ShowPath(), dir.Path("player.exe"));
}

TEST_F(OpenShow, AppBundleOpensItsSlideshowDat) {
  fs::create_directories(dir.Path("Show.app/Contents/Resources"));
  test::WritePackage(dir.Path("Show.app/Contents/Resources/slideshow.dat"), Show("opt_exefn=x\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("Show.app"), true, false, true, 0));
  EXPECT_EQ(ResolvePackageFile(dir.Path("Other.app")), dir.Path("Other.app"));
}

TEST_F(OpenShow, PackagedShowWithoutExeNameWarnsButOpens) {
  test::WritePackage(dir.Path("s.ZmShow"), Show("opt_lockwheel=1\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("s.ZmShow"), true, true, true, 1500));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "opt_exefn - Empty");
  EXPECT_EQ(shell.Caption(), "ZemViewer v5.6");
  EXPECT_FALSE(shell.WheelEnabled());
  EXPECT_TRUE(shell.PendingStart().given);
  EXPECT_TRUE(shell.PendingStart().is_time);
  EXPECT_EQ(shell.PendingStart().value, 1500);
}

TEST_F(OpenShow, ProjectOnDiskSetsTheReplacePair) {
  std::string script = "[Main]\r\nZemVersion=2\r\nopt_exefn=pub/Show.exe\r\n";
  WriteFileBytes(dir.Path("proj.zem"), script.data(), script.size());
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("proj.zem"), false, false, true, 3));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(shell.ShowPath(), dir.Path("pub/Show.exe"));
  EXPECT_EQ(shell.ShowFolder(), dir.Path("pub"));
  EXPECT_EQ(shell.ReplacePair().exe_name, dir.Path("pub/Show.exe"));
  EXPECT_EQ(shell.ReplacePair().project_path, dir.Path("proj.zem"));
  EXPECT_EQ(shell.PendingStart().value, 3);
  EXPECT_FALSE(shell.PendingStart().is_time);
  // Asking for the published program opens the project again (no package exists there).
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("pub/Show.exe"), true, false, true, 0));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(shell.CurrentLocator()->ZemVersion(), "2");
}

TEST_F(OpenShow, MissingProjectScript) {
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("none.zem"), false, false, true, 0));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "Can`t Load .zem File\n\"" + dir.Path("none.zem") + "\"");
}

TEST_F(OpenShow, RefusedChecksKeepThePreviousShow) {
  test::WritePackage(dir.Path("a.ZmShow"), Show("opt_exefn=a\r\n"), false);
  test::WritePackage(dir.Path("b.ZmShow"), Show("opt_exefn=b\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("a.ZmShow"), true, false, true, 0));
  TZemShowLocator* first = shell.CurrentLocator();
  int asked = 0;
  shell.password_check = [&](TZemShowLocator&) { return ++asked, false; };
  EXPECT_FALSE(shell.OpenShowFile(dir.Path("b.ZmShow"), true, false, true, 0));
  EXPECT_EQ(shell.CurrentLocator(), first);
  // Without checks (returning from a run stack entry) the password is not asked.
  EXPECT_TRUE(shell.OpenShowFile(dir.Path("b.ZmShow"), true, false, false, 0));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(shell.ShowPath(), dir.Path("b.ZmShow"));
}

TEST_F(OpenShow, HooksSeeTheNewShow) {
  InstallShowOpenHooks();
  std::vector<TZemShowLocator*> seen;
  auto saved = ShowOpenHooks();
  ShowOpenHooks().video_library = [&](TZemShowLocator* l) { seen.push_back(l); };
  test::WritePackage(dir.Path("a.ZmShow"), Show("opt_exefn=a\r\nopt_scr_noexclusive=1\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("a.ZmShow"), true, false, true, 0));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], shell.CurrentLocator());
  EXPECT_FALSE(ExclusiveModeAllowed());  // the show asks for no exclusive output
  SetExclusiveModeAllowed(true);
  std::string script = "[Main]\r\n";
  WriteFileBytes(dir.Path("p.zem"), script.data(), script.size());
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("p.zem"), false, false, true, 0));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1], nullptr);  // a project on disk: the hook runs without a locator
  ShowOpenHooks() = saved;
}

// The exclusive-mode hook reaches the device layer: full-screen shows may take the display
// unless they ask not to (or the desktop composites).
TEST_F(OpenShow, ExclusiveFullScreenFollowsTheShow) {
  InstallShowOpenHooks();
  unsetenv("WAYLAND_DISPLAY");
  T3DEngineGL& gl = T3DEngineGL::Instance();
  test::WritePackage(dir.Path("a.ZmShow"), Show("opt_exefn=a\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("a.ZmShow"), true, false, true, 0));
  EXPECT_TRUE(gl.ExclusiveAllowed());
  test::WritePackage(dir.Path("b.ZmShow"), Show("opt_exefn=b\r\nopt_scr_noexclusive=1\r\n"), false);
  ASSERT_TRUE(shell.OpenShowFile(dir.Path("b.ZmShow"), true, false, true, 0));
  EXPECT_FALSE(gl.ExclusiveAllowed());
}

}  // namespace
}  // namespace zem
