// Sound through the video decoding library: the FFmpeg source (code 10) of clips and of files no
// built-in decoder takes, its seek strategies, WMA through its plug-in slot, ".ogg" without its
// plug-in, and the plug-in set-up run by the first music player.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "foundation/log.h"
#include "model/slide_source.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "script/ini_file.h"
#include "sound/converter_factory.h"
#include "sound/media_info.h"
#include "sound/music/music_player.h"
#include "sound/plugin_converter.h"
#include "sound/plugin_setup.h"
#include "test_data.h"
#include "video/ffmpeg_lib.h"
#include "video/video_layer.h"
#include "video_test_util.h"

namespace zem::test {
namespace {

class FFMpegSound : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallVideoLayer(); }
  void TearDown() override {
    SetFFmpegLibraryPresent(true);
    UnloadPlugin(TPluginSlot::Wma);
    UnloadPlugin(TPluginSlot::Ogg);
  }
  TVideoScratch dir_;
};

struct TSound {
  bool ok = false;
  TMediaInfo info;
  std::vector<int16_t> left;  // internal format, left channel
};

// Media information, converter, optional seek, then everything the converter delivers.
TSound Decode(const std::string& path, const std::u16string& name, double seek = 0) {
  TSound out;
  auto s = TFileStream::Open(path, TFileMode::Read);
  if (!s) return out;
  if (!TMediaInfoExtractor::Extract(*s, ExtensionOfName(name), out.info, name)) return out;
  auto conv = CreateConverter(s.get(), name, out.info);
  if (!conv || !conv->Open(out.info)) return out;
  conv->SetTargetFormat(InternalFormat());
  if (seek > 0) conv->Seek(seek);
  for (int i = 0; i < 2000; ++i) {
    const bool more = conv->Fill(4096);
    const auto* p = reinterpret_cast<const int16_t*>(conv->Output().Data());
    for (int64_t k = 0; k < 4096 / 2; k += 2) out.left.push_back(p[k]);
    conv->Output().Consume(4096);
    if (!more) break;
  }
  out.ok = true;
  return out;
}

// Milliseconds from the start of the decoded audio to the first loud sample (-1 for none).
double Onset(const TSound& s) {
  for (size_t i = 0; i < s.left.size(); ++i)
    if (std::abs(s.left[i]) > 3000) return double(i) * 1000.0 / kInternalRate;
  return -1;
}

TEST_F(FFMpegSound, ClipAudioIsFoundDecodedAndSoughtInEveryContainer) {
  // Direct seeks (MP4, AVI), the iterative search (Matroska) and reading forward (ASF).
  struct TCase {
    const char* file;
    const char* format;
    const char* codec;
  };
  const TCase cases[] = {{"a.mp4", "mp4", "aac"},
                         {"a.avi", "avi", "pcm_s16le"},
                         {"a.mkv", "matroska", "mp2"},
                         {"a.wmv", "asf", "wmav2"}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    TClipOptions o;
    o.format = c.format;
    o.frames = 38;  // the picture as long as the sound (AVI states no audio length)
    o.audioSeconds = 1.5;
    o.audioCodec = c.codec;
    o.audioRate = 48000;  // resampled to the internal rate
    o.beepAt = 800;
    ASSERT_TRUE(MakeClip(dir_.Path(c.file), o));
    const std::u16string name = Utf8ToWide(c.file);
    TSound whole = Decode(dir_.Path(c.file), name);
    ASSERT_TRUE(whole.ok);
    EXPECT_EQ(whole.info.format_code, kMediaFFmpeg);
    EXPECT_NEAR(whole.info.duration, 1500, 80);  // ASF counts its padding
    // Codec delays stay below a frame; WMA loses its first frame from the start of a stream
    // (FFmpeg's own player does the same), so a clip decoded from 0 runs up to 43 ms ahead.
    const double slack = std::string(c.codec) == "wmav2" ? 50 : 25;
    EXPECT_NEAR(Onset(whole), 800, slack);
    // A seek lands where playing from the start would be at that time.
    TSound later = Decode(dir_.Path(c.file), name, 600);
    ASSERT_TRUE(later.ok);
    EXPECT_NEAR(Onset(later), Onset(whole) - 600, 25);
  }
  // A track that does not exist leaves the clip silent; "?0" is its first track.
  auto s = TFileStream::Open(dir_.Path("a.avi"), TFileMode::Read);
  TMediaInfo info;
  ASSERT_TRUE(TMediaInfoExtractor::Extract(*s, u".avi", info, u"a.avi?1"));
  auto none = CreateConverter(s.get(), u"a.avi?1", info);
  ASSERT_TRUE(none);
  EXPECT_FALSE(none->Open(info));
  auto first = CreateConverter(s.get(), u"a.avi?0", info);
  EXPECT_TRUE(first && first->Open(info));
}

