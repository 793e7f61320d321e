// zemtool make: picture headers and order, motion without borders, options, timing and music,
// and the script as the player reads it back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "foundation/stream.h"
#include "make_motion.h"
#include "make_options.h"
#include "make_pictures.h"
#include "make_random.h"
#include "make_show.h"
#include "model/slide_source.h"
#include "resources/bitmap_store.h"
#include "script/ini_file.h"
#include "test_data.h"

namespace fs = std::filesystem;
using namespace zemtool::make;

namespace {

class TTempDir {
 public:
  TTempDir() {
    path_ = fs::temp_directory_path() / ("zem_make_test_" + std::to_string(std::random_device{}()));
    fs::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::vector<uint8_t> b;
  EXPECT_TRUE(zem::ReadFileBytes(path, b));
  return b;
}

// Silent 16-bit stereo PCM of `ms` milliseconds at 44100 Hz.
void WriteWav(const fs::path& p, int32_t ms) {
  const uint32_t data = uint32_t(int64_t(ms) * 44100 / 1000) * 4;
  std::vector<uint8_t> b;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); };
  auto tag = [&](const char* t) { b.insert(b.end(), t, t + 4); };
  tag("RIFF"); u32(36 + data); tag("WAVE");
  tag("fmt "); u32(16); u16(1); u16(2); u32(44100); u32(44100 * 4); u16(4); u16(16);
  tag("data"); u32(data);
  b.resize(b.size() + data, 0);
  WriteFile(p, b);
}

TPicture Photo(int32_t w, int32_t h, const std::string& path = "/photos/p.jpg") {
  TPicture p;
  p.path = path;
  p.relPath = fs::path(path).filename().string();
  p.width = w;
  p.height = h;
  return p;
}

}  // namespace

TEST(MakePictures, NaturalOrderAndDates) {
  std::vector<std::string> names = {"img10.jpg", "IMG3.jpg", "img1b.jpg", "img02.jpg", "sub/img1.jpg", "img1.jpg"};
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
  EXPECT_EQ(names, (std::vector<std::string>{"img1.jpg", "img1b.jpg", "img02.jpg", "IMG3.jpg", "img10.jpg", "sub/img1.jpg"}));

  int64_t a = 0, b = 0;
  ASSERT_TRUE(ParseExifDate("2008:07:14 23:59:59", a));
  ASSERT_TRUE(ParseExifDate("2008-07-15 00:00:00", b));
  EXPECT_EQ(b - a, 1);
  EXPECT_FALSE(ParseExifDate("0000:00:00 00:00:00", a));  // what cameras write when they do not know
  EXPECT_FALSE(ParseExifDate("2008:13:01 00:00:00", a));
  EXPECT_FALSE(ParseExifDate("2008:07:14", a));
}

