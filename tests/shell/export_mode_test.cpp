// The player's export mode run as a process, the video read back with libavcodec: frames equal
// the snapshot at their time; a tone keeps its pitch, level and length; a colour change and a
// click at slide changes land on the same frame; -from, -to and -fps cut exactly; Ctrl+C leaves
// a shorter playable file; an unwritable or full target fails with one line and leaves nothing;
// a clip's frames are exported each at its own time.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>

#include "../package/test_util.h"
#include "../sound/sound_test_util.h"
#include "foundation/bitmap.h"
#include "player_process.h"
#include "resources/bitmap_store.h"
#include "resources/decoders.h"
#include "shell/command_line.h"
#include "shell/export_mode.h"
#include "test_data.h"
#include "video/encode/media_encoder.h"
#include "video_probe.h"
#include "../video/video_test_util.h"

namespace zem {
namespace {

namespace fs = std::filesystem;
using test::RunPlayerProcess;
using test::TRun;
using test::TVideoProbe;

// The GL driver's one-time allocations would drown a leak check of the player (see the
// snapshot tests); the drawing is leak-checked in process elsewhere.
const std::vector<std::string> kEnv = {"ASAN_OPTIONS=detect_leaks=0"};
constexpr double kFullScale = 32767;

void WriteFile(const std::string& path, const std::string& text) {
  ASSERT_TRUE(WriteFileBytes(path, text.data(), text.size()));
}
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  ASSERT_TRUE(WriteFileBytes(path, bytes.data(), bytes.size()));
}

// 44100 Hz stereo: silence with 5 ms bursts of a 2205 Hz square at 0.6 of full scale.
std::vector<uint8_t> ClickWave(double seconds, const std::vector<double>& clicksMs) {
  const int64_t frames = int64_t(seconds * 44100);
  std::vector<int16_t> s(size_t(frames) * 2, 0);
  for (double ms : clicksMs)
    for (int64_t i = 0; i < 220; ++i) {
      const int64_t at = int64_t(ms * 44.1) + i;
      const int16_t v = int16_t((i / 10) % 2 ? -19660 : 19660);
      s[size_t(at) * 2] = s[size_t(at) * 2 + 1] = v;
    }
  std::vector<uint8_t> bytes(s.size() * 2);
  std::memcpy(bytes.data(), s.data(), bytes.size());
  return soundtest::MakeWave(InternalFormat(), bytes);
}

// First sample at or after `from` whose magnitude passes `level`; -1 when none.
int64_t Onset(const std::vector<double>& v, int64_t from, double level) {
  for (size_t i = size_t(std::max<int64_t>(0, from)); i < v.size(); ++i)
    if (std::abs(v[i]) > level) return int64_t(i);
  return -1;
}

// PSNR of the BT.709 luma of two pictures (BGRA bytes against a decoded PNG): video is judged
// on its luma, as its colour is stored at a quarter of the resolution.
double LumaPsnr(const std::vector<uint8_t>& bgra, const TBitmap& png) {
  double sum = 0;
  for (int32_t y = 0; y < png.Height(); ++y)
    for (int32_t x = 0; x < png.Width(); ++x) {
      const uint8_t* p = &bgra[(size_t(y) * png.Width() + x) * 4];
      const uint32_t q = png.GetPixel(x, y);
      const double a = 0.2126 * p[2] + 0.7152 * p[1] + 0.0722 * p[0];
      const double b = 0.2126 * ((q >> 16) & 0xFF) + 0.7152 * ((q >> 8) & 0xFF) + 0.0722 * (q & 0xFF);
      sum += (a - b) * (a - b);
    }
  const double mse = sum / (double(png.Width()) * png.Height());
  return mse <= 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// The dominant channel of a picture's centre: 0 blue, 1 green, 2 red.
int Dominant(const std::vector<uint8_t>& bgra, int32_t w, int32_t h) {
  const uint8_t* p = &bgra[(size_t(h / 2) * w + w / 2) * 4];
  return p[0] > 128 ? 0 : p[1] > 128 ? 1 : p[2] > 128 ? 2 : -1;
}

TBitmap ReadPng(const std::string& path) {
  TBitmap out;
  auto stream = TFileStream::Open(path, TFileMode::Read);
  if (!stream) return out;
  TRef<TBitmapStore> store = Decode(std::move(stream), u"snapshot.png");
  if (store) out = store->Bitmap();
  return out;
}

class ExportProcess : public ::testing::Test {
 protected:
  TRun Run(const std::vector<std::string>& args, int limit_s = 180) {
    std::vector<std::string> argv = {ZEMVIEWER_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunPlayerProcess(argv, dir_.Path("err.txt"), kEnv, limit_s);
  }
  TVideoProbe Probe(const std::string& path, const std::set<int64_t>& keep = {}) {
    TVideoProbe p;
    std::string error;
    EXPECT_TRUE(test::ProbeVideo(path, keep, p, error)) << error;
    return p;
  }
  // A 320 × 240 show: the photo with pan and zoom for 2 s, a 1 s cross-fade into a blue slide
  // with a yellow box; 4 s in all.
  std::string PhotoShow(int seconds = 4) {
    fs::copy_file(test::DataFile("images/jpeg/exif-orientation/Landscape_0.jpg"), dir_.Path("photo.jpg"),
                  fs::copy_options::overwrite_existing);
    const std::string half = std::to_string(seconds * 500), all = std::to_string(seconds * 1000);
    WriteFile(dir_.Path("photo.zem"),
              "[Main]\nopt_scr_full=0\nopt_scr_width=320\nopt_scr_height=240\nopt_slidescount=2\n"
              "opt_synchpos1=" + half + "\nopt_synchpos2=" + all + "\nopt_fx_enable=1\nopt_fx_time=1000\n"
              "opt_fx_eff3=1\n[Slide1]\nobject image: Photo\n  ImageName=photo.jpg\n  object keypoint:\n"
              "    Time=0\n  end\n  object keypoint:\n    Origin=SlideEnd\n    Time=0\n    ScaleX=130\n"
              "    ScaleY=130\n    Position=-20,10\n  end\nend\n[Slide2]\nPers_Fon=1\nbstyle=1\nbname=16711680\n"
              "object box: Middle\n  Size=1,1\n  FillMode=Solid\n  Color1=255,200,0\n  object keypoint:\n"
              "    Time=0\n  end\nend\n");
    return dir_.Path("photo.zem");
  }
  test::TScratch dir_;
};

TEST_F(ExportProcess, FramesEqualTheSnapshotAtTheirTime) {
  const std::string show = PhotoShow();
  const std::string out = dir_.Path("photo.mp4");
  TRun r = Run({show, "-export", out, "-fps", "10", "-quality", "95"});
  ASSERT_EQ(r.status, 0) << r.err;
  // On the photo while it zooms, in the middle of the cross-fade, and on the last slide.
  const std::vector<int> times = {1500, 2500, 3700};
  TVideoProbe p = Probe(out, {15, 25, 37});
  EXPECT_EQ(p.frames, 40);
  ASSERT_EQ(p.width, 320);
  for (int t : times) {
    const std::string png = dir_.Path("s" + std::to_string(t) + ".png");
    TRun s = Run({show, "-snapshot", png, "-at", std::to_string(t)});
    ASSERT_EQ(s.status, 0) << s.err;
    const TBitmap shot = ReadPng(png);
    ASSERT_EQ(shot.Width(), 320);
    const double psnr = LumaPsnr(p.pictures[t / 100], shot);
    EXPECT_GE(psnr, 40) << "at " << t << " ms";
    // A frame from a neighbouring time would not pass: the zoom moves every frame.
    if (t == 1500) {
      EXPECT_LT(LumaPsnr(p.pictures[25], shot), 30);
    }
  }
}

class ExportTone : public ExportProcess, public ::testing::WithParamInterface<const char*> {};

TEST_P(ExportTone, AToneTrackKeepsItsPitchLevelStartAndTheShowsLength) {
  WriteFile(dir_.Path("tone.wav"), soundtest::SineWave(44100, 2, 16, 440, 0.5, 5.0));
  WriteFile(dir_.Path("tone.zem"),
            "[Main]\nopt_scr_full=0\nopt_scr_width=160\nopt_scr_height=120\nopt_slidescount=1\n"
            "opt_synchpos1=3000\nopt_fx_enable=0\nopt_usemusic=1\nopt_syncmode=1\nopt_music_count=1\n"
            "opt_music1=tone.wav\nopt_lengthlist1=5000\n[Slide1]\nPers_Fon=1\nbstyle=1\nbname=255\n");
  const std::string out = dir_.Path(std::string("tone.") + GetParam());
  TRun r = Run({dir_.Path("tone.zem"), "-export", out});
  ASSERT_EQ(r.status, 0) << r.err;
  TVideoProbe p = Probe(out);
  EXPECT_EQ(p.frames, 90);
  EXPECT_NEAR(p.fps, 30, 0.01);
  // The show's 3 s, within one frame (1470 samples).
  EXPECT_NEAR(double(p.audio.size()), 3 * 44100, 1470);
  const std::vector<double> body(p.audio.begin() + 4410, p.audio.begin() + 4410 * 6);
  EXPECT_NEAR(soundtest::ZeroCrossingFrequency(body, 44100), 440, 1);
  EXPECT_NEAR(soundtest::Rms(body), 0.5 * kFullScale / std::sqrt(2.0), 0.05 * 0.5 * kFullScale / std::sqrt(2.0));
  // It starts with the show: heard within 5 ms (its fade-in lasts 10 ms).
  const int64_t onset = Onset(p.audio, 0, 1000);
  EXPECT_GE(onset, 0);
  EXPECT_LT(onset, 220);
}

INSTANTIATE_TEST_SUITE_P(, ExportTone, ::testing::Values("mp4", "webm"));

TEST_F(ExportProcess, SlideChangesLandOnTheSameFrameInPictureAndSoundAndCutsAreExact) {
  // Red, green and blue slides of 1 s each without transitions; the music clicks at the first
  // change, the third slide's own sound at its start. The first slide waits for the viewer and
  // the second loops: an export goes on after their time.
  WriteFile(dir_.Path("music.wav"), ClickWave(3.0, {1000}));
  WriteFile(dir_.Path("click.wav"), ClickWave(0.3, {0}));
  WriteFile(dir_.Path("rgb.zem"),
            "[Main]\nopt_scr_full=0\nopt_scr_width=160\nopt_scr_height=120\nopt_slidescount=3\n"
            "opt_synchpos1=1000\nopt_synchpos2=2000\nopt_synchpos3=3000\nopt_fx_enable=0\nopt_usemusic=1\n"
            "opt_syncmode=1\nopt_music_count=1\nopt_music1=music.wav\nopt_lengthlist1=3000\n"
            "[Slide1]\nPers_Fon=1\nbstyle=1\nbname=255\nPers_EndAction=pause\n[Slide2]\nPers_Fon=1\nbstyle=1\n"
            "bname=65280\nPers_EndAction=loop\n"
            "[Slide3]\nPers_Fon=1\nbstyle=1\nbname=16711680\nSound=click.wav\nSoundLength=300\n");
  // From 520 ms at 25 fps: frame j shows 520 + 40 j, so the changes fall on frames 12 and 37.
  const std::string out = dir_.Path("rgb.mp4");
  TRun r = Run({dir_.Path("rgb.zem"), "-export", out, "-fps", "25", "-from", "520", "-to", "2520"});
  ASSERT_EQ(r.status, 0) << r.err;
  TVideoProbe p = Probe(out, {0, 11, 12, 36, 37, 49});
  EXPECT_EQ(p.frames, 50);
  EXPECT_NEAR(p.fps, 25, 0.01);
  EXPECT_NEAR(double(p.audio.size()), 2 * 44100, 1764);
  const int w = p.width, h = p.height;
  EXPECT_EQ(Dominant(p.pictures[0], w, h), 2);
  EXPECT_EQ(Dominant(p.pictures[11], w, h), 2);
  EXPECT_EQ(Dominant(p.pictures[12], w, h), 1);
  EXPECT_EQ(Dominant(p.pictures[36], w, h), 1);
  EXPECT_EQ(Dominant(p.pictures[37], w, h), 0);
  EXPECT_EQ(Dominant(p.pictures[49], w, h), 0);
  // Each click at its frame's first sample (12 × 1764 and 37 × 1764), well within one frame:
  // the music's to the sample, the slide sound's after its 10 ms fade-in has risen halfway.
  const int64_t first = Onset(p.audio, 0, 0.3 * kFullScale);
  const int64_t second = Onset(p.audio, first + 4410, 0.3 * kFullScale);
  EXPECT_NEAR(double(first), 12 * 1764, 44);
  EXPECT_NEAR(double(second), 37 * 1764 + 220, 220);
}

TEST_F(ExportProcess, CtrlCLeavesAShorterPlayableFile) {
  const std::string show = PhotoShow(120);
  const std::string out = dir_.Path("long.mkv");
  std::vector<std::string> args = {ZEMVIEWER_PATH, show, "-export", out};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStore = {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy", kEnv[0]};
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "SDL_", 4) && std::strncmp(*e, "ASAN_OPTIONS=", 13)) envStore.push_back(*e);
  std::vector<char*> env;
  for (auto& e : envStore) env.push_back(e.data());
  env.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), env.data()), 0);
  // Interrupted once the encoder has written some frames.
  for (int i = 0; i < 600; ++i) {
    std::error_code ec;
    if (fs::file_size(PartialPath(out), ec) > 20000 && !ec) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_FALSE(fs::exists(PartialPath(out)));
  TVideoProbe p = Probe(out);
  EXPECT_GT(p.frames, 0);
  EXPECT_LT(p.frames, 3600);
  EXPECT_NEAR(double(p.audio.size()) / 44100, double(p.frames) / 30, 0.05);
}

