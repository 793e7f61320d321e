// Cross-fade, tile dissolve, slide-in and push, and the catalogue's filter maker.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "model/transition_catalogue.h"
#include "recording_controller.h"
#include "transitions/common_filter.h"
#include "transitions/filter_factory.h"

namespace zem::test {
namespace {

constexpr TRectI kClip{10, 20, 410, 220};
const float kProgress[] = {0, 0.25f, 0.5f, 0.75f, 1};

TEST(DrawFilterBase, TimeIsClampedAndProgressIsAFraction) {
  TAlphaFilter f;
  f.Init(kClip, 0, 800);
  f.SetTime(-5);
  EXPECT_EQ(f.Time(), 0);
  f.SetTime(NAN);
  EXPECT_EQ(f.Time(), 0);
  f.SetTime(2000);
  EXPECT_EQ(f.Time(), 800);
  f.SetTime(200);
  EXPECT_FLOAT_EQ(f.Progress(), 0.25f);
  TAlphaFilter zero;
  zero.Init(kClip, 0, 0);
  zero.SetTime(10);
  EXPECT_EQ(zero.Progress(), 0);
}

TEST(AlphaFilter, WholeClipAtOneOpacityRisingWithTime) {
  for (float progress : kProgress) {
    TAlphaFilter f;
    f.Init(kClip, 0, 1000);
    f.SetTime(progress * 1000);
    TRecordingController c(kClip);
    f.Draw(&c);
    ASSERT_EQ(c.tris.size(), 2u);
    EXPECT_NEAR(TotalArea(c.tris), 400.0 * 200, 1e-3);
    for (const auto& t : c.tris)
      for (const auto& v : t.v) EXPECT_NEAR(v.value, progress * 255, 1e-3f);
  }
}

uint32_t Lcg(uint32_t s) { return s * 1664525u + 1013904223u; }
float Unit(uint32_t s) { return std::bit_cast<float>((s & 0x7FFFFFu) | 0x3F800000u) - 1.0f; }

TEST(RandomFilter, ThresholdsComeFromTheSeededGenerator) {
  TRandomFilter f(4, 3, 1234, 20);
  f.Init(kClip, 0, 1000);
  uint32_t state = 1234;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) {
      state = Lcg(state);
      const int expected = int(std::lround(Unit(state) * 2000.0));
      EXPECT_EQ(f.Threshold(col, row), expected);
      EXPECT_GE(expected, 0);
      EXPECT_LT(expected, 2000);
    }
  TRandomFilter same(4, 3, 1234, 20);
  same.Init(kClip, 0, 1000);
  TRandomFilter other(4, 3, 99, 20);
  other.Init(kClip, 0, 1000);
  int differing = 0;
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 4; ++col) {
      EXPECT_EQ(same.Threshold(col, row), f.Threshold(col, row));
      differing += other.Threshold(col, row) != f.Threshold(col, row);
    }
  EXPECT_GT(differing, 0);
}

TEST(RandomFilter, CellsFadeInFromTheirThresholds) {
  for (float progress : kProgress) {
    TRandomFilter f(5, 4, 77, 10);
    f.Init(kClip, 0, 1000);
    f.SetTime(progress * 1000);
    const int d = int(std::lround(progress * (1000 + 256) - 256.0));
    EXPECT_EQ(f.Position(), d);
    TRecordingController c(kClip);
    f.Draw(&c);
    size_t expectedTris = 0;
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 5; ++col) {
        const int e = f.Threshold(col, row) - d;
        if (e >= 255) continue;
        expectedTris += 2;
        const float opacity = e < 0 ? 255.0f : float(255 - e);
        // The cell's two triangles, in its own place.
        const float cx = 10 + (col + 0.5f) * 80, cy = 20 + (row + 0.5f) * 50;
        double area = 0;
        for (const auto& t : c.tris) {
          const float mx = (t.v[0].x + t.v[1].x + t.v[2].x) / 3, my = (t.v[0].y + t.v[1].y + t.v[2].y) / 3;
          if (std::abs(mx - cx) < 40 && std::abs(my - cy) < 25) {
            area += TriArea(t.v[0], t.v[1], t.v[2]);
            for (const auto& v : t.v) EXPECT_EQ(v.value, opacity);
          }
        }
        EXPECT_NEAR(area, 80.0 * 50, 1e-2);
      }
    EXPECT_EQ(c.tris.size(), expectedTris);
  }
}

TEST(RandomFilter, NoSoftnessFadesAllCellsTogether) {
  TRandomFilter f(3, 3, 5, 0);
  f.Init(kClip, 0, 1000);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) EXPECT_EQ(f.Threshold(col, row), 0);
  f.SetTime(900);  // d = round(0.9 × 256 − 256) = −26: every cell at 255 − 26
  TRecordingController c(kClip);
  f.Draw(&c);
  ASSERT_EQ(c.tris.size(), 18u);
  for (const auto& t : c.tris) EXPECT_EQ(t.v[0].value, 229);
}

TEST(SlideFilter, EntersFromEachSideByTheOffset) {
  const float w = 400, h = 200;
  for (int direction = 1; direction <= 4; ++direction)
    for (float p : kProgress) {
      TSlideFilter f(direction);
      EXPECT_TRUE(f.ExtendsEdges());
      f.Init(kClip, 0, 1000);
      f.SetTime(p * 1000);
      TRecordingController c(kClip);
      f.Draw(&c);
      ASSERT_EQ(c.maps.size(), 2u);
      const TPointF expected[5] = {{}, {w * p - w, 0}, {w - w * p, 0}, {0, h * p - h}, {0, h - h * p}};
      for (const auto& m : c.maps)
        for (int i = 0; i < 3; ++i) {
          EXPECT_FLOAT_EQ(m.dst[i].x, m.src[i].x + expected[direction].x);
          EXPECT_FLOAT_EQ(m.dst[i].y, m.src[i].y + expected[direction].y);
          EXPECT_EQ(m.src[i].value, 255);
        }
      // The sources cover the clip rectangle.
      EXPECT_EQ(c.maps[0].src[0], (TEffVertex{10, 20, 255}));
      EXPECT_EQ(c.maps[1].src[0], (TEffVertex{410, 220, 255}));
    }
}