// Sizes and EXIF facts come from the headers: nothing is decoded, and a header behind large
// metadata is still found.
TEST(MakePictures, HeadersOnly) {
  const int64_t decodes = zem::TBitmapStore::DecodeCount();
  TPicture p;
  std::string why;
  ASSERT_TRUE(ProbePicture(zem::test::DataFile("images/jpeg/exif-orientation/Portrait_6.jpg"), p, why)) << why;
  EXPECT_EQ(p.orientation, 6);
  EXPECT_EQ(p.width, 1800);
  EXPECT_EQ(p.ShownWidth(), 1200);
  EXPECT_EQ(p.ShownHeight(), 1800);
  TPicture dated;
  ASSERT_TRUE(ProbePicture(zem::test::DataFile("images/jpeg/pillow/iptc.jpg"), dated, why)) << why;
  EXPECT_TRUE(dated.exifDated);  // only the original date-time is stored there
  int64_t key = 0;
  ASSERT_TRUE(ParseExifDate("2006:07:08 21:14:45", key));
  EXPECT_EQ(dated.dateKey, key);

  struct {
    const char* file;
    int32_t w, h;
  } sizes[] = {{"images/gif/pillow/chi.gif", 320, 240}, {"images/bmp/good/pal1.bmp", 127, 64}};
  for (const auto& s : sizes) {
    TPicture q;
    ASSERT_TRUE(ProbePicture(zem::test::DataFile(s.file), q, why)) << s.file << ": " << why;
    EXPECT_EQ(q.width, s.w) << s.file;
    EXPECT_EQ(q.height, s.h) << s.file;
  }

  TTempDir dir;
  // A JPEG with 200 KB of application data before its frame header.
  std::vector<uint8_t> jpeg = ReadAll(zem::test::DataFile("images/jpeg/exif-orientation/Landscape_1.jpg"));
  std::vector<uint8_t> padded(jpeg.begin(), jpeg.begin() + 2);
  for (int i = 0; i < 4; ++i) {
    const uint16_t len = 50000;
    padded.insert(padded.end(), {0xFF, 0xEF, uint8_t(len >> 8), uint8_t(len & 0xFF)});
    padded.resize(padded.size() + len - 2, 0x20);
  }
  padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
  WriteFile(dir.Path() / "padded.jpg", padded);
  TPicture q;
  ASSERT_TRUE(ProbePicture((dir.Path() / "padded.jpg").string(), q, why)) << why;
  EXPECT_EQ(q.width, 1800);

  // Content that is not what the extension says, and garbage.
  WriteFile(dir.Path() / "png.jpg", ReadAll(zem::test::DataFile("images/png/other/pillow_hopper.png")));
  WriteFile(dir.Path() / "broken.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
  for (const char* bad : {"png.jpg", "broken.png"}) {
    TPicture r;
    EXPECT_FALSE(ProbePicture((dir.Path() / bad).string(), r, why)) << bad;
  }
  EXPECT_EQ(zem::TBitmapStore::DecodeCount(), decodes);
}

TEST(MakePictures, FindAndOrder) {
  TTempDir dir;
  const std::vector<uint8_t> png = ReadAll(zem::test::DataFile("images/png/other/pillow_hopper.png"));
  for (const char* name : {"img10.png", "img2.png", "sub/img1.png", ".hidden.png", "show/photos/copy.png"})
    WriteFile(dir.Path() / name, png);
  WriteFile(dir.Path() / "broken.jpg", {'n', 'o'});
  WriteFile(dir.Path() / "notes.txt", {'x'});
  // File times: img2 newest, sub/img1 oldest.
  const auto now = fs::file_time_type::clock::now();
  fs::last_write_time(dir.Path() / "img2.png", now);
  fs::last_write_time(dir.Path() / "img10.png", now - std::chrono::hours(24));
  fs::last_write_time(dir.Path() / "sub/img1.png", now - std::chrono::hours(48));

  TFoundPictures found;
  std::string error;
  // The folder argument twice: each picture once; the output folder inside is left out.
  ASSERT_TRUE(FindPictures({dir.Path().string(), dir.Path().string()}, {(dir.Path() / "show").string()}, found, error));
  ASSERT_EQ(found.warnings.size(), 1u);
  EXPECT_NE(found.warnings[0].find("broken.jpg"), std::string::npos);
  auto order = [&](TOrder o, uint64_t seed) {
    std::vector<TPicture> p = found.pictures;
    OrderPictures(p, o, seed);
    std::string s;
    for (const TPicture& x : p) s += x.relPath + " ";
    return s;
  };
  EXPECT_EQ(order(TOrder::Name, 1), "img2.png img10.png sub/img1.png ");
  EXPECT_EQ(order(TOrder::Date, 1), "sub/img1.png img10.png img2.png ");
  EXPECT_EQ(order(TOrder::Random, 7), order(TOrder::Random, 7));
  bool differs = false;
  for (uint64_t seed = 1; seed < 20 && !differs; ++seed) differs = order(TOrder::Random, seed) != order(TOrder::Random, 0);
  EXPECT_TRUE(differs);

  TFoundPictures none;
  EXPECT_FALSE(FindPictures({(dir.Path() / "missing").string()}, {}, none, error));
  EXPECT_NE(error.find("no such folder"), std::string::npos);
}

// Covering photos keep every edge covered at every moment of their motion, for all shapes of
// photo and show; photos the other way round from the show are placed inside.
TEST(MakeMotion, NoBorderAtAnyTime) {
  const int32_t shows[][2] = {{1920, 1080}, {1024, 768}, {1080, 1920}, {320, 180}};
  const int32_t photos[][2] = {{1800, 1200}, {4000, 3000}, {1200, 1200}, {6000, 1500}, {1200, 1800}, {1920, 1080}};
  int covering = 0;
  for (const auto& s : shows) {
    for (const auto& p : photos) {
      for (uint64_t seed = 1; seed <= 50; ++seed) {
        TRandom random(seed);
        const TMotion m = ChooseMotion(p[0], p[1], s[0], s[1], true, random);
        EXPECT_EQ(m.cover, !PlacedInside(p[0], p[1], s[0], s[1]));
        if (!m.cover) {
          EXPECT_GE(std::min(m.start.scale, m.end.scale), 100);
          continue;
        }
        ++covering;
        EXPECT_NE(m.start.scale, m.end.scale);
        for (int i = 0; i <= 20; ++i) {
          const TView v = Lerp(m.start, m.end, i / 20.0);
          ASSERT_TRUE(CoversSlide(v, p[0], p[1], s[0], s[1], kCoverMargin))
              << p[0] << "x" << p[1] << " on " << s[0] << "x" << s[1] << " seed " << seed << " at " << i / 20.0
              << ": scale " << v.scale << " position " << v.x << "," << v.y;
        }
      }
      TRandom random(1);
      const TMotion still = ChooseMotion(p[0], p[1], s[0], s[1], false, random);
      EXPECT_EQ(still.start.scale, still.end.scale);
    }
  }
  EXPECT_GT(covering, 500);
  EXPECT_TRUE(PlacedInside(1200, 1800, 1920, 1080));
  EXPECT_TRUE(PlacedInside(1800, 1200, 1080, 1920));
  EXPECT_FALSE(CoversSlide({100, 10, 0}, 1920, 1080, 1920, 1080, 0));  // the check can fail
}

TEST(MakeOptions, Parse) {
  TMakeOptions o;
  std::string error;
  ASSERT_TRUE(ParseMakeOptions({"pics", "-o", "out", "--order", "random", "--seed=9", "--size", "1280x720",
                                "--transitions", "push, wipe", "--background", "#102030", "--music", "a.mp3",
                                "--fit-music", "--caption", "name", "--window", "--end", "close"},
                               o, error))
      << error;
  EXPECT_EQ(o.order, TOrder::Random);
  EXPECT_EQ(o.seed, 9u);
  EXPECT_EQ(o.width, 1280);
  EXPECT_EQ(o.transitions, (std::vector<std::string>{"push", "wipe"}));
  EXPECT_FALSE(o.blurBackground);
  EXPECT_EQ(o.backgroundColor, 0x302010u);  // red in the low byte
  EXPECT_TRUE(o.window && o.fitMusic);

  TMakeOptions all;
  ASSERT_TRUE(ParseMakeOptions({"p", "--pack", "x.zmshow", "--transitions", "all"}, all, error));
  EXPECT_EQ(all.transitions.size(), TransitionNames().size() - 1);  // every one but the cut

  const std::vector<std::vector<std::string>> bad = {
      {"p"},                                          // no destination
      {"p", "-o", "a", "--pack", "b"},                // two
      {"-o", "a"},                                    // no folder
      {"p", "-o", "a", "--transitions", "sparkle"},   // unknown name
      {"p", "-o", "a", "--size", "10x10"},            // too small
      {"p", "-o", "a", "--fit-music"},                // no music
      {"p", "-o", "a", "--slide-seconds", "1", "--transition-seconds", "1"},
      {"p", "-o", "a", "--background", "plaid"},
      {"p", "--pack", "a", "--link"},                 // nothing to link from
  };
  for (const auto& args : bad) {
    TMakeOptions b;
    EXPECT_FALSE(ParseMakeOptions(args, b, error)) << args.back();
    EXPECT_FALSE(error.empty());
  }
}

// Member names are safe in scripts and package tables, and unique without regard to case.
TEST(MakeShow, MemberNames) {
  std::vector<std::string> used;
  EXPECT_EQ(MemberName("photos", "/a/IMG_1.jpg", used), "photos\\IMG_1.jpg");
  EXPECT_EQ(MemberName("photos", "/b/img_1.JPG", used), "photos\\img_1 (2).JPG");
  EXPECT_EQ(MemberName("photos", "/c/x:\"y\"[1]%.png", used), "photos\\x__y__1__.png");
  EXPECT_EQ(MemberName("music", "/m/IMG_1.jpg", used), "music\\IMG_1.jpg");  // another folder
}

// Slide times and the playlist: --fit-music ends the show with the music; otherwise the
// playlist is cut (and repeated) to the show's length and fades out at its end.
TEST(MakeShow, TimingAndMusic) {
  TTempDir dir;
  WriteWav(dir.Path() / "a.wav", 9300);
  WriteWav(dir.Path() / "b.wav", 4000);
  std::vector<TPicture> pictures = {Photo(1800, 1200, "/p/1.jpg"), Photo(1200, 1800, "/p/2.jpg"), Photo(640, 480, "/p/3.jpg")};

  TMakeOptions o;
  o.folders = {"p"};
  o.music = {(dir.Path() / "a.wav").string(), (dir.Path() / "b.wav").string()};
  o.fitMusic = true;
  o.title = "Trip";
  TShowPlan fit;
  std::string error;
  ASSERT_TRUE(PlanShow(o, pictures, fit, error)) << error;
  ASSERT_EQ(fit.SlideCount(), 4);
  EXPECT_EQ(fit.Duration(), 13300);
  EXPECT_EQ(fit.synch[0], 3325);
  EXPECT_EQ(fit.playlist.back().fadeOut, 3000);

  o.fitMusic = false;
  o.slideSeconds = 2;  // a 8 s show: a.wav cut to 8 s
  TShowPlan cut;
  ASSERT_TRUE(PlanShow(o, pictures, cut, error)) << error;
  ASSERT_EQ(cut.playlist.size(), 1u);
  EXPECT_EQ(cut.playlist[0].duration, 8000);
  EXPECT_EQ(cut.playlist[0].fadeOut, 3000);

  o.slideSeconds = 6;  // 24 s: a, b, a, then b cut to 1.4 s
  TShowPlan repeated;
  ASSERT_TRUE(PlanShow(o, pictures, repeated, error)) << error;
  ASSERT_EQ(repeated.playlist.size(), 4u);
  EXPECT_EQ(repeated.playlist[2].track, 0u);
  EXPECT_EQ(repeated.playlist[3].duration, 1400);
  EXPECT_EQ(repeated.playlist[3].fadeOut, 1400);

  WriteFile(dir.Path() / "noise.mp3", {1, 2, 3, 4});
  o.music = {(dir.Path() / "noise.mp3").string()};
  TShowPlan broken;
  EXPECT_FALSE(PlanShow(o, pictures, broken, error));
  EXPECT_NE(error.find("noise.mp3"), std::string::npos);
}

// The script reads back as the show that was planned: slides, times, transitions drawn from
// the named set with the seed, orientations and references.
TEST(MakeShow, ScriptReadsBack) {
  std::vector<TPicture> pictures;
  for (int i = 1; i <= 8; ++i) {
    pictures.push_back(Photo(1800, 1200, "/p/" + std::to_string(i) + ".jpg"));
    pictures.back().orientation = i;
  }
  TMakeOptions o;
  o.folders = {"p"};
  o.transitions = {"push", "wipe"};
  o.endMode = "close";
  auto plan = [&](uint64_t seed) {
    o.seed = seed;
    TShowPlan p;
    std::string error;
    EXPECT_TRUE(PlanShow(o, pictures, p, error)) << error;
    return p;
  };
  const TShowPlan a = plan(3);
  EXPECT_EQ(ShowScript(a, true), ShowScript(plan(3), true));
  EXPECT_NE(ShowScript(a, true), ShowScript(plan(4), true));

  auto ini = std::make_unique<zem::TIniFile>();
  ASSERT_TRUE(ini->LoadFromText(zem::Utf8ToWide(ShowScript(a, true))));
  const zem::WideString rotation = zem::Utf8ToWide(ShowScript(a, true));
  EXPECT_NE(rotation.find(u";\"photos\\6.jpg\"=6"), zem::WideString::npos);
  EXPECT_NE(rotation.find(u";\"photos\\7.jpg\"=8"), zem::WideString::npos);  // a mirrored quarter turn
  EXPECT_NE(rotation.find(u";\"photos\\1.jpg\"=\"/p/1.jpg\""), zem::WideString::npos);

  zem::TZemSourceOptions so;
  so.fixedSeed = true;
  auto source = zem::MakeRef<zem::TZemSource>(std::move(ini), nullptr, so);
  ASSERT_EQ(source->SlideCount(), 8);
  EXPECT_EQ(source->TotalDuration(), 40000);
  EXPECT_EQ(source->RepeatMode(), zem::kCloseAtEnd);
  for (int i = 0; i < 8; ++i) {
    const zem::TSlideEffect e = source->GetSlideEffect(i);
    EXPECT_TRUE(e.effectClass == 12 || e.effectClass == 9) << e.effectClass;
    EXPECT_EQ(e.effectClass, a.pictures[size_t(i)].transition.effectClass);
    EXPECT_EQ(e.effectType, a.pictures[size_t(i)].transition.effectType);
    EXPECT_EQ(e.Length(), 1200);
    const zem::TIniSection* s = source->SlideSection(i);
    ASSERT_TRUE(s);
    const zem::TIniObject* image = s->FirstObject();
    ASSERT_TRUE(image);
    const bool mirrored = i + 1 == 2 || i + 1 == 4 || i + 1 == 5 || i + 1 == 7;
    const zem::TIniObject* key = image->FirstObject();
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadInteger(u"AngleY", 0), mirrored ? 180 : 0) << "orientation " << i + 1;
  }
}
