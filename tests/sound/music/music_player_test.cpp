// The music player over a scripted device: the clock follows run, pause and seek; play items are
// scheduled ahead of the clock; synchronised and free-running main music; slide sounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "foundation/assert.h"
#include "sound/music/music_player.h"
#include "music_test_util.h"

namespace zem {
namespace {

using musictest::MakeShow;
using musictest::TFakeDevice;
using musictest::TFakeState;
using musictest::WaitUntil;

// Three slides of 10 s; main music a.mp3 (25 s); slide 2 has a 4 s sound.
std::u16string Show(bool sync, const std::u16string& extra = u"", const std::u16string& sound_length = u"4000") {
  return std::u16string(u"[Main]\nopt_slidescount=3\nopt_synchpos1=10000\nopt_synchpos2=20000\nopt_synchpos3=30000\n"
                        u"opt_fx_enable=0\nopt_repeat=repeat\nopt_usemusic=1\nopt_music_count=1\n"
                        u"opt_music1=a.mp3\nopt_lengthlist1=25000\nopt_syncmode=") +
         (sync ? u"1\n" : u"0\n") + extra + u"[Slide1]\n[Slide2]\nSound=s.wav\nSoundLength=" + sound_length +
         u"\n[Slide3]\n";
}

class MusicPlayerTest : public ::testing::Test {
 protected:
  void Open(bool sync, const std::u16string& extra = u"", const std::u16string& sound_length = u"4000") {
    state = std::make_shared<TFakeState>();
    state->clock = 1000;
    auto show = MakeShow(Show(sync, extra, sound_length));
    ASSERT_TRUE(show);
    auto s = state;
    player = std::make_unique<TZemMusicPlayer>(show, true, [s] { return std::make_unique<TFakeDevice>(s); }, 1);
    player->SetTickHook([this](TZemMusicPlayer& p) {
      std::lock_guard<std::mutex> g(hookLock);
      maxHorizon = std::max(maxHorizon, p.Horizon());
      items = p.Items().size();
    });
    ASSERT_TRUE(player->Start());
  }
  void TearDown() override {
    if (player) player->Stop();
    player.reset();
  }
  // Lets the player run a few ticks, so that posted events and clock changes are seen.
  void Ticks(uint32_t n = 3) {
    const uint32_t target = player->TickCount() + n;
    ASSERT_TRUE(WaitUntil([&] { return player->TickCount() >= target; }));
  }
  void Clock(double show_ms) {
    state->clock = 1000 + show_ms;
    Ticks();
  }
  bool Eventually(const std::string& line) { return WaitUntil([&] { return state->Has(line); }); }

