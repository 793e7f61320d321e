// The distance-band wipes: every emitted vertex must carry the opacity of the S-curve at its
// distance, the covered area must be the shape at the band position, and the soft edge must
// not use more bands than its width needs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>
#include <set>

#include "recording_controller.h"
#include "transitions/common_filter.h"

namespace zem::test {
namespace {

constexpr TRectI kRect{0, 0, 400, 200};
constexpr float kDuration = 1000;
const float kProgress[] = {0, 0.25f, 0.5f, 0.75f, 1};

// A controller whose single cell is far larger than the filter, so no triangle is cut.
struct TUncutController : TRecordingController {
  TUncutController() : TRecordingController(kRect) { SetGrid({-1e5f, 1e5f}, {-1e5f, 1e5f}); }
};

float Curve(float x) { return x < 127.5f ? x * x / 128 : 255 - (255 - x) * (255 - x) / 128; }

struct TShapeCase {
  const char* name;
  std::function<std::unique_ptr<TCommonFilter>()> make;
  float maxDistance;                             // without the smooth width
  std::function<float(float x, float y)> distance;  // band distance of a point
  std::function<double(float p)> area;            // area revealed at band position p
};

std::vector<TShapeCase> Shapes() {
  const float w = 400, h = 200;
  return {
      {"circle", [] { return std::make_unique<TCircleFilter>(0.5f, 0.5f); }, std::hypot(200.0f, 100.0f),
       [](float x, float y) { return std::hypot(x - 200, y - 100); },
       [](float p) { return std::numbers::pi * p * p; }},
      {"hlines", [] { return std::make_unique<THLines>(0.5f, 0.5f); }, 200,
       [](float x, float) { return std::abs(x - 200); }, [h](float p) { return 2.0 * p * h; }},
      {"hlines from left", [] { return std::make_unique<THLines>(0.0f, 0.0f); }, 400,
       [](float x, float) { return std::abs(x); }, [h](float p) { return 2.0 * p * h; }},
      {"vlines", [] { return std::make_unique<TVLines>(0.5f, 0.5f); }, 100,
       [](float, float y) { return std::abs(y - 100); }, [w](float p) { return 2.0 * p * w; }},
      {"vlines from bottom", [] { return std::make_unique<TVLines>(0.0f, 1.0f); }, 200,
       [](float, float y) { return std::abs(y - 200); }, [w](float p) { return 2.0 * p * w; }},
      {"rhomb", [] { return std::make_unique<TRhombFilter>(0.5f, 0.5f); }, 300,
       [](float x, float y) { return std::abs(x - 200) + std::abs(y - 100); },
       [](float p) { return 2.0 * p * p; }},
      {"square", [] { return std::make_unique<TSquareFilter>(0.5f, 0.5f); }, 200,
       [](float x, float y) { return std::max(std::abs(x - 200), std::abs(y - 100) * 2); },
       [](float p) { return 4.0 * p * p * 0.5; }},
      // Class 10 type 1: from the top-left corner.
      {"diagonal corner", [] { return std::make_unique<TDiagLines>(10, 1); }, 600,
       [](float x, float y) { return x + y; }, [h](float p) { return double(p) * h; }},
      // Class 10 type 4: base line from (400, 0) to (600, 200), strips to its left.
      {"diagonal flipped", [] { return std::make_unique<TDiagLines>(10, 4); }, 600,
       [](float x, float y) { return 400 - x + y; }, [h](float p) { return double(p) * h; }},
      // Class 8 type 2: opens both ways from the diagonal through the centre.
      {"diagonal centre", [] { return std::make_unique<TDiagLines>(8, 2); }, 300,
       [](float x, float y) { return std::abs(x + y - 300); }, [h](float p) { return 2.0 * p * h; }},
  };
}

TEST(BandFilters, OpacityFollowsTheCurveAndAreaMatchesTheShape) {
  for (const TShapeCase& sc : Shapes()) {
    for (float smooth : {40.0f, 10.0f}) {
      for (float progress : kProgress) {
        SCOPED_TRACE(testing::Message() << sc.name << " smooth " << smooth << " progress " << progress);
        auto f = sc.make();
        f->Init(kRect, smooth, kDuration);
        const float maxD = sc.maxDistance + smooth;
        ASSERT_NEAR(f->MaxDistance(), maxD, 1e-3f);
        f->SetTime(progress * kDuration);
        TUncutController c;
        f->Draw(&c);
        const float p = progress * maxD, inner = p - smooth;
        if (p <= 0) {
          EXPECT_TRUE(c.tris.empty());
          continue;
        }
        for (const auto& t : c.tris) {
          for (const auto& v : t.v) {
            const float d = sc.distance(v.x, v.y);
            EXPECT_LE(d, p + 0.05f);
            const float x = std::clamp((d - inner) * 255 / smooth, 0.0f, 255.0f);
            // The curve steps by one unit at its midpoint; rounding of d may land on either side.
            EXPECT_NEAR(v.value, 255 - Curve(x), std::abs(x - 127.5f) < 0.5f ? 1.1f : 0.6f)
                << "at distance " << d;
          }
        }
        const double expected = sc.area(p);
        EXPECT_NEAR(TotalArea(c.tris), expected, expected * 0.01 + 0.5);
      }
    }
  }
}

// Bands thinner than 2 pixels merge, so a narrow soft edge costs few triangles.
TEST(BandFilters, SoftEdgeUsesNoMoreBandsThanItsWidthNeeds) {
  for (float smooth : {0.0f, 3.0f, 10.0f, 40.0f, 200.0f}) {
    THLines f(0.5f, 0.5f);
    f.Init(kRect, smooth, kDuration);
    f.SetTime(kDuration / 2);
    TUncutController c;
    f.Draw(&c);
    const int bands = int(c.tris.size()) / 4 - 1;  // 4 triangles a band, minus the interior
    const int needed = std::min(14, int(smooth / 2) + 1);
    EXPECT_LE(bands, needed) << "smooth " << smooth;
    EXPECT_GE(bands, 1) << "smooth " << smooth;
  }
}

// Every shape: each band carries its own opacity at its outer outline, so the distinct vertex
// opacities count the bands (plus the opaque interior).
TEST(BandFilters, EveryShapeUsesNoMoreBandsThanItsSoftEdgeNeeds) {
  for (const TShapeCase& sc : Shapes()) {
    for (float smooth : {0.0f, 3.0f, 10.0f, 40.0f, 200.0f}) {
      for (float progress : {0.3f, 0.6f}) {
        auto f = sc.make();
        f->Init(kRect, smooth, kDuration);
        f->SetTime(kDuration * progress);
        TUncutController c;
        f->Draw(&c);
        std::set<int> levels;
        for (const auto& t : c.tris)
          for (const auto& v : t.v) levels.insert(int(std::lround(v.value * 16)));
        const int needed = std::min(14, int(smooth / 2) + 1);
        EXPECT_LE(int(levels.size()), needed + 1) << sc.name << " smooth " << smooth << " progress " << progress;
        EXPECT_FALSE(c.tris.empty()) << sc.name;
      }
    }
  }
}

TEST(BandFilters, HardEdgeIsOpaqueInsideWithAZeroWidthBand) {
  TSquareFilter f(0.5f, 0.5f);
  f.Init(kRect, 0, kDuration);
  f.SetTime(250);
  TUncutController c;
  f.Draw(&c);
  ASSERT_EQ(c.tris.size(), 16u);  // interior and one band, 4 pieces of 2 triangles each
  double transparentArea = 0;
  for (const auto& t : c.tris) {
    for (const auto& v : t.v) EXPECT_TRUE(v.value == 255 || v.value == 0);
    if (t.v[0].value == 0 || t.v[1].value == 0 || t.v[2].value == 0)
      transparentArea += TriArea(t.v[0], t.v[1], t.v[2]);
  }
  EXPECT_NEAR(transparentArea, 0, 1e-3);
  EXPECT_NEAR(TotalArea(c.tris), 4 * 50.0 * 25.0, 1e-2);
}

TEST(BandFilters, ReverseShrinksFromTheWholeToNothing) {
  TRhombFilter f(0.5f, 0.5f);
  f.SetReverse(true);
  f.Init(kRect, 20, kDuration);
  TUncutController c;
  f.SetTime(0);
  f.Draw(&c);
  EXPECT_NEAR(f.BandPosition(), 320, 1e-3f);
  EXPECT_NEAR(TotalArea(c.tris), 2.0 * 320 * 320, 2.0 * 320 * 320 * 1e-3);
  c.Reset();
  f.SetTime(kDuration);
  f.Draw(&c);
  EXPECT_TRUE(c.tris.empty());
}

TEST(BandFilters, CircleCentredOutsideUsesFinerRingsAndStartsAtTheRectangle) {
  // Centre 100 px right of the rectangle, on its middle line.
  TCircleFilter f(1.25f, 0.5f);
  f.Init(kRect, 0, kDuration);
  EXPECT_EQ(f.Segments(), 256);
  EXPECT_FLOAT_EQ(f.EdgeDistance(), 100);
  EXPECT_NEAR(f.MaxDistance(), std::hypot(500.0f, 100.0f) - 100, 1e-3f);
  f.SetTime(100);
  TUncutController c;
  f.Draw(&c);
  ASSERT_FALSE(c.tris.empty());
  const float p = 0.1f * f.MaxDistance();
  for (const auto& t : c.tris)
    for (const auto& v : t.v) {
      const float d = std::hypot(v.x - 500, v.y - 100);
      EXPECT_GE(d, 100 - 0.05f);
      EXPECT_LE(d, 100 + p + 0.05f);
    }
  TCircleFilter inside(0.5f, 0.5f);
  inside.Init(kRect, 0, kDuration);
  EXPECT_EQ(inside.Segments(), 128);
}

TEST(BandFilters, FilterRectangleMapsOntoTheClipRectangle) {
  THLines f(0.5f, 0.5f);
  f.Init(kRect, 0, kDuration);
  f.SetClipRect({100, 50, 300, 150});  // half the size, moved
  f.SetTime(kDuration);
  TRecordingController c({100, 50, 300, 150});
  f.Draw(&c);
  EXPECT_NEAR(TotalArea(c.tris), 200.0 * 100, 1e-2);
  for (const auto& t : c.tris)
    for (const auto& v : t.v) {
      EXPECT_GE(v.x, 100 - 1e-3f);
      EXPECT_LE(v.x, 300 + 1e-3f);
    }
}

}  // namespace
}  // namespace zem::test
