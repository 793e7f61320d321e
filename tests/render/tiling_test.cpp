// Tile choice, placement, edge repetition and seamless drawing of pictures through tiles.
#include <gtest/gtest.h>

#include <random>

#include "render/texture_store.h"
#include "render/tiling.h"
#include "render_rig.h"

namespace zem::test {
namespace {

TEST(TileLayout, ThreeHundredByTwoHundredUsesTwoTiles) {
  auto tiles = LayoutTiles({0, 0, 300, 200});
  ASSERT_EQ(tiles.size(), 2u);
  // 256 × 256 for the first 254 columns, 64 × 256 for the remaining 46.
  EXPECT_EQ(tiles[0].size_index, 0);
  EXPECT_EQ(tiles[0].area, (TIntRect{-1, -1, 255, 255}));
  EXPECT_EQ(tiles[0].useful, (TIntRect{0, 0, 254, 200}));
  EXPECT_EQ(kTileSizes[tiles[1].size_index].w, 64);
  EXPECT_EQ(kTileSizes[tiles[1].size_index].h, 256);
  EXPECT_EQ(tiles[1].area, (TIntRect{253, -1, 317, 255}));
  EXPECT_EQ(tiles[1].useful, (TIntRect{254, 0, 300, 200}));
}

TEST(TileLayout, ChoiceFollowsUsefulAreaThenWaste) {
  // Every size gives 3 × 3 useful texels; 64 × 64 wastes least.
  EXPECT_EQ(ChooseTileSize(1, 1), 5);
  // 65 × 64 needed: 64 × 64 gives less; of the sizes giving 65 × 64, 256 × 64 wastes least.
  EXPECT_EQ(ChooseTileSize(63, 62), 4);
  // A wide strip of 48 rows: 256 × 64.
  EXPECT_EQ(ChooseTileSize(600, 46), 4);
  // Exactly one 256 × 256 tile fits 254 × 254 pixels.
  EXPECT_EQ(LayoutTiles({0, 0, 254, 254}).size(), 1u);
  auto t = LayoutTiles({0, 0, 255, 254});
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[1].size_index, 2);  // one column left: 64 × 256
  // 600 × 300: two rows of three (256, 256, 128 wide; then 64 high).
  auto big = LayoutTiles({0, 0, 600, 300});
  ASSERT_EQ(big.size(), 6u);
  int expect[6] = {0, 0, 1, 4, 4, 4};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(big[i].size_index, expect[i]) << i;
  EXPECT_EQ(big[3].area.top, 253);
}

TEST(TileLayout, TilesCoverEveryPixelOnceWithOverlap) {
  std::mt19937 rng(7);
  for (int n = 0; n < 40; ++n) {
    int32_t w = 1 + int32_t(rng() % 700), h = 1 + int32_t(rng() % 500);
    int32_t x0 = int32_t(rng() % 50), y0 = int32_t(rng() % 50);
    TIntRect cell{x0, y0, x0 + w, y0 + h};
    std::vector<uint8_t> hits(size_t(w) * h, 0);
    for (const TTilePlacement& t : LayoutTiles(cell)) {
      ASSERT_FALSE(t.useful.Empty());
      // The drawn part lies inside the tile with one texel to spare on every side.
      EXPECT_GE(t.useful.left, t.area.left + 1);
      EXPECT_GE(t.useful.top, t.area.top + 1);
      EXPECT_LE(t.useful.right, t.area.right - 1);
      EXPECT_LE(t.useful.bottom, t.area.bottom - 1);
      for (int32_t y = t.useful.top; y < t.useful.bottom; ++y)
        for (int32_t x = t.useful.left; x < t.useful.right; ++x) hits[size_t(y - y0) * w + (x - x0)]++;
    }
    for (size_t i = 0; i < hits.size(); ++i) ASSERT_EQ(hits[i], 1) << w << "x" << h << " pixel " << i;
  }
}

TBitmap Numbered(int32_t w, int32_t h, TPixelFormat f) {
  TBitmap b;
  b.Allocate(w, h, f);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b.SetPixel(x, y, 0xFF000000u | uint32_t((x * 7) & 255) << 16 | uint32_t((y * 5) & 255) << 8 |
                           uint32_t((x + y) & 255));
  return b;
}

class TiledPictures : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_ = std::make_unique<TRig>(320, 240);
    if (!rig_->Ok()) GTEST_SKIP() << "no OpenGL context";
    manager_ = std::make_unique<TTextureManager6>(rig_->screen.get());
  }
  void TearDown() override {
    manager_.reset();
    rig_.reset();
  }
  std::unique_ptr<TRig> rig_;
  std::unique_ptr<TTextureManager6> manager_;
};

