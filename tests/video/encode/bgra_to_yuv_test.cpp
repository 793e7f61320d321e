// The colour conversion for the encoders: BT.709 limited-range values of known colours, chroma
// as the mean of each 2 × 2 block, rows taken bottom-up through a negative stride.
#include <gtest/gtest.h>

#include <vector>

#include "video/encode/bgra_to_yuv.h"

namespace zem {
namespace {

TEST(BgraToI420, KnownColoursBlockMeansAndBottomUpRows) {
  constexpr int kW = 4, kH = 4;
  // Stored bottom row first: shown rows 0-1 are white | red, rows 2-3 black | a 2 × 2 block
  // of blue and green pixels.
  auto pixel = [](int x, int y) -> std::vector<uint8_t> {
    if (y < 2) return x < 2 ? std::vector<uint8_t>{255, 255, 255, 255} : std::vector<uint8_t>{0, 0, 255, 255};
    if (x < 2) return {0, 0, 0, 255};
    return (x + y) % 2 ? std::vector<uint8_t>{255, 0, 0, 255} : std::vector<uint8_t>{0, 255, 0, 255};
  };
  std::vector<uint8_t> stored;
  for (int y = kH - 1; y >= 0; --y)
    for (int x = 0; x < kW; ++x)
      for (uint8_t c : pixel(x, y)) stored.push_back(c);
  uint8_t y[kW * kH], u[4], v[4];
  BgraToI420(stored.data() + (kH - 1) * kW * 4, -kW * 4, kW, kH, y, kW, u, 2, v, 2);
  // Luma: white 235, red 63, black 16, blue 32, green 173.
  EXPECT_EQ(y[0], 235);
  EXPECT_EQ(y[3], 63);
  EXPECT_EQ(y[8], 16);
  EXPECT_EQ(y[2 * kW + 3], 32);  // (3, 2): blue
  EXPECT_EQ(y[2 * kW + 2], 173);  // (2, 2): green
  // Chroma of white and black: grey; of red: Cb 102, Cr 240.
  EXPECT_EQ(u[0], 128);
  EXPECT_EQ(v[0], 128);
  EXPECT_EQ(u[2], 128);
  EXPECT_EQ(v[2], 128);
  EXPECT_EQ(u[1], 102);
  EXPECT_EQ(v[1], 240);
  // Blue and green half and half: the mean of Cb 240 and 42, of Cr 118 and 26.
  EXPECT_EQ(u[3], 141);
  EXPECT_EQ(v[3], 72);
}

}  // namespace
}  // namespace zem
