// The picture cache, picture providers, placeholders and files that stay on disk.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "foundation/log.h"
#include "package/disk_path.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "resources/file_access.h"
#include "resources/jpeg_decoder.h"
#include "resources/placeholder.h"
#include "test_images.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using namespace zem::test;

class FileAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("zem-res-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "Pics");
    source_ = MakeRef<TMappedFileSource>(root_.string());
    accessor_ = std::make_unique<TFileAccessor>(source_);
  }
  void TearDown() override {
    accessor_.reset();
    source_.reset();
    fs::remove_all(root_);
  }
  void Copy(const std::string& rel, const std::string& to) { fs::copy_file(ImagePath(rel), root_ / to); }

  fs::path root_;
  TRef<TMappedFileSource> source_;
  std::unique_ptr<TFileAccessor> accessor_;
};

TEST_F(FileAccess, NamesInAnyLetterCaseShareOneDecodedPicture) {
  Copy("jpeg/pillow/hopper.jpg", "Pics/Photo.JPG");
  const int64_t live = LiveImageHandles();
  const int64_t decodes = TBitmapStore::DecodeCount();
  auto a = LoadPicture(*accessor_, std::string("pics\\Photo.JPG"));
  auto b = LoadPicture(*accessor_, std::string("PICS\\photo.jpg"));
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->Store(), b->Store());
  EXPECT_NE(dynamic_cast<TJpegBitmapStore*>(a->Store()), nullptr);
  EXPECT_EQ(CachedHandlesFor("pics\\photo.jpg"), 1u);
  EXPECT_EQ(LiveImageHandles(), live + 1);
  a->Store()->Bitmap();
  b->Store()->Bitmap();
  EXPECT_EQ(TBitmapStore::DecodeCount(), decodes + 1);
  auto c = b->Clone();
  b.reset();
  a.reset();
  EXPECT_EQ(LiveImageHandles(), live + 1);  // the clone still holds the entry
  c.reset();
  EXPECT_EQ(LiveImageHandles(), live);
  EXPECT_EQ(CachedHandlesFor("pics\\photo.jpg"), 0u);
}

TEST_F(FileAccess, EachFileSourceHasItsOwnEntry) {
  Copy("png/pngsuite/basn2c08.png", "Pics/a.png");
  TFileAccessor other(MakeRef<TMappedFileSource>(root_.string()));
  auto a = LoadPicture(*accessor_, std::string("Pics\\a.png"));
  auto b = LoadPicture(other, std::string("Pics\\a.png"));
  auto a2 = LoadPicture(*accessor_->Clone(), std::string("Pics\\a.png"));  // same source
  EXPECT_NE(a->Store(), b->Store());
  EXPECT_EQ(a->Store(), a2->Store());
  EXPECT_EQ(CachedHandlesFor("PICS\\A.PNG"), 2u);
}

TEST_F(FileAccess, FirstLoadHappensOnceWhileOtherThreadsWait) {
  Copy("jpeg/pillow/flower.jpg", "Pics/f.jpg");
  const int64_t decodes = TBitmapStore::DecodeCount();
  std::vector<std::unique_ptr<TZemImage>> pictures(8);
  std::vector<std::thread> threads;
  std::atomic<int> go{0};
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      pictures[size_t(i)] = LoadPicture(*accessor_, std::string(i % 2 ? "pics\\F.JPG" : "Pics\\f.jpg"));
      pictures[size_t(i)]->Store()->Bitmap();
    });
  go = 1;
  for (auto& t : threads) t.join();
  for (auto& p : pictures) EXPECT_EQ(p->Store(), pictures[0]->Store());
  EXPECT_EQ(TBitmapStore::DecodeCount(), decodes + 1);
}

TEST_F(FileAccess, MissingAndBrokenFilesGiveTheirPlaceholders) {
  auto missing = LoadPicture(*accessor_, std::string("a\\b\\c.jpg"));
  ASSERT_TRUE(missing);
  auto* ph = dynamic_cast<TPlaceholderStore*>(missing->Store());
  ASSERT_NE(ph, nullptr);
  EXPECT_EQ(ph->Reason(), TPlaceholderReason::NotFound);
  EXPECT_EQ(PlaceholderLines(u"a\\b\\c.jpg", TPlaceholderReason::NotFound),
            (std::vector<WideString>{u"Image not found:", u"c.jpg", u"Path:", u"a\\b"}));
  EXPECT_EQ(PlaceholderLines(u"clip.avi", TPlaceholderReason::LoadError, TPlaceholderKind::Video),
            (std::vector<WideString>{u"Video load error:", u"clip.avi", u"Path:", u""}));
  // Blue picture with yellow text.
  const TBitmap& b = ph->Bitmap();
  EXPECT_EQ(b.GetPixel(0, 0), kPlaceholderBackgroundColor);
  int yellow = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) yellow += b.GetPixel(x, y) == kPlaceholderTextColor;
  EXPECT_GT(yellow, 100);

  WriteFileBytes((root_ / "Pics/broken.png").string(), "\x89PNG\r\n\x1a\nxxxx", 12);
  auto broken = LoadPicture(*accessor_, std::string("Pics\\broken.png"));
  ASSERT_TRUE(broken);
  auto* ph2 = dynamic_cast<TPlaceholderStore*>(broken->Store());
  ASSERT_NE(ph2, nullptr);
  EXPECT_EQ(ph2->Reason(), TPlaceholderReason::LoadError);
  // The "load error" picture says so: it differs from the "not found" one for the same name.
  auto nf = MakePlaceholderBitmap(u"Pics\\broken.png", TPlaceholderReason::NotFound);
  EXPECT_NE(nf.Width(), ph2->Bitmap().Width());
}

