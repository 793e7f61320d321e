#include <gtest/gtest.h>

#include "model_test_util.h"

namespace zem {
namespace {

using test::Box;
using test::ShowText;
using test::TTestShow;

// A box with a hover and click look, standing in for buttons and text.
class TStateBox : public TZemBox, public IZemVisualStates {
 public:
  using TZemBox::TZemBox;
  void SetVisualState(TVisualState s) override { state = s; }
  TVisualState GetVisualState() const override { return state; }
  TVisualState state = TVisualState::Normal;
};

struct TMouseSlide {
  TZemSlide slide{MakeRef<TSimpleSlideHost>(800, 600)};
  TMouseSlide() {
    slide.SetGeometry({800, 600}, 100, 100, {800, 600});
    slide.SetAnchors(0, 0, 1000, 0);
  }
  template <class T>
  T* Add(const char16_t* guid, float x, const char16_t* action) {
    T* n = TZemObject::Create<T>(&slide, guid);
    n->SetSize(800, 600);
    n->SetPosMode(kModeAbsolute);
    n->Keys().current.scaleX = n->Keys().current.scaleY = 10;  // 80 x 60 on screen
    n->Keys().current.posX = x;
    n->SetAction(action);
    return n;
  }
  TZemObject* Event(int kind, float x, float y, TZemActionInfo& action, int button = 1, uint32_t state = 0,
                    bool enabled = true) {
    return slide.HandleMouse(state, x, y, enabled, action, kind, button);
  }
};

TEST(HitTest, RotatedAndMovedInDepth) {
  TTestShow s(ShowText(Box("Turned", "Size=800,600\n", "ScaleX=25\nScaleY=25\nAngle=90\n")));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  TPointF local;
  // 200 x 150 turned upright: 150 wide and 200 high around the centre.
  EXPECT_TRUE(s.slide->HitTest(470, 300, true, local));
  EXPECT_FALSE(s.slide->HitTest(490, 300, true, local));
  EXPECT_TRUE(s.slide->HitTest(400, 395, true, local));
  EXPECT_FALSE(s.slide->HitTest(400, 410, true, local));
  // Local coordinates come back in the node's own pixels: 50 screen px down is x = 200.
  ASSERT_TRUE(s.slide->HitTest(400, 350, true, local));
  EXPECT_NEAR(local.x, 200, 1e-3);
  EXPECT_NEAR(local.y, 0, 1e-3);

  // Pushed away from the viewer the node looks smaller, so the same point misses.
  TTestShow far(ShowText(Box("Far", "Size=800,600\n", "ScaleX=25\nScaleY=25\nZPos=200\n")));
  ASSERT_TRUE(far.slide) << far.error;
  far.slide->SetTimeAndUpdate(true, 0);
  const double z = 600 * far.slide->DepthFactor();  // ZPos 200 = the slide height
  const double onScreenHalf = 100 * 600 / (600 + z);
  EXPECT_TRUE(far.slide->HitTest(float(400 + onScreenHalf - 2), 300, true, local));
  // 2 screen px inside the edge: scaled back by the depth and by 1/4.
  EXPECT_NEAR(local.x, 400 - 2 * (600 + z) / 600 * 4, 0.05);
  EXPECT_FALSE(far.slide->HitTest(float(400 + onScreenHalf + 2), 300, true, local));
  // Brought forward it looks larger.
  TTestShow nearer(ShowText(Box("Near", "Size=800,600\n", "ScaleX=25\nScaleY=25\nZPos=-100\n")));
  nearer.slide->SetTimeAndUpdate(true, 0);
  EXPECT_TRUE(nearer.slide->HitTest(510, 300, true, local));
}

TEST(HitTest, EdgeOnOverlapAndFilters) {
  TTestShow s(ShowText(Box("EdgeOn", "Size=800,600\n", "ScaleX=25\nScaleY=25\nAngleY=90\n")));
  ASSERT_TRUE(s.slide) << s.error;
  s.slide->SetTimeAndUpdate(true, 0);
  TPointF local;
  for (float x = 380; x <= 420; x += 2)
    for (float y = 200; y <= 400; y += 25) EXPECT_FALSE(s.slide->HitTest(x, y, true, local)) << x << "," << y;

  TTestShow o(ShowText(Box("Under", "Size=100,100\n") + Box("Over", "Size=100,100\n")));
  ASSERT_TRUE(o.slide) << o.error;
  o.slide->SetTimeAndUpdate(true, 0);
  EXPECT_EQ(o.slide->HitTest(400, 300, true, local), o.Node(u"Over"));
  EXPECT_EQ(o.slide->HitTest(5, 5, true, local), nullptr);  // the slide itself is never hit
  EXPECT_EQ(o.slide->HitTest(400, 300, false, local), nullptr);
  o.Node(u"Over")->SetTranspForClick(true);
  TZemActionInfo action;
  EXPECT_EQ(o.slide->HandleMouse(0, 400, 300, true, action, 1, 1), o.Node(u"Under"));
  // Hit testing ignores time windows; only the filter looks at TranspForClick.
  o.slide->SetTimeAndUpdate(true, 99999);
  EXPECT_EQ(o.slide->HitTest(400, 300, true, local), o.Node(u"Over"));

  // A frame that cannot be inverted is hit only when the host's edge-on callback says so.
  o.Node(u"Under")->SetSize(0, 0);  // zero size: zero fit factor, a flat frame
  o.slide->SetTimeAndUpdate(true, 0);
  EXPECT_FALSE(o.Node(u"Under")->FrameValid());
  EXPECT_EQ(o.slide->HandleMouse(0, 400, 300, true, action, 1, 1), nullptr);
  o.host->SetEdgeOnCallback([](TZemObject*) { return true; });
  EXPECT_EQ(o.slide->HandleMouse(0, 400, 300, true, action, 1, 1), o.Node(u"Under"));
}

TEST(MouseActions, PlainNodesFireOnDownAndUpOverTheSameNode) {
  TMouseSlide m;
  TZemBox* a = m.Add<TZemBox>(u"a", -200, u"nextslide");
  TZemBox* b = m.Add<TZemBox>(u"b", 200, u"prevslide");
  m.slide.SetTimeAndUpdate(true, 0);
  TZemActionInfo act;
  EXPECT_EQ(m.Event(1, 200, 300, act), a);
  EXPECT_TRUE(a->Pressed());
  EXPECT_TRUE(act.IsNone());
  EXPECT_EQ(m.Event(2, 200, 300, act), a);
  EXPECT_EQ(act.kind, TZemActionKind::NextSlide);
  EXPECT_FALSE(a->Pressed());

  // Down on one, up on the other: nothing; and the stale press does not fire later.
  m.Event(1, 200, 300, act);
  EXPECT_EQ(m.Event(2, 600, 300, act), b);
  EXPECT_TRUE(act.IsNone());
  EXPECT_EQ(m.Event(2, 200, 300, act), a);
  EXPECT_TRUE(act.IsNone());

  // Any button presses a plain node.
  m.Event(1, 600, 300, act, 2);
  m.Event(2, 600, 300, act, 2);
  EXPECT_EQ(act.kind, TZemActionKind::PrevSlide);

  // Disabled, or other buttons or modifiers held: no hit at all.
  EXPECT_EQ(m.Event(1, 200, 300, act, 1, 0, false), nullptr);
  EXPECT_EQ(m.Event(1, 200, 300, act, 1, 8), nullptr);
  EXPECT_EQ(m.Event(0, 200, 300, act, 1, 16), a);
}

TEST(MouseActions, NodesWithVisualStates) {
  TMouseSlide m;
  auto* btn = m.Add<TStateBox>(u"btn", -200, u"exit");
  auto* mute = m.Add<TStateBox>(u"mute", 200, u"");
  m.slide.SetTimeAndUpdate(true, 0);
  TZemActionInfo act;
  m.Event(0, 200, 300, act);
  EXPECT_EQ(btn->state, TVisualState::Hover);
  m.Event(0, 200, 300, act, 1, 16);
  EXPECT_EQ(btn->state, TVisualState::Click);
  m.Event(0, 10, 10, act);
  EXPECT_EQ(btn->state, TVisualState::Normal);  // every state reset at each event

  // A right click does not press a node with an action and a look.
  m.Event(1, 200, 300, act, 2);
  EXPECT_FALSE(btn->Pressed());
  m.Event(2, 200, 300, act, 2);
  EXPECT_TRUE(act.IsNone());

  m.Event(1, 200, 300, act);
  EXPECT_EQ(btn->state, TVisualState::Click);
  EXPECT_TRUE(btn->Pressed());
  m.Event(2, 200, 300, act);
  EXPECT_EQ(btn->state, TVisualState::Hover);
  EXPECT_EQ(act.kind, TZemActionKind::Exit);

  // Without an action it behaves as a plain node and keeps its normal look.
  m.Event(1, 600, 300, act, 2);
  EXPECT_TRUE(mute->Pressed());
  EXPECT_EQ(mute->state, TVisualState::Normal);
  m.Event(2, 600, 300, act, 2);
  EXPECT_TRUE(act.IsNone());
}

}  // namespace
}  // namespace zem