TEST_F(FFMpegSound, WmaThroughItsSlotOrTheFallbackAndOggWithoutItsPlugin) {
  TClipOptions o;
  o.format = "asf";
  o.frames = 0;
  o.audioSeconds = 1;
  o.audioCodec = "wmav2";
  o.beepAt = 700;
  ASSERT_TRUE(MakeClip(dir_.Path("s.wma"), o));
  TSound viaFFmpeg = Decode(dir_.Path("s.wma"), u"s.wma");
  ASSERT_TRUE(viaFFmpeg.ok);
  EXPECT_EQ(viaFFmpeg.info.format_code, kMediaFFmpeg);
  EXPECT_NEAR(Onset(viaFFmpeg), 700, 50);
  // FFmpeg's WMA decoder labels its output up to two frames (93 ms) after the audio it holds;
  // a seek follows the labels, decoding from the start does not.
  TSound viaFFmpegLater = Decode(dir_.Path("s.wma"), u"s.wma", 500);
  EXPECT_NEAR(Onset(viaFFmpegLater), Onset(viaFFmpeg) - 500, 100);
  ASSERT_TRUE(LoadPlugin(TPluginSlot::Wma, &WmaPluginLibrary()));
  TSound viaSlot = Decode(dir_.Path("s.wma"), u"s.wma", 500);
  ASSERT_TRUE(viaSlot.ok);
  EXPECT_EQ(viaSlot.info.format_code, kMediaWma);
  EXPECT_NEAR(viaSlot.info.duration, 1000, 60);
  EXPECT_NEAR(Onset(viaSlot), Onset(viaFFmpegLater), 5);  // the slot decodes the same way

  const std::string ogg = DataFile("audio/pygame_house_lo.ogg");
  TSound fallback = Decode(ogg, u"house.ogg");
  ASSERT_TRUE(fallback.ok);
  EXPECT_EQ(fallback.info.format_code, kMediaFFmpeg);
  EXPECT_GT(fallback.left.size(), 44100u);
  // Without the library nothing takes it; broken media stay silent too.
  SetFFmpegLibraryPresent(false);
  EXPECT_FALSE(Decode(ogg, u"house.ogg").ok);
  SetFFmpegLibraryPresent(true);
  std::vector<uint8_t> junk(20000, 7);
  auto f = TFileStream::Open(dir_.Path("junk.mp4"), TFileMode::Create);
  f->Write(junk.data(), int64_t(junk.size()));
  f.reset();
  EXPECT_FALSE(Decode(dir_.Path("junk.mp4"), u"junk.mp4").ok);
}

TEST_F(FFMpegSound, FirstMusicPlayerSetsUpTheNamedPluginsAndExitUnloadsThem) {
  std::filesystem::create_directories(dir_.Path("plugins"));
  for (const char* n : {"plugins/wma.bin", "plugins/ogg.bin"}) {
    auto f = TFileStream::Open(dir_.Path(n), TFileMode::Create);
    ASSERT_TRUE(f && f->WriteAll("plug", 4));
  }
  auto show = [&](const std::u16string& extra) {
    auto ini = std::make_unique<TIniFile>();
    EXPECT_TRUE(ini->LoadFromText(u"[Main]\nopt_slidescount=1\nopt_synchpos1=1000\n" + extra + u"[Slide1]\n"));
    auto files = std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>(dir_.Path("")));
    return MakeRef<TZemSource>(std::move(ini), std::move(files));
  };
  std::vector<std::string> lines;
  auto* log = new TLog();
  log->SetOutputRoutine([&](const std::string& l) { lines.push_back(l); });
  InstallLog(std::unique_ptr<TLog>(log));
  ResetDecoderPluginSetUp();
  EXPECT_FALSE(PluginSlot(TPluginSlot::Ogg).loaded);
  {
    TZemMusicPlayer player(show(u"opt_wmapath=plugins\\wma.bin\nopt_oggpath=plugins\\ogg.bin\n"), false,
                           [] { return std::unique_ptr<TMusicPlayer>(); });
    EXPECT_TRUE(PluginSlot(TPluginSlot::Wma).loaded);
    EXPECT_TRUE(PluginSlot(TPluginSlot::Ogg).loaded);
  }
  // Once per process: a later player changes nothing.
  {
    TZemMusicPlayer later(show(u""), false, [] { return std::unique_ptr<TMusicPlayer>(); });
    EXPECT_TRUE(PluginSlot(TPluginSlot::Ogg).loaded);
  }
  ShutDownDecoderPlugins();
  EXPECT_FALSE(PluginSlot(TPluginSlot::Wma).loaded);
  EXPECT_FALSE(PluginSlot(TPluginSlot::Ogg).loaded);
  // A member that is not there leaves the slot empty; WMA without the decoding library fails.
  ResetDecoderPluginSetUp();
  SetFFmpegLibraryPresent(false);
  {
    TZemMusicPlayer player(show(u"opt_wmapath=plugins\\wma.bin\nopt_oggpath=plugins\\none.bin\n"), false,
                           [] { return std::unique_ptr<TMusicPlayer>(); });
  }
  EXPECT_FALSE(PluginSlot(TPluginSlot::Wma).loaded);
  EXPECT_FALSE(PluginSlot(TPluginSlot::Ogg).loaded);
  ShutDownDecoderPlugins();
  InstallLog(nullptr);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "WMA INITIALIZE FAILED"), lines.end());
  EXPECT_EQ(std::find(lines.begin(), lines.end(), "OGG INITIALIZE FAILED"), lines.end());
  for (const std::string& l : lines) EXPECT_EQ(l.find("Delete Forlder ERROR"), std::string::npos) << l;
}

}  // namespace
}  // namespace zem::test
