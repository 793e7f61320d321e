// Packages written to hurt the reader: bombs, extreme positions, unknown methods, members past
// 2 GiB, symbolic links in the extraction folder.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>

#include "foundation/strings.h"
#include "package/package_tools.h"
#include "package/unpack.h"
#include "script/ini_file.h"
#include "test_util.h"

namespace zem {
namespace {

using test::Bytes;

int64_t PeakRssBytes() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return int64_t(u.ru_maxrss) * 1024;
}

// Raw deflate data of `mib` MiB of zeros, made of self-contained pieces (cheap to build).
std::vector<uint8_t> ZeroBomb(int mib) {
  std::vector<uint8_t> zeros(1 << 20, 0), piece(64 * 1024);
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  z.next_in = zeros.data();
  z.avail_in = static_cast<uInt>(zeros.size());
  z.next_out = piece.data();
  z.avail_out = static_cast<uInt>(piece.size());
  deflate(&z, Z_FULL_FLUSH);  // byte-aligned, no reference to earlier data
  piece.resize(piece.size() - z.avail_out);
  deflateEnd(&z);
  std::vector<uint8_t> out;
  for (int i = 0; i < mib; ++i) out.insert(out.end(), piece.begin(), piece.end());
  out.push_back(0x03);  // a final empty block
  out.push_back(0x00);
  return out;
}

// A package whose table entries are written by `edit`; the member data is `data` at position 0.
std::unique_ptr<TZemUnpack> WithTable(const test::TScratch& dir, const std::vector<uint8_t>& data,
                                      const std::function<void(TIniFile&)>& edit, TPackOptions o = {}) {
  test::WritePackage(dir.Path("p"), {{"Project.zem", data, kMethodStored}}, false, {}, o, edit);
  return OpenPackage(dir.Path("p"));
}

TEST(HostilePackage, BombsAreDamagedBeforeMemoryIsSpent) {
  test::TScratch dir;
  const std::vector<uint8_t> bomb = ZeroBomb(1100);  // 1.1 GiB from about 1 MB
  const std::string size = std::to_string(bomb.size());
  auto u = WithTable(dir, bomb, [&](TIniFile& t) {
    t.WriteString(u"bomb", u"_ps", u"0");
    t.WriteString(u"bomb", u"_sz", Utf8ToWide(size));
    t.WriteString(u"bomb", u"_pm", u"1");
    // The same data declaring the size it would have after 1 MiB.
    t.WriteString(u"short", u"_ps", u"0");
    t.WriteString(u"short", u"_sz", Utf8ToWide(size));
    t.WriteString(u"short", u"_pm", u"1");
    t.WriteString(u"short", u"_us", u"1048576");
  });
  ASSERT_TRUE(u->IsOpen()) << u->Reason();
  const int64_t before = PeakRssBytes();
  std::string error;
  EXPECT_FALSE(u->OpenMember("bomb", &error));
  EXPECT_NE(error.find("256 times its stored size"), std::string::npos) << error;
  EXPECT_FALSE(u->OpenMember("short", &error));
  EXPECT_NE(error.find("declared size of 1048576"), std::string::npos) << error;
  TVerifyReport report;
  EXPECT_FALSE(VerifyPackage(dir.Path("p"), report));
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_NE(report.problems[0].find("member \"bomb\": Slide-show File Damaged"), std::string::npos);
  EXPECT_LT(PeakRssBytes() - before, int64_t(64) << 20);
}

TEST(HostilePackage, ExtremePositionsAreDamagedWithoutOverflow) {
  test::TScratch dir;
  TPackOptions modify;
  modify.allow_modify = true;
  for (const char16_t* recorded : {u"-9223372036854775808", u"-1"}) {
    auto u = WithTable(
        dir, Bytes("x"), [&](TIniFile& t) { t.WriteString(u"$protection$", u"strucpos", recorded); }, modify);
    EXPECT_FALSE(u->IsOpen());
    EXPECT_EQ(u->Error(), kErrFileDamaged);
  }
  // A moved package (shift 100) whose member positions lie at the ends of the 64-bit range.
  test::WritePackage(dir.Path("orig"), {{"Project.zem", Bytes("x"), kMethodStored}}, true, {}, modify,
                     [](TIniFile& t) {
                       for (const char16_t* s : {u"max", u"min"}) t.WriteString(s, u"_sz", u"1");
                       t.WriteString(u"max", u"_ps", u"9223372036854775800");
                       t.WriteString(u"min", u"_ps", u"-9223372036854775808");
                       t.WriteString(u"huge", u"_ps", u"0");
                       t.WriteString(u"huge", u"_sz", u"9223372036854775807");
                     });
  std::vector<uint8_t> bytes(100, 'm');
  std::vector<uint8_t> orig;
  ReadFileBytes(dir.Path("orig"), orig);
  bytes.insert(bytes.end(), orig.begin(), orig.end());
  WriteFileBytes(dir.Path("moved"), bytes.data(), bytes.size());
  auto u = OpenPackage(dir.Path("moved"));
  ASSERT_TRUE(u->IsOpen()) << u->Reason();
  EXPECT_EQ(u->Shift(), 100);
  for (const char* name : {"max", "min", "huge"}) {
    TMemberInfo info;
    ASSERT_TRUE(u->FindMember(name, info)) << name;
    EXPECT_FALSE(u->MemberReadable(info)) << name;
    EXPECT_FALSE(u->OpenMember(name)) << name;
  }
}

TEST(HostilePackage, UnknownStorageMethodsAreDamagedAndNamed) {
  test::TScratch dir;
  WithTable(dir, Bytes("[Main]"), [](TIniFile& t) {
    const std::pair<const char16_t*, const char16_t*> methods[] = {
        {u"seven", u"7"}, {u"huge", u"99999999999999999999"}, {u"word", u"abc"}, {u"minus", u"-1"}};
    for (auto [name, pm] : methods) {
      t.WriteString(name, u"_ps", u"0");
      t.WriteString(name, u"_sz", u"1");
      t.WriteString(name, u"_pm", pm);
    }
  });
  auto u = OpenPackage(dir.Path("p"));
  std::string error;
  EXPECT_FALSE(u->OpenMember("seven", &error));
  EXPECT_EQ(error, "unknown storage method \"7\"");
  TVerifyReport report;
  EXPECT_FALSE(VerifyPackage(dir.Path("p"), report));
  EXPECT_EQ(report.problems.size(), 4u);
  EXPECT_EQ(report.problems[0], "member \"seven\": unknown storage method \"7\"");
}

// A member placed after 3 GiB of holes, and a 3 GiB member made of them (a sparse file).
TEST(HostilePackage, MembersBeyond2GiBAreReadIn64Bits) {
  test::TScratch dir;
  const int64_t gap = int64_t(3) << 30;
  {
    auto out = TFileStream::Open(dir.Path("big"), TFileMode::Create);
    ASSERT_TRUE(out && out->SetSize(gap) && out->SetPosition(gap));
    TPackageWriter w(*out, {});
    ASSERT_TRUE(w.AddMemberAs("Project.zem", Bytes("[Main]\r\n"), kMethodStored));
    ASSERT_TRUE(w.AddMemberAs("tail.txt", test::Text(70000), kMethodDeflated));
    w.Table().WriteString(u"holes.bin", u"_ps", u"0");
    w.Table().WriteString(u"holes.bin", u"_sz", Utf8ToWide(std::to_string(gap)));
    ASSERT_TRUE(w.Finish(true));
  }
  auto u = OpenPackage(dir.Path("big"));
  ASSERT_TRUE(u->IsOpen()) << u->Reason();
  TMemberInfo info;
  ASSERT_TRUE(u->FindMember("tail.txt", info));
  EXPECT_GT(info.position, gap);
  auto tail = u->OpenMember("tail.txt");
  ASSERT_TRUE(tail);
  EXPECT_EQ(test::ReadAll(*tail), test::Text(70000));
  auto holes = u->OpenMember("holes.bin");
  ASSERT_TRUE(holes);
  EXPECT_EQ(holes->Size(), gap);
  uint8_t b = 1;
  ASSERT_EQ(holes->Seek(gap - 1, TSeekOrigin::Begin), gap - 1);
  EXPECT_EQ(holes->Read(&b, 1), 1);
  EXPECT_EQ(b, 0);
}

TEST(HostilePackage, ExtractNeverWritesThroughLinks) {
  test::TScratch dir;
  namespace fs = std::filesystem;
  fs::create_directories(dir.Path("out"));
  fs::create_directories(dir.Path("elsewhere"));
  WriteFileBytes(dir.Path("victim.txt"), "keep", 4);
  fs::create_directory_symlink(dir.Path("elsewhere"), dir.Path("out/link"));
  fs::create_symlink(dir.Path("victim.txt"), dir.Path("out/file.txt"));
  fs::create_hard_link(dir.Path("victim.txt"), dir.Path("out/hard.txt"));
  test::WritePackage(dir.Path("p"),
                     {{"link\\x.txt", Bytes("through the folder link"), kMethodStored},
                      {"file.txt", Bytes("through the file link"), kMethodStored},
                      {"hard.txt", Bytes("through the hard link"), kMethodStored},
                      {"sub\\ok.txt", Bytes("fine"), kMethodDeflated}},
                     false);
  auto u = OpenPackage(dir.Path("p"));
  TExtractReport report;
  EXPECT_FALSE(ExtractPackage(*u, dir.Path("out"), report));
  EXPECT_EQ(report.extracted, 1);
  EXPECT_EQ(report.linked.size(), 3u);
  EXPECT_TRUE(fs::is_empty(dir.Path("elsewhere")));
  std::vector<uint8_t> victim, ok;
  ReadFileBytes(dir.Path("victim.txt"), victim);
  EXPECT_EQ(victim, Bytes("keep"));
  ReadFileBytes(dir.Path("out/sub/ok.txt"), ok);
  EXPECT_EQ(ok, Bytes("fine"));
}

TEST(InflateStream, SeeksAnywhereThroughRestartPoints) {
  test::TScratch dir;
  // 24 MiB that compress but differ everywhere, so a wrong restart point shows.
  std::vector<uint8_t> data(24 << 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>((i * 7) ^ (i >> 9) ^ (i >> 17));
  test::WritePackage(dir.Path("p"), {{"m", data, kMethodDeflated}}, false);
  auto u = OpenPackage(dir.Path("p"));
  auto s = u->OpenMember("m");
  ASSERT_TRUE(s);
  auto* inflate = dynamic_cast<TInflateStream*>(s.get());
  ASSERT_TRUE(inflate);
  EXPECT_GT(inflate->RestartPoints(), 8u);
  EXPECT_LE(inflate->RestartPoints(), TInflateStream::kMaxPoints);
  uint8_t buf[4096];
  for (int64_t pos : {int64_t(20) << 20, int64_t(5), int64_t(13) << 20, int64_t(data.size()) - 100,
                      int64_t(1) << 20, int64_t(7 << 20) + 12345}) {
    ASSERT_EQ(s->Seek(pos, TSeekOrigin::Begin), pos);
    const int64_t n = s->Read(buf, sizeof buf);
    ASSERT_EQ(n, std::min<int64_t>(sizeof buf, int64_t(data.size()) - pos)) << pos;
    EXPECT_EQ(0, std::memcmp(buf, data.data() + pos, static_cast<size_t>(n))) << pos;
  }
}

}  // namespace
}  // namespace zem
