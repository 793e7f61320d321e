#include "foundation/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "foundation/stream.h"

namespace zem {
namespace {

std::string TempPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string("zem_log_") + name + "_" + std::to_string(getpid()))).string();
}

std::string ReadAll(const std::string& path) {
  std::vector<uint8_t> b;
  EXPECT_TRUE(ReadFileBytes(path, b));
  return std::string(b.begin(), b.end());
}

TEST(FileLog, NewFileStartsWithMarkAndAppendAddsNoSecondMark) {
  std::string path = TempPath("bom");
  {
    TFileLog log(path, false);
    log.WriteLine("first");
  }
  {
    TFileLog log(path, true);
    log.WriteLine(u8"zwei \u00e4\u00f6\u00fc");
  }
  EXPECT_EQ(ReadAll(path), "\xEF\xBB\xBF" "first\r\nzwei \xC3\xA4\xC3\xB6\xC3\xBC\r\n");
  {
    TFileLog log(path, false);  // truncates
    log.WriteLine("again");
  }
  EXPECT_EQ(ReadAll(path), "\xEF\xBB\xBF" "again\r\n");
  std::filesystem::remove(path);
}

TEST(FileLog, UnopenableFileDropsLinesQuietly) {
  TFileLog log("/nonexistent-folder/sub/x.log", false);
  EXPECT_FALSE(log.HasStream());
  log.WriteLine("dropped");  // must not throw
  log.WriteRunHeader();
}

TEST(Log, PrefixHelpersAndOutputRoutine) {
  TLog log;
  std::vector<std::string> lines;
  log.SetOutputRoutine([&](const std::string& l) { lines.push_back(l); });
  log.SetPrefix("T: ");
  log.WriteInt("n=", -5, "!");
  log.WriteFloat("f=", 1.5);
  log.WriteFloat("e=", 1e-5);
  log.WriteFloats("l=", {1, 2.25});
  log.WriteBool("b=", true);
  log.WriteIntPairs("r=", {{1, 2}, {3, 4}});
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "T: n=-5!");
  EXPECT_EQ(lines[1], "T: f=1.5");
  EXPECT_EQ(lines[2], "T: e=1E-5");
  EXPECT_EQ(lines[3], "T: l=1, 2.25");
  EXPECT_EQ(lines[4], "T: b=True");
  EXPECT_EQ(lines[5], "T: r=1, 2, 3, 4");
}

TEST(Log, HeaderAndFooterShape) {
  TLog log;
  std::vector<std::string> lines;
  log.SetOutputRoutine([&](const std::string& l) { lines.push_back(l); });
  log.WriteRunHeader();
  log.WriteRunFooter();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], std::string(64, '='));
  EXPECT_EQ(lines[2].rfind("Program : /", 0), 0u);
  ASSERT_EQ(lines[3].rfind("started : ", 0), 0u);
  EXPECT_EQ(lines[3].size(), std::string("started : 01.02.2026 10:11:12.123").size());
  EXPECT_EQ(lines[3][12], '.');
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], std::string(64, '-'));
  EXPECT_EQ(lines[8], std::string(64, '-'));
  EXPECT_EQ(lines[7].rfind("Program stoped : ", 0), 0u);
  EXPECT_NE(lines[7].find(" (work time : "), std::string::npos);
  EXPECT_EQ(lines[7].substr(lines[7].size() - 4), " ms)");
}

// Long names (a 2 MB picture name) keep their start and end; multi-byte characters stay whole.
TEST(Log, LongNamesAreCappedAroundAnEllipsis) {
  EXPECT_EQ(CapName("short.jpg"), "short.jpg");
  std::string huge = "start-" + std::string(2 << 20, 'x') + "-end.jpg";
  std::string capped = CapName(huge);
  EXPECT_EQ(capped.size(), 160u);
  EXPECT_EQ(capped.substr(0, 6), "start-");
  EXPECT_EQ(capped.substr(capped.size() - 8), "-end.jpg");
  EXPECT_NE(capped.find("..."), std::string::npos);
  std::string wide;
  for (int i = 0; i < 100; ++i) wide += "\xC3\xA9";  // 100 x "e acute", 2 bytes each
  EXPECT_EQ(CapName(wide, 11), "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9...\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
  auto* l = new TLog;
  std::vector<std::string> lines;
  l->SetOutputRoutine([&](const std::string& s) { lines.push_back(s); });
  InstallLog(std::unique_ptr<TLog>(l));
  LogMediaFailure("Sound", huge, "not found");
  InstallLog(nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "Sound \"" + capped + "\" cannot be used: not found");
}

TEST(Log, DefaultLogDiscardsAndInstallReplaces) {
  LogLine("nobody hears this");
  auto* l = new TLog;
  std::vector<std::string> lines;
  l->SetOutputRoutine([&](const std::string& s) { lines.push_back(s); });
  InstallLog(std::unique_ptr<TLog>(l));
  LogLine("heard");
  EXPECT_EQ(&CurrentLog(), l);
  InstallLog(nullptr);
  LogLine("not heard");
  EXPECT_EQ(lines, std::vector<std::string>{"heard"});
}

}  // namespace
}  // namespace zem
