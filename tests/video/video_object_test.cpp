// Video objects in built slides (slide producer, recording drawer, generated counting clips):
// the frame drawn at show time t is frame round(t x fps / 1000) after steps and jumps, a clip
// record plays on across slides with one decoder, the next repeat gets its own, the time
// mapping and anamorphic geometry, field choice, a missing clip's placeholder, and the drop
// shadow.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "model/recording_drawer.h"
#include "model/slide_producer.h"
#include "model/zem_video.h"
#include "package/file_accessor.h"
#include "package/file_source.h"
#include "script/ini_file.h"
#include "video/video_layer.h"
#include "video_test_util.h"

namespace zem::test {
namespace {

class VideoObjects : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InstallVideoLayer(); }
  void TearDown() override { EXPECT_TRUE(WaitForActiveThreadsAfter()); }

  bool WaitForActiveThreadsAfter() {
    producer_.reset();
    slides_.clear();
    return WaitForActiveThreads(5000);
  }
  // A show over the scratch folder.
  TSlideProducer& Show(const std::string& text) {
    auto ini = std::make_unique<TIniFile>();
    EXPECT_TRUE(ini->LoadFromText(Utf8ToWide(text)));
    auto files = std::make_unique<TFileAccessor>(MakeRef<TRealFileSource>(dir_.Path("")));
    TZemSourceOptions o;
    producer_ = std::make_unique<TSlideProducer>(MakeRef<TZemSource>(std::move(ini), std::move(files), o));
    producer_->SetOutput({800, 600}, TSlideProducer::kFitInside, 100, 100);
    return *producer_;
  }
  TZemSlide* Slide(int32_t index, int32_t repeat = 0) {
    slides_.push_back(producer_->CreateSlide(index, repeat));
    return slides_.back().get();
  }
  static TZemVideo* Video(TZemSlide* s, const std::u16string& caption) {
    TZemVideo* found = nullptr;
    ForEachNode(s, [&](TZemObject* n) {
      if (!found && n->Caption() == caption) found = dynamic_cast<TZemVideo*>(n);
    });
    return found;
  }
  // Draws the slide at t and reads the counter of the frame the video held.
  int32_t Drawn(TZemSlide* s, TZemVideo* v, double t) {
    s->SetTimeAndUpdate(true, t);
    drawer_.DrawItem(s);
    int32_t n = -1;
    if (const auto* held = v->HeldFrame()) {
      auto* surface = static_cast<TMemoryVideoSurface*>(held->image.get());
      std::vector<uint8_t> y = surface->Plane(kPlaneY);
      n = ReadCounter(y.data(), surface->PlaneWidth(kPlaneY));
    }
    s->FrameDone(drawer_);
    return n;
  }

  TVideoScratch dir_;
  std::unique_ptr<TSlideProducer> producer_;
  std::vector<std::unique_ptr<TZemSlide>> slides_;
  TRecordingDrawer drawer_;
};

std::string Main(int slides, const std::string& extra = "") {
  std::string s = "[Main]\nopt_scr_width=800\nopt_scr_height=600\nopt_fx_enable=0\nopt_slidescount=" +
                  std::to_string(slides) + "\n";
  for (int i = 1; i <= slides; ++i) s += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(2000 * i) + "\n";
  return s + extra;
}

std::string Record(const std::string& guid, const std::string& keys) {
  return "object videoclip:\nClipGUID=" + guid + "\n" + keys + "end\n";
}

std::string VideoNode(const std::string& caption, const std::string& keys, const std::string& kind = "video") {
  return "object " + kind + ": " + caption + "\n" + keys + "object keypoint:\nTime=0\nend\nend\n";
}

int64_t Expected(double t) { return int64_t(std::nearbyint(t * 25 / 1000)); }

