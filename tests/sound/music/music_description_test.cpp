// The music description: playlists, "VolumeParams" texts, the object form translated into
// composite descriptions (compared as texts with descriptions built by hand), and the key form.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "foundation/assert.h"
#include "script/ini_file.h"
#include "sound/composite_params.h"
#include "sound/music/music_options.h"
#include "sound/music/music_source.h"
#include "music_test_util.h"

namespace zem {
namespace {

using musictest::MakeShow;

// Two slides of 10 s, no transitions; `music` goes into the main section.
std::u16string TwoSlides(const std::u16string& main_extra, const std::u16string& slides = u"[Slide1]\n[Slide2]\n") {
  return u"[Main]\nopt_slidescount=2\nopt_synchpos1=10000\nopt_synchpos2=20000\nopt_fx_enable=0\n" + main_extra +
         slides;
}

void AddEnvelope(TCompositeItem& item, std::initializer_list<std::pair<int32_t, int32_t>> points) {
  TVolumeParams& env = item.volumes.Add();
  for (const auto& p : points) env.AddPoint(p.first, p.second);
}

TEST(MusicPlayList, EntriesLaidEndToEndAndRepeatedByIndex) {
  TPlayList list;
  EXPECT_EQ(list.Get(3).fileName, u"");
  EXPECT_EQ(list.Get(3).duration, 0);
  list.Add(u"a.mp3", 20000);
  list.Add(u"b.mp3", 40000);
  EXPECT_EQ(list.Total(), 60000);
  EXPECT_EQ(list.Get(1).start, 20000);
  const TMusicItemInfo e = list.Get(5);
  EXPECT_EQ(e.fileName, u"b.mp3");
  EXPECT_EQ(e.start, 20000 + 120000);
  EXPECT_EQ(list.Get(4).start, 120000);
  EXPECT_THROW(list.Get(-1), EAssertionFailed);
  EXPECT_EQ(MusicTimeToBytes(1000), 176400);
  EXPECT_EQ(MusicTimeToBytes(1), 176);  // 44.1 frames truncated to 44
}

TEST(MusicVolumeParams, PairsBecomeEnvelopePoints) {
  TVolumeParamsList list(true);
  AddVolumeParamsText(u"0:65536,44100:0", 0, list);
  ASSERT_EQ(list.Count(), 1);
  const auto& p = list.Item(0).Points();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].time, 0);
  EXPECT_EQ(p[0].volume, 1000);
  EXPECT_EQ(p[1].time, 1000);
  EXPECT_EQ(p[1].volume, 0);

  // Shifted by the start inside the file; times forced upwards; pairs without ":" ignored.
  TVolumeParamsList shifted(true);
  AddVolumeParamsText(u"88200:32768,junk,88200:65536,44100:0", 1000, shifted);
  const auto& q = shifted.Item(0).Points();
  ASSERT_EQ(q.size(), 3u);
  EXPECT_EQ(q[0].time, 1000);
  EXPECT_EQ(q[0].volume, 500);
  EXPECT_EQ(q[1].time, 1001);
  EXPECT_EQ(q[2].time, 1002);

  TVolumeParamsList empty(true);
  AddVolumeParamsText(u"", 0, empty);
  EXPECT_EQ(empty.Count(), 0);
  try {
    AddVolumeParamsText(u"0:x1", 0, empty);
    FAIL() << "no conversion error";
  } catch (const EMusicConfigError& e) {
    EXPECT_STREQ(e.what(), "\"x1\" is not a valid integer value");
  }
}