TEST_F(TiledPictures, TilesRepeatEdgePixelsOutsideThePicture) {
  TBitmap pic = Numbered(300, 200, TPixelFormat::Rgb24);
  TMultiTexture6 mt(manager_.get(), pic);
  ASSERT_EQ(mt.Tiles().size(), 2u);
  for (const auto& t : mt.Tiles()) {
    int64_t pitch = 0;
    uint8_t* p = t.texture->LockStaging(pitch);
    ASSERT_NE(p, nullptr);
    for (int32_t j = 0; j < t.texture->Height(); j += 3)
      for (int32_t i = 0; i < t.texture->Width(); i += 3) {
        int32_t sx = std::clamp(t.place.area.left + i, 0, 299), sy = std::clamp(t.place.area.top + j, 0, 199);
        const uint8_t* q = p + j * pitch + i * 4;
        uint32_t got = uint32_t(q[3]) << 24 | uint32_t(q[2]) << 16 | uint32_t(q[1]) << 8 | q[0];
        ASSERT_EQ(got, pic.GetPixel(sx, sy)) << "texel " << i << "," << j;
      }
    t.texture->UnlockStaging(false);
  }
}

TEST_F(TiledPictures, SpriteCellsAreTiledApart) {
  TBitmap pic = Numbered(100, 60, TPixelFormat::Argb32);
  TMultiTexture6 mt(manager_.get(), pic, 2, 2);
  ASSERT_EQ(mt.Tiles().size(), 4u);
  for (const auto& t : mt.Tiles()) {
    EXPECT_EQ(t.place.cell.Width(), 50);
    EXPECT_EQ(t.place.cell.Height(), 30);
    EXPECT_EQ(t.place.useful, t.place.cell);
    // The first texel repeats the cell's own corner, not the neighbouring cell.
    int64_t pitch = 0;
    uint8_t* p = t.texture->LockStaging(pitch);
    uint32_t got = uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    EXPECT_EQ(got, pic.GetPixel(t.place.cell.left, t.place.cell.top));
    t.texture->UnlockStaging(false);
  }
}

TEST_F(TiledPictures, FreedPicturesReturnTilesToThePools) {
  TBitmap pic = Numbered(300, 200, TPixelFormat::Grey8);
  {
    TMultiTexture6 a(manager_.get(), pic);
    EXPECT_EQ(manager_->MultiTextureCount(), 1);
  }
  EXPECT_EQ(manager_->MultiTextureCount(), 0);
  EXPECT_EQ(manager_->FreeTiles(0), 1u);
  EXPECT_EQ(manager_->FreeTiles(2), 1u);
  TMultiTexture6 b(manager_.get(), pic);
  EXPECT_EQ(manager_->FreeTiles(0), 0u);
  EXPECT_EQ(manager_->FreeTiles(2), 0u);
}

