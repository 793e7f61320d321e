// Image tiling: pictures are drawn from tiles of six fixed sizes, pooled per size.
// TTextureManager6 owns the pools; TMultiTexture6 covers one bitmap (or each cell of a sprite
// sheet) with tiles that overlap by two pixels, so bilinear filtering is seamless across tile
// borders, and repeats the edge pixels outside the picture so borders never bleed.
//
// Threads: the manager's pools are guarded by its own lock; a multi-texture is made and filled
// on any thread (loader) and drawn on the drawing thread (the drawer's resource lock keeps the
// two apart).
#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "foundation/bitmap.h"
#include "render/screen.h"

namespace zem {

struct TTileSize {
  int32_t w, h;
};
// Width × height: 256×256, 128×256, 64×256, 256×128, 256×64, 64×64.
extern const TTileSize kTileSizes[6];

// The tile size for a remaining piece of d × c pixels (needing (d + 2) × (c + 2) texels): the
// largest useful area, then the least waste, then the first in order.
int ChooseTileSize(int32_t d, int32_t c);

// Where one tile lies on the picture.
struct TTilePlacement {
  int size_index = 0;
  TIntRect area;    // picture pixels the tile's texels cover (from one left of / above the piece)
  TIntRect useful;  // the part this tile draws
  TIntRect cell;    // the sprite cell (or the whole picture) it belongs to
};
// The tiles covering a cell of a picture, rows from the top.
std::vector<TTilePlacement> LayoutTiles(const TIntRect& cell);

class TTextureManager6 {
 public:
  // Free tiles kept per size for the next pictures (a 256 × 256 tile is 256 KiB of device
  // memory, a third more with its mip chain).
  static constexpr size_t kMaxFreeTiles = 32;
  explicit TTextureManager6(T3DScreen* screen);
  // Multi-textures still alive are a programming error; it is logged as
  // "Error: Multi Textures Count = " and the count.
  ~TTextureManager6();
  T3DScreen* Screen() const { return screen_; }
  std::unique_ptr<TTextureTile> TakeTile(int size_index);
  void ReturnTile(int size_index, std::unique_ptr<TTextureTile> tile);
  size_t FreeTiles(int size_index) const;
  int MultiTextureCount() const { return alive_; }

 private:
  friend class TMultiTexture6;
  T3DScreen* screen_;
  mutable std::mutex lock_;
  std::vector<std::unique_ptr<TTextureTile>> free_[6];  // guarded by lock_
  int alive_ = 0;                                        // guarded by lock_
};

class TMultiTexture6 {
 public:
  struct TTile {
    TTilePlacement place;
    std::unique_ptr<TTextureTile> texture;
  };

  // Covers the picture, divided into a sprite grid of cols × rows cells, with tiles and fills
  // their staging copies (the drawing thread uploads them, with their mip chains when
  // `anisotropic`).
  TMultiTexture6(TTextureManager6* manager, const TBitmap& bitmap, int cols = 1, int rows = 1,
                 bool nearest = false, bool anisotropic = false);
  ~TMultiTexture6();
  TMultiTexture6(const TMultiTexture6&) = delete;
  TMultiTexture6& operator=(const TMultiTexture6&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  const std::vector<TTile>& Tiles() const { return tiles_; }
  // Refills every tile from a picture of the same size, row by row.
  void Fill(const TBitmap& bitmap);
  // Sampling of every tile (drawing thread): nearest or linear, anisotropic minification from
  // the mip chain, the mip level bias.
  void SetSampling(bool nearest, bool anisotropic, float mipBias);
  // Every pixel of the picture is opaque (alpha 255).
  bool Opaque() const { return opaque_; }
  // The tiles free their pixels once uploaded (their owner can make the picture again); after
  // a device loss PixelsLost tells that it must.
  void ReleasePixelsAfterUpload();
  bool PixelsLost() const;
  // Uploads every tile now (drawing thread inside a scene, or with the device free).
  void Upload();

  // Draws the source rectangle (picture pixels; empty = all): picture point (u, v) lands at
  // origin + u·X + v·Y. Outer edges of the source are antialiased when asked.
  void Draw(T3DScreen* screen, const TFloatRect& source, const TVec3& origin, const TVec3& x_axis,
            const TVec3& y_axis, uint32_t color, bool antialiased);

  float opacity = 100;
  bool nearest = false;
  bool anisotropic = false;
  bool colorise = false;
  uint32_t colorise_color = 0;
  int border = 0;

 private:
  TTextureManager6* manager_;
  int32_t width_, height_;
  bool opaque_ = false;
  std::vector<TTile> tiles_;
};

}  // namespace zem
