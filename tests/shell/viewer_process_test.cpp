// Runs the player program itself: as a published show (a copy with a package appended) and as a
// plain copy. SDL is told to use no display, so errors go to standard error and nothing waits.
#include <gtest/gtest.h>

#include <filesystem>

#include "../package/test_util.h"
#include "package/package_writer.h"
#include "player_process.h"
#include "shell/screen_saver.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using test::RunPlayerProcess;
using test::TRun;

// A published show: a copy of the player with a package of a small project appended. The show
// lasts 0.6 s, closes at its end and plays without the window's focus (no display here), so the
// player ends by itself.
void Publish(const test::TScratch& dir, const std::string& out_name) {
  fs::create_directories(dir.Path("proj/pics"));
  std::string script =
      "[Main]\r\nZemVersion=5.6\r\nopt_slidescount=3\r\nopt_synchpos1=200\r\nopt_synchpos2=400\r\n"
      "opt_synchpos3=600\r\nopt_repeat=close\r\nopt_pausewheninactive=0\r\nopt_scr_full=0\r\n"
      "opt_scr_width=160\r\nopt_scr_height=120\r\n";
  WriteFileBytes(dir.Path("proj/show.zem"), script.data(), script.size());
  auto pic = test::Noise(1000);
  WriteFileBytes(dir.Path("proj/pics/a.jpg"), pic.data(), pic.size());
  auto out = TFileStream::Open(dir.Path(out_name), TFileMode::Create);
  auto player = TFileStream::Open(ZEMVIEWER_PATH, TFileMode::Read);
  ASSERT_TRUE(out && player);
  out->CopyFrom(*player, -1);
  TPackProjectResult result;
  ASSERT_TRUE(PackProject(dir.Path("proj/show.zem"), *out, {}, true, out_name, result)) << result.error;
  out.reset();
  fs::permissions(dir.Path(out_name), fs::perms::owner_all);
}

TEST(ViewerProcess, PublishedShowOpensItsOwnPackage) {
  test::TScratch dir;
  Publish(dir, "myshow");
  fs::create_directories(dir.Path("run"));
  TRun r = RunPlayerProcess({dir.Path("myshow")}, dir.Path("err.txt"), {"XDG_RUNTIME_DIR=" + dir.Path("run")});
  EXPECT_EQ(r.status, 0) << r.err;
  // Every process takes the single-instance lock (not only screen-saver copies).
  const std::string own = fs::canonical(dir.Path("myshow")).string();
  EXPECT_TRUE(fs::exists(dir.Path("run") + "/" + InstanceName(own) + ".lock"));
  // The log switch writes the run to standard error, with the show's slide count and version.
  r = RunPlayerProcess({dir.Path("myshow"), "-log"}, dir.Path("err.txt"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Program : " + dir.Path("myshow")), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("OpenShowFile: slides 3"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("OpenShowFile: version 5.6"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Program stoped"), std::string::npos) << r.err;
  // The file log goes next to the program (and wins over "log").
  r = RunPlayerProcess({dir.Path("myshow"), "-filelog", "-log"}, dir.Path("err.txt"));
  EXPECT_EQ(r.status, 0);
  std::vector<uint8_t> log;
  ASSERT_TRUE(ReadFileBytes(dir.Path("myshow.log"), log));
  std::string text(log.begin(), log.end());
  EXPECT_EQ(text.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(text.find("OpenShowFile: slides 3"), std::string::npos);
  EXPECT_EQ(r.err.find("OpenShowFile"), std::string::npos);
}

TEST(ViewerProcess, OtherPackagesAndProjectsFromTheCommandLine) {
  test::TScratch dir;
  Publish(dir, "myshow");
  fs::copy_file(ZEMVIEWER_PATH, dir.Path("player"));
  fs::permissions(dir.Path("player"), fs::perms::owner_all);
  // "-exename" names the file holding the package; a relative path is taken next to the player.
  EXPECT_EQ(RunPlayerProcess({dir.Path("player"), "-exename", "myshow"}, dir.Path("e")).status, 0);
  EXPECT_EQ(RunPlayerProcess({dir.Path("player"), "-FILENAME", dir.Path("proj/show.zem")}, dir.Path("e")).status, 0);
  TRun r = RunPlayerProcess({dir.Path("player"), "-filename", dir.Path("proj/none.zem")}, dir.Path("e"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("Can`t Load .zem File"), std::string::npos) << r.err;
}

TEST(ViewerProcess, PlainCopyFailsNamingBothPaths) {
  test::TScratch dir;
  fs::copy_file(ZEMVIEWER_PATH, dir.Path("plain"));
  fs::permissions(dir.Path("plain"), fs::perms::owner_all);
  TRun r = RunPlayerProcess({dir.Path("plain")}, dir.Path("err.txt"));
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.status, -1) << "killed: the player waited for something";
  EXPECT_NE(r.err.find("Can`t Load Show"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("\"" + dir.Path("plain") + "\" or \"" + dir.Path("plain.ZmShow") + "\""), std::string::npos)
      << r.err;
}

TEST(ViewerProcess, AStartupChildThatFailsDoesNotConfirm) {
  test::TScratch dir;
  fs::copy_file(ZEMVIEWER_PATH, dir.Path("plain"));
  fs::permissions(dir.Path("plain"), fs::perms::owner_all);
  // Status 1 would tell the waiting parent that the user confirmed the show.
  TRun r = RunPlayerProcess({dir.Path("plain"), "-exename", dir.Path("plain"), "-startup", "-ownerwnd", "4194310"},
                            dir.Path("err.txt"));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("Can`t Load Show"), std::string::npos) << r.err;
  // Outside start-up mode a failure stays status 1.
  EXPECT_EQ(RunPlayerProcess({dir.Path("plain"), "-Startup"}, dir.Path("err.txt")).status, 1);
}

}  // namespace
}  // namespace zem
