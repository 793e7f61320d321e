#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "foundation/strings.h"
#include "package/package_tools.h"
#include "package/package_writer.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "script/ini_file.h"
#include "test_util.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

// A project folder: the script, compressible and incompressible files in sub-folders, and a
// name with brackets.
std::map<std::string, std::vector<uint8_t>> MakeProject(const test::TScratch& dir, bool with_exefn) {
  std::map<std::string, std::vector<uint8_t>> files = {
      {"images/photo[1].jpg", test::Noise(40000, 5)},
      {"images/deep/text.txt", test::Text(30000)},
      {"music/song.mp3", test::Noise(7777, 8)},
      {"empty.bin", {}},
  };
  fs::create_directories(dir.Path("proj/images/deep"));
  fs::create_directories(dir.Path("proj/music"));
  for (auto& [name, data] : files) WriteFileBytes(dir.Path("proj/" + name), data.data(), data.size());
  std::string script = "[Main]\r\nZemVersion=5.6\r\nopt_slidescount=2\r\n";
  if (with_exefn) script += "opt_exefn=keep.exe\r\n";
  WriteFileBytes(dir.Path("proj/show.zem"), script.data(), script.size());
  return files;
}

struct PackCase {
  bool store, scramble, appended;
};

class PackRoundTrip : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackRoundTrip, ExtractGivesBackEveryFile) {
  const PackCase c = GetParam();
  test::TScratch dir;
  auto files = MakeProject(dir, false);
  auto out = TFileStream::Open(dir.Path("out.bin"), TFileMode::Create);
  std::vector<uint8_t> stub = test::Noise(4096, 77);
  if (c.appended) out->WriteAll(stub.data(), static_cast<int64_t>(stub.size()));
  TPackOptions o;
  o.store_all = c.store;
  o.scramble = c.scramble;
  TPackProjectResult result;
  ASSERT_TRUE(PackProject(dir.Path("proj/show.zem"), *out, o, c.appended, "Out.exe", result)) << result.error;
  out.reset();

  auto u = OpenPackage(dir.Path("out.bin"));
  ASSERT_TRUE(u->IsOpen()) << u->Error();
  EXPECT_EQ(u->Trailer().start, c.appended ? 4096 : 0);
  EXPECT_EQ(u->Version(), "5.6");
  // Methods: deflated only where smaller and allowed; plain members scrambled on request.
  for (size_t i = 0; i < result.names.size(); ++i) {
    TMemberInfo info;
    ASSERT_TRUE(u->FindMember(result.names[i], info));
    EXPECT_EQ(info.method, result.methods[i]);
    if (c.store) {
      EXPECT_NE(info.method, kMethodDeflated);
    }
    if (info.method != kMethodDeflated) {
      EXPECT_EQ(info.method, c.scramble ? kMethodScrambled : kMethodStored);
    }
  }
  TMemberInfo text, noise;
  ASSERT_TRUE(u->FindMember("images\\deep\\text.txt", text));
  ASSERT_TRUE(u->FindMember("music\\song.mp3", noise));
  EXPECT_EQ(text.method == kMethodDeflated, !c.store);
  EXPECT_NE(noise.method, kMethodDeflated);

  TExtractReport report;
  ASSERT_TRUE(ExtractPackage(*u, dir.Path("x"), report));
  EXPECT_EQ(report.extracted, static_cast<int>(files.size()) + 1);
  for (auto& [name, data] : files) {
    std::vector<uint8_t> back;
    ASSERT_TRUE(ReadFileBytes(dir.Path("x/" + name), back)) << name;
    EXPECT_EQ(back, data) << name;
  }
  // The script got the output's file name as the program it is published as.
  TIniFile script;
  ASSERT_TRUE(script.LoadFromFile(dir.Path("x/Project.zem")));
  EXPECT_EQ(WideToUtf8(script.ReadString(u"Main", u"opt_exefn", u"")), "Out.exe");
  TVerifyReport verify;
  EXPECT_TRUE(VerifyPackage(dir.Path("out.bin"), verify));
  EXPECT_EQ(verify.members, static_cast<int>(files.size()) + 1);
}

