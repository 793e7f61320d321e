#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "foundation/strings.h"
#include "package/unpack.h"
#include "script/ini_file.h"
#include "test_util.h"

namespace zem {
namespace {

using test::Bytes;
using test::TMember;

std::vector<TMember> ThreeMethods() {
  return {{"Project.zem", Bytes("[Main]\r\nZemVersion=7\r\nopt_slidescount=2\r\n"), kMethodStored},
          {"pics\\a.jpg", test::Noise(5000, 3), kMethodStored},
          {"music\\song.mp3", test::Text(20000), kMethodDeflated},
          {"video\\clip.avi", test::Noise(3000, 9), kMethodScrambled}};
}

void ExpectMembers(const TZemUnpack& u, const std::vector<TMember>& members) {
  for (const auto& m : members) {
    auto s = u.OpenMember(m.name);
    ASSERT_TRUE(s) << m.name;
    EXPECT_EQ(s->Size(), static_cast<int64_t>(m.data.size())) << m.name;
    EXPECT_EQ(test::ReadAll(*s), m.data) << m.name;
  }
}

TEST(Package, SeparateAndAppendedPackagesReadAlike) {
  test::TScratch dir;
  auto members = ThreeMethods();
  ASSERT_GT(test::WritePackage(dir.Path("show.ZmShow"), members, false), 0);
  ASSERT_GT(test::WritePackage(dir.Path("player"), members, true, test::Noise(12345)), 0);

  auto own = OpenPackage(dir.Path("show.ZmShow"));
  ASSERT_TRUE(own->IsOpen()) << own->Error();
  EXPECT_EQ(own->Trailer().start, 0);
  EXPECT_FALSE(own->Trailer().appended);
  auto app = OpenPackage(dir.Path("player"));
  ASSERT_TRUE(app->IsOpen()) << app->Error();
  EXPECT_EQ(app->Trailer().start, 12345);
  EXPECT_TRUE(app->Trailer().appended);
  EXPECT_EQ(app->Trailer().end, app->FileSize() - 8);
  for (auto* u : {own.get(), app.get()}) {
    EXPECT_EQ(u->Shift(), 0);
    EXPECT_EQ(u->MemberNames().size(), members.size());
    ExpectMembers(*u, members);
  }
}

TEST(Package, DeflatedMemberHasItsInflatedSizeAndMembersAreIndependent) {
  test::TScratch dir;
  auto members = ThreeMethods();
  test::WritePackage(dir.Path("p"), members, false);
  auto u = OpenPackage(dir.Path("p"));
  TMemberInfo info;
  ASSERT_TRUE(u->FindMember("music\\song.mp3", info));
  EXPECT_EQ(info.method, kMethodDeflated);
  EXPECT_LT(info.size, 20000);
  auto a = u->OpenMember("music\\song.mp3");
  auto b = u->OpenMember("music\\song.mp3");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Size(), 20000);
  uint8_t x[10], y[10];
  a->Seek(100, TSeekOrigin::Begin);
  EXPECT_EQ(b->Read(y, 10), 10);
  EXPECT_EQ(a->Read(x, 10), 10);
  EXPECT_EQ(0, std::memcmp(x, members[2].data.data() + 100, 10));
  EXPECT_EQ(0, std::memcmp(y, members[2].data.data(), 10));
}

TEST(Package, ScrambledMemberReadsAtOddOffsets) {
  test::TScratch dir;
  auto members = ThreeMethods();
  test::WritePackage(dir.Path("p"), members, true, test::Noise(333));
  auto u = OpenPackage(dir.Path("p"));
  auto s = u->OpenMember("VIDEO\\CLIP.AVI");
  ASSERT_TRUE(s);
  const auto& plain = members[3].data;
  for (int64_t pos : {40, 1, 33, 1001, 2999}) {
    s->Seek(pos, TSeekOrigin::Begin);
    uint8_t buf[50];
    int64_t n = s->Read(buf, 50);
    ASSERT_GT(n, 0);
    for (int64_t i = 0; i < n; ++i) ASSERT_EQ(buf[i], plain[pos + i]);
  }
}

TEST(Package, BracketsInNamesAreStoredAsAngleBracketsAndFoundInAnyCase) {
  test::TScratch dir;
  test::WritePackage(dir.Path("p"), {{"pic[1].jpg", Bytes("one"), kMethodStored}}, false);
  auto u = OpenPackage(dir.Path("p"));
  ASSERT_TRUE(u->IsOpen());
  EXPECT_TRUE(u->Table()->SectionExists(u"pic<1>.jpg"));
  EXPECT_FALSE(u->Table()->SectionExists(u"pic[1].jpg"));
  for (const char* name : {"pic[1].jpg", "PIC[1].JPG", "Pic[1].Jpg"}) {
    auto s = u->OpenMember(name);
    ASSERT_TRUE(s) << name;
    EXPECT_EQ(test::ReadAll(*s), Bytes("one"));
  }
  EXPECT_EQ(u->MemberNames(), std::vector<std::string>{"pic[1].jpg"});
}

class PackageMove : public ::testing::Test {
 protected:
  // A package written with `prefix` bytes in front, then 100 more bytes inserted before it.
  std::unique_ptr<TZemUnpack> Moved(bool allow_modify, const std::function<void(TIniFile&)>& edit = nullptr) {
    TPackOptions o;
    o.allow_modify = allow_modify;
    auto members = std::vector<TMember>{{"a.txt", Bytes("hello world"), kMethodStored},
                                        {"b.bin", test::Noise(999), kMethodScrambled}};
    test::WritePackage(dir.Path("orig"), members, true, test::Noise(500), o, edit);
    std::vector<uint8_t> bytes;
    ReadFileBytes(dir.Path("orig"), bytes);
    std::vector<uint8_t> moved = test::Noise(100, 42);
    moved.insert(moved.end(), bytes.begin(), bytes.end());
    WriteFileBytes(dir.Path("moved"), moved.data(), moved.size());
    return OpenPackage(dir.Path("moved"));
  }
  test::TScratch dir;
};

TEST_F(PackageMove, UnchangedPackageHasNoShift) {
  auto members = std::vector<TMember>{{"a.txt", Bytes("x"), kMethodStored}};
  int64_t pos = test::WritePackage(dir.Path("p"), members, true, test::Noise(77));
  auto u = OpenPackage(dir.Path("p"));
  ASSERT_TRUE(u->IsOpen());
  EXPECT_EQ(WideToUtf8(u->Table()->ReadString(u"$protection$", u"strucpos", u"")), std::to_string(pos));
  EXPECT_EQ(u->Shift(), 0);
}

TEST_F(PackageMove, AllowModifyAcceptsTheMoveWithAShift) {
  auto u = Moved(true);
  ASSERT_TRUE(u->IsOpen()) << u->Error();
  EXPECT_EQ(u->Shift(), 100);
  auto s = u->OpenMember("a.txt");
  ASSERT_TRUE(s);
  EXPECT_EQ(test::ReadAll(*s), Bytes("hello world"));
  auto b = u->OpenMember("b.bin");
  ASSERT_TRUE(b);
  EXPECT_EQ(test::ReadAll(*b), test::Noise(999));
}

TEST_F(PackageMove, WithoutAllowModifyTheMoveIsRefused) {
  auto u = Moved(false);
  EXPECT_FALSE(u->IsOpen());
  EXPECT_EQ(u->Error(), "Slide-show File Modified");
}

TEST_F(PackageMove, UnparsableOrLargerPositionIsDamaged) {
  auto garbage = Moved(true, [](TIniFile& t) { t.WriteString(u"$protection$", u"strucpos", u"12x"); });
  EXPECT_FALSE(garbage->IsOpen());
  EXPECT_EQ(garbage->Error(), "Slide-show File Damaged");
  auto larger = Moved(true, [](TIniFile& t) { t.WriteString(u"$protection$", u"strucpos", u"99999999"); });
  EXPECT_FALSE(larger->IsOpen());
  EXPECT_EQ(larger->Error(), "Slide-show File Damaged");
}

TEST(PackageDamage, MissingFileTrailerOrTable) {
  test::TScratch dir;
  auto missing = OpenPackage(dir.Path("nothing"));
  EXPECT_FALSE(missing->IsOpen());
  EXPECT_EQ(missing->Error(), "Slideshow File not Found");

  auto plain = test::Noise(5000);
  WriteFileBytes(dir.Path("plain"), plain.data(), plain.size());
  auto none = OpenPackage(dir.Path("plain"));
  EXPECT_FALSE(none->IsOpen());
  EXPECT_EQ(none->Error(), "");

  // A trailer whose table is not deflate data.
  std::vector<uint8_t> bad = test::Noise(100);
  uint8_t trailer[12] = {10, 0, 0, 0, 0, 0, 0, 0, '.', 'd', 'n', 'e'};
  bad.insert(bad.end(), trailer, trailer + 12);
  WriteFileBytes(dir.Path("bad"), bad.data(), bad.size());
  auto broken = OpenPackage(dir.Path("bad"));
  EXPECT_FALSE(broken->IsOpen());
  EXPECT_EQ(broken->Error(), "");
}

TEST(PackageDamage, TrailerValuesOutsideTheFileAreNoPackage) {
  test::TScratch dir;
  for (int64_t table : {int64_t(-5), int64_t(1000), INT64_MAX}) {
    std::vector<uint8_t> bytes = test::Noise(64);
    uint8_t t[12] = {0, 0, 0, 0, 0, 0, 0, 0, '.', 'd', 'n', 'e'};
    for (int i = 0; i < 8; ++i) t[i] = static_cast<uint8_t>(static_cast<uint64_t>(table) >> (8 * i));
    bytes.insert(bytes.end(), t, t + 12);
    WriteFileBytes(dir.Path("t"), bytes.data(), bytes.size());
    TPackageTrailer out;
    auto f = TFileStream::Open(dir.Path("t"), TFileMode::Read);
    EXPECT_FALSE(LocatePackageTrailer(*f, f->Size(), out)) << table;
  }
  // An appended package whose length reaches before the file start.
  std::vector<uint8_t> bytes = test::Noise(64);
  uint8_t t[20] = {0, 0, 0, 0, 0, 0, 0, 0, '.', 'd', 'n', 'e', 0, 0, 0, 0, 0, 0, 0, 0x7F};
  bytes.insert(bytes.end(), t, t + 20);
  WriteFileBytes(dir.Path("t"), bytes.data(), bytes.size());
  auto f = TFileStream::Open(dir.Path("t"), TFileMode::Read);
  TPackageTrailer out;
  EXPECT_FALSE(LocatePackageTrailer(*f, f->Size(), out));
}

TEST(PackageDamage, UntrustedMemberValuesNeverReadOtherData) {
  test::TScratch dir;
  std::vector<TMember> members = {{"ok", Bytes("fine"), kMethodStored}};
  test::WritePackage(dir.Path("p"), members, false, {}, {}, [](TIniFile& t) {
    t.WriteString(u"neg", u"_ps", u"-20");
    t.WriteString(u"neg", u"_sz", u"4");
    t.WriteString(u"big", u"_ps", u"0");
    t.WriteString(u"big", u"_sz", u"2147483647");
    t.WriteString(u"far", u"_ps", u"2147483000");
    t.WriteString(u"far", u"_sz", u"10");
    t.WriteString(u"nosize", u"_ps", u"0");
    t.WriteString(u"badzip", u"_ps", u"0");
    t.WriteString(u"badzip", u"_sz", u"4");
    t.WriteString(u"badzip", u"_pm", u"1");
  });
  auto u = OpenPackage(dir.Path("p"));
  ASSERT_TRUE(u->IsOpen());
  for (const char* name : {"neg", "big", "far", "nosize", "badzip", "absent"}) {
    std::string err;
    EXPECT_FALSE(u->OpenMember(name, &err)) << name;
    EXPECT_FALSE(err.empty()) << name;
  }
  TMemberInfo info;
  EXPECT_FALSE(u->FindMember("nosize", info));
  ASSERT_TRUE(u->FindMember("far", info));
  EXPECT_FALSE(u->MemberReadable(info));
  EXPECT_TRUE(u->OpenMember("ok"));
}

TEST(Deflate, InflationStopsAtTheCap) {
  std::vector<uint8_t> zeros(1 << 20, 0), packed, out;
  ASSERT_TRUE(DeflateRaw(zeros.data(), zeros.size(), packed));
  EXPECT_LT(packed.size(), 5000u);
  EXPECT_TRUE(InflateRaw(packed.data(), packed.size(), out, 1 << 20));
  EXPECT_EQ(out, zeros);
  EXPECT_FALSE(InflateRaw(packed.data(), packed.size(), out, (1 << 20) - 1));
  // A stream cut short never reports success.
  EXPECT_FALSE(InflateRaw(packed.data(), packed.size() / 2, out));
}

TEST(Package, VersionAndTrailerProbe) {
  test::TScratch dir;
  TPackOptions o;
  o.zem_version = "5.6.1";
  test::WritePackage(dir.Path("p"), {{"Project.zem", Bytes("[Main]"), kMethodStored}}, true, test::Noise(10), o);
  std::string v;
  EXPECT_TRUE(PackageVersion(dir.Path("p"), v));
  EXPECT_EQ(v, "5.6.1");
  EXPECT_TRUE(HasPackageTrailer(dir.Path("p")));
  EXPECT_FALSE(PackageVersion(dir.Path("none"), v));
}

}  // namespace
}  // namespace zem
