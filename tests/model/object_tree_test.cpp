#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "model/recording_drawer.h"
#include "model_test_util.h"

namespace zem {
namespace {

using test::Box;
using test::ShowText;
using test::TTestShow;

constexpr float kEps = 1e-3f;

void ExpectVec(const TVec3& v, float x, float y, float z, float eps = kEps) {
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

TEST(ObjectReading, CommonKeysDefaultsAndMalformedValues) {
  TTestShow s(ShowText(Box("A", "Size=100,50\n", "Opacity=40\n") +
                       Box("B",
                           "Size=10,10\nFitMode=bogus\nPosMode=absolute\nDeltaTime1=abc\nHideMode=3\nChildInvis=1\n"
                           "TranspForClick=1\nShadowColor=300,-1,5\nAction=GotoSlide(4)\n",
                           "Position=1,2,3\nScaleX=x\nAngle=90\nColorisation=1,2,3\nZPos=1e999\n")));
  ASSERT_TRUE(s.slide) << s.error;
  ASSERT_EQ(s.slide->ChildCount(), 2);
  TZemObject* a = s.Node(u"A");
  ASSERT_TRUE(a);
  EXPECT_EQ(std::string(a->ClassName()), "TZemBox");
  EXPECT_EQ(a->FitMode(), kFitPlaceInto);
  EXPECT_EQ(a->PosMode(), kModePercent);
  EXPECT_FALSE(a->shadowEnable);
  EXPECT_EQ(a->shadowSize, 16);
  EXPECT_FLOAT_EQ(a->shadowDistance, 1.5f);
  EXPECT_EQ(a->Guid().size(), 38u);  // a generated GUID
  s.slide->SetTimeAndUpdate(true, 100);
  // Only Opacity named: the rest are defaults, not the previous keypoint's.
  EXPECT_EQ(a->Opacity(), 40);
  EXPECT_EQ(a->ScaleX(), 100);
  EXPECT_EQ(a->Position(), (TVec3{0, 0, 0}));
  EXPECT_EQ(a->Current().colorOff, 1);

  TZemObject* b = s.Node(u"B");
  EXPECT_EQ(b->FitMode(), kFitPlaceInto);
  EXPECT_EQ(b->PosMode(), kModeAbsolute);  // names compared without case
  EXPECT_EQ(b->DeltaTime1(), 0);
  EXPECT_TRUE(b->HideFront());
  EXPECT_TRUE(b->HideBack());
  EXPECT_TRUE(b->ChildInvis());
  EXPECT_TRUE(b->TranspForClick());
  EXPECT_EQ(b->shadowR, 255);
  EXPECT_EQ(b->shadowG, 0);
  EXPECT_EQ(b->Action().kind, TZemActionKind::GotoSlide);
  EXPECT_EQ(b->Action().number, 4);
  EXPECT_EQ(b->Position(), (TVec3{0, 0, 0}));  // three numbers for a point: default
  EXPECT_EQ(b->ScaleX(), 100);
  EXPECT_NEAR(b->Angle(), std::numbers::pi / 2, 1e-6);
  EXPECT_EQ(b->Current().colorOff, 1);  // three numbers: colorisation off
  EXPECT_EQ(b->Position().z, 0);        // overflow: default
}

TEST(ObjectReading, KindsKeypointsAndFailures) {
  // An unknown kind is skipped with its subtree; a frame reads like a box.
  TTestShow s(ShowText("object mystery: X\n" + Box("Lost", "") + "end\n" +
                       "object frame: F\nSize=20,10\nobject keypoint:\nTime=250\nOrigin=slideend\nend\nend\n"));
  ASSERT_TRUE(s.slide) << s.error;
  ASSERT_EQ(s.slide->ChildCount(), 1);
  TZemObject* f = s.slide->Child(0);
  EXPECT_EQ(std::string(f->ClassName()), "TZemFrame");
  EXPECT_EQ(f->Size(), (TPointI{20, 10}));
  EXPECT_EQ(f->Keys().At(0)->Origin(), kSlideEnd);
  EXPECT_EQ(f->Keys().At(0)->Time(), 5250);
  EXPECT_EQ(f->Keys().PanProfile().ToText(), "1;5250;0;0;1;");

  // An object without keypoints keeps its creation defaults (one keypoint at the slide's start,
  // logged once) instead of blanking its slide.
  std::vector<std::string> lines;
  auto log = std::make_unique<TLog>();
  log->SetOutputRoutine([&lines](const std::string& l) { lines.push_back(l); });
  InstallLog(std::move(log));
  TTestShow none(ShowText("object box: N\nSize=1,1\nend\n" + Box("A", "Size=2,2\n", "Opacity=40\n")));
  InstallLog(nullptr);
  ASSERT_TRUE(none.slide) << none.error;
  ASSERT_EQ(none.slide->ChildCount(), 2);
  TZemObject* n = none.Node(u"N");
  ASSERT_TRUE(n);
  ASSERT_EQ(n->Keys().Count(), 1);
  EXPECT_EQ(n->Keys().At(0)->Origin(), kSlideBegin);
  none.slide->SetTimeAndUpdate(true, 5000);
  EXPECT_EQ(n->Opacity(), 100);
  EXPECT_EQ(n->ScaleX(), 100);
  EXPECT_EQ(n->Current().colorOff, 1);
  EXPECT_EQ(none.Node(u"A")->Opacity(), 40);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("no keypoints in N") != std::string::npos; }),
            1);
  // A profile that does not fit the keypoints still stops the read.
  TTestShow badProfile(ShowText(Box("P", "PanSpeed=3;0;1\n")));
  EXPECT_TRUE(badProfile.slide) << "one keypoint still fits the fallback profile";
  TTestShow mismatch(ShowText(Box("P", "PanSpeed=3;0;1;2;0;\n")));
  EXPECT_FALSE(mismatch.slide) << "three keys for one keypoint";
  TTestShow badProfile2(ShowText("object box: Q\nPanSpeed=junk\nobject keypoint:\nTime=0\nend\n"
                                 "object keypoint:\nTime=10\nend\nend\n"));
  EXPECT_FALSE(badProfile2.slide);
  EXPECT_FALSE(TTestShow("").slide);
}