TEST_F(TiledPictures, DrawnPictureHasNoSeams) {
  TBitmap pic = Numbered(300, 200, TPixelFormat::Rgb24);
  TMultiTexture6 mt(manager_.get(), pic);
  T3DScreen* s = rig_->screen.get();
  // 1:1 at (10, 20): every pixel is the picture's own.
  ASSERT_TRUE(s->BeginScene());
  s->Clear(0xFF000000, false);
  mt.Draw(s, {}, {10, 20, 0}, {1, 0, 0}, {0, 1, 0}, 0xFFFFFFFF, false);
  TBitmap shot;
  ASSERT_TRUE(s->CopyToBitmap(shot));
  s->EndScene();
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) ASSERT_EQ(shot.GetPixel(x + 10, y + 20), pic.GetPixel(x, y)) << x << "," << y;

  // Magnified by 1.05 with bilinear filtering, the tiles must match one big texture.
  TCustomTexture whole(s, 300, 200, kFmtArgb32, true);
  {
    int64_t pitch = 0;
    uint8_t* p = whole.LockStaging(pitch);
    for (int32_t j = 0; j < whole.AllocHeight(); ++j)
      for (int32_t i = 0; i < whole.AllocWidth(); ++i) {
        uint32_t c = pic.GetPixel(std::min(i, 299), std::min(j, 199));
        std::memcpy(p + j * pitch + i * 4, &c, 4);
      }
    whole.UnlockStaging(true);
  }
  TBitmap tiled, ref;
  TVec3 o{3.3f, 2.7f, 0}, X{1.05f, 0, 0}, Y{0, 1.05f, 0};
  ASSERT_TRUE(s->BeginScene());
  s->Clear(0xFF000000, false);
  mt.Draw(s, {}, o, X, Y, 0xFFFFFFFF, false);
  ASSERT_TRUE(s->CopyToBitmap(tiled));
  s->Clear(0xFF000000, false);
  TVec3 c[4] = {o, o + X * 300, o + Y * 200, o + X * 300 + Y * 200};
  uint32_t white[4] = {~0u, ~0u, ~0u, ~0u};
  TQuadTexture q{&whole, {0, 0, 300, 200}};
  s->DrawTexturedQuad(c, &q, 1, white);
  ASSERT_TRUE(s->CopyToBitmap(ref));
  s->EndScene();
  int worst = 0;
  for (int32_t y = 4; y < 210; ++y)
    for (int32_t x = 4; x < 315; ++x)
      for (int sh = 0; sh < 24; sh += 8)
        worst = std::max(worst, std::abs(int((tiled.GetPixel(x, y) >> sh) & 255) - int((ref.GetPixel(x, y) >> sh) & 255)));
  EXPECT_LE(worst, 2);
}

TEST(TextureStore, KeysAndEntries) {
  EXPECT_EQ(TTextureStore2::MakeKey(1, 4, 2, false), "MultiTexID: 1:4:2:False");
  EXPECT_EQ(TTextureStore2::MakeKey(0, 1, 1, true), "MultiTexID: 0:1:1:True");
  TRig rig(32, 32);
  if (!rig.Ok()) GTEST_SKIP() << "no OpenGL context";
  TTextureManager6 manager(rig.screen.get());
  {
    TTextureStore2 store;
    TBitmap pic = Numbered(40, 30, TPixelFormat::Argb32);
    std::string k = TTextureStore2::MakeKey(0, 1, 1, false);
    EXPECT_EQ(store.Find(k), nullptr);
    TMultiTexture6* a = store.Add(k, std::make_unique<TMultiTexture6>(&manager, pic));
    EXPECT_EQ(store.Find(k), a);
    EXPECT_EQ(store.Find("MultiTexID: 0:1:1:false"), nullptr);  // exact comparison
    store.Add(TTextureStore2::MakeKey(1, 1, 1, false), std::make_unique<TMultiTexture6>(&manager, pic));
    EXPECT_EQ(store.Count(), 2u);
    EXPECT_EQ(manager.MultiTextureCount(), 2);
    store.Clear();
    EXPECT_EQ(manager.MultiTextureCount(), 0);
  }
}

}  // namespace
}  // namespace zem::test
