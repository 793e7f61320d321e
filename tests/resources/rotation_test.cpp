#include <gtest/gtest.h>

#include "resources/rotation.h"

namespace zem {
namespace {

// 3 x 2 picture whose pixel value encodes its position: 10 * y + x.
TBitmap Numbered(TPixelFormat f) {
  TBitmap b;
  b.Allocate(3, 2, f);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) b.SetPixel(x, y, 0xFF000000u | uint32_t(10 * y + x));
  return b;
}

int At(const TBitmap& b, int x, int y) { return int(b.GetPixel(x, y) & 0xFF); }

TEST(Rotation, OrientationValuesMapToTurns) {
  EXPECT_EQ(TransformForOrientation(1), TImageTransform::None);
  EXPECT_EQ(TransformForOrientation(3), TImageTransform::Rotate180);
  EXPECT_EQ(TransformForOrientation(6), TImageTransform::Rotate90CW);
  EXPECT_EQ(TransformForOrientation(8), TImageTransform::Rotate90CCW);
  EXPECT_EQ(TransformForOrientation(5), TImageTransform::None);
}

TEST(Rotation, TurnsMovePixelsAsTheirNamesSay) {
  for (TPixelFormat f : {TPixelFormat::Rgb24, TPixelFormat::Argb32}) {
    TBitmap b = Numbered(f);
    ApplyTransform(b, TImageTransform::Rotate180);
    EXPECT_EQ(At(b, 0, 0), 12);
    EXPECT_EQ(At(b, 2, 1), 0);
    EXPECT_EQ(At(b, 1, 0), 11);

    TBitmap cw = Numbered(f);
    ApplyTransform(cw, TImageTransform::Rotate90CW);
    ASSERT_EQ(cw.Width(), 2);
    ASSERT_EQ(cw.Height(), 3);
    // Clockwise: the bottom-left corner comes to the top-left.
    EXPECT_EQ(At(cw, 0, 0), 10);
    EXPECT_EQ(At(cw, 1, 0), 0);
    EXPECT_EQ(At(cw, 1, 2), 2);

    TBitmap ccw = Numbered(f);
    ApplyTransform(ccw, TImageTransform::Rotate90CCW);
    EXPECT_EQ(At(ccw, 0, 0), 2);
    EXPECT_EQ(At(ccw, 0, 2), 0);
    EXPECT_EQ(At(ccw, 1, 2), 10);
  }
  // A single row turned by 180 degrees reverses in place.
  TBitmap row;
  row.Allocate(3, 1, TPixelFormat::Rgb24);
  for (int x = 0; x < 3; ++x) row.SetPixel(x, 0, uint32_t(x));
  ApplyTransform(row, TImageTransform::Rotate180);
  EXPECT_EQ(At(row, 0, 0), 2);
  EXPECT_EQ(At(row, 2, 0), 0);
}

TEST(Rotation, LookupSwapsTheReportedSizeForQuarterTurns) {
  TTransformLookup lookup = [](const WideString& name) {
    return name == u"a.jpg" ? TImageTransform::Rotate90CCW : TImageTransform::None;
  };
  int32_t w = 30, h = 20;
  EXPECT_EQ(LookupTransform(&lookup, u"a.jpg", w, h), TImageTransform::Rotate90CCW);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 30);
  EXPECT_EQ(LookupTransform(&lookup, u"b.jpg", w, h), TImageTransform::None);
  EXPECT_EQ(w, 20);
  EXPECT_EQ(LookupTransform(nullptr, u"a.jpg", w, h), TImageTransform::None);
}

}  // namespace
}  // namespace zem
