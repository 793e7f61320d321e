// The test show of the clock, broom, page roll, flip and swap transitions (one slide per class
// and type), drawn headless through the snapshot path: at the ends of each transition exactly
// the older and the newer slide show; in between both slides take part; and the frames at
// 25, 50 and 75 % of every kind are compared with reference sheets (one per class).
#include <gtest/gtest.h>

#include <string>

#include "drawer_support.h"
#include "model/slide_source.h"
#include "model/transition_catalogue.h"
#include "model/zem_image.h"
#include "render/drawer/headless_window.h"
#include "render/drawer/snapshot.h"
#include "script/ini_file.h"
#include "transitions/filter_factory.h"

namespace zem {
namespace {

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu;

class SolidTransitionShow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterImageKinds();
    InstallTransitionFilters();
  }
  void SetUp() override {
    auto probe = THeadlessWindow::Create(8, 8);
    if (!probe) GTEST_SKIP() << "no headless window here";
    test::PinDriverModules();
    auto ini = std::make_unique<TIniFile>();
    ASSERT_TRUE(ini->LoadFromFile(std::string(ZEM_SOURCE_DIR) + "/tests/transitions/data/solid_show/Project.zem"));
    TZemSourceOptions options;
    options.fixedSeed = true;
    options.seed = 3;
    show_ = MakeRef<TZemSource>(std::move(ini), nullptr, options);
    ASSERT_EQ(show_->SlideCount(), 47);
  }
  // The frame at fraction f of the transition into slide `index`.
  TBitmap At(int32_t index, double f, int32_t w = 160, int32_t h = 120) {
    TSlideInfo info;
    show_->GetSlideInfo(index, info);
    EXPECT_EQ(info.inLength, 1000) << "slide " << index;
    TBitmap out;
    std::string error;
    EXPECT_TRUE(RenderShowSnapshot(show_, info.start + info.inLength * f, w, h, out, &error)) << error;
    if (out.Format() != TPixelFormat::Argb32) out.ConvertTo(TPixelFormat::Argb32);
    return out;
  }
  // Slide `index` on its own, after its transition.
  TBitmap Plain(int32_t index) {
    TSlideInfo info;
    show_->GetSlideInfo(index, info);
    TBitmap out;
    EXPECT_TRUE(RenderShowSnapshot(show_, (info.start + info.inLength + info.next) / 2, 160, 120, out));
    if (out.Format() != TPixelFormat::Argb32) out.ConvertTo(TPixelFormat::Argb32);
    return out;
  }
  std::string What(int32_t index) {
    const TSlideEffect e = show_->GetSlideEffect(index);
    return "slide " + std::to_string(index) + " class " + std::to_string(e.effectClass) + " type " +
           std::to_string(e.effectType);
  }
  // Pixels within 3 of the colour.
  static int64_t Count(const TBitmap& b, uint32_t colour) {
    int64_t n = 0;
    for (int32_t y = 0; y < b.Height(); ++y)
      for (int32_t x = 0; x < b.Width(); ++x) n += test::ChannelDiff(test::Px(b, x, y), colour) <= 3;
    return n;
  }
  static int64_t Differing(const TBitmap& a, const TBitmap& b) {
    int64_t n = 0;
    for (int32_t y = 0; y < a.Height(); ++y)
      for (int32_t x = 0; x < a.Width(); ++x) n += test::ChannelDiff(test::Px(a, x, y), test::Px(b, x, y)) > 6;
    return n;
  }

  TRef<TZemSource> show_;
};

TEST_F(SolidTransitionShow, EveryKindStartsOnTheOlderSlideAndEndsOnTheNewer) {
  // The slides themselves, drawn between transitions.
  const TBitmap red = Plain(0), blue = Plain(1);
  ASSERT_GT(Count(red, kRed), 10000);
  ASSERT_GT(Count(blue, kBlue), 10000);
  for (int32_t i = 1; i < show_->SlideCount(); ++i) {
    const TBitmap& older = i % 2 ? red : blue;
    const TBitmap& newer = i % 2 ? blue : red;
    EXPECT_LE(Differing(At(i, 0), older), 16) << What(i) << " at its start";
    EXPECT_LE(Differing(At(i, 1), newer), 16) << What(i) << " at its end";
    // Half-way both slides take part (the flip is edge-on: black with a sliver).
    const TBitmap mid = At(i, 0.5);
    const int64_t all = int64_t(mid.Width()) * mid.Height();
    EXPECT_GT(Differing(mid, older), all / 20) << What(i) << " at half-way";
    EXPECT_GT(Differing(mid, newer), all / 20) << What(i) << " at half-way";
  }
}

TEST_F(SolidTransitionShow, ReferenceSheetsOfEveryClassAndType) {
  // Rows: the kinds of a class in show order; columns: 25, 50 and 75 %.
  const struct {
    const char* name;
    int32_t first, count;
  } sheets[] = {{"clock", 1, 2}, {"broom", 3, 16}, {"roll14", 19, 8}, {"roll15", 27, 8}, {"flip", 35, 8}, {"swap", 43, 4}};
  constexpr int32_t kW = 80, kH = 60;
  for (const auto& sheet : sheets) {
    TBitmap all;
    ASSERT_TRUE(all.Allocate(3 * kW, sheet.count * kH, TPixelFormat::Argb32));
    for (int32_t k = 0; k < sheet.count; ++k)
      for (int q = 1; q <= 3; ++q) {
        const TBitmap b = At(sheet.first + k, q * 0.25, kW, kH);
        ASSERT_EQ(b.Width(), kW);
        for (int32_t y = 0; y < kH; ++y)
          for (int32_t x = 0; x < kW; ++x) all.SetPixel((q - 1) * kW + x, k * kH + y, test::Px(b, x, y));
      }
    test::ExpectGolden(all, std::string("solid_") + sheet.name, 12, 0.01);
  }
}

}  // namespace
}  // namespace zem
