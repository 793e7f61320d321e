// Frame statistics: lateness against one refresh, skipped steps only within a run of drawing
// steps while the show runs, the first frame that showed a picture.
#include <gtest/gtest.h>

#include "engine/frame_stats.h"

namespace zem {
namespace {

constexpr double kRefresh = 1000.0 / 60;

TEST(FrameStats, LateSkippedAndFirstPicture) {
  TFrameStats s;
  // Paused: neither late nor skipped however the clock stands.
  s.FrameDrawn(0, 500, 100, false, false, kRefresh);
  // Running at one frame per refresh, presented within it: on time.
  EXPECT_TRUE(s.FrameDrawn(100, 110, 200, true, true, kRefresh));  // the first picture
  EXPECT_FALSE(s.FrameDrawn(100 + kRefresh, 110 + kRefresh, 217, true, true, kRefresh));
  // A stall: the next frame is for 100 ms later (5 frames missed) and presented 30 ms late.
  s.FrameDrawn(200 + kRefresh, 230 + kRefresh, 330, true, true, kRefresh);
  // Nothing changed for a while: the distance to the next frame is no skip.
  s.NothingDrawn();
  s.FrameDrawn(2000, 2005, 2100, true, false, kRefresh);
  const TFrameSummary sum = s.Summary();
  EXPECT_EQ(sum.drawn, 5u);
  EXPECT_EQ(sum.late, 1u);
  EXPECT_EQ(sum.skipped, 5u);
  EXPECT_DOUBLE_EQ(sum.firstPictureMs, 200);
  EXPECT_DOUBLE_EQ(sum.maxLateness, 30);
  EXPECT_DOUBLE_EQ(sum.intervalMax, 1770);
  const auto lines = TFrameStats::Describe(sum);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "frames: 5 drawn, 1 late, 5 skipped; first picture after 200 ms");
  s.Reset();
  EXPECT_EQ(s.Summary().drawn, 0u);
  EXPECT_LT(s.Summary().firstPictureMs, 0);
}

TEST(FrameStats, PresentLeadRisesAtOnceFallsGentlyPerKindAndIsCapped) {
  TPresentLead lead;
  EXPECT_DOUBLE_EQ(lead.Lead(false), TPresentLead::kFirstGuessMs);
  lead.Measured(false, 50);
  EXPECT_DOUBLE_EQ(lead.Lead(false), 50);
  EXPECT_DOUBLE_EQ(lead.Lead(true), 50);  // not measured yet: the other kind's lead
  lead.Measured(true, 82);  // transition frames keep their own estimate from then on
  EXPECT_DOUBLE_EQ(lead.Lead(true), 82);
  lead.Measured(false, 2);  // one fast frame moves the lead a sixteenth of the way
  EXPECT_DOUBLE_EQ(lead.Lead(false), 47);
  // Out of a transition the lead used comes down step by step.
  EXPECT_DOUBLE_EQ(lead.Next(true), 82);
  EXPECT_DOUBLE_EQ(lead.Next(false), 82 - TPresentLead::kStepDownMs);
  EXPECT_DOUBLE_EQ(lead.Next(true), 82);
  lead.Measured(false, 5000);  // a frame of seconds: the show runs behind rather than far ahead
  EXPECT_DOUBLE_EQ(lead.Lead(false), TPresentLead::kMaxMs);
  lead.Measured(false, -3);  // a clock that stepped back says nothing
  EXPECT_DOUBLE_EQ(lead.Lead(false), TPresentLead::kMaxMs);
}

}  // namespace
}  // namespace zem