INSTANTIATE_TEST_SUITE_P(Methods, PackRoundTrip,
                         ::testing::Values(PackCase{false, false, false}, PackCase{true, false, false},
                                           PackCase{true, true, false}, PackCase{false, true, true},
                                           PackCase{false, false, true}, PackCase{true, true, true}));

TEST(Pack, ExistingExeNameIsKeptAndScriptBytesUnchanged) {
  test::TScratch dir;
  MakeProject(dir, true);
  auto out = TFileStream::Open(dir.Path("o"), TFileMode::Create);
  TPackProjectResult result;
  ASSERT_TRUE(PackProject(dir.Path("proj/show.zem"), *out, {}, false, "o", result));
  out.reset();
  TIniFile script;
  std::string error;
  ASSERT_TRUE(LoadPackageScript(dir.Path("o"), script, error)) << error;
  EXPECT_EQ(WideToUtf8(script.ReadString(u"Main", u"opt_exefn", u"")), "keep.exe");
}

TEST(Pack, OutputInsideTheProjectIsNotPackedIntoItself) {
  test::TScratch dir;
  MakeProject(dir, false);
  auto out = TFileStream::Open(dir.Path("proj/music/self.ZmShow"), TFileMode::Create);
  TPackProjectResult result;
  ASSERT_TRUE(PackProject(dir.Path("proj/show.zem"), *out, {}, false, "self.ZmShow", result));
  for (auto& n : result.names) EXPECT_EQ(n.find("self"), std::string::npos) << n;
}

TEST(Extract, HostileNamesAreRefusedAndTheRestExtracted) {
  test::TScratch dir;
  std::vector<test::TMember> members = {{"..\\evil.txt", test::Bytes("e1"), kMethodStored},
                                        {"/tmp/evil2.txt", test::Bytes("e2"), kMethodStored},
                                        {"C:\\evil3.txt", test::Bytes("e3"), kMethodStored},
                                        {"ok\\..\\..\\evil4", test::Bytes("e4"), kMethodStored},
                                        {"good\\file.txt", test::Bytes("good"), kMethodDeflated}};
  test::WritePackage(dir.Path("p"), members, false);
  auto u = OpenPackage(dir.Path("p"));
  ASSERT_TRUE(u->IsOpen());
  TExtractReport report;
  EXPECT_FALSE(ExtractPackage(*u, dir.Path("x/y"), report));
  EXPECT_EQ(report.refused.size(), 4u);
  EXPECT_EQ(report.extracted, 1);
  std::vector<uint8_t> back;
  EXPECT_TRUE(ReadFileBytes(dir.Path("x/y/good/file.txt"), back));
  EXPECT_EQ(back, test::Bytes("good"));
  EXPECT_FALSE(fs::exists(dir.Path("x/evil.txt")));
  EXPECT_FALSE(fs::exists("/tmp/evil2.txt"));
  std::size_t files = 0;
  for (auto& e : fs::recursive_directory_iterator(dir.Dir()))
    if (e.is_regular_file()) ++files;
  EXPECT_EQ(files, 2u);  // the package and the one good member
}

TEST(Verify, NamesBrokenMembers) {
  test::TScratch dir;
  test::WritePackage(dir.Path("p"), {{"a", test::Bytes("x"), kMethodStored}}, false, {}, {}, [](TIniFile& t) {
    t.WriteString(u"far", u"_ps", u"100000");
    t.WriteString(u"far", u"_sz", u"10");
  });
  TVerifyReport r;
  EXPECT_FALSE(VerifyPackage(dir.Path("p"), r));
  ASSERT_EQ(r.problems.size(), 2u);  // "far" outside the file, and no script
  EXPECT_NE(r.problems[0].find("\"far\""), std::string::npos);
  EXPECT_NE(r.problems[1].find("Project.zem"), std::string::npos);
}

}  // namespace
}  // namespace zem