TEST(SlideFilter, AtStartTheItemIsOneWidthLeftAndOnlyCellsInsideTheClipDraw) {
  TSlideFilter f(1);
  f.Init(kClip, 0, 1000);
  TRecordingController c(kClip);
  c.SetGrid({10, 210, 410, 600}, {20, 220});  // the last column lies outside the clip
  f.Draw(&c);
  ASSERT_EQ(c.maps.size(), 4u);
  EXPECT_EQ(c.begins, 2);
  EXPECT_FLOAT_EQ(c.maps[0].dst[0].x, 10 - 400);
  EXPECT_FLOAT_EQ(c.maps[0].dst[1].x, 410 - 400);
}

TEST(PushFilter, OlderItemMovesWithTheNewer) {
  const float w = 400, h = 200;
  for (int direction = 1; direction <= 4; ++direction)
    for (float p : kProgress) {
      TPushFilter f(direction);
      const TPointF in = f.Offset(w, h, p), out = f.PushOffset(w, h, p);
      // The older item is always exactly one slide size away from the newer one.
      EXPECT_FLOAT_EQ(std::abs(out.x - in.x) + std::abs(out.y - in.y), direction <= 2 ? w : h);
    }
  TPushFilter odd(7);
  EXPECT_EQ(odd.PushOffset(w, h, 0.5f), (TPointF{0, 0}));
  EXPECT_EQ(odd.Offset(w, h, 0.5f), (TPointF{0, 100}));
  TPushFilter zero(0);
  EXPECT_EQ(zero.Offset(w, h, 0.5f), (TPointF{200, 0}));
}

TEST(FilterMaker, CatalogueMakesTheFlatFilters) {
  InstallTransitionFilters();
  TEffectParams params;
  params.smoothLine = 0.05f;
  params.mosaicDX = 6;
  params.mosaicDY = 4;
  params.mosaicSC = 30;
  const TRectI rect{0, 0, 800, 600};
  struct TCase {
    int cls, type;
    const char* name;
  };
  const TCase cases[] = {{1, 1, "random"}, {2, 1, "alpha"}, {4, 1, "circle"}, {5, 2, "rhomb"},
                         {6, 1, "square"}, {7, 1, "hlines"}, {7, 3, "vlines"}, {7, 5, "alpha"},
                         {8, 1, "diag"},  {9, 4, "vlines"}, {10, 2, "diag"}, {12, 3, "push"},
                         {13, 2, "slide"}, {40, 1, "alpha"}};
  for (const TCase& tc : cases) {
    SCOPED_TRACE(testing::Message() << "class " << tc.cls << " type " << tc.type);
    std::unique_ptr<TObj> made = CreateFilter(rect, tc.cls, tc.type, nullptr, params, 1500);
    auto* f = dynamic_cast<TDrawFilter*>(made.get());
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->EffectClass(), tc.cls);
    EXPECT_EQ(f->Duration(), 1500);
    EXPECT_EQ(f->SmoothWidth(), 40);
    EXPECT_EQ(f->Rect(), rect);
    const std::string name = tc.name;
    if (name == "random") { EXPECT_NE(dynamic_cast<TRandomFilter*>(f), nullptr); }
    if (name == "alpha") { EXPECT_NE(dynamic_cast<TAlphaFilter*>(f), nullptr); }
    if (name == "circle") { EXPECT_NE(dynamic_cast<TCircleFilter*>(f), nullptr); }
    if (name == "rhomb") { EXPECT_NE(dynamic_cast<TRhombFilter*>(f), nullptr); }
    if (name == "square") { EXPECT_NE(dynamic_cast<TSquareFilter*>(f), nullptr); }
    if (name == "hlines") { EXPECT_NE(dynamic_cast<THLines*>(f), nullptr); }
    if (name == "vlines") { EXPECT_NE(dynamic_cast<TVLines*>(f), nullptr); }
    if (name == "diag") { EXPECT_NE(dynamic_cast<TDiagLines*>(f), nullptr); }
    if (name == "push") { EXPECT_NE(dynamic_cast<TPushFilter*>(f), nullptr); }
    if (name == "slide") { EXPECT_NE(dynamic_cast<TSlideFilter*>(f), nullptr); }
  }
  // Reverse and centre reach the filter: class 4 type 1 reverses; class 9 type 4 from the bottom.
  auto circle = CreateFilter(rect, 4, 1, nullptr, params, 1000);
  EXPECT_TRUE(static_cast<TDrawFilter*>(circle.get())->Reverse());
  auto bottom = CreateFilter(rect, 9, 4, nullptr, params, 1000);
  EXPECT_EQ(static_cast<TCommonFilter*>(bottom.get())->Centre(), (TPointF{0, 600}));
  auto diag = CreateFilter(rect, 8, 3, nullptr, params, 1000);
  EXPECT_TRUE(static_cast<TDiagLines*>(diag.get())->Reverse());
  EXPECT_TRUE(static_cast<TDiagLines*>(diag.get())->Flip());
  EXPECT_EQ(CreateFilter(rect, 0, 1, nullptr, params, 1000), nullptr);
}

}  // namespace
}  // namespace zem::test
