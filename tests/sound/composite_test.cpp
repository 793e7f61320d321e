#include <gtest/gtest.h>

#include "sound/composite_converter.h"
#include "sound/composite_params.h"
#include "sound/sound_device.h"
#include "sound/volume_envelope.h"
#include "sound_test_util.h"

namespace zem {
namespace {

using namespace soundtest;

TEST(VolumeEnvelope, PreparedSegmentsGiveLinearGainsPerFrame) {
  TVolumeParams e;
  e.AddPoint(0, 0);
  e.AddPoint(1000, 1000);
  e.Prepare(2000);
  ASSERT_EQ(e.Segments().size(), 3u);  // (0,0), (1000,1000), (2000,1000) added
  EXPECT_EQ(e.Segments()[1].position, BytePosOfTime(1000));
  EXPECT_NEAR(e.Segments()[1].slope, 1.0 / 44100, 1e-12);
  EXPECT_TRUE(e.Segments()[2].flat);
  EXPECT_TRUE(e.Segments()[2].last);
  e.Seek(BytePosOfTime(500));
  EXPECT_NEAR(e.Gain(), 0.5, 1e-9);
  for (int i = 0; i < 100; ++i) e.Step(BytePosOfTime(500) + 4 * i + 1);
  EXPECT_NEAR(e.Gain(), 0.5 + 100.0 / 44100, 1e-9);
  e.Step(BytePosOfTime(2000) + 1);
  EXPECT_TRUE(e.Done());
  // Equal times: the later point wins.
  TVolumeParams d;
  d.AddPoint(0, 200);
  d.AddPoint(0, 800);
  d.Prepare(100);
  d.Seek(0);
  EXPECT_NEAR(d.Gain(), 0.8, 1e-9);
  EXPECT_EQ(d.InitialVolume(), 200);
}

TEST(VolumeEnvelope, ListMultipliesAndAddsTheClickGuard) {
  TVolumeParamsList l(true);
  TVolumeParams& half = l.Add();
  half.AddPoint(0, 500);
  l.Prepare(1000);
  EXPECT_EQ(l.Count(), 2);
  l.Seek(BytePosOfTime(5));  // inside the 10 ms ramp
  bool unity = true;
  EXPECT_NEAR(l.Gain(unity), 0.5 * 0.5, 0.01);
  EXPECT_FALSE(unity);
  l.Prepare(1000);  // the automatic envelope is replaced, not added again
  EXPECT_EQ(l.Count(), 2);
  TVolumeParamsList empty(false);
  empty.Prepare(1000);
  EXPECT_TRUE(empty.Done());
  EXPECT_EQ(empty.Gain(unity), 1.0);
  EXPECT_TRUE(unity);
}

TEST(CompositeText, RoundTripAndSeveralBlocksAndBadTexts) {
  TCompositeParams p;
  p.duration = 5000;
  TCompositeItem& a = p.AddItem(u"music/a b.mp3", 0);
  a.begin_time = 250;
  a.duration = 3000;
  TVolumeParams& env = a.volumes.Add();
  env.AddPoint(0, 0);
  env.AddPoint(500, 1000);
  TCompositeItem& b = p.AddItem(u"c:\\x//y.wav", 2500);
  b.duration = 2500;
  p.MainVolume().Add().AddPoint(100, 900);
  WideString text = p.SaveToText();
  EXPECT_TRUE(IsCompositeText(text));
  EXPECT_EQ(text.find(u'\n'), WideString::npos);

  TCompositeParams q;
  ASSERT_TRUE(q.LoadFromText(text));
  ASSERT_EQ(q.Count(), 2);
  EXPECT_EQ(q.duration, 5000);
  EXPECT_EQ(q.Item(0).file_name, u"music/a b.mp3");
  EXPECT_EQ(q.Item(0).begin_time, 250);
  ASSERT_EQ(q.Item(0).volumes.Count(), 1);
  EXPECT_EQ(q.Item(0).volumes.Item(0).Points().size(), 2u);
  EXPECT_EQ(q.Item(0).volumes.Item(0).Points()[1].volume, 1000);
  EXPECT_EQ(q.Item(1).file_name, u"c:\\x//y.wav");
  EXPECT_EQ(q.Item(1).time_line, 2500);
  ASSERT_TRUE(q.HasMainVolume());
  EXPECT_EQ(q.MainVolume().Item(0).Points()[0].volume, 900);

  // Two blocks: one timeline, the second shifted by the first's duration.
  TCompositeParams two;
  ASSERT_TRUE(two.LoadFromText(text + text));
  EXPECT_EQ(two.Count(), 4);
  EXPECT_EQ(two.duration, 10000);
  EXPECT_EQ(two.Item(3).time_line, 7500);

  EXPECT_FALSE(q.LoadFromText(u"not a composite"));
  EXPECT_FALSE(q.LoadFromText(WideString(kCompositeMarker) + u"[Main]/x"));
  ASSERT_TRUE(q.LoadFromText(WideString(kCompositeMarker) + u"[Main]/nDuration=10/n[0]/nFileName=a/nFadeCount=-1/n"));
  EXPECT_EQ(q.Count(), 0);  // the entry's envelopes fail: reading stops
  EXPECT_FALSE(q.Valid());
}

// Serves files to the composite mixer.
class TFilePlayer : public TMusicPlayer {
 public:
  TFileTable table;
  TFilePlayer() {
    SetOpenStreamCallback([this](const WideString& n) { return table.Open(n); });
    SetFreeStreamCallback([](TStream* s) { delete s; });
  }
  bool Init() override { return true; }
  double Clock() override { return 0; }
  std::unique_ptr<TChannel> OpenChannel(const WideString&, int32_t) override { return nullptr; }
};

std::vector<int16_t> Render(TFilePlayer& player, const TCompositeParams& p, double seconds, double seek_ms = 0) {
  TCompositeConverter c(&player, p.SaveToText());
  TMediaInfo info;
  p.FillMediaInfo(info);
  EXPECT_TRUE(c.Open(info));
  if (seek_ms > 0) c.Seek(seek_ms);
  const int64_t bytes = static_cast<int64_t>(seconds * 44100) * 4;
  c.Fill(bytes);
  std::vector<int16_t> out(static_cast<size_t>(bytes / 2));
  std::memcpy(out.data(), c.Output().Data(), static_cast<size_t>(bytes));
  return out;
}

TEST(CompositeMixer, CrossfadeFollowsItsEnvelopes) {
  TFilePlayer player;
  player.table.files[u"a.wav"] = SineWave(44100, 2, 16, 440, 0.5, 3);
  player.table.files[u"b.wav"] = SineWave(22050, 1, 16, 880, 0.5, 3);  // resampled on the way
  TCompositeParams p;
  p.duration = 3000;
  TCompositeItem& a = p.AddItem(u"a.wav", 0);
  a.duration = 2000;
  TVolumeParams& fade_out = a.volumes.Add();
  fade_out.AddPoint(1000, 1000);
  fade_out.AddPoint(2000, 0);
  TCompositeItem& b = p.AddItem(u"b.wav", 1000);
  b.duration = 2000;
  TVolumeParams& fade_in = b.volumes.Add();
  fade_in.AddPoint(0, 0);
  fade_in.AddPoint(1000, 1000);
  auto out = Render(player, p, 3.0);
  auto left = Channel(out, 2, 0);
  const double full = 0.5 * 32767;
  auto window = [&](double at_ms) { return Slice(left, static_cast<size_t>((at_ms - 50) * 44.1), 4410); };
  for (double t : {500.0, 1250.0, 1500.0, 1750.0, 2500.0}) {
    double wa = t < 1000 ? 1 : t < 2000 ? (2000 - t) / 1000 : 0;
    double wb = t < 1000 ? 0 : t < 2000 ? (t - 1000) / 1000 : 1;
    EXPECT_NEAR(GoertzelAmplitude(window(t), 440, 44100), wa * full, 0.03 * full) << t;
    EXPECT_NEAR(GoertzelAmplitude(window(t), 880, 44100), wb * full, 0.03 * full) << t;
  }
  // Seeking into the crossfade gives the same mix as playing up to there.
  auto from = Render(player, p, 0.5, 1500);
  auto ref = Slice(left, 1500 * 441 / 10, 22050);
  auto got = Channel(from, 2, 0);
  double maxdiff = 0;
  // (The resampled entry starts again with an empty history: its first frames differ.)
  for (size_t i = 4; i < 22050; ++i) maxdiff = std::max(maxdiff, std::abs(got[i] - ref[i]));
  EXPECT_LE(maxdiff, 2.0);
}

TEST(CompositeMixer, EntryIsFirstHeardExactlyAtItsStartWithClickGuardRamps) {
  TFilePlayer player;
  player.table.files[u"dc.wav"] = ConstantWave(20000, 2);
  TCompositeParams p;
  p.duration = 2000;
  p.AddItem(u"dc.wav", 1000).duration = 500;
  auto out = Render(player, p, 2.0);
  const size_t start = static_cast<size_t>(BytePosOfTime(1000) / 2);
  for (size_t i = 0; i < start; ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_NE(out[start], 0);
  EXPECT_NEAR(out[start], 20000 / 441.0, 1);
  EXPECT_NEAR(out[start + 2 * 220], 20000 * 221 / 441.0, 60);  // halfway up the 10 ms ramp
  EXPECT_NEAR(out[start + 2 * 441], 20000, 50);
  const size_t end = static_cast<size_t>(BytePosOfTime(1500) / 2);
  EXPECT_NEAR(out[end - 2 * 220], 20000 * 220 / 441.0, 60);  // halfway down
  for (size_t i = end + 2; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
}

TEST(CompositeMixer, OverlapsClipAndMainVolumeFadesTheMix) {
  TFilePlayer player;
  player.table.files[u"dc.wav"] = ConstantWave(30000, 3);
  TCompositeParams p;
  p.duration = 2000;
  p.AddItem(u"dc.wav", 0).duration = 2000;
  p.AddItem(u"dc.wav", 0).duration = 2000;
  auto out = Render(player, p, 1.0);
  EXPECT_EQ(out[2 * 22050], 32767);  // 60000 clipped, not wrapped

  TCompositeParams m;
  m.duration = 2000;
  m.AddItem(u"dc.wav", 0).duration = 2000;
  TVolumeParams& mv = m.MainVolume().Add();
  mv.AddPoint(0, 1000);
  mv.AddPoint(1000, 0);
  auto faded = Render(player, m, 1.5);
  EXPECT_NEAR(faded[2 * 22050], 15000, 100);
  EXPECT_NEAR(faded[2 * 33075], 7500, 100);
  for (size_t i = 2 * 44100 + 2; i < faded.size(); ++i) ASSERT_EQ(faded[i], 0) << i;
}

TEST(CompositeMixer, MissingAndUnreadableEntriesStaySilentAndTheRestPlays) {
  TFilePlayer player;
  player.table.files[u"dc.wav"] = ConstantWave(10000, 2);
  player.table.files[u"junk.wav"] = std::vector<uint8_t>(1000, 7);
  TCompositeParams p;
  p.duration = 1500;
  p.AddItem(u"missing.wav", 0).duration = 1500;
  p.AddItem(u"junk.wav", 100).duration = 1500;
  p.AddItem(u"dc.wav", 500).duration = 1000;
  auto out = Render(player, p, 1.5);
  EXPECT_EQ(out[2 * 11025], 0);
  EXPECT_NEAR(out[2 * 44100], 10000, 10);
}

}  // namespace
}  // namespace zem
