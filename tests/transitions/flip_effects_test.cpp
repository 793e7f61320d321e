// The flip and the swap against the recording controller: the page corners and the shading of
// the flip at 0, 25, 50, 75 and 100 %, and which slide of the swap lies behind.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "foundation/assert.h"
#include "model/recording_drawer.h"
#include "model/transition_catalogue.h"
#include "recording_controller.h"
#include "transitions/filter_factory.h"
#include "transitions/flip_effects.h"

namespace zem {
namespace {

using test::TRecordingController;

constexpr TRectI kRect{0, 0, 400, 300};

std::unique_ptr<TDrawFilter> Make(int32_t cls, int32_t type, TEffectParams p = {}) {
  return MakeTransitionFilter(MakeFilterRequest(kRect, cls, type, nullptr, p, 1000));
}

void DrawAt(TDrawFilter& f, TRecordingController& rec, double p) {
  rec.Reset();
  f.SetTime(float(p * 1000));
  f.Draw(&rec);
}

TEST(Flip, OlderSlideEdgeOnAtHalfWayNewerFlatAndUnmirroredAtTheEnd) {
  auto f = Make(16, 1);  // smooth, about the vertical centre line, one edge in the plane
  auto* flip = dynamic_cast<TOverturnEffect*>(f.get());
  ASSERT_NE(flip, nullptr);
  EXPECT_EQ(flip->Variant(), 1);
  TRecordingController rec(kRect);
  const int32_t brightness[] = {255, 243, 100, 243, 255};  // |cos θ| × 155 + 100, θ = π ease(p)
  for (int q = 0; q <= 4; ++q) {
    SCOPED_TRACE(q * 25);
    DrawAt(*f, rec, q * 0.25);
    // The cell in black first, then the page over it.
    ASSERT_EQ(rec.fills.size(), 2u);
    EXPECT_EQ(rec.fills[0].colour[0], kTransitionBlack);
    ASSERT_EQ(rec.maps.size(), 2u);
    EXPECT_EQ(flip->Brightness(), brightness[q]);
    for (const auto& m : rec.maps)
      for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.src[i].value, float(brightness[q]));
        EXPECT_EQ(m.dst[i].y, m.src[i].y);  // turning about a vertical line
        if (q == 0 || q == 4) {
          EXPECT_NEAR(m.dst[i].x, m.src[i].x, 1e-3);
          EXPECT_NEAR(m.depth[i], 0, 1e-3);
        }
        if (q == 2) {
          EXPECT_NEAR(m.dst[i].x, 200, 1e-3);  // edge-on
        }
      }
  }
  // A quarter of the way the right edge has gone back; the left one stays in the picture plane.
  DrawAt(*f, rec, 0.25);
  const TFlipPage page = TOverturnEffect::Page(1, -flip->Turn(), {0, 0, 400, 300}, 0.5f);
  EXPECT_NEAR(flip->Turn(), std::numbers::pi / 8, 1e-6);
  EXPECT_NEAR(page.topLeft.z, 0, 1e-3);
  EXPECT_GT(page.topRight.z, 10);
  EXPECT_NEAR(page.topLeft.x, 200 - 200 * std::cos(std::numbers::pi / 8), 1e-2);
}

TEST(Flip, VariantsTurnAboutTheCentreOrTheOtherAxisAndSmoothnessIsOptional) {
  TEffectParams centre;
  centre.flipCenter = 1;
  auto f = Make(16, 1, centre);
  ASSERT_EQ(dynamic_cast<TOverturnEffect*>(f.get())->Variant(), 5);
  const TRectF b{0, 0, 400, 300};
  const double a = -std::numbers::pi / 6;
  const TFlipPage c = TOverturnEffect::Page(5, a, b, 0.5f);
  EXPECT_NEAR(c.topLeft.z, -c.topRight.z, 1e-4);  // about the centre line
  EXPECT_NE(c.topLeft.z, 0);
  const TFlipPage v = TOverturnEffect::Page(3, a, b, 0.5f);  // about the horizontal line
  EXPECT_EQ(v.topLeft.x, 0);
  EXPECT_NEAR(v.topLeft.y, 150 - 150 * std::cos(a), 1e-3);
  EXPECT_GT(v.bottomLeft.z, 10);
  // Without smoothing the turn is even: a quarter of the way is a quarter of the half turn.
  TEffectParams even;
  even.flipSmooth = 0;
  auto g = Make(16, 2, even);
  TRecordingController rec(kRect);
  DrawAt(*g, rec, 0.25);
  EXPECT_NEAR(dynamic_cast<TOverturnEffect*>(g.get())->Turn(), std::numbers::pi / 4, 1e-6);
  // Type 5 with the centre set is variant 9: the frame ends with an error.
  auto bad = Make(16, 5, centre);
  EXPECT_THROW(DrawAt(*bad, rec, 0.5), EAssertionFailed);
}

// The mean depth of the pieces a draw mapped.
double MeanDepth(const TRecordingController& rec) {
  double s = 0;
  for (const auto& m : rec.maps) s += m.depth[0] + m.depth[1] + m.depth[2];
  return s / (3.0 * double(rec.maps.size()));
}

TEST(Swap, TheSlideDrawnFirstLiesBehindAndTheOtherEndsInPlace) {
  auto f = Make(17, 1);
  auto* swap = dynamic_cast<TTwoSlidesEffect*>(f.get());
  ASSERT_NE(swap, nullptr);
  TRecordingController first(kRect), second(kRect);
  for (double p : {0.0, 0.25, 0.5, 0.75, 1.0}) {
    SCOPED_TRACE(p);
    // One frame: two draws, the first behind (it also blacks the cells out).
    DrawAt(*f, first, p);
    DrawAt(*f, second, p);
    EXPECT_EQ(first.fills.size(), 2u);
    EXPECT_EQ(second.fills.size(), 0u);
    // Half-way both stand at the same distance: there the order changes.
    if (p != 0.5) {
      EXPECT_GT(MeanDepth(first), MeanDepth(second) + 100);
    }
    if (p == 0 || p == 1) {
      // The slide in front is untouched at the ends (the older one at 0, the newer at 1).
      for (const auto& m : second.maps)
        for (int i = 0; i < 3; ++i)
          if (m.src[i].value == 255) {  // not the reflection
            EXPECT_NEAR(m.dst[i].x, m.src[i].x, 1e-3);
            EXPECT_NEAR(m.dst[i].y, m.src[i].y, 1e-3);
            EXPECT_NEAR(m.depth[i], 0, 1e-3);
          }
    }
  }
  // Variants 1 and 2 add a mirrored reflection, 3 and 4 do not.
  for (int32_t type = 1; type <= 4; ++type) {
    auto g = Make(17, type);
    DrawAt(*g, first, 0.3);
    EXPECT_EQ(first.maps.size(), type <= 2 ? 4u : 2u) << "type " << type;
  }
  EXPECT_THROW(DrawAt(*Make(17, 5), first, 0.3), EAssertionFailed);
}

TEST(Swap, AFrameThatDrewOneSlideDoesNotSwapTheRolesOfTheNext) {
  auto f = Make(17, 3);
  TRecordingController rec(kRect);
  TRecordingDrawer drawer;
  DrawAt(*f, rec, 0.4);  // a frame that drew only the slide behind
  f->FrameDone(drawer);
  DrawAt(*f, rec, 0.4);
  EXPECT_EQ(rec.fills.size(), 2u);  // again the first draw of its frame
}

}  // namespace
}  // namespace zem