TEST(ObjectReading, TimeScaleConvertsKeypointsToSlideBegin) {
  TIniFile ini;
  ini.LoadFromText(u"[S]\nobject box: A\nobject keypoint:\nTime=1000\nend\n"
                   u"object keypoint:\nTime=-500\nOrigin=NextEffectBegin\nend\nend\n");
  TZemSlide slide(MakeRef<TSimpleSlideHost>(800, 600));
  slide.SetGeometry({800, 600}, 100, 100, {800, 600});
  slide.SetAnchors(3000, 500, 7000, 1000);
  slide.SetTimeScale(2);
  slide.ReadContent(*ini.FindSection(u"S"));
  TZemObject* a = slide.Child(0);
  EXPECT_EQ(a->TimeScale(), 2);
  ASSERT_EQ(a->Keys().Count(), 2);
  EXPECT_EQ(a->Keys().At(0)->Origin(), kSlideBegin);
  EXPECT_EQ(a->Keys().At(0)->Offset(), 2000);
  EXPECT_EQ(a->Keys().At(1)->Offset(), 7000);  // (7000 - 3000 - 500) * 2
  EXPECT_EQ(a->Keys().At(1)->Time(), 10000);
}

TEST(ObjectReading, RereadKeepsChildrenByGuid) {
  TIniFile ini;
  ini.LoadFromText(
      Utf8ToWide(ShowText(Box("A", "GUID=g1\n", "Opacity=10\n") + Box("B", "GUID=g2\n") + Box("N", ""))));
  std::string err;
  auto slide = BuildSectionTree(ini, u"Slide1", {}, &err);
  ASSERT_TRUE(slide) << err;
  TZemObject* a = slide->Child(0);
  // Nodes without a "GUID" key are never read again in place of each other (their GUID is made
  // only when asked for): a mark on the old one must not show on the new one.
  slide->Child(2)->largestWidth = 123;
  ini.LoadFromText(
      Utf8ToWide(ShowText(Box("C", "GUID=g3\n") + Box("A2", "GUID=g1\n", "Opacity=20\n") + Box("N2", ""))));
  slide->ReadContent(*ini.FindSection(u"Slide1"));
  ASSERT_EQ(slide->ChildCount(), 3);
  EXPECT_EQ(slide->Child(2)->Caption(), u"N2");
  EXPECT_EQ(slide->Child(2)->largestWidth, 0);
  EXPECT_EQ(slide->Child(2)->Guid().size(), 38u);
  EXPECT_EQ(slide->Child(1), a);  // the same node, read again
  EXPECT_EQ(a->Caption(), u"A2");
  EXPECT_EQ(a->Keys().Count(), 1);
  slide->SetTimeAndUpdate(true, 0);
  EXPECT_EQ(a->Opacity(), 20);
  EXPECT_EQ(slide->Child(0)->Guid(), u"g3");
}

