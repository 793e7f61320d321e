// Frame composition of the root item, checked through the recording drawer.
#include <gtest/gtest.h>

#include <stdexcept>

#include "model/recording_drawer.h"
#include "model/slide_producer.h"
#include "model/transition_choice.h"
#include "render/drawer/root_item.h"
#include "transitions/draw_filter.h"

namespace zem {
namespace {

class TOverlay : public TDrawItem {
 public:
  void Draw(TDeviceDrawer& d) override { d.FillQuad({0, 0}, {1, 1}, 0xFF00FF00u); }
  void FrameDone(TDeviceDrawer&) override { ++done; }
  int done = 0;
};

class TThrowingSlide : public TZemSlide {
 public:
  void Draw(TDeviceDrawer&) override { throw std::runtime_error("bad"); }
};

std::unique_ptr<TDrawContainer> Container(double start, double end, int effectClass = -1) {
  auto c = std::make_unique<TDrawContainer>();
  c->slide = std::make_unique<TZemSlide>();
  c->info.start = start;
  c->info.next = end - 500;
  c->info.end = end;
  if (effectClass >= 0) {
    c->transition = std::make_unique<TZemFilter>();
    c->transition->effectClass = effectClass;
    c->transition->duration = 500;
  }
  return c;
}

void Settle(TRootItem& root) {
  for (TDrawItem* i : root.Items())
    if (i) i->changedProps_ = i->changedGeometry_ = false;
}

class RootCompose : public ::testing::Test {
 protected:
  // Slide 1 from 0 to 3000; slide 2 from 2500 (transition of 500 ms) to 6000.
  std::unique_ptr<TDrawContainer> a = Container(0, 3000), b = Container(2500, 6000, 2);
  TDrawContainer* list[2] = {a.get(), b.get()};
  TOverlay overlay;
  TRootItem root{true};
};

TEST_F(RootCompose, NothingToShowBeforeTheFirstStartOrWithoutContainers) {
  EXPECT_FALSE(root.Compose(nullptr, 0, &overlay, 100.0));
  EXPECT_TRUE(root.Items().empty());
  EXPECT_FALSE(root.Compose(list + 1, 1, &overlay, 1000.0));  // slide 2 starts at 2500
}

TEST_F(RootCompose, OneSlideAndTheOverlay) {
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 1000.0));
  EXPECT_EQ(root.Items(), (std::vector<TDrawItem*>{a->slide.get(), &overlay}));
  EXPECT_EQ(root.Transition(), nullptr);
  EXPECT_FALSE(root.TransitionRunning());
}

TEST_F(RootCompose, TransitionPairWhileThePredecessorIsVisible) {
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2700.0));
  EXPECT_EQ(root.Items(), (std::vector<TDrawItem*>{a->slide.get(), b->slide.get(), &overlay}));
  EXPECT_EQ(root.Transition(), b->transition.get());
  EXPECT_TRUE(root.TransitionRunning());
  EXPECT_DOUBLE_EQ(b->transition->progressTime, 200);
  // The predecessor past its visible end: the newer slide alone.
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 3100.0));
  EXPECT_EQ(root.Items(), (std::vector<TDrawItem*>{b->slide.get(), &overlay}));
}

TEST_F(RootCompose, EffectClassZeroMeansNoTransition) {
  b->transition->effectClass = 0;
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2700.0));
  EXPECT_EQ(root.Items(), (std::vector<TDrawItem*>{b->slide.get(), &overlay}));
  EXPECT_EQ(root.Transition(), nullptr);
}

TEST_F(RootCompose, ProgressIsClampedToTheVisibleEndOfTheNewestSlide) {
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 9000.0));
  EXPECT_DOUBLE_EQ(b->transition->progressTime, 6000 - 2500);
}