// Every picture that fails is named in the log with the reason: missing, undecodable, or
// pixels that fail when first drawn.
TEST_F(FileAccess, PicturesThatFailAreLoggedByName) {
  auto* log = new TLog;
  std::vector<std::string> lines;
  log->SetOutputRoutine([&](const std::string& s) { lines.push_back(s); });
  InstallLog(std::unique_ptr<TLog>(log));
  LoadPicture(*accessor_, std::string("a\\b\\c.jpg"));
  WriteFileBytes((root_ / "Pics/junk.jpg").string(), "hello", 5);
  LoadPicture(*accessor_, std::string("Pics\\junk.jpg"));
  // A container whose deflate data is damaged: the header reads, the pixels do not.
  std::string gfx = "VYGF";
  gfx += std::string("\x04\x00", 2);
  for (const char* f : {"File", "x.bmp", "Width", "4", "Height", "3", "OriginalSize", "48"}) {
    const size_t n = std::strlen(f);
    gfx += static_cast<char>(n);
    gfx += '\0';
    gfx += f;
  }
  gfx += "not deflate data";
  WriteFileBytes((root_ / "Pics/bad.vygfx").string(), gfx.data(), gfx.size());
  auto bad = LoadPicture(*accessor_, std::string("Pics\\bad.vygfx"));
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->Store()->Bitmap().Width(), 4);
  InstallLog(nullptr);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Picture \"a\\b\\c.jpg\" cannot be used: not found (or its member is damaged)",
                       "Picture \"Pics\\junk.jpg\" cannot be used: no picture decoder reads it",
                       "Picture \"Pics\\bad.vygfx\" cannot be used: its pixels do not decode (a filled picture stands in)"}));
}

TEST_F(FileAccess, ProvidersAnswerBeforeAnyFileIsOpened) {
  Copy("png/pngsuite/basn2c08.png", "Pics/gen.png");
  TBitmap own;
  own.Allocate(7, 3, TPixelFormat::Argb32);
  TRef<TBitmapStore> store(new TWrapperBitmapStore(std::move(own)));
  int asked = 0;
  auto handle = AddPictureProvider(*source_, [&](const std::string& name, void* data) -> std::unique_ptr<TImage> {
    ++asked;
    EXPECT_EQ(data, &asked);
    if (name.rfind("Button: ", 0) == 0 || name == "Pics\\gen.png") return std::make_unique<TImage>(store);
    return nullptr;
  }, &asked);
  auto p = LoadPicture(*accessor_, std::string("Button: ok"));
  EXPECT_EQ(p->Store(), store.get());
  auto q = LoadPicture(*accessor_, std::string("Pics\\gen.png"));
  EXPECT_EQ(q->Store(), store.get());  // the provider wins over the file
  EXPECT_EQ(asked, 2);
  q.reset();
  handle.reset();  // removed: the file is decoded now
  auto r = LoadPicture(*accessor_, std::string("Pics\\gen.png"));
  EXPECT_NE(r->Store(), store.get());
  EXPECT_EQ(r->Width(), 32);
  EXPECT_EQ(asked, 2);
}

TEST_F(FileAccess, RotationStateTurnsPicturesAfterDecoding) {
  // The orientation examples: each file holds the same photo stored turned; the table turns it back.
  struct { const char* file; int orientation; } cases[] = {{"Landscape_3.jpg", 3}, {"Landscape_6.jpg", 6},
                                                           {"Landscape_8.jpg", 8}};
  Copy("jpeg/exif-orientation/Landscape_1.jpg", "Pics/upright.jpg");
  auto upright = LoadPicture(*accessor_, std::string("Pics\\upright.jpg"));
  const TBitmap& want = upright->Store()->Bitmap();
  for (auto& c : cases) {
    SCOPED_TRACE(c.file);
    Copy(std::string("jpeg/exif-orientation/") + c.file, std::string("Pics/") + c.file);
    source_->MutableRotationState().AddLine(Utf8ToWide(std::string(";\"pics\\") + c.file + "\"=" +
                                                       std::to_string(c.orientation)));
    auto p = LoadPicture(*accessor_, std::string("Pics\\") + c.file);
    EXPECT_EQ(p->Width(), want.Width());
    EXPECT_EQ(p->Height(), want.Height());
    EXPECT_LT(MeanDifference(p->Store()->Bitmap(), want), 6.0);
  }
}