TEST(MusicObjectForm, CrossFadeAndVolumeGiveTheExpectedDescription) {
  auto show = MakeShow(TwoSlides(
      u"opt_syncmode=1\n"
      u"object music:\n"
      u"  object tmusicoptions:\n    IsRepeat=1\n  end\n"
      u"  object tmusictrack:\n"
      u"    object tmusicitem:\n      FileName=a.mp3\n      Duration=8000\n      Volume=50\n    end\n"
      u"    object tmusicitem:\n      FileName=b.mp3\n      StartTime=300\n      Duration=6000\n"
      u"      CrossMode=0\n      Cross=500\n      FadeOut=1000\n    end\n"
      u"  end\n"
      u"  object tmusictrack:\n    IsMute=1\n"
      u"    object tmusicitem:\n      FileName=muted.mp3\n      Duration=8000\n    end\n"
      u"  end\n"
      u"end\n"));
  ASSERT_TRUE(show);
  TZemMusicSource music(*show);
  EXPECT_TRUE(music.ObjectForm());
  EXPECT_TRUE(music.SyncMode());
  EXPECT_TRUE(music.Repeat());  // 13500 + 200 is below the 20000 of the show

  TCompositeParams expected;
  TCompositeItem& a = expected.AddItem(u"a.mp3", 0);
  a.duration = 8000;
  AddEnvelope(a, {{0, 500}, {8000, 500}});
  AddEnvelope(a, {{7500, 1000}, {8000, 0}});
  TCompositeItem& b = expected.AddItem(u"b.mp3", 7500);
  b.begin_time = 300;
  b.duration = 6000;
  AddEnvelope(b, {{5000, 1000}, {6000, 0}});
  AddEnvelope(b, {{0, 0}, {500, 1000}});
  expected.duration = 13500;

  ASSERT_EQ(music.PlayList().Count(), 1);
  const TMusicItemInfo e = music.PlayList().Get(0);
  EXPECT_EQ(e.duration, 13500);
  EXPECT_TRUE(IsCompositeText(e.fileName));
  EXPECT_EQ(WideToUtf8(e.fileName), WideToUtf8(expected.SaveToText()));
  EXPECT_TRUE(music.PlayList().repeat);
  EXPECT_EQ(music.SlideCount(), 2);
  EXPECT_TRUE(music.Slide(0).sound.empty());
}

TEST(MusicObjectForm, LinkedItemStartsAtItsSlideAndCutsEarlierItems) {
  TIniFile ini;
  ASSERT_TRUE(ini.LoadFromText(TwoSlides(u"", u"[Slide1]\n[Slide2]\nLinkedAudio={G1}{G2}\n") +
                               u"[Slide3]\nLinkedAudio={G2}x{G3}\n"
                               u"[Music]\n"
                               u"object music:\n"
                               u"  object tmusicitem:\n    FileName=a.mp3\n    Duration=15000\n    Volume=0\n  end\n"
                               u"  object tmusicitem:\n    FileName=b.mp3\n    Duration=15000\n  end\n"
                               u"  object tmusicitem:\n    FileName=c.mp3\n    Duration=5000\n    GUID={G1}\n"
                               u"    CrossMode=0\n    Cross=400\n  end\n"
                               u"end\n"));
  const TIniSection* main = ini.FindSection(u"Main");
  TMusicOptionsReader reader(ini, main);
  EXPECT_EQ(reader.SyncTable(), (std::vector<int32_t>{0, 10000}));
  // Slide 3 lies beyond the slide count, so its groups are not read.
  EXPECT_EQ(reader.LinkedStart(u"{G1}", 0, 400, 0), 9600);
  EXPECT_EQ(reader.LinkedStart(u"{G1}", 1, 400, 250), 10250);
  EXPECT_EQ(reader.LinkedStart(u"{G2}", 2, 400, 250), 10000);
  EXPECT_EQ(reader.LinkedStart(u"{G3}", 2, 0, 0), -1);
  EXPECT_EQ(reader.LinkedStart(u"G1", 2, 0, 0), -1);

  reader.ReadMusicObject(*FindObjectOfType(*ini.FindSection(u"Music"), u"music"), {}, true);
  // a is cut to 9600 and then dropped; b, placed at 9600, keeps nothing; c starts at the link.
  TCompositeParams expected;
  TCompositeItem& b = expected.AddItem(u"b.mp3", 9600);
  b.duration = 0;
  TCompositeItem& c = expected.AddItem(u"c.mp3", 9600);
  c.duration = 5000;
  expected.duration = 14600;
  EXPECT_EQ(WideToUtf8(reader.mainText), WideToUtf8(expected.SaveToText()));
  EXPECT_EQ(reader.mainDuration, 14600);
}

