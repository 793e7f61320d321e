// Small scenes drawn headless and compared with the reference pictures in golden/.
#include <cmath>

#include "drawer_support.h"

namespace zem::test {
namespace {

constexpr uint32_t kGrey = 0xFF404040u;

TVec3 Rot(float deg, float len = 1) {
  float r = deg * 3.14159265f / 180.0f;
  return {std::cos(r) * len, std::sin(r) * len, 0};
}

class GoldenScenes : public ::testing::Test {
 protected:
  TDrawerRig rig{80, 60};
  // A frame: grey background, then `children` drawn as nested items.
  TBitmap Scene(std::vector<TDrawItem*> children) {
    TFnItem root([&](TDeviceDrawer& d) {
      d.Clear(kGrey, true);
      for (TDrawItem* c : children) d.DrawItem(c);
    });
    return rig.Render(root);
  }
};

TEST_F(GoldenScenes, BoxOfEachFillStyle) {
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem boxes([](TDeviceDrawer& d) {
    for (int s = 0; s < 9; ++s) {
      TBoxParams p;
      p.fillStyle = uint8_t(s);
      p.colour1 = 0xFFFF0000u;
      p.colour2 = 0xFF0000FFu;
      p.width = 22;
      p.height = 16;
      p.opacity = s == 8 ? 50 : 100;  // the solid one half transparent
      d.DrawBox({float(3 + (s % 3) * 26), float(3 + (s / 3) * 19), 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
    }
  });
  TBitmap b = Scene({&boxes});
  // Style 0: colour 1 at the top left, colour 2 at the bottom right.
  EXPECT_LE(ChannelDiff(Px(b, 3, 3), 0xFFFF0000u), 24);
  EXPECT_LE(ChannelDiff(Px(b, 24, 18), 0xFF0000FFu), 24);
  // Style 8 at half opacity over grey: (255 + 64) / 2 red.
  EXPECT_LE(ChannelDiff(Px(b, 65, 46), 0xFF9F2020u), 3);
  ExpectGolden(b, "boxes");
}

TEST_F(GoldenScenes, FrameWithAntialiasedEdges) {
  ZEM_REQUIRE_DRAWER(rig);
  TFnItem frame([](TDeviceDrawer& d) {
    d.DrawFrame({10, 8, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}, {4, 3}, {60, 44}, 0xFFFFC000u, 100, true);
    // A border width of 0 draws nothing.
    d.DrawFrame({30, 20, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}, {0, 3}, {20, 20}, 0xFF00FF00u, 100, true);
  });
  TBitmap b = Scene({&frame});
  EXPECT_EQ(Px(b, 12, 30), 0xFFFFC000u);  // left band
  EXPECT_EQ(Px(b, 40, 9), 0xFFFFC000u);   // top band
  EXPECT_EQ(Px(b, 40, 50), 0xFFFFC000u);  // bottom band
  EXPECT_EQ(Px(b, 67, 30), 0xFFFFC000u);  // right band
  EXPECT_EQ(Px(b, 40, 30), kGrey);        // inside, and no zero-width frame
  ExpectGolden(b, "frame");
}

TEST_F(GoldenScenes, ImageWithBorderAndCrop) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(48, 48);
  TFnItem image([&](TDeviceDrawer& d) {
    TImageParams p;
    p.sourceRect = {8, 8, 40, 32};  // 32 × 24 of the picture
    p.filtering = 1;
    // Content point (u, v) lands at P + X(u - ox): the crop's corner at (24, 18).
    d.DrawImage(pic.get(), {16, 10, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
    d.DrawFrame({20, 14, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0}, {4, 4}, {40, 32}, 0xFFFFFFFFu, 100, false);
  });
  TBitmap b = Scene({&image});
  EXPECT_LE(ChannelDiff(Px(b, 26, 20), 0xFFFFFFFFu), 2);  // picture pixel (10, 12)
  EXPECT_EQ(Px(b, 23, 30), 0xFFFFFFFFu);                  // the frame, over the picture
  EXPECT_EQ(Px(b, 15, 30), kGrey);                        // left of the crop
  ExpectGolden(b, "image_crop");
}

TEST_F(GoldenScenes, ImageBlurred) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(32, 32);
  TFnItem image([&](TDeviceDrawer& d) {
    TImageParams p;
    d.DrawImage(pic.get(), {24, 14, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  }, 50);  // radius 50 / 1000 × 80 = 4 pixels
  TBitmap b = Scene({&image});
  EXPECT_NE(std::find(rig.notifications.begin(), rig.notifications.end(), kDrawNotifyItemEffect),
            rig.notifications.end());
  // Blurred: the hard checker edge at x = 32 becomes a ramp, and colour spreads outside.
  EXPECT_GT(ChannelDiff(Px(b, 22, 30), kGrey), 8);
  ExpectGolden(b, "image_blur");
}

TEST_F(GoldenScenes, ImageSharpened) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(32, 32, 0xFFA0A0A0u, 0xFF606060u);
  TFnItem image([&](TDeviceDrawer& d) {
    d.DrawImage(pic.get(), {24, 14, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, TImageParams{});
  }, -100);  // amount 100 / 100 × 80 = 80
  TBitmap b = Scene({&image});
  // Next to an edge the bright side overshoots.
  EXPECT_GT((Px(b, 31, 16) >> 16) & 255, 0xA0u + 10);
  ExpectGolden(b, "image_sharpen");
}

TEST_F(GoldenScenes, ImageColorisedAndTextColoured) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(32, 32);
  TFnItem image([&](TDeviceDrawer& d) {
    TImageParams p;
    p.coloriseAmount = 1;
    p.colourR = 255, p.colourG = 128, p.colourB = 0;
    d.DrawImage(pic.get(), {4, 14, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
    TImageParams t;
    t.textColouring = 1;
    t.colourR = 0, t.colourG = 255, t.colourB = 0;
    t.opacity = 50;
    d.DrawImage(pic.get(), {44, 14, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, t);
  });
  TBitmap b = Scene({&image});
  // Text colour: white square × green at half opacity over grey.
  EXPECT_LE(ChannelDiff(Px(b, 46, 16), 0xFF209F20u), 3);
  ExpectGolden(b, "image_colorise");
}

TEST_F(GoldenScenes, MaskedViewport) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(64, 48);
  TFnItem mask([](TDeviceDrawer& d) {
    TBoxParams p;
    p.fillStyle = 6;  // opaque on the left, transparent on the right
    p.colour1 = 0xFFFFFFFFu;
    p.colour2 = 0x00FFFFFFu;
    p.width = 50;
    p.height = 30;
    d.DrawBox({15, 15, 0}, {0, 0}, {1, 0, 0}, {0, 1, 0}, p);
  });
  TFnItem masked([&](TDeviceDrawer& d) {
    TMaskedLayer layer;
    layer.image = pic.get();
    layer.position = {8, 6, 0};
    layer.axisX = {1, 0, 0};
    layer.axisY = {0, 1, 0};
    d.DrawMasked(&mask, std::span<const TMaskedLayer>(&layer, 1), nullptr);
  });
  TBitmap b = Scene({&masked});
  EXPECT_EQ(Px(b, 10, 10), kGrey);                            // outside the mask
  EXPECT_LE(ChannelDiff(Px(b, 17, 20), 0xFFFFFFFFu), 12);      // mask opaque: the picture
  EXPECT_LE(ChannelDiff(Px(b, 63, 20), kGrey), 12);            // mask transparent
  ExpectGolden(b, "masked");
}

TEST_F(GoldenScenes, NestedTransformsWithRotationAndDepth) {
  ZEM_REQUIRE_DRAWER(rig);
  auto pic = Checker(32, 32);
  TFnItem inner([&](TDeviceDrawer& d) {
    // Tilted into depth: the far edge (z > 0) is drawn smaller.
    d.DrawImage(pic.get(), {40, 30, 0}, {16, 16}, {1, 0, 0}, {0, 0.7f, 0.7f}, TImageParams{});
  });
  TFnItem outer([&](TDeviceDrawer& d) {
    TBoxParams p;
    p.colour1 = 0xFF20C040u;
    p.width = 30;
    p.height = 10;
    d.DrawBox({40, 30, 0}, {15, 5}, Rot(30), Rot(120), p);
    d.SetOffset(-20, 0);
    d.DrawItem(&inner);
    d.SetOffset(0, 0);
  });
  TBitmap b = Scene({&outer});
  ExpectGolden(b, "nested_transforms");
}

}  // namespace
}  // namespace zem::test
