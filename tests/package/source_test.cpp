#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/strings.h"
#include "package/disk_path.h"
#include "package/file_accessor.h"
#include "package/file_map.h"
#include "package/partial_stream.h"
#include "package/show_locator.h"
#include "package/unpack.h"
#include "script/ini_file.h"
#include "test_util.h"

namespace zem {
namespace {

using test::Bytes;

TEST(FileMap, LinesWithAndWithoutSemicolonMapAlike) {
  TFileMap map;
  map.AddLine(u"\"photo.jpg\" = \"pictures\\photo1.jpg\"");
  map.AddLine(u";\"other.jpg\"=\"pictures\\other1.jpg\"");
  map.AddLine(u"  ; plain.png = x\\plain.png ");
  map.AddLine(u"no equals sign here");
  map.AddLine(u"empty.jpg =");
  map.AddLine(u"= right.jpg");
  map.AddLine(u"\"a=b.jpg\"=c.jpg");  // "=" inside quotes does not split
  map.AddLine(u"photo.jpg=second.jpg");  // a second target: the first stays in use
  ASSERT_TRUE(map.Find("PHOTO.JPG"));
  EXPECT_EQ(*map.Find("photo.jpg"), "pictures\\photo1.jpg");
  EXPECT_EQ(map.Targets("Photo.jpg")->size(), 2u);
  ASSERT_TRUE(map.Find("other.jpg"));
  EXPECT_EQ(*map.Find("other.jpg"), "pictures\\other1.jpg");
  ASSERT_TRUE(map.Find("plain.png"));
  EXPECT_EQ(*map.Find("plain.png"), "x\\plain.png");
  ASSERT_TRUE(map.Find("a=b.jpg"));
  EXPECT_EQ(*map.Find("a=b.jpg"), "c.jpg");
  EXPECT_FALSE(map.Find("empty.jpg"));
  EXPECT_FALSE(map.Find("no equals sign here"));
  EXPECT_EQ(map.Count(), 4u);
}

TEST(RotationState, OnlyQuotedCommentsWithKnownNumbersCount) {
  TRotationState r;
  r.AddLine(u";\"a.jpg\"=6");
  r.AddLine(u";\"B.jpg\"=8");
  r.AddLine(u";\"c.jpg\"=3");
  r.AddLine(u";\"d.jpg\"=1");
  r.AddLine(u";\"e.jpg\"=5");  // not an orientation the player turns
  r.AddLine(u"\"f.jpg\"=6");   // not a comment
  r.AddLine(u";\"\"=6");       // empty name
  r.AddLine(u"; \"g.jpg\"=6"); // the quote must follow the semicolon
  r.AddLine(u";\"h.jpg\"=x");
  EXPECT_EQ(r.Transform("A.JPG"), TImageTransform::Rotate90CW);
  EXPECT_EQ(r.Transform("b.jpg"), TImageTransform::Rotate90CCW);
  EXPECT_EQ(r.Transform("c.jpg"), TImageTransform::Rotate180);
  EXPECT_EQ(r.Transform("d.jpg"), TImageTransform::None);
  EXPECT_EQ(r.Orientation("e.jpg"), 1);
  EXPECT_EQ(r.Orientation("f.jpg"), 1);
  EXPECT_EQ(r.Orientation("g.jpg"), 1);
  EXPECT_EQ(r.Count(), 4u);
  EXPECT_TRUE(TransformSwapsSize(r.Transform("a.jpg")));
  EXPECT_FALSE(TransformSwapsSize(r.Transform("c.jpg")));
}

const char* kScript =
    "[Main]\r\nZemVersion=4.2\r\nopt_slidescount=3\r\n"
    "[FileMap]\r\n\"alias.jpg\"=\"real[1].jpg\"\r\n;\"chain.jpg\"=\"alias.jpg\"\r\n"
    "loop1=loop2\r\nloop2=loop1\r\n"
    "[RotationState]\r\n;\"real[1].jpg\"=6\r\n";

TEST(Locator, PackagedShowLoadsScriptAndTables) {
  test::TScratch dir;
  test::WritePackage(dir.Path("show.ZmShow"),
                     {{"Project.zem", Bytes(kScript), kMethodDeflated},
                      {"real[1].jpg", Bytes("JPEGDATA"), kMethodScrambled}},
                     false);
  std::string error;
  auto loc = OpenPackagedShow(dir.Path("show.ZmShow"), error);
  ASSERT_TRUE(loc) << error;
  EXPECT_EQ(loc->ZemVersion(), "4.2");
  EXPECT_EQ(loc->Script()->ReadInteger(u"Main", u"opt_slidescount", 0), 3);
  TFileAccessor& acc = loc->Accessor();
  EXPECT_EQ(acc.BaseFolder(), dir.Dir() + "/");
  std::vector<uint8_t> data;
  for (const char* name : {"real[1].jpg", "ALIAS.JPG", "chain.jpg"}) {
    ASSERT_TRUE(acc.ReadWhole(name, data)) << name;
    EXPECT_EQ(data, Bytes("JPEGDATA"));
  }
  EXPECT_FALSE(acc.ReadWhole("loop1", data));  // a mapping loop ends, finding nothing
  EXPECT_TRUE(acc.Exists("alias.jpg"));
  EXPECT_FALSE(acc.Exists("missing.jpg"));
  EXPECT_EQ(acc.ImageTransform("REAL[1].JPG"), TImageTransform::Rotate90CW);
  std::string path;
  EXPECT_FALSE(acc.DiskPath("real[1].jpg", path));
  // Streams from the accessor are throttled windows of the member.
  auto s = acc.OpenStream("real[1].jpg");
  ASSERT_TRUE(s);
  EXPECT_NE(dynamic_cast<TPartialStream*>(s.get()), nullptr);
}

TEST(Locator, PackageWithoutScriptFailsWithOpenError) {
  test::TScratch dir;
  test::WritePackage(dir.Path("p"), {{"other.txt", Bytes("x"), kMethodStored}}, false);
  std::string error;
  EXPECT_FALSE(OpenPackagedShow(dir.Path("p"), error));
  EXPECT_EQ(error, "Executable SlideShow Open Error");
  EXPECT_FALSE(OpenPackagedShow(dir.Path("absent"), error));
  EXPECT_EQ(error, "Slideshow File not Found");
  TIniFile script;
  EXPECT_FALSE(LoadPackageScript(dir.Path("p"), script, error));
}

TEST(Locator, ProjectOnDiskFindsFilesIgnoringCase) {
  test::TScratch dir;
  std::filesystem::create_directories(dir.Path("Pics"));
  WriteFileBytes(dir.Path("Pics/Photo.JPG"), "abc", 3);
  std::string script = std::string(kScript) + "[Extra]\r\n";
  script.replace(script.find("[Main]\r\n") + 8, 0, "opt_exefn=out/Show.exe\r\n");
  WriteFileBytes(dir.Path("proj.zem"), script.data(), script.size());
  auto loc = OpenProjectOnDisk(dir.Path("proj.zem"));
  ASSERT_TRUE(loc);
  EXPECT_EQ(loc->ZemVersion(), "4.2");
  std::vector<uint8_t> data;
  EXPECT_TRUE(loc->Accessor().ReadWhole("pics\\photo.jpg", data));
  EXPECT_EQ(data, Bytes("abc"));
  std::string path;
  EXPECT_TRUE(loc->Accessor().DiskPath("PICS\\PHOTO.jpg", path));
  EXPECT_EQ(path, dir.Path("Pics/Photo.JPG"));
  EXPECT_EQ(loc->Accessor().BaseFolder(), dir.Path("out/"));
  EXPECT_FALSE(OpenProjectOnDisk(dir.Path("none.zem")));
}

TEST(Accessor, FilterReplacesStreamsAndFallbackAnswersMissingNames) {
  auto source = MakeRef<TRealFileSource>();
  TFileAccessor acc(source);
  test::TScratch dir;
  WriteFileBytes(dir.Path("f.txt"), "file", 4);
  std::vector<std::string> filtered;
  acc.SetStreamFilter([&](const std::string& name, std::unique_ptr<TStream> s) -> std::unique_ptr<TStream> {
    filtered.push_back(name);
    if (name.find("swap") != std::string::npos) return std::make_unique<TMemoryStream>(Bytes("swapped"));
    return s;
  });
  acc.SetFallbackOpener([](const std::string& name) -> std::unique_ptr<TStream> {
    if (name == "virtual") return std::make_unique<TMemoryStream>(Bytes("from fallback"));
    return nullptr;
  });
  std::vector<uint8_t> data;
  ASSERT_TRUE(acc.ReadWhole(dir.Path("f.txt"), data));
  EXPECT_EQ(data, Bytes("file"));
  ASSERT_TRUE(acc.ReadWhole("virtual", data));
  EXPECT_EQ(data, Bytes("from fallback"));
  EXPECT_EQ(filtered, std::vector<std::string>{dir.Path("f.txt")});  // the filter sees only opened streams
  EXPECT_FALSE(acc.ReadWhole(dir.Path("f.txt"), data, 3));             // over the limit
  auto copy = acc.Clone();
  EXPECT_EQ(copy->SourceId(), acc.SourceId());
  EXPECT_TRUE(copy->HasStreamFilter());
  EXPECT_NE(MakeRef<TRealFileSource>()->Id(), source->Id());
}

TEST(Accessor, PictureProvidersAreAskedInOrderUntilTheirHandleGoes) {
  auto source = MakeRef<TRealFileSource>();
  struct Picture : TObj {
    explicit Picture(int t) : tag(t) {}
    int tag;
  };
  auto first = source->AddPictureProvider([](const std::string& name, void*) -> std::unique_ptr<TObj> {
    return name.rfind("Button: ", 0) == 0 ? std::make_unique<Picture>(1) : nullptr;
  });
  int calls = 0;
  auto second = source->AddPictureProvider(
      [](const std::string&, void* user) -> std::unique_ptr<TObj> {
        ++*static_cast<int*>(user);
        return std::make_unique<Picture>(2);
      },
      &calls);
  auto p = source->AskPictureProviders("Button: ok");
  ASSERT_TRUE(p);
  EXPECT_EQ(static_cast<Picture*>(p.get())->tag, 1);
  EXPECT_EQ(calls, 0);
  p = source->AskPictureProviders("x.jpg");
  EXPECT_EQ(static_cast<Picture*>(p.get())->tag, 2);
  second.reset();
  EXPECT_FALSE(source->AskPictureProviders("x.jpg"));
  EXPECT_EQ(calls, 1);
}

TEST(DiskPath, SafeJoinRefusesNamesThatLeaveTheFolder) {
  std::string out;
  EXPECT_TRUE(SafeJoin("/d", "a\\b.jpg", out));
  EXPECT_EQ(out, "/d/a/b.jpg");
  EXPECT_TRUE(SafeJoin("/d", ".\\a\\\\b", out));
  EXPECT_EQ(out, "/d/a/b");
  for (const char* bad : {"..\\x", "a\\..\\..\\x", "\\abs", "/abs", "C:\\win.ini", "c:rel", "a/../b", "", ".", ".."})
    EXPECT_FALSE(SafeJoin("/d", bad, out)) << bad;
}

}  // namespace
}  // namespace zem