TEST(MusicObjectForm, RandomTracksShuffleOnlyWhenAllowed) {
  TIniFile ini;
  std::u16string items;
  for (int i = 0; i < 6; ++i) {
    items += u"    object tmusicitem:\n      FileName=" + Utf8ToWide(std::to_string(i)) +
             u".mp3\n      Duration=1000\n    end\n";
  }
  ASSERT_TRUE(ini.LoadFromText(u"[Main]\nobject music:\n  object tmusictrack:\n    IsRandom=1\n" + items +
                               u"  end\nend\n"));
  const TCommonIniSection& music = *FindObjectOfType(*ini.FindSection(u"Main"), u"music");
  auto order = [&](TMusicOptionsReader& r) {
    TCompositeParams p;
    EXPECT_TRUE(p.LoadFromText(r.mainText));
    std::vector<std::string> names;
    for (int i = 0; i < p.Count(); ++i) {
      names.push_back(WideToUtf8(p.Item(i).file_name));
      EXPECT_EQ(p.Item(i).time_line, i * 1000);
    }
    return names;
  };
  TMusicOptionsReader fixed(ini, ini.FindSection(u"Main"));
  fixed.SetSeed(7);
  fixed.ReadMusicObject(music, {}, true);
  EXPECT_EQ(order(fixed), (std::vector<std::string>{"0.mp3", "1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"}));

  TMusicOptionsReader a(ini, ini.FindSection(u"Main")), b(ini, ini.FindSection(u"Main"));
  a.SetSeed(7);
  b.SetSeed(7);
  a.ReadMusicObject(music, {}, false);
  b.ReadMusicObject(music, {}, false);
  const auto shuffled = order(a);
  EXPECT_EQ(shuffled, order(b));
  EXPECT_EQ(std::set<std::string>(shuffled.begin(), shuffled.end()).size(), 6u);
  // Keys stay in the reader's table: a second run gives the same order.
  a.ReadMusicObject(music, {}, false);
  EXPECT_EQ(order(a), shuffled);
}

TEST(MusicObjectForm, SlideSoundsAreLimitedAndCarryVideoSound) {
  auto show = MakeShow(TwoSlides(
      u"object music:\nend\n",
      u"[Slide1]\n"
      u"object music:\n"
      u"  object tsoundcomment:\n    FileName=talk.mp3\n    StartTime=200\n    Duration=15000\n"
      u"    Pause=1000\n    FadeIn=300\n    Volume=80\n  end\n"
      u"end\n"
      u"[Slide2]\n"
      u"object video:\n  FileName=clip.mp4\n  StartZEMTime=2000\n  StartVideoTime=500\n  Duration=20000\n"
      u"  object keypoint:\n    object video:\n      FileName=hidden.mp4\n    end\n  end\n"
      u"end\n"
      u"object video:\n  FileName=silent.mp4\n  Mute=1\nend\n"));
  ASSERT_TRUE(show);
  TZemMusicSource music(*show);
  EXPECT_TRUE(music.LimitToSlide());
  EXPECT_EQ(music.PlayList().Count(), 0);

  TCompositeParams first;
  TCompositeItem& t = first.AddItem(u"talk.mp3", 1000);
  t.begin_time = 200;
  t.duration = 10000;  // 15000 + 1000 cut to the slide
  AddEnvelope(t, {{0, 0}, {300, 800}});
  first.duration = 10000;
  EXPECT_EQ(WideToUtf8(music.Slide(0).sound), WideToUtf8(first.SaveToText()));
  EXPECT_EQ(music.Slide(0).soundLength, 10000);

  TCompositeParams second;
  TCompositeItem& v = second.AddItem(u"clip.mp4", 2000);
  v.begin_time = 500;
  v.duration = 8000;  // cut to the slide's remaining 8000 ms
  second.duration = 10000;
  EXPECT_EQ(WideToUtf8(music.Slide(1).sound), WideToUtf8(second.SaveToText()));
  EXPECT_EQ(music.Slide(1).soundLength, 10000);
}