TEST_F(RootCompose, ChangesAreDetectedFromItemsAndProgress) {
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 1000.0));
  EXPECT_TRUE(root.IsChanged());  // first frame
  Settle(root);
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 1000.0));
  Settle(root);
  EXPECT_FALSE(root.IsChanged());
  overlay.changedProps_ = true;  // an item reports a change
  EXPECT_TRUE(root.IsChanged());
  overlay.changedProps_ = false;
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2600.0));  // the pair replaces the single slide
  EXPECT_TRUE(root.IsChanged());
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2600.0));
  Settle(root);
  EXPECT_FALSE(root.IsChanged());  // same items, same progress
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2650.0));
  EXPECT_TRUE(root.IsChanged());   // progress moved
}

TEST_F(RootCompose, DrawSharpensTheSlidesButNotTheOverlay) {
  TRecordingDrawer d;
  root.sharpenAmount = 35;
  root.sharpenThreshold = 4;
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2700.0));
  d.DrawItem(&root);
  std::string t = d.Text();
  size_t begin = t.find("BeginOffscreen"), trans = t.find("DrawTransition"), end = t.find("EndOffscreen 4 35"),
         quad = t.find("FillQuad");
  ASSERT_NE(begin, std::string::npos);
  ASSERT_NE(trans, std::string::npos);
  ASSERT_NE(end, std::string::npos);
  ASSERT_NE(quad, std::string::npos);
  EXPECT_LT(begin, trans);
  EXPECT_LT(trans, end);
  EXPECT_LT(end, quad);
  EXPECT_EQ(d.Count("ClearRect"), 0u);  // an overlay: no border painting
  root.FrameDone(d);
  EXPECT_EQ(overlay.done, 1);  // FrameDone reaches the items
}

// A transition filter that counts the ends of frames it was part of.
class TCountingFilter : public TDrawFilter {
 public:
  void Draw(TEffController*) override {}
  void FrameDone(TDeviceDrawer&) override { ++done; }
  int done = 0;
};

TEST_F(RootCompose, FrameDoneReachesTheRunningTransitionFilter) {
  auto filter = std::make_unique<TCountingFilter>();
  TCountingFilter* f = filter.get();
  b->transition->filter = std::move(filter);
  TRecordingDrawer d;
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 2700.0));
  root.FrameDone(d);
  EXPECT_EQ(f->done, 1);
  EXPECT_EQ(overlay.done, 1);
  // Once the transition is over the filter is not part of the frame.
  ASSERT_TRUE(root.Compose(list, 2, &overlay, 3100.0));
  root.FrameDone(d);
  EXPECT_EQ(f->done, 1);
}

TEST_F(RootCompose, WithoutOverlayTheLetterboxIsPainted) {
  TRecordingDrawer d(100, 80);
  d.SetClipRect({10, 20, 90, 60});
  root.backgroundColour = 0x102030;
  ASSERT_TRUE(root.Compose(list, 2, nullptr, 1000.0));
  d.ClearLog();
  d.DrawItem(&root);
  EXPECT_EQ(d.Count("ClearRect FF102030"), 4u) << d.Text();
  TRootItem noBorder(false);
  ASSERT_TRUE(noBorder.Compose(list, 2, nullptr, 1000.0));
  d.ClearLog();
  d.DrawItem(&noBorder);
  EXPECT_EQ(d.Count("ClearRect"), 0u);
}

TEST_F(RootCompose, ExceptionsInsideTheFrameAreSwallowedAndOffscreenClosed) {
  TRecordingDrawer d;
  auto c = Container(0, 1000);
  c->slide = std::make_unique<TThrowingSlide>();
  TDrawContainer* one[1] = {c.get()};
  root.sharpenAmount = 10;
  ASSERT_TRUE(root.Compose(one, 1, &overlay, 100.0));
  EXPECT_NO_THROW(d.DrawItem(&root));
  EXPECT_EQ(d.Count("BeginOffscreen"), 1u);
  EXPECT_EQ(d.Count("EndOffscreen"), 1u);  // closed on the way out
  EXPECT_EQ(d.Count("FillQuad"), 0u);      // the frame ends where it failed
}

}  // namespace
}  // namespace zem