TEST_F(VideoObjects, ClipRecordPlaysOnAcrossSlidesAndEveryDrawnFrameIsTheOneForItsTime) {
  TClipOptions o;
  o.frames = 100;
  o.gop = 25;
  ASSERT_TRUE(MakeClip(dir_.Path("count.avi"), o));
  const std::string text =
      Main(2, "object VideoBoss:\n" + Record("{C1}", "FileName=count.avi\nDuration=4000\n") + "end\n") +
      "[Slide1]\n" + VideoNode("V1", "ClipGUID={C1}\n") + "[Slide2]\n" + VideoNode("V2", "ClipGUID={C1}\n");
  Show(text);
  TZemSlide* s1 = Slide(0);
  TZemSlide* s2 = Slide(1);
  TZemVideo* v1 = Video(s1, u"V1");
  TZemVideo* v2 = Video(s2, u"V2");
  ASSERT_TRUE(v1 && v2);
  ASSERT_TRUE(v1->Wrapper() && v1->Wrapper()->HasSource());
  // One decoder for the clip on both slides.
  EXPECT_EQ(v1->Wrapper(), v2->Wrapper());
  EXPECT_DOUBLE_EQ(v1->Clip()->duration, 4000);
  drawer_.SetNoPresent(true);  // capture mode: exactly the wanted frame
  struct TStep {
    TZemSlide* s;
    TZemVideo* v;
    double t;
  };
  // Forward steps, across the slide change (the clip goes on at frame 50, not 0), back, and
  // forward jumps.
  const TStep steps[] = {{s1, v1, 0},    {s1, v1, 40},   {s1, v1, 80},   {s1, v1, 1000}, {s1, v1, 1960},
                         {s2, v2, 2000}, {s2, v2, 2040}, {s2, v2, 3960}, {s1, v1, 500},  {s1, v1, 1020},
                         {s2, v2, 3000}, {s2, v2, 2100}};
  for (const TStep& st : steps) EXPECT_EQ(Drawn(st.s, st.v, st.t), Expected(st.t)) << "t=" << st.t;
  // Without capture mode, played at its own pace, each drawn frame is the prefetched one.
  drawer_.SetNoPresent(false);
  int32_t n = -1;
  for (double t = 2200; t <= 2600; t += 40) {
    n = Drawn(s2, v2, t);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
  }
  EXPECT_NEAR(n, Expected(2600), 2);
  // The next repeat of the show gets a decoder of its own, from the clip's start.
  TZemSlide* again = Slide(0, 1);
  TZemVideo* v3 = Video(again, u"V1");
  ASSERT_TRUE(v3);
  EXPECT_NE(v3->Wrapper(), v1->Wrapper());
  drawer_.SetNoPresent(true);
  EXPECT_EQ(Drawn(again, v3, 120), 3);
}

TEST_F(VideoObjects, TwoObjectsOfOneClipDrawTheSameFrame) {
  TClipOptions o;
  o.frames = 50;
  ASSERT_TRUE(MakeClip(dir_.Path("count.avi"), o));
  Show(Main(1, "object VideoBoss:\n" + Record("{C1}", "FileName=count.avi\nDuration=2000\n") + "end\n") +
       "[Slide1]\n" + VideoNode("A", "ClipGUID={C1}\n") + VideoNode("B", "ClipGUID={C1}\n") +
       VideoNode("C", "FileName=count.avi\nDuration=2000\n"));
  TZemSlide* s = Slide(0);
  TZemVideo *a = Video(s, u"A"), *b = Video(s, u"B"), *c = Video(s, u"C");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->Wrapper(), b->Wrapper());
  EXPECT_NE(a->Wrapper(), c->Wrapper());  // an object without a record decodes on its own
  s->SetTimeAndUpdate(true, 600);
  drawer_.SetNoPresent(true);
  drawer_.DrawItem(s);
  ASSERT_TRUE(a->HeldFrame() && b->HeldFrame() && c->HeldFrame());
  EXPECT_EQ(a->HeldFrame(), b->HeldFrame());
  EXPECT_EQ(a->HeldFrame()->image.get(), b->HeldFrame()->image.get());
  EXPECT_EQ(a->HeldFrame()->held, 15);
  EXPECT_EQ(c->HeldFrame()->held, 15);
  s->FrameDone(drawer_);
  EXPECT_EQ(a->HeldFrame(), nullptr);
  EXPECT_EQ(drawer_.Count("DrawVideo 176x144"), 3u);
}