TEST_F(ExportProcess, FailuresAreOneLineAndLeaveNothingBehind) {
  const std::string show = PhotoShow();
  struct TCase {
    std::vector<std::string> args;
    const char* says;
    std::string target;
  };
  const std::string missing = dir_.Path("no/such/folder/x.mp4");
  const std::vector<TCase> cases = {
      {{show, "-export", missing}, "cannot write", missing},
      {{show, "-export", dir_.Path("x.avi")}, "not a video type", dir_.Path("x.avi")},
      {{show, "-export", dir_.Path("x.mp4"), "-fps", "0"}, "-fps", dir_.Path("x.mp4")},
      {{show, "-export", dir_.Path("x.mp4"), "-from", "3000", "-to", "1000"}, "-to", dir_.Path("x.mp4")},
      {{show, "-export", dir_.Path("x.mp4"), "-outsize", "321x240"}, "-outsize", dir_.Path("x.mp4")},
      {{show, "-export", dir_.Path("x.mp4"), "-from", "9000"}, "-from", dir_.Path("x.mp4")},
  };
  for (const TCase& c : cases) {
    TRun r = Run(c.args);
    EXPECT_EQ(r.status, 1) << c.args.back();
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
    EXPECT_FALSE(fs::exists(c.target));
  }
  // A full disk, as a file size limit: the write error is reported and nothing is left.
  const std::string out = dir_.Path("full.mp4");
  TRun r = RunPlayerProcess({"/bin/bash", "-c", "ulimit -f 64; trap '' XFSZ; exec \"$0\" \"$@\"", ZEMVIEWER_PATH, show,
                             "-export", out},
                            dir_.Path("err.txt"), kEnv, 180);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_FALSE(fs::exists(PartialPath(out)));
}