TEST_F(FileAccess, StylesVariablePrefersTheOwnFolder) {
  fs::path own = root_ / "own", user = root_ / "user";
  fs::create_directories(own / "All/Themes/Blue");
  fs::create_directories(user / "Orvane/Styles/Blue");
  WriteFileBytes((user / "Orvane/Styles/Blue/btn.ini").string(), "u", 1);
  WriteFileBytes((user / "Orvane/Styles/Blue/only.ini").string(), "u", 1);
  WriteFileBytes((own / "All/Themes/Blue/btn.ini").string(), "o", 1);
  const char* old = std::getenv("XDG_DATA_HOME");
  std::string saved = old ? old : "";
  setenv("XDG_DATA_HOME", user.c_str(), 1);
  InitPathVariables(own.string());
  std::string path;
  EXPECT_TRUE(ResolveDiskPath(*accessor_, "%styles%\\Blue\\btn.ini", path));
  EXPECT_EQ(fs::path(path), own / "All/Themes/Blue/btn.ini");
  EXPECT_TRUE(ResolveDiskPath(*accessor_, "%STYLES%\\blue\\ONLY.ini", path));
  EXPECT_EQ(fs::path(path), user / "Orvane/Styles/Blue/only.ini");
  EXPECT_FALSE(ResolveDiskPath(*accessor_, "%styles%\\Blue\\none.ini", path));
  // A missing file still gets the always-used replacement (the caller reports it).
  EXPECT_EQ(fs::path(SlashPath(ApplyPathVariables("%styles%\\x.ini"))).lexically_normal(),
            (user / "Orvane/Styles/x.ini").lexically_normal());
  auto stream = OpenDiskFile(*accessor_, "%styles%\\Blue\\btn.ini");
  ASSERT_TRUE(stream);
  char c = 0;
  EXPECT_EQ(stream->Read(&c, 1), 1);
  EXPECT_EQ(c, 'o');
  if (old) setenv("XDG_DATA_HOME", saved.c_str(), 1);
  else unsetenv("XDG_DATA_HOME");
  InitPathVariables();
}

TEST_F(FileAccess, DiskFilesFallBackToTheBaseFolder) {
  fs::create_directories(root_ / "Base/Clips");
  WriteFileBytes((root_ / "Base/Clips/Movie.avi").string(), "v", 1);
  WriteFileBytes((root_ / "Base/intro.avi").string(), "i", 1);
  accessor_->SetBaseFolder((root_ / "Base").string());
  std::string path;
  // The path itself, in any letter case.
  EXPECT_TRUE(ResolveDiskPath(*accessor_, (root_ / "base/clips/movie.AVI").string(), path));
  EXPECT_EQ(fs::path(path), root_ / "Base/Clips/Movie.avi");
  // Relative to the base folder, with "\" as written in scripts.
  EXPECT_TRUE(ResolveDiskPath(*accessor_, "clips\\MOVIE.avi", path));
  EXPECT_EQ(fs::path(path), root_ / "Base/Clips/Movie.avi");
  // A path from the authoring machine: the file of that name in the base folder.
  EXPECT_TRUE(ResolveDiskPath(*accessor_, "C:\\Users\\me\\Videos\\intro.avi", path));
  EXPECT_EQ(fs::path(path), root_ / "Base/intro.avi");
  EXPECT_FALSE(ResolveDiskPath(*accessor_, "..\\..\\etc\\passwd-none", path));
  EXPECT_FALSE(OpenDiskFile(*accessor_, "nothing.avi"));
}

TEST_F(FileAccess, StreamsComeThroughTheAccessorsHooks) {
  Copy("png/pngsuite/basn2c08.png", "Pics/a.png");
  auto s = OpenStream(*accessor_, u"PICS\\A.PNG");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->Size(), int64_t(fs::file_size(root_ / "Pics/a.png")));
  // The fall-back opener serves a name the source lacks; the filter sees every opened stream.
  std::vector<uint8_t> gif;
  ASSERT_TRUE(ReadFileBytes(ImagePath("gif/giflib/treescap.gif"), gif));
  accessor_->SetFallbackOpener([&](const std::string& name) -> std::unique_ptr<TStream> {
    return name == "virtual.gif" ? std::make_unique<TMemoryStream>(gif) : nullptr;
  });
  auto p = LoadPicture(*accessor_, std::string("virtual.gif"));
  EXPECT_EQ(p->Width(), 40);
  EXPECT_EQ(dynamic_cast<TPlaceholderStore*>(p->Store()), nullptr);
}

}  // namespace
}  // namespace zem
