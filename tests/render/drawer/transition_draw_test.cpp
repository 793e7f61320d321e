// Transitions drawn by the drawer through the flat filters and their triangle tiles.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "drawer_support.h"
#include "model/transition_choice.h"
#include "transitions/draw_filter.h"
#include "transitions/filter_factory.h"

namespace zem {
namespace {

using test::ChannelDiff;
using test::Checker;
using test::WritePng;
using test::Px;
using test::TFnItem;

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

// A solid box from x0 to x1 over the whole height (boxes follow the drawer's translation).
void Band(TDeviceDrawer& d, float x0, float x1, float h, uint32_t colour) {
  TBoxParams p;
  p.fillStyle = kFillSolid;
  p.colour1 = p.colour2 = colour;
  p.width = x1 - x0;
  p.height = h;
  d.DrawBox({x0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
}

class FilterTransitions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallTransitionFilters();
  }
  // One frame: the transition between two items under the descriptor.
  TBitmap Frame(TDrawItem& older, TDrawItem& newer, TZemFilter& descriptor) {
    TFnItem root([&](TDeviceDrawer& d) {
      d.Clear(0xFF404040u, true);
      d.DrawTransition(&older, &newer, &descriptor);
    });
    return rig.Render(root);
  }
  static std::unique_ptr<TZemFilter> Descriptor(int32_t effectClass, int32_t effectType, double progress) {
    auto f = std::make_unique<TZemFilter>();
    f->effectClass = effectClass;
    f->effectType = effectType;
    f->duration = 1000;
    f->progressTime = progress;
    return f;
  }
  test::TDrawerRig rig{80, 60};
};

TEST_F(FilterTransitions, CrossFadeHalfWayIsMidGrey) {
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem black([](TDeviceDrawer& d) { Band(d, 0, 80, 60, 0xFF000000u); });
  TFnItem white([](TDeviceDrawer& d) { Band(d, 0, 80, 60, 0xFFFFFFFFu); });
  auto fade = Descriptor(2, 0, 500);
  TBitmap b = Frame(black, white, *fade);
  ASSERT_NE(dynamic_cast<TAlphaFilter*>(fade->filter.get()), nullptr);
  for (auto [x, y] : {std::pair{1, 1}, {40, 30}, {78, 58}, {10, 50}})
    EXPECT_LE(ChannelDiff(Px(b, x, y), 0xFF808080u), 2) << x << "," << y << " " << std::hex << Px(b, x, y);
  // A quarter of the way the older slide still dominates.
  fade->progressTime = 250;
  b = Frame(black, white, *fade);
  EXPECT_LE(ChannelDiff(Px(b, 40, 30), 0xFF404040u), 2) << std::hex << Px(b, 40, 30);
}

// A cross-fade whose newer item is one opaque picture over the whole frame draws the picture
// straight onto the target; anything else goes through the capture with what was held back
// replayed into it. Both must look as the capture path does.
TEST_F(FilterTransitions, CrossFadeWithoutTheCaptureLooksTheSame) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(300, 220, 0xFFE0C040u, 0xFF2060C0u);  // two tiles wide, filtered when scaled
  auto older = Checker(80, 60, 0xFF000000u, 0xFFFFFFFFu);
  TFnItem back([&](TDeviceDrawer& d) { d.DrawImage(older.get(), {0, 0, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, {}); });
  auto scene = [&](float scale, bool boxOnTop) {
    return [&pic, scale, boxOnTop](TDeviceDrawer& d) {
      Band(d, 0, 80, 60, 0xFF102030u);
      d.DrawImage(pic.get(), {-3, -2, 0}, {0, 0}, {scale, 0, 0}, {0, scale, 0}, {});
      if (boxOnTop) Band(d, 30, 40, 60, 0xFFFF0000u);
    };
  };
  struct TCase {
    float scale;
    bool boxOnTop, direct;
  } cases[] = {{0.29f, false, true}, {0.29f, true, false}, {0.2f, false, false}};
  for (const TCase& c : cases) {
    TFnItem newer(scene(c.scale, c.boxOnTop));
    auto fade = Descriptor(2, 0, 370);
    rig.drawer->SetFadeFastPath(false);
    const TBitmap captured = Frame(back, newer, *fade);
    rig.drawer->SetFadeFastPath(true);
    const int before = rig.drawer->FastFadeDraws();
    const TBitmap b = Frame(back, newer, *fade);
    EXPECT_EQ(rig.drawer->FastFadeDraws() - before, c.direct ? 1 : 0) << c.scale;
    // Straight drawing skips the capture's rounding to 8 bits: at most one level apart.
    int worst = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) worst = std::max(worst, ChannelDiff(Px(b, x, y), Px(captured, x, y)));
    EXPECT_LE(worst, c.direct ? 1 : 0) << c.scale << " " << c.boxOnTop;
    if (worst > (c.direct ? 1 : 0)) {
      const std::string dir = std::string(ZEM_DRAWER_OUT_DIR) + "/golden-failures/fade_" + std::to_string(&c - cases);
      std::filesystem::create_directories(dir);
      WritePng(b, dir + "/actual.png");
      WritePng(captured, dir + "/captured.png");
    }
  }
}

TEST_F(FilterTransitions, PushMovesTheOlderSlideByTheFilterOffset) {
  ZEM_REQUIRE_DRAWER(rig);
  // Older: red left half, green right half. Newer: all blue.
  TFnItem older([](TDeviceDrawer& d) {
    Band(d, 0, 40, 60, kRed);
    Band(d, 40, 80, 60, kGreen);
  });
  TFnItem newer([](TDeviceDrawer& d) { Band(d, 0, 80, 60, kBlue); });
  auto push = Descriptor(12, 1, 500);
  TBitmap b = Frame(older, newer, *push);
  auto* filter = dynamic_cast<TPushFilter*>(push->filter.get());
  ASSERT_NE(filter, nullptr);
  const TPointF o = filter->PushOffset(80, 60, filter->Progress());
  ASSERT_EQ(o.x, 40.0f);
  ASSERT_EQ(o.y, 0.0f);
  // The older slide's red half now lies where its green half was; the green half left the
  // screen and the newer slide fills the uncovered half.
  EXPECT_EQ(Px(b, 45, 30), kRed);
  EXPECT_EQ(Px(b, 76, 10), kRed);
  EXPECT_EQ(Px(b, 5, 30), kBlue);
  EXPECT_EQ(Px(b, 34, 50), kBlue);
  // The translation does not outlive the transition.
  EXPECT_FALSE(rig.drawer->OffsetActive());
}

TEST_F(FilterTransitions, OutsideItsTimeOnlyTheNewerSlideShows) {
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem older([](TDeviceDrawer& d) { Band(d, 0, 80, 60, kRed); });
  TFnItem newer([](TDeviceDrawer& d) { Band(d, 0, 80, 60, kBlue); });
  auto done = Descriptor(2, 0, 1000);
  EXPECT_EQ(Px(Frame(older, newer, *done), 40, 30), kBlue);
  auto early = Descriptor(12, 1, -1);
  EXPECT_EQ(Px(Frame(older, newer, *early), 40, 30), kBlue);
  // At the very start of a push nothing has moved yet.
  auto start = Descriptor(12, 1, 0);
  TBitmap b = Frame(older, newer, *start);
  EXPECT_EQ(Px(b, 40, 30), kRed);
  EXPECT_EQ(Px(b, 2, 2), kRed);
}

}  // namespace
}  // namespace zem