// A grey level of 56 + 5n with busy noise (mean 55.5 + 5n), so that decoding a 1080p frame costs more than
// drawing and encoding a small exported one.
void PaintLevel(int32_t n, uint8_t* const planes[3], const int32_t strides[3], int32_t w, int32_t h) {
  uint32_t seed = 12345u + uint32_t(n);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      planes[0][int64_t(y) * strides[0] + x] = uint8_t(56 + 5 * n + int32_t(seed >> 26) - 32);
    }
  for (int32_t y = 0; y < h / 2; ++y) {
    std::memset(planes[1] + int64_t(y) * strides[1], 128, size_t(w / 2));
    std::memset(planes[2] + int64_t(y) * strides[2], 128, size_t(w / 2));
  }
}

TEST_F(ExportProcess, EveryClipFrameIsExportedAtItsTime) {
  // A 25 fps clip whose frames differ in grey level, filling a small show exported at 25 fps:
  // frame k of the export is frame k of the clip, however far the decoder lags the export.
  test::TClipOptions o;
  o.width = 1920;
  o.height = 1080;
  o.frames = 30;
  o.quality = 2;
  o.paint = &PaintLevel;
  ASSERT_TRUE(test::MakeClip(dir_.Path("clip.avi"), o));
  WriteFile(dir_.Path("clip.zem"),
            "[Main]\nopt_scr_full=0\nopt_scr_width=160\nopt_scr_height=90\nopt_slidescount=1\n"
            "opt_synchpos1=1200\nopt_fx_enable=0\n[Slide1]\nobject video: Clip\nFileName=clip.avi\n"
            "Duration=1200\nStartZEMTime=0\nobject keypoint:\nTime=0\nend\nend\n");
  const std::string out = dir_.Path("clip.mp4");
  TRun r = Run({dir_.Path("clip.zem"), "-export", out, "-fps", "25", "-quality", "95"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::set<int64_t> all;
  for (int64_t k = 0; k < 30; ++k) all.insert(k);
  TVideoProbe p = Probe(out, all);
  ASSERT_EQ(p.frames, 30);
  int wrong = 0;
  for (int64_t k = 0; k < 30; ++k) {
    // Mean green of the middle rows: grey Y in video range is (Y - 16) x 255 / 219 in full range.
    const std::vector<uint8_t>& px = p.pictures[k];
    double sum = 0;
    int count = 0;
    for (size_t i = px.size() / 4; i < px.size() * 3 / 4; i += 4, ++count) sum += px[i + 1];
    const int n = int(std::lround((sum / count * 219.0 / 255.0 + 16 - 55.5) / 5.0));
    if (n != k) ADD_FAILURE() << "export frame " << k << " shows clip frame " << n, ++wrong;
  }
  EXPECT_EQ(wrong, 0);
}

#ifdef ZEM_DEMO_SHOW
TEST_F(ExportProcess, TheDemoExportsToAnMp4ThatPlaysAnywhere) {
  // The published demo is a player itself: its own package is the show.
  const std::string out = dir_.Path("demo.mp4");
  TRun r = Run({ZEM_DEMO_SHOW, "-export", out, "-to", "8000", "-outsize", "640x360"});
  ASSERT_EQ(r.status, 0) << r.err;
  TVideoProbe p = Probe(out, {0, 210});  // 7 s: the first photograph, after the dark title
  // H.264 in 4:2:0 with AAC: what every player takes.
  EXPECT_EQ(p.videoCodec, "h264");
  EXPECT_EQ(p.pixelFormat, "yuv420p");
  EXPECT_EQ(p.audioCodec, "aac");
  EXPECT_EQ(p.frames, 240);
  // Its music is heard and its pictures are not black.
  EXPECT_GT(soundtest::Rms(p.audio), 500);
  double sum = 0;
  for (size_t i = 0; i < p.pictures[210].size(); i += 4) sum += p.pictures[210][i + 1];
  EXPECT_GT(sum / double(p.pictures[210].size() / 4), 20);
}
#endif

TEST(ExportArgs, SwitchesAndFrameCounts) {
  TCommandsStorage c;
  TExportRequest r;
  std::string error;
  EXPECT_FALSE(ParseExportRequest(c, r, error));
  c.GetOrAdd("export").Add("a.webm");
  for (auto [name, value] : {std::pair{"fps", "24"}, {"quality", "60"}, {"from", "1500"}, {"to", "9000.5"}})
    c.GetOrAdd(name).Add(value);
  ASSERT_TRUE(ParseExportRequest(c, r, error)) << error;
  EXPECT_EQ(r.fps, 24);
  EXPECT_EQ(r.quality, 60);
  EXPECT_EQ(r.from, 1500);
  EXPECT_EQ(r.to, 9000.5);
  // Every frame time before the end counts; exact multiples once.
  EXPECT_EQ(ExportFrameCount(0, 21000, 30), 630);
  EXPECT_EQ(ExportFrameCount(0, 21001, 30), 631);
  EXPECT_EQ(ExportFrameCount(520, 2520, 25), 50);
  EXPECT_EQ(ExportFrameCount(100, 100, 30), 0);
  // Sound spans of frames at rates that do not divide 44100 still add up to the right length.
  EXPECT_EQ(ExportAudioStart(7, 7), 44100);
  EXPECT_EQ(ExportAudioStart(1, 24), 1837);
}

}  // namespace
}  // namespace zem
