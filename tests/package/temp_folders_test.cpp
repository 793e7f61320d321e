#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "package/file_accessor.h"
#include "package/temp_folders.h"
#include "package/unpack.h"
#include "test_util.h"

namespace zem {
namespace {

namespace fs = std::filesystem;

// The base is fixed by the first request, so one test covers the folder life cycle.
TEST(TempFolders, NewFoldersAreGuidNamedInTheBaseAndRemovedTogether) {
  test::TScratch scratch;
  ::setenv("TMPDIR", scratch.Dir().c_str(), 1);
  // Members copied out land in their own folder under their last name part, whatever the name.
  test::WritePackage(scratch.Path("p"), {{"..\\..\\lib\\ffmpeg.dll", test::Bytes("code"), kMethodScrambled},
                                         {"..", test::Bytes("x"), kMethodStored}}, false);
  TFileAccessor acc(MakeRef<TPackedFileSource>(OpenPackage(scratch.Path("p"))));
  std::string lib, err;
  ASSERT_TRUE(ExtractMemberToTemp(acc, "..\\..\\lib\\ffmpeg.dll", lib, &err)) << err;
  EXPECT_EQ(lib.rfind(scratch.Dir() + "/[", 0), 0u) << lib;
  EXPECT_EQ(fs::path(lib).filename(), "ffmpeg.dll");
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(lib, bytes));
  EXPECT_EQ(bytes, test::Bytes("code"));
  EXPECT_FALSE(ExtractMemberToTemp(acc, "..", lib, &err));
  EXPECT_FALSE(ExtractMemberToTemp(acc, "absent.dll", lib, &err));

  std::string a = NewTempFolder(true);
  std::string b = NewTempFolder(false);
  EXPECT_EQ(TempBase(), scratch.Dir() + "/");
  EXPECT_EQ(a.back(), '/');
  EXPECT_NE(b.back(), '/');
  std::regex guid(R"(\[[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\]/?)");
  EXPECT_TRUE(std::regex_match(a.substr(TempBase().size()), guid)) << a;
  EXPECT_NE(a.substr(0, a.size() - 1), b);
  EXPECT_TRUE(std::filesystem::is_directory(a));
  std::filesystem::create_directories(b + "/deep/er");
  WriteFileBytes(b + "/deep/er/lib.so", "x", 1);
  RemoveTempFolders();
  EXPECT_FALSE(std::filesystem::exists(a));
  EXPECT_FALSE(std::filesystem::exists(b));
  EXPECT_FALSE(std::filesystem::exists(lib));
  // A base that has gone away is reported, not papered over.
  std::filesystem::remove_all(scratch.Dir());
  EXPECT_THROW(NewTempFolder(), ETempFolder);
  try {
    NewTempFolder();
  } catch (const ETempFolder& e) {
    EXPECT_STREQ(e.what(), "Temp Path not Found");
  }
  ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace zem