// Once the player ends, a frame in progress leaves its remaining objects out. The switch is
// process-wide and never cleared: it is thrown in a child process.
TEST(ObjectDrawingDeathTest, AbandonedShowWorkDrawsNoMoreObjects) {
  TTestShow s(ShowText(Box("A", "Size=10,10\n") + Box("B", "Size=10,10\n")));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  EXPECT_EXIT(
      {
        TRecordingDrawer before;
        before.DrawItem(s.slide.get());
        AbandonShowWork();
        TRecordingDrawer after;
        after.DrawItem(s.slide.get());
        std::_Exit(before.Count("DrawBox") == after.Count("DrawBox") + 2 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ObjectTransform, FitModesPositionAndPivot) {
  TTestShow s(ShowText(Box("Place", "Size=200,100\n") + Box("Cover", "Size=200,100\nFitMode=Cover\n") +
                           Box("Right", "Size=100,100\n", "Position=100,0\n") +
                           Box("Corner", "Size=100,100\n", "CenterPos=-100,-100\n"),
                       1000, 1000),
              1000, 1000);
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  TZemObject* place = s.Node(u"Place");
  EXPECT_NEAR(place->FitScaleX(), 5, 1e-9);
  TVec3 c[4];
  place->Corners(c);
  EXPECT_NEAR((c[1] - c[0]).Length(), 1000, kEps);
  EXPECT_NEAR((c[3] - c[0]).Length(), 500, kEps);
  EXPECT_NEAR(s.Node(u"Cover")->FitScaleX(), 10, 1e-9);
  // Position 100 percent: the pivot sits on the parent's right edge.
  ExpectVec(s.Node(u"Right")->Frame().origin, 1000, 500, 0);
  // CenterPos -100: the top-left corner is the pivot.
  TZemObject* corner = s.Node(u"Corner");
  EXPECT_EQ(corner->LocalTopLeft(), (TPointF{0, 0}));
  corner->Corners(c);
  ExpectVec(c[0], 500, 500, 0);
  ExpectVec(c[2], 1500, 1500, 0);
}

TEST(ObjectTransform, TransformsInheritThroughThreeLevels) {
  // A: rotated 90 degrees, 100 px right of the centre; B inside A at half scale, 10 px along A's
  // x axis; C inside B, 20 px along B's x axis.
  const std::string c = Box("C", "Size=800,600\nPosMode=Absolute\n", "Position=20,0\n");
  const std::string b = Box("B", "Size=800,600\nPosMode=Absolute\n", "Position=10,0\nScaleX=50\nScaleY=50\n", c);
  TTestShow s(ShowText(Box("A", "Size=800,600\nPosMode=Absolute\n", "Position=100,0\nAngle=90\n", b)));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  TZemObject* na = s.Node(u"A");
  TZemObject* nb = s.Node(u"B");
  TZemObject* nc = s.Node(u"C");
  ASSERT_TRUE(na && nb && nc);
  EXPECT_EQ(nc->Depth(), 3);
  ExpectVec(na->Frame().origin, 500, 300, 0);
  ExpectVec(na->Frame().axisX, 0, 1, 0);
  ExpectVec(na->Frame().axisY, -1, 0, 0);
  ExpectVec(nb->Frame().origin, 500, 310, 0);
  ExpectVec(nb->Frame().axisX, 0, 0.5f, 0);
  ExpectVec(nc->Frame().origin, 500, 320, 0);
  ExpectVec(nc->Frame().axisX, 0, 0.5f, 0);
  ExpectVec(nc->Frame().axisY, -0.5f, 0, 0);
  // The local point (100, 0) of C lands 50 px further down.
  ExpectVec(nc->Frame().Map(100, 0), 500, 370, 0);

  // Percent positions follow the parent's size through the levels as well.
  TTestShow p(ShowText(Box("A", "Size=400,300\n", "Position=50,0\n",
                           Box("B", "Size=400,300\n", "Position=50,0\n", Box("C", "Size=400,300\n", "Position=50,0\n")))));
  ASSERT_TRUE(p.slide) << p.error;
  p.slide->SetTimeAndUpdate(true, 0);
  // A: fit 2 in 800x600, 200 px right; B: 100 px of A's size = 200 on screen; C likewise.
  ExpectVec(p.Node(u"A")->Frame().origin, 600, 300, 0);
  ExpectVec(p.Node(u"B")->Frame().origin, 800, 300, 0);
  ExpectVec(p.Node(u"C")->Frame().origin, 1000, 300, 0);
}

TEST(ObjectVisibility, FacingHidingAndChildInvis) {
  const std::string kids = Box("Kid", "Size=10,10\n");
  TTestShow s(ShowText(Box("BackHide", "Size=10,10\nHideMode=1\n", "AngleY=180\n") +
                       Box("BackDraw", "Size=10,10\nHideMode=2\n", "AngleY=180\n") +
                       Box("FrontHide", "Size=10,10\nHideMode=2\n") +
                       Box("Invis", "Size=10,10\nHideMode=1\nChildInvis=1\n", "AngleY=180\n", kids) +
                       Box("Vis", "Size=10,10\nHideMode=1\n", "AngleY=180\n", kids)));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  EXPECT_FALSE(s.Node(u"BackHide")->IsShown());
  EXPECT_TRUE(s.Node(u"BackDraw")->IsShown());
  EXPECT_FALSE(s.Node(u"FrontHide")->IsShown());
  EXPECT_FALSE(s.Node(u"Invis")->Child(0)->IsShown());
  EXPECT_TRUE(s.Node(u"Invis")->Child(0)->HiddenByAncestor());
  EXPECT_TRUE(s.Node(u"Vis")->Child(0)->IsShown());
  // Drawing leaves the hidden ones out.
  TRecordingDrawer d;
  d.DrawItem(s.slide.get());
  EXPECT_EQ(d.Count("DrawBox"), 3u);  // background, BackDraw, the kid of Vis
}

TEST(ObjectVisibility, TimeWindowAndDeltaTimes) {
  TTestShow s(ShowText(Box("Late", "Size=10,10\nDeltaTime1=500\nDeltaTime2=1000\n")));
  ASSERT_TRUE(s.slide) << s.error;
  TZemObject* n = s.Node(u"Late");
  for (auto [t, in] : {std::pair{0.0, false}, {499.0, false}, {500.0, true}, {4000.0, true}, {4001.0, false}}) {
    s.slide->SetTimeAndUpdate(true, t);
    EXPECT_EQ(n->InWindow(), in) << t;
  }
}

TEST(ObjectDrawing, OrderOpacityAndBoxParameters) {
  TTestShow s(ShowText(Box("Parent", "Size=100,50\nFillMode=HGradient\nColor1=255,0,0\nColor2=0,0,255\nAlpha2=128\n"
                                     "Antialiased=1\n",
                           "Opacity=50\n",
                           Box("First", "Size=100,50\nColor1=0,255,0\nAlpha1=999\nFillMode=hgradient\n") +
                               Box("Second", "Size=10,10\nFillMode=TRBLGradient\n"))));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  TRecordingDrawer d;
  d.DrawItem(s.slide.get());
  std::vector<std::string> boxes;
  for (const auto& l : d.Lines())
    if (l.rfind("DrawBox", 0) == 0) boxes.push_back(l);
  ASSERT_EQ(boxes.size(), 4u);
  // Background first (the slide rectangle), then the parent, then its children in order.
  EXPECT_NE(boxes[0].find("pos=(0,0,0) off=(0,0) X=(800,0,0) Y=(0,600,0) style=8 c1=FF000000"), std::string::npos);
  // Parent: 100x50 fitted 8x into 800x600 -> 800x400, centred; gradient red to blue, alpha 128.
  EXPECT_NE(boxes[1].find("pos=(0,100,0) off=(0,0) X=(800,0,0) Y=(0,400,0) style=6 c1=FFFF0000 c2=800000FF"),
            std::string::npos)
      << boxes[1];
  EXPECT_NE(boxes[1].find("op=50 aa=1111"), std::string::npos);
  // Opacity is not inherited; a fill name with other case keeps the solid fill.
  EXPECT_NE(boxes[2].find("style=8 c1=FF00FF00 c2=FF00FF00"), std::string::npos) << boxes[2];
  EXPECT_NE(boxes[2].find("op=100"), std::string::npos);
  EXPECT_NE(boxes[3].find("style=1"), std::string::npos);
}

// A node whose own drawing fails.
class TFailingBox : public TZemBox {
 public:
  using TZemBox::TZemBox;
  void AddPrimitives(TDeviceDrawer&) override { ZEM_FAIL("broken"); }
};

TEST(ObjectDrawing, FailingNodeStillDrawsChildren) {
  TZemSlide slide(MakeRef<TSimpleSlideHost>(800, 600));
  slide.SetGeometry({800, 600}, 100, 100, {800, 600});
  slide.SetAnchors(0, 0, 1000, 0);
  slide.SetBackgroundEnabled(false);
  auto* bad = TZemObject::Create<TFailingBox>(&slide, u"bad");
  bad->SetSize(10, 10);
  auto* kid = TZemObject::Create<TZemBox>(bad, u"kid");
  kid->SetSize(10, 10);
  slide.SetTimeAndUpdate(true, 0);
  TRecordingDrawer d;
  d.DrawItem(&slide);
  EXPECT_EQ(d.Count("DrawBox"), 1u);
  EXPECT_FALSE(slide.IsChanged());  // the failing node was snapshotted all the same
}

TEST(ObjectChanges, UnchangedSlideReportsNoChangeAndCrossingReportsOne) {
  // "Step" holds still until 1000 ms, where two keypoints at the same time make it jump.
  TTestShow s(ShowText(
      "object box: Step\nSize=100,100\nobject keypoint:\nTime=0\nend\nobject keypoint:\nTime=1000\nend\n"
      "object keypoint:\nTime=1000\nPosition=50,0\nend\nend\n" +
      Box("Still", "Size=10,10\n", "Opacity=70\n")));
  ASSERT_TRUE(s.slide) << s.error;
  TRecordingDrawer d;
  auto frame = [&](double t) {
    s.slide->SetTimeAndUpdate(true, t);
    bool changed = s.slide->IsChanged();
    if (changed) d.DrawItem(s.slide.get());  // what the engine does
    return changed;
  };
  EXPECT_TRUE(frame(0));  // the first frame
  EXPECT_EQ(d.Frames(), 1);
  EXPECT_FALSE(frame(0));
  EXPECT_FALSE(frame(200));
  EXPECT_FALSE(frame(999));
  EXPECT_TRUE(frame(1000));  // crossing the keypoint
  EXPECT_EQ(d.Frames(), 2);
  EXPECT_FALSE(frame(1500));
  // Leaving the time window is a change too (the slide ends at 5000).
  EXPECT_TRUE(frame(5001));
  EXPECT_FALSE(frame(6000));
  // A setter that re-sets the same value does not dirty the node.
  auto* box = static_cast<TZemBox*>(s.Node(u"Still"));
  box->SetAntialiased(false);
  box->SetSize(10, 10);
  EXPECT_FALSE(s.slide->IsChanged());
  box->SetAntialiased(true);
  EXPECT_TRUE(s.slide->IsChanged());
}

TEST(ObjectAnalysis, LargestDisplayedSize) {
  TTestShow s(ShowText(
      "object box: Grow\nSize=800,600\nobject keypoint:\nTime=0\nScaleX=10\nScaleY=10\nend\n"
      "object keypoint:\nTime=2000\nScaleX=50\nScaleY=20\nend\nend\n" +
      Box("Near", "Size=800,600\n", "ScaleX=10\nScaleY=10\nZPos=-100\n")));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 500);
  TZemObject* grow = s.Node(u"Grow");
  EXPECT_NEAR(grow->largestDisplayed.x, 400, 0.01);
  EXPECT_NEAR(grow->largestDisplayed.y, 120, 0.01);
  // Brought forward by 300 px times the depth factor: magnified by 1 / (1 - z / camera z).
  TZemObject* nearNode = s.Node(u"Near");
  const double z = -300 * s.slide->DepthFactor();
  EXPECT_NEAR(nearNode->largestDisplayed.x, 80 / (1 - z / -600.0), 0.01);
  EXPECT_EQ(s.slide->largestDisplayed, (TPointF{800, 600}));
  // The analysis leaves the slide evaluated at its own time.
  EXPECT_NEAR(grow->ScaleX(), 20, 1e-4);
}

TEST(ObjectErrors, UnsupportedModesRaiseFromTheUpdate) {
  TTestShow none(ShowText(Box("N", "Size=10,10\nFitMode=None\n")));
  ASSERT_TRUE(none.slide) << none.error;
  EXPECT_THROW(none.slide->SetTimeAndUpdate(true, 0), EAssertionFailed);
  TTestShow abs(ShowText(Box("N", "Size=10,10\nCenterMode=Absolute\n")));
  ASSERT_TRUE(abs.slide);
  EXPECT_THROW(abs.slide->SetTimeAndUpdate(true, 0), EAssertionFailed);
  EXPECT_THROW(abs.slide->GetAnchorTime(4), EAssertionFailed);
  // A tree whose root is not a slide cannot be placed.
  auto* loose = TZemObject::Create<TZemBox>(nullptr, u"loose");
  std::unique_ptr<TZemObject> owner(loose);
  EXPECT_THROW(loose->UpdateTransform(false), EAssertionFailed);
}

TEST(ObjectLimits, DeepNestingIsCut) {
  // 3000 levels of nesting: read down to the depth limit, the rest skipped.
  std::string deep;
  for (int i = 0; i < 3000; ++i) deep += "object box: L\nSize=10,10\nobject keypoint:\nend\n";
  for (int i = 0; i < 3000; ++i) deep += "end\n";
  TTestShow d(ShowText(deep));
  ASSERT_TRUE(d.slide) << d.error;
  int maxDepth = 0, count = 0;
  ForEachNode(d.slide.get(), [&](TZemObject* n) {
    maxDepth = std::max(maxDepth, n->Depth());
    ++count;
  });
  EXPECT_EQ(maxDepth, kMaxTreeDepth);
  EXPECT_EQ(count, kMaxTreeDepth + 1);
  d.slide->SetTimeAndUpdate(true, 0);
  TRecordingDrawer rd;
  rd.DrawItem(d.slide.get());
  EXPECT_EQ(rd.Count("DrawBox"), size_t(kMaxTreeDepth) + 1);

}

TEST(ObjectLimits, WideSlide) {
  // A wide slide, each object with its own keypoint time: built, analysed (with thinned
  // samples) and evaluated. The benchmark builds 100,000 of them.
  constexpr int kWide = 10000;
  std::string wide;
  wide.reserve(kWide * 80);
  for (int i = 0; i < kWide; ++i)
    wide += "object box:\nSize=1,1\nobject keypoint:\nTime=" + std::to_string(i) + "\nOpacity=" +
            std::to_string(i % 100) + "\nend\nend\n";
  TTestShow w(ShowText(wide));
  ASSERT_TRUE(w.slide) << w.error;
  EXPECT_EQ(w.slide->ChildCount(), kWide);
  w.slide->SetTimeAndUpdate(true, 50);
  EXPECT_EQ(w.slide->Child(kWide - 1)->Opacity(), 99);
  EXPECT_GT(w.slide->Child(7)->largestDisplayed.x, 0);
}

TEST(SlideBackground, SourcesAndStyles) {
  // Main section gradient: colour style 1 gives the vertical gradient.
  TTestShow g(ShowText(Box("A", "Size=1,1\n"), 800, 600, "opt_bstyle=3\nopt_bcolorstyle=1\nopt_bcolor1=255\nopt_bcolor2=16711680\n"));
  ASSERT_TRUE(g.slide) << g.error;
  g.slide->SetTimeAndUpdate(true, 0);
  TRecordingDrawer d;
  d.DrawItem(g.slide.get());
  EXPECT_NE(d.Text().find("style=5 c1=FFFF0000 c2=FF0000FF"), std::string::npos) << d.Text();

  // The slide's own record when "Pers_Fon" is "1": a solid colour code.
  TTestShow own(ShowText("Pers_Fon=1\nbstyle=1\nbname=65280\n" + Box("A", "Size=1,1\n"), 800, 600, "opt_bstyle=3\n"));
  ASSERT_TRUE(own.slide) << own.error;
  EXPECT_EQ(own.slide->OwnBackground().colour1, 0xFF00FF00u);

  // A picture background tiles the slide around its centre.
  TTestShow pic(ShowText("Pers_Fon=1\nbstyle=2\nbname=tile.jpg\nbsize=50\n" + Box("A", "Size=1,1\n")));
  ASSERT_TRUE(pic.slide) << pic.error;
  TBitmap bm;
  ASSERT_TRUE(bm.Allocate(1600, 900, TPixelFormat::Rgb24));
  pic.host->AddPicture(u"tile.jpg", MakeRef<TBitmapPicture>(std::move(bm), u"tile.jpg"));
  pic.slide->SetTimeAndUpdate(true, 0);
  TRecordingDrawer pd;
  pic.slide->Prepare(pd);
  EXPECT_EQ(pd.Count("PrepareImage 'tile.jpg'"), 1u);
  pd.ClearLog();
  pd.DrawItem(pic.slide.get());
  // Wider picture aspect: tiles 400 high, 711.1 wide; one tile each side horizontally and vertically.
  EXPECT_EQ(pd.Count("DrawImage 'tile.jpg'"), 9u);
  EXPECT_NE(pd.Text().find("mip=0"), std::string::npos);
  pic.slide->Release(pd);
  EXPECT_EQ(pd.Count("ReleaseImage 'tile.jpg'"), 1u);
}

}  // namespace
}  // namespace zem
