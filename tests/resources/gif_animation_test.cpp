// Animated GIF strips built from small GIFs written here with giflib.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include "resources/gif_decoder.h"
#include "test_images.h"

namespace zem {
namespace {

struct TFrameSpec {
  int left, top, width, height;
  int color;        // palette index of the frame's pixels
  int disposal;     // 0..3
  int delay;        // hundredths of a second
  int transparent;  // palette index or -1
};

int WriteToVector(GifFileType* gif, const GifByteType* data, int n) {
  auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
  out->insert(out->end(), data, data + n);
  return n;
}

// Palette: 0 black, 1 red, 2 green, 3 blue; index 3 doubles as "transparent" where asked.
std::vector<uint8_t> BuildGif(int cw, int ch, const std::vector<TFrameSpec>& frames, int loop = -1) {
  std::vector<uint8_t> out;
  int err = 0;
  GifFileType* gif = EGifOpen(&out, WriteToVector, &err);
  EGifSetGifVersion(gif, true);
  GifColorType colors[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  ColorMapObject* map = GifMakeMapObject(4, colors);
  EGifPutScreenDesc(gif, cw, ch, 2, 0, map);
  if (loop >= 0) {
    EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0");
    uint8_t sub[3] = {1, uint8_t(loop & 255), uint8_t(loop >> 8)};
    EGifPutExtensionBlock(gif, 3, sub);
    EGifPutExtensionTrailer(gif);
  }
  for (const TFrameSpec& f : frames) {
    GraphicsControlBlock gcb{f.disposal, false, f.delay, f.transparent};
    GifByteType ext[4];
    size_t n = EGifGCBToExtension(&gcb, ext);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(n), ext);
    EGifPutImageDesc(gif, f.left, f.top, f.width, f.height, false, nullptr);
    std::vector<GifPixelType> line(size_t(f.width), GifPixelType(f.color));
    for (int y = 0; y < f.height; ++y) EGifPutLine(gif, line.data(), f.width);
  }
  EGifCloseFile(gif, &err);
  GifFreeMapObject(map);
  return out;
}

TGifResult Read(const std::vector<uint8_t>& file) {
  TGifResult r;
  EXPECT_TRUE(ReadGif(file.data(), file.size(), r));
  return r;
}

uint32_t Cell(const TGifResult& r, int cell, int x, int y) {
  return r.picture.GetPixel(cell * r.tiles->cell_width + x, y);
}

constexpr uint32_t kRed = 0xFFFF0000u, kBlue = 0xFF0000FFu, kGreen = 0xFF00FF00u;

TEST(GifStrip, DisposalTwoKeepsThePreviousRectangleTransparent) {
  // Frame 0: red square (10,10)-(30,30), disposal 2; frame 1: all transparent but a green dot.
  auto file = BuildGif(100, 50, {{10, 10, 20, 20, 1, 2, 0, -1}, {0, 0, 100, 50, 3, 0, 7, 3}, });
  TGifResult r = Read(file);
  ASSERT_TRUE(r.tiles);
  EXPECT_EQ(r.picture.Width(), 200);
  EXPECT_EQ(r.picture.Height(), 50);
  EXPECT_EQ(r.picture.Format(), TPixelFormat::Argb32);
  EXPECT_EQ(Cell(r, 0, 15, 15), kRed);
  EXPECT_EQ(Cell(r, 0, 5, 5) >> 24, 0u);
  EXPECT_EQ(Cell(r, 1, 15, 15) >> 24, 0u);  // inside the disposed rectangle: stays transparent
  EXPECT_EQ(Cell(r, 1, 10, 10) >> 24, 0u);
  EXPECT_EQ(Cell(r, 1, 29, 29) >> 24, 0u);
  // The same file with disposal 1 carries the square over.
  auto kept = BuildGif(100, 50, {{10, 10, 20, 20, 1, 1, 0, -1}, {0, 0, 100, 50, 3, 0, 7, 3}});
  TGifResult k = Read(kept);
  EXPECT_EQ(Cell(k, 1, 15, 15), kRed);
}

TEST(GifStrip, DisposalTwoFillsOutsideTheRectangleFromThePreviousCell) {
  auto file = BuildGif(100, 50,
                       {{0, 0, 100, 50, 3, 1, 10, -1},     // blue canvas, kept
                        {10, 10, 20, 20, 1, 2, 10, -1},    // red square, restore to background
                        {40, 0, 10, 10, 2, 0, 10, -1},     // green block
                        {0, 0, 1, 1, 3, 3, 10, 3},         // transparent dot, restore to previous
                        {0, 0, 1, 1, 3, 0, 10, 3}});
  TGifResult r = Read(file);
  ASSERT_TRUE(r.tiles);
  ASSERT_EQ(r.tiles->frame_count, 5);
  EXPECT_EQ(Cell(r, 1, 15, 15), kRed);
  EXPECT_EQ(Cell(r, 1, 5, 5), kBlue);         // from cell 0
  EXPECT_EQ(Cell(r, 2, 15, 15) >> 24, 0u);    // frame 1's rectangle
  EXPECT_EQ(Cell(r, 2, 5, 45), kBlue);
  EXPECT_EQ(Cell(r, 2, 45, 5), kGreen);
  EXPECT_EQ(Cell(r, 3, 45, 5), kGreen);       // disposal 0: from cell 2
  EXPECT_EQ(Cell(r, 3, 15, 15) >> 24, 0u);
  // Frame 3 has disposal 3: cell 4 takes from the last frame with disposal 1 (frame 0).
  EXPECT_EQ(Cell(r, 4, 45, 5), kBlue);
  EXPECT_EQ(Cell(r, 4, 15, 15), kBlue);
}

TEST(GifStrip, DelaysAverageAndLoopCount) {
  auto file = BuildGif(8, 4, {{0, 0, 8, 4, 1, 0, 0, -1}, {0, 0, 8, 4, 2, 0, 7, -1}});
  TGifResult r = Read(file);
  ASSERT_TRUE(r.tiles);
  EXPECT_EQ(r.tiles->delays, "50,70");  // 0 plays for 50 ms, 7 for 70 ms
  EXPECT_EQ(r.tiles->DelayList(), (std::vector<int32_t>{50, 70}));
  EXPECT_EQ(r.tiles->total_duration, 120);
  EXPECT_EQ(r.tiles->average_delay, 60);
  EXPECT_EQ(r.tiles->loop_count, 1);  // no loop extension
  EXPECT_EQ(r.tiles->columns, 2);
  EXPECT_EQ(r.tiles->rows, 1);
  EXPECT_EQ(r.tiles->cell_width, 8);
  EXPECT_EQ(r.tiles->cell_height, 4);
  EXPECT_EQ(Read(BuildGif(8, 4, {{0, 0, 8, 4, 1, 0, 0, -1}}, 3)).tiles->loop_count, 3);
  EXPECT_EQ(Read(BuildGif(8, 4, {{0, 0, 8, 4, 1, 0, 0, -1}}, 65535)).tiles->loop_count, 0);
  EXPECT_EQ(Read(BuildGif(8, 4, {{0, 0, 8, 4, 1, 0, 0, -1}}, 0)).tiles->loop_count, 0);
}

TEST(GifStrip, StillPictureIsTheFirstImageOnItsCanvas) {
  auto file = BuildGif(20, 10, {{5, 2, 4, 3, 1, 0, 0, -1}});
  TGifResult r = Read(file);
  EXPECT_FALSE(r.tiles);  // one image, no loop extension: not animated
  EXPECT_EQ(r.picture.Width(), 20);
  EXPECT_EQ(r.picture.GetPixel(6, 3), kRed);
  EXPECT_EQ(r.picture.GetPixel(0, 0) >> 24, 0u);
  // Through Decode with the store: no animation description, any transform applied.
  TBufferStream s(file.data(), int64_t(file.size()));
  TTransformLookup turn = [](const WideString&) { return TImageTransform::Rotate90CW; };
  auto store = Decode(s, u"still.gif", &turn);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->Width(), 10);
  EXPECT_EQ(store->Height(), 20);
}

TEST(GifStrip, ImagesOutsideTheCanvasAreClippedAndHugeOnesRefused) {
  // An image hanging over the right and bottom edges.
  auto file = BuildGif(20, 10, {{15, 5, 10, 10, 1, 0, 0, -1}, {0, 0, 1, 1, 2, 0, 0, -1}});
  TGifResult r = Read(file);
  ASSERT_TRUE(r.tiles);
  EXPECT_EQ(Cell(r, 0, 19, 9), kRed);
  EXPECT_EQ(Cell(r, 0, 14, 9) >> 24, 0u);
  // A 4 x 4 canvas with a 3000 x 3000 image: a decoding bomb, not a frame.
  auto bomb = BuildGif(4, 4, {{0, 0, 3000, 3000, 1, 0, 0, -1}});
  TGifResult b;
  EXPECT_FALSE(ReadGif(bomb.data(), bomb.size(), b));
  // A strip that would pass the picture limits stops at the frames that fit.
  std::vector<TFrameSpec> many(40, TFrameSpec{0, 0, 2000, 2, 1, 0, 0, -1});
  auto wide = BuildGif(2000, 2, many);
  TGifResult w = Read(wide);
  ASSERT_TRUE(w.tiles);
  EXPECT_EQ(w.tiles->frame_count, 32);  // 32 x 2000 <= 65535
}

}  // namespace
}  // namespace zem