  std::shared_ptr<TFakeState> state;
  std::unique_ptr<TZemMusicPlayer> player;
  std::mutex hookLock;
  double maxHorizon = 0;
  size_t items = 0;
};

TEST_F(MusicPlayerTest, ClockRunsPausesAndSeeksWithTheShow) {
  Open(true);
  EXPECT_EQ(player->GetPosition(), 0);
  player->SetRunning(true);
  Ticks();
  Clock(2500);
  EXPECT_EQ(player->GetPosition(), 2500);
  player->SetRunning(false);
  Ticks();
  Clock(7000);
  EXPECT_EQ(player->GetPosition(), 2500);  // frozen while stopped
  player->SetRunning(true);
  Ticks();
  Clock(8000);
  EXPECT_EQ(player->GetPosition(), 3500);  // continues where it stopped

  player->SetTime(-1, 15000);
  EXPECT_EQ(player->GetPosition(), 15000);
  Clock(9000);
  EXPECT_EQ(player->GetPosition(), 15000);  // a seek leaves the clock stopped
  player->SetRunning(true);
  Ticks();
  Clock(9400);
  EXPECT_EQ(player->GetPosition(), 15400);
}

TEST_F(MusicPlayerTest, EndLimitCapsPositionAndLookAhead) {
  Open(true);
  player->SetEndLimit(10000);
  EXPECT_EQ(player->LastLimit(), 10000);
  player->SetRunning(true);
  Ticks();
  Clock(30000);
  EXPECT_EQ(player->GetPosition(), 10000);
  Ticks();
  std::lock_guard<std::mutex> g(hookLock);
  EXPECT_LE(maxHorizon, 9999 + 5000);
  EXPECT_GE(maxHorizon, 9999 + 5000);
}

TEST_F(MusicPlayerTest, ItemsAreScheduledAheadAndSlideSoundsStopOnPause) {
  Open(true);
  // Main music of cycle 0 is opened at construction, before the clock runs.
  ASSERT_TRUE(Eventually("open a.mp3 0"));
  ASSERT_TRUE(WaitUntil([&] { return player->IsReady(); }));
  EXPECT_FALSE(state->Has("play a.mp3"));
  player->SetRunning(true);
  ASSERT_TRUE(Eventually("play a.mp3"));
  Clock(4000);
  EXPECT_FALSE(state->Has("open s.wav 0"));  // slide 2 begins at 10000: beyond 5 s ahead
  Clock(6000);
  ASSERT_TRUE(Eventually("open s.wav 0"));  // opened 4 s before it sounds
  Ticks();
  EXPECT_FALSE(state->Has("play s.wav"));
  Clock(10000);
  ASSERT_TRUE(Eventually("play s.wav"));
  EXPECT_FALSE(state->Has("seek s.wav 0"));  // on time: not moved

  player->SetRunning(false);
  ASSERT_TRUE(Eventually("stop s.wav"));
  ASSERT_TRUE(Eventually("stop a.mp3"));  // synchronised main music pauses with the show
  player->SetRunning(true);
  ASSERT_TRUE(WaitUntil([&] { return state->Count("play s.wav") == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return state->Count("play a.mp3") == 2; }));

  // The slide sound ends 10 ms before 14000.
  Clock(13989);
  EXPECT_EQ(state->Count("stop s.wav"), 1);
  Clock(13991);
  ASSERT_TRUE(WaitUntil([&] { return state->Count("stop s.wav") == 2; }));
}

TEST_F(MusicPlayerTest, SoundThatOpensAfterItsTimeStartsWhereTheShowIs) {
  Open(true);
  ASSERT_TRUE(WaitUntil([&] { return player->IsReady(); }));
  player->SetRunning(true);
  ASSERT_TRUE(Eventually("play a.mp3"));
  state->holdOpens = true;
  Clock(6000);  // slide 2's sound is asked for; its file is slow
  Clock(10300);
  EXPECT_FALSE(state->Has("play s.wav"));
  state->holdOpens = false;
  ASSERT_TRUE(Eventually("play s.wav"));
  EXPECT_LT(state->Last("seek s.wav 300"), state->Last("play s.wav"));
  EXPECT_GE(state->Last("seek s.wav 300"), 0);
  // Resumed after a pause, it goes on where it stopped.
  player->SetRunning(false);
  ASSERT_TRUE(Eventually("stop s.wav"));
  Clock(10400);
  player->SetRunning(true);
  ASSERT_TRUE(WaitUntil([&] { return state->Count("play s.wav") == 2; }));
  EXPECT_EQ(state->Count("seek s.wav 300"), 1);
  EXPECT_FALSE(state->Has("seek s.wav 400"));
}

TEST_F(MusicPlayerTest, SynchronisedSeekRestartsMusicAtTheNewOffset) {
  Open(true);
  player->SetRunning(true);
  ASSERT_TRUE(Eventually("play a.mp3"));
  player->SetTime(-1, 12000);
  // The old run stops; music and the slide sound reopen at the offsets of 12000.
  ASSERT_TRUE(Eventually("stop a.mp3"));
  ASSERT_TRUE(Eventually("open a.mp3 12000"));
  ASSERT_TRUE(Eventually("open s.wav 2000"));
  ASSERT_TRUE(WaitUntil([&] { return player->IsReady(); }));

  // Near the end of the 30 s show: cycle 0 repeats the 25 s playlist (entry 1 starts at 25000),
  // and the run of cycle 1 is made ahead and preloads the playlist's beginning.
  const int opens = state->Count("open a.mp3 0");
  player->SetTime(-1, 27000);
  ASSERT_TRUE(Eventually("open a.mp3 2000"));
  ASSERT_TRUE(WaitUntil([&] { return state->Count("open a.mp3 0") == opens + 1; }));
  EXPECT_FALSE(state->Has("open a.mp3 27000"));
}

TEST_F(MusicPlayerTest, FreeRunningMusicIgnoresSeeksAndPauses) {
  Open(false);
  player->SetRunning(true);
  ASSERT_TRUE(Eventually("play a.mp3"));
  player->SetTime(-1, 12000);
  ASSERT_TRUE(Eventually("open s.wav 2000"));
  Ticks(5);
  EXPECT_FALSE(state->Has("stop a.mp3"));
  EXPECT_EQ(state->Count("open a.mp3 0"), 1);
  EXPECT_FALSE(state->Has("open a.mp3 12000"));
  player->SetRunning(true);
  ASSERT_TRUE(Eventually("play s.wav"));
  player->SetRunning(false);
  ASSERT_TRUE(Eventually("stop s.wav"));  // slide sounds always pause
  Ticks(5);
  EXPECT_FALSE(state->Has("stop a.mp3"));
}

TEST_F(MusicPlayerTest, LongSlideSoundRestartsAtItsOffsetAfterASeek) {
  // Played fully, the 15 s sound of slide 2 reaches 5 s into slide 3.
  Open(true, u"opt_fullyplaysound=1\n", u"15000");
  ASSERT_TRUE(Eventually("open a.mp3 0"));
  player->SetTime(-1, 21000);
  ASSERT_TRUE(Eventually("open s.wav 11000"));
  player->SetTime(-1, 26000);
  Ticks(5);
  EXPECT_FALSE(state->Has("open s.wav 16000"));  // over by then
}

TEST_F(MusicPlayerTest, LimitedSlideSoundIsNotReopenedInTheNextSlide) {
  Open(true, u"", u"15000");
  player->SetTime(-1, 21000);
  ASSERT_TRUE(Eventually("open a.mp3 21000"));
  Ticks(5);
  EXPECT_FALSE(state->Has("open s.wav 11000"));
  player->SetTime(-1, 19000);
  ASSERT_TRUE(Eventually("open s.wav 9000"));
}

TEST(MusicPlayerBeforeStart, SetTimeIsHandledWithoutTheThread) {
  auto state = std::make_shared<TFakeState>();
  TZemMusicPlayer player(MakeShow(Show(true)), false, [state] { return std::make_unique<TFakeDevice>(state); });
  player.SetTime(8000, 12000);
  EXPECT_EQ(player.GetPosition(), 8000);  // capped by the end limit
  EXPECT_EQ(player.LastLimit(), 8000);
  ASSERT_TRUE(player.Start());
  ASSERT_TRUE(WaitUntil([&] { return state->Has("open a.mp3 12000"); }));
  EXPECT_TRUE(WaitUntil([&] { return state->Has("open s.wav 2000"); }));
  player.Stop();
  player.Stop();  // a second stop does nothing
}

TEST(MusicPlayerNoDevice, RunsSilentlyOnTheMillisecondCounter) {
  auto show = MakeShow(Show(true));
  TZemMusicPlayer player(show, false, [] { return std::unique_ptr<TMusicPlayer>(); });
  EXPECT_FALSE(player.HasDevice());
  EXPECT_EQ(player.GetMasterVolume(), 0.0f);
  ASSERT_TRUE(player.Start());
  ASSERT_TRUE(WaitUntil([&] { return player.IsReady(); }));
  player.SetRunning(true);
  ASSERT_TRUE(WaitUntil([&] { return player.GetPosition() >= 20; }));
  player.SetRunning(false);
  ASSERT_TRUE(WaitUntil([&] {
    const double a = player.GetPosition();
    SleepMs(10);
    return player.GetPosition() == a;
  }));
  player.Stop();
}

TEST(MusicPlayerNoDevice, FailedInitAndFailedChannelsStillBecomeReady) {
  auto state = std::make_shared<TFakeState>();
  state->initOk = false;
  {
    TZemMusicPlayer player(MakeShow(Show(true)), false, [state] { return std::make_unique<TFakeDevice>(state); });
    EXPECT_FALSE(player.HasDevice());
  }
  auto ok = std::make_shared<TFakeState>();
  auto show = MakeShow(u"[Main]\nopt_slidescount=1\nopt_synchpos1=10000\nopt_usemusic=1\nopt_syncmode=1\n"
                       u"opt_music_count=1\nopt_music1=missing.mp3\nopt_lengthlist1=5000\n[Slide1]\n");
  TZemMusicPlayer player(show, false, [ok] { return std::make_unique<TFakeDevice>(ok); });
  ASSERT_TRUE(player.Start());
  ASSERT_TRUE(WaitUntil([&] { return ok->Has("open missing.mp3 0"); }));
  ASSERT_TRUE(WaitUntil([&] { return player.IsReady(); }));
  player.SetRunning(true);
  SleepMs(20);
  EXPECT_FALSE(ok->Has("play missing.mp3"));
  player.Stop();
  EXPECT_THROW(TZemMusicPlayer(TRef<TZemSource>(), false), EAssertionFailed);
}

}  // namespace
}  // namespace zem