TEST(MusicObjectForm, FullyPlayedSoundRunsUntilTheNextSlideSound) {
  auto show = MakeShow(
      u"[Main]\nopt_slidescount=3\nopt_synchpos1=10000\nopt_synchpos2=20000\nopt_synchpos3=30000\n"
      u"opt_fx_enable=0\nopt_fullyplaysound=1\nobject music:\nend\n"
      u"[Slide1]\nobject music:\n  object tsoundcomment:\n    FileName=long.mp3\n    Duration=50000\n  end\nend\n"
      u"[Slide2]\n"
      u"[Slide3]\nobject music:\n  object tsoundcomment:\n    FileName=ERROR\n    Duration=5000\n  end\nend\n");
  ASSERT_TRUE(show);
  TZemMusicSource music(*show);
  EXPECT_FALSE(music.LimitToSlide());
  // Slide 3 names a file (even "ERROR"), so slide 1 may play until slide 2 ends.
  EXPECT_EQ(music.Slide(0).soundLength, 20000);
  EXPECT_TRUE(music.Slide(2).sound.empty());
}

TEST(MusicKeyForm, PlaylistSlideSoundsAndFlags) {
  auto show = MakeShow(TwoSlides(
      u"opt_usemusic=1\nopt_syncmode=1\nopt_music_count=2\nopt_music1=a.mp3\nopt_lengthlist1=30000\n"
      u"opt_music2=b.mp3\nopt_lengthlist2=29900\n",
      u"[Slide1]\nSound=@\n[Slide2]\nSound=s.wav\nSoundLength=15000\n"));
  ASSERT_TRUE(show);
  TZemMusicSource music(*show);
  EXPECT_FALSE(music.ObjectForm());
  EXPECT_TRUE(music.SyncMode());
  EXPECT_FALSE(music.Repeat());  // 59900 + 200 exceeds the 20000 ms show: no own repetition
  ASSERT_EQ(music.PlayList().Count(), 2);
  EXPECT_EQ(music.PlayList().Get(1).fileName, u"b.mp3");
  EXPECT_EQ(music.PlayList().Get(1).start, 30000);
  EXPECT_EQ(music.PlayList().Total(), 59900);
  EXPECT_TRUE(music.Slide(0).sound.empty());
  EXPECT_EQ(music.Slide(1).sound, u"s.wav");
  EXPECT_EQ(music.Slide(1).soundLength, 10000);  // cut to the slide
  EXPECT_EQ(music.Slide(1).info.start, 10000);
}

TEST(MusicKeyForm, RepeatKeptWhenThePlaylistIsShort) {
  auto show = MakeShow(TwoSlides(u"opt_usemusic=1\nopt_syncmode=1\nopt_music_count=1\nopt_music1=a.mp3\n"
                                 u"opt_lengthlist1=19700\n"));
  TZemMusicSource music(*show);
  EXPECT_TRUE(music.Repeat());
  auto free_show = MakeShow(TwoSlides(u"opt_usemusic=1\nopt_music_count=1\nopt_music1=a.mp3\nopt_lengthlist1=90000\n"));
  TZemMusicSource free_music(*free_show);
  EXPECT_TRUE(free_music.Repeat());  // free-running music keeps its own repetition
  EXPECT_FALSE(free_music.SyncMode());
}

TEST(MusicKeyForm, ErrorsAndShowsWithoutMusic) {
  auto none = MakeShow(TwoSlides(u"opt_music_count=1\nopt_music1=a.mp3\n", u"[Slide1]\nSound=x.wav\n[Slide2]\n"));
  TZemMusicSource silent(*none);
  EXPECT_EQ(silent.PlayList().Count(), 0);
  EXPECT_EQ(silent.SlideCount(), 0);

  auto bad = MakeShow(TwoSlides(u"opt_usemusic=1\n", u"[Slide1]\nSound=x.wav\n[Slide2]\n"));
  try {
    TZemMusicSource music(*bad);
    FAIL() << "no error";
  } catch (const EMusicConfigError& e) {
    EXPECT_STREQ(e.what(), "Incorrect music time");
  }
  auto missing = MakeShow(TwoSlides(u"opt_usemusic=1\n", u"[Slide1]\n"));
  EXPECT_THROW(TZemMusicSource music(*missing), EAssertionFailed);
  auto bad_volume = MakeShow(TwoSlides(
      u"object music:\n  object tmusicitem:\n    FileName=a.mp3\n    Duration=100\n    VolumeParams=1:2:3\n  end\nend\n"));
  EXPECT_THROW(TZemMusicSource music(*bad_volume), EMusicConfigError);
}

}  // namespace
}  // namespace zem
