// A clip's sound is heard in step with its pictures: the music player plays the show through
// SDL's disk driver (a click of the show's music, in the object form that carries the sound of
// video clips, marks show time 0 in what was heard), while the
// test draws the clip's video object at the player's clock as the engine does. The beep of the
// clip and the frame of its flash (both at 1200 ms into the clip) must meet within 40 ms.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "foundation/clock.h"
#include "model/recording_drawer.h"
#include "model/slide_producer.h"
#include "model/zem_video.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "script/ini_file.h"
#include "sound/backend/audio_output.h"
#include "sound/music/music_player.h"
#include "video/video_layer.h"
#include "video_test_util.h"

namespace zem::test {
namespace {

constexpr double kRate = 44100;

TEST(VideoSync, BeepOfTheClipMeetsItsFlashWithin40Ms) {
  TVideoScratch dir;
  const std::string capture = dir.Path("heard.raw");
  SetAudioBackendKind(TAudioBackendKind::Sdl);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
  InstallVideoLayer();

  // The clip: black, white at frame 30 (1200 ms), with a beep from 1200 ms.
  TClipOptions o;
  o.frames = 75;
  o.flashFrame = 30;
  o.audioSeconds = 3;
  o.beepAt = 1200;
  ASSERT_TRUE(MakeClip(dir.Path("clip.avi"), o));
  // The music: a click at its start, silence after.
  TClipOptions m;
  m.format = "wav";
  m.frames = 0;
  m.audioSeconds = 5;
  m.beepAt = 0;
  m.beepMs = 20;
  ASSERT_TRUE(MakeClip(dir.Path("click.wav"), m));
  const std::string text =
      "[Main]\nopt_scr_width=320\nopt_scr_height=240\nopt_fx_enable=0\nopt_slidescount=1\nopt_synchpos1=5000\n"
      "opt_syncmode=1\nobject music:\nobject tmusictrack:\nobject tmusicitem:\nFileName=click.wav\nDuration=5000\n"
      "end\nend\nend\n"
      "[Slide1]\nobject video: Clip\nFileName=clip.avi\nDuration=3000\nStartZEMTime=500\n"
      "object keypoint:\nTime=0\nend\nend\n";
  auto ini = std::make_unique<TIniFile>();
  ASSERT_TRUE(ini->LoadFromText(Utf8ToWide(text)));
  auto show = MakeRef<TZemSource>(std::move(ini),
                                  std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>(dir.Path(""))));
  TSlideProducer producer(show);
  producer.SetOutput({320, 240}, TSlideProducer::kFitInside, 100, 100);
  std::unique_ptr<TZemSlide> slide = producer.CreateSlide(0, 0);
  ASSERT_TRUE(slide);
  TZemVideo* video = dynamic_cast<TZemVideo*>(slide->Child(0));
  ASSERT_TRUE(video && video->Wrapper() && video->Wrapper()->HasSource());
  TRecordingDrawer drawer;
  slide->Preload(drawer, 0);

  double flashShown = -1;
  {
    TZemMusicPlayer player(show, false);
    ASSERT_TRUE(player.HasDevice()) << "no SDL disk audio device";
    ASSERT_TRUE(player.Start());
    const uint32_t t0 = TimeGetTime();
    while (!player.IsReady() && TimeGetTime() - t0 < 5000) SleepMs(5);
    ASSERT_TRUE(player.IsReady());
    player.SetRunning(true);
    // The engine's loop: draw at the show clock, a frame every few milliseconds.
    while (player.GetPosition() < 2600) {
      const double t = player.GetPosition();
      slide->SetTimeAndUpdate(true, t);
      drawer.DrawItem(slide.get());
      if (const auto* held = video->HeldFrame(); held && flashShown < 0) {
        std::vector<uint8_t> y = static_cast<TMemoryVideoSurface*>(held->image.get())->Plane(kPlaneY);
        if (y[y.size() / 2] > 128) flashShown = t;
      }
      slide->FrameDone(drawer);
      SleepMs(4);
    }
    player.Stop();
  }
  unsetenv("SDL_AUDIODRIVER");
  unsetenv("SDL_DISKAUDIOFILE");
  ASSERT_GE(flashShown, 0) << "the flash was never drawn";

  std::vector<uint8_t> raw;
  ASSERT_TRUE(ReadFileBytes(capture, raw));
  std::vector<double> heard(raw.size() / 4);
  for (size_t i = 0; i < heard.size(); ++i) {
    int16_t l;
    std::memcpy(&l, raw.data() + 4 * i, 2);
    heard[i] = l;
  }
  auto onset = [&](size_t from) {
    for (size_t i = from; i < heard.size(); ++i)
      if (std::abs(heard[i]) > 3000) return i;
    return size_t(std::string::npos);
  };
  const size_t click = onset(0);
  ASSERT_NE(click, std::string::npos) << "the music's click was not heard";
  const size_t beep = onset(click + size_t(0.5 * kRate));
  ASSERT_NE(beep, std::string::npos) << "the clip's beep was not heard";
  const double beepHeard = double(beep - click) * 1000.0 / kRate;  // show time
  std::printf("beep heard at %.1f ms of show time, flash drawn at %.1f ms (both due at 1700)\n", beepHeard,
              flashShown);
  EXPECT_NEAR(beepHeard, 1700, 40);
  EXPECT_NEAR(flashShown, 1700, 40);
  EXPECT_NEAR(beepHeard, flashShown, 40);
  slide.reset();
  EXPECT_TRUE(WaitForActiveThreads(5000));
}

}  // namespace
}  // namespace zem::test