TEST_F(VideoObjects, MediaPositionFollowsDelayOffsetSpeedAndClipAnchor) {
  TClipOptions o;
  o.frames = 250;  // 10 s
  o.width = 64;
  o.height = 48;
  ASSERT_TRUE(MakeClip(dir_.Path("long.avi"), o));
  Show(Main(4, "object VideoBoss:\n" +
                   Record("{C2}", "FileName=long.avi\nDuration=6000\nStartVideoTime=1000\nStartSlideIdx=2\n") +
                   Record("{C3}", "FileName=long.avi\nDuration=6000\nStartZEMTime=500\n") + "end\n") +
       "[Slide1]\n" +
       VideoNode("P", "FileName=long.avi\nStartZEMTime=2000\nStartVideoTime=5000\nDuration=3000\n") +
       VideoNode("F", "FileName=long.avi\nStartZEMTime=2000\nStartVideoTime=5000\nDuration=3000\nFPSMultiplier=2\n") +
       VideoNode("X", "FileName=long.avi\nStartVideoTime=20000\nDuration=-5\n") + "[Slide2]\n" +
       VideoNode("N", "ClipGUID={C3}\n") + "[Slide4]\n" + VideoNode("R", "ClipGUID={C2}\n"));
  TZemSlide* s = Slide(0);
  TZemVideo *p = Video(s, u"P"), *f = Video(s, u"F"), *x = Video(s, u"X");
  ASSERT_TRUE(p && f && x);
  EXPECT_DOUBLE_EQ(p->MediaPosition(1000), 5000);
  EXPECT_DOUBLE_EQ(p->MediaPosition(2500), 5500);
  EXPECT_DOUBLE_EQ(p->MediaPosition(6000), 8000);  // the last frame is held
  EXPECT_DOUBLE_EQ(f->MediaPosition(2500), 6000);
  EXPECT_DOUBLE_EQ(f->MediaPosition(3500), 8000);
  // Out-of-range values of an object without a record are corrected against the file.
  EXPECT_DOUBLE_EQ(x->StartVideoTime(), 0);
  EXPECT_DOUBLE_EQ(x->Duration(), 10000);
  // A record anchored at slide 2 (6000 ms) shown on slide 4 (from 6000 here: slide n begins at
  // opt_synchpos n - 1): the clip runs on the show's time line.
  TZemSlide* s4 = Slide(3);
  TZemVideo* r = Video(s4, u"R");
  ASSERT_TRUE(r && r->Clip());
  EXPECT_DOUBLE_EQ(r->Clip()->anchor, 4000);
  EXPECT_DOUBLE_EQ(s4->GetAnchorTime(kSlideBegin), 6000);
  EXPECT_DOUBLE_EQ(r->MediaPosition(1000), 1000 + 3000);
  // A record with a delay that started on slide 1 plays on at once on slide 2 (from 2000).
  TZemVideo* n = Video(Slide(1), u"N");
  ASSERT_TRUE(n && n->Clip());
  EXPECT_DOUBLE_EQ(n->MediaPosition(100), 2100 - 500);
}

TEST_F(VideoObjects, AnamorphicGeometryFieldChoiceAndMissingClip) {
  TClipOptions o;
  o.format = "matroska";
  o.width = 720;
  o.height = 576;
  o.frames = 4;
  o.sarNum = 64;
  o.sarDen = 45;
  ASSERT_TRUE(MakeClip(dir_.Path("wide.mkv"), o));
  TClipOptions i;
  i.format = "mp4";
  i.codec = "mpeg2video";
  i.fieldOrder = 1;
  i.frames = 10;
  ASSERT_TRUE(MakeClip(dir_.Path("tff.mp4"), i));
  Show(Main(1) + "[Slide1]\n" + VideoNode("W", "FileName=wide.mkv\nDuration=160\n") +
       VideoNode("E", "FileName=tff.mp4\nDuration=400\nDeinterlaceType=BobEven\n") +
       VideoNode("A", "FileName=tff.mp4\nDuration=400\nDeinterlaceType=nonsense\n") +
       VideoNode("M", "FileName=gone.avi\n"));
  TZemSlide* s = Slide(0);
  TZemVideo *w = Video(s, u"W"), *e = Video(s, u"E"), *a = Video(s, u"A"), *m = Video(s, u"M");
  ASSERT_TRUE(w && e && a && m);
  EXPECT_NEAR(w->AspectFactor(), 1.4222224, 1e-6);
  EXPECT_NEAR(w->OuterSize().x, 1024, 0.01);
  EXPECT_EQ(w->Size().y, 576);
  EXPECT_EQ(a->DeinterlaceType(), TZemVideo::kDeintAuto);
  // A missing clip shows the placeholder at the placeholder's size.
  EXPECT_EQ(m->Wrapper()->Status(), TExtractorWrapper::kNotOpened);
  ASSERT_TRUE(m->StatusPicture());
  EXPECT_EQ(m->Size().x, m->StatusPicture()->Width());
  // Within frame 5's window (180..220 ms): BobEven draws field order 1 then 2; "Auto" on a top
  // field first clip the same.
  drawer_.SetNoPresent(true);
  auto modes = [&](double t) {
    drawer_.ClearLog();
    s->SetTimeAndUpdate(true, t);
    drawer_.DrawItem(s);
    s->FrameDone(drawer_);
    std::vector<std::string> out;
    for (const std::string& line : drawer_.Lines())
      if (line.rfind("DrawVideo", 0) == 0) out.push_back(line.substr(line.find("deint=") + 6, 1));
    return out;
  };
  EXPECT_EQ(modes(190), (std::vector<std::string>{"0", "1", "1"}));
  EXPECT_EQ(modes(210), (std::vector<std::string>{"0", "2", "2"}));
  EXPECT_EQ(drawer_.Count("DrawImage"), 1u);  // the placeholder
}

// A video casts the shadow of its rectangle (the border as a margin at the border colour's
// alpha), drawn before its frame and picture, and a missing clip's placeholder casts it too.
TEST_F(VideoObjects, ShadowIsTheFramedRectangleDrawnFirst) {
  TClipOptions o;
  o.frames = 4;
  ASSERT_TRUE(MakeClip(dir_.Path("c.avi"), o));
  Show(Main(1) + "[Slide1]\n" +
       VideoNode("V", "FileName=c.avi\nShadowEnable=1\nEnableBorder=1\nBorderWidth=10\nBorderColor=9,9,9,128\n") +
       VideoNode("P", "FileName=gone.avi\nShadowEnable=1\n") + VideoNode("N", "FileName=c.avi\n"));
  TZemSlide* s = Slide(0);
  TZemVideo *v = Video(s, u"V"), *p = Video(s, u"P"), *n = Video(s, u"N");
  ASSERT_TRUE(v && p && n);
  drawer_.SetNoPresent(true);
  s->SetTimeAndUpdate(true, 0);
  drawer_.DrawItem(s);
  s->FrameDone(drawer_);
  ASSERT_TRUE(v->Shadow() && p->Shadow());
  EXPECT_FALSE(n->Shadow());
  const TShadowParams& sp = v->Shadow()->Params();
  EXPECT_TRUE(sp.IsRectangle() && v->Shadow()->Normalised());
  EXPECT_EQ(sp.marginAlpha, 128);
  EXPECT_GT(sp.marginX, 0);
  EXPECT_EQ(sp.marginX, sp.marginY);
  // Computed at about 200 x 200, in the proportions of the framed video.
  EXPECT_NEAR(double(sp.ExtentWidth()) / sp.ExtentHeight(), double(v->Size().x) / v->Size().y, 0.02);
  EXPECT_NEAR(double(sp.ExtentWidth()) * sp.ExtentHeight(), 40000, 1000);
  std::vector<std::string> kinds;
  for (const std::string& line : drawer_.Lines())
    for (const char* k : {"DrawImage 'Shadow: ", "DrawImage", "DrawFrame", "DrawVideo"})
      if (line.rfind(k, 0) == 0) {
        kinds.push_back(k);
        break;
      }
  // V: shadow, frame, picture; P: shadow, placeholder; N: picture.
  EXPECT_EQ(kinds, (std::vector<std::string>{"DrawImage 'Shadow: ", "DrawFrame", "DrawVideo", "DrawImage 'Shadow: ",
                                             "DrawImage", "DrawVideo"}));
  drawer_.ClearLog();
  s->Prepare(drawer_);
  EXPECT_EQ(drawer_.Count("PrepareImage 'Shadow: "), 2u);
}

}  // namespace
}  // namespace zem::test
