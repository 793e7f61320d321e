#include "render/tiling.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "foundation/assert.h"
#include "foundation/log.h"

namespace zem {

const TTileSize kTileSizes[6] = {{256, 256}, {128, 256}, {64, 256}, {256, 128}, {256, 64}, {64, 64}};

int ChooseTileSize(int32_t d, int32_t c) {
  int best = 0;
  int64_t best_useful = -1, best_waste = 0;
  for (int i = 0; i < 6; ++i) {
    int64_t useful = int64_t(std::min(d + 2, kTileSizes[i].w)) * std::min(c + 2, kTileSizes[i].h);
    int64_t waste = int64_t(kTileSizes[i].w) * kTileSizes[i].h - useful;
    if (useful > best_useful || (useful == best_useful && waste < best_waste)) {
      best = i;
      best_useful = useful;
      best_waste = waste;
    }
  }
  return best;
}

std::vector<TTilePlacement> LayoutTiles(const TIntRect& cell) {
  std::vector<TTilePlacement> out;
  int32_t y = cell.top;
  while (y < cell.bottom) {
    int32_t x = cell.left;
    int32_t row_h = INT_MAX;
    while (x < cell.right) {
      int idx = ChooseTileSize(cell.right - x, cell.bottom - y);
      const TTileSize& s = kTileSizes[idx];
      TTilePlacement p;
      p.size_index = idx;
      p.area = {x - 1, y - 1, x - 1 + s.w, y - 1 + s.h};
      p.useful = {x, y, std::min(x + s.w - 2, cell.right), std::min(y + s.h - 2, cell.bottom)};
      p.cell = cell;
      out.push_back(p);
      x += s.w - 2;
      row_h = std::min(row_h, s.h);
    }
    // Every tile of a row covers the row; the lowest one decides where the next row starts.
    y += row_h - 2;
  }
  return out;
}

TTextureManager6::TTextureManager6(T3DScreen* screen) : screen_(screen) { ZEM_ASSERT(screen != nullptr); }

TTextureManager6::~TTextureManager6() {
  // Raising here would end the process; the fault is logged instead.
  if (alive_ != 0) LogLine("Error: Multi Textures Count = " + std::to_string(alive_));
}

std::unique_ptr<TTextureTile> TTextureManager6::TakeTile(int size_index) {
  ZEM_ASSERT(size_index >= 0 && size_index < 6);
  {
    std::lock_guard<std::mutex> g(lock_);
    auto& pool = free_[size_index];
    if (!pool.empty()) {
      auto t = std::move(pool.back());
      pool.pop_back();
      return t;
    }
  }
  return std::make_unique<TTextureTile>(screen_, kTileSizes[size_index].w, kTileSizes[size_index].h);
}

void TTextureManager6::ReturnTile(int size_index, std::unique_ptr<TTextureTile> tile) {
  ZEM_ASSERT(size_index >= 0 && size_index < 6 && tile);
  ZEM_ASSERT(tile->Width() == kTileSizes[size_index].w && tile->Height() == kTileSizes[size_index].h);
  // A free tile keeps its device copy for the next picture, not its pixels; beyond a few the
  // tiles go (a large picture leaving must not keep its memory in the pool).
  tile->ReleaseStaging();
  tile->release_staging = false;
  std::unique_lock<std::mutex> g(lock_);
  if (free_[size_index].size() >= kMaxFreeTiles) {
    g.unlock();
    tile.reset();
    return;
  }
  free_[size_index].push_back(std::move(tile));
}

size_t TTextureManager6::FreeTiles(int size_index) const {
  std::lock_guard<std::mutex> g(lock_);
  return free_[size_index].size();
}

TMultiTexture6::TMultiTexture6(TTextureManager6* manager, const TBitmap& bitmap, int cols, int rows, bool nearest,
                               bool anisotropic)
    : nearest(nearest), anisotropic(anisotropic), manager_(manager), width_(bitmap.Width()), height_(bitmap.Height()) {
  ZEM_ASSERT(manager != nullptr && !bitmap.Empty());
  ZEM_ASSERT(cols >= 1 && rows >= 1 && cols <= width_ && rows <= height_);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      TIntRect cell{int32_t(int64_t(width_) * c / cols), int32_t(int64_t(height_) * r / rows),
                    int32_t(int64_t(width_) * (c + 1) / cols), int32_t(int64_t(height_) * (r + 1) / rows)};
      for (const TTilePlacement& p : LayoutTiles(cell)) tiles_.push_back({p, manager_->TakeTile(p.size_index)});
    }
  {
    std::lock_guard<std::mutex> g(manager_->lock_);
    ++manager_->alive_;
  }
  Fill(bitmap);
}

TMultiTexture6::~TMultiTexture6() {
  for (TTile& t : tiles_) manager_->ReturnTile(t.place.size_index, std::move(t.texture));
  std::lock_guard<std::mutex> g(manager_->lock_);
  --manager_->alive_;
}

void TMultiTexture6::ReleasePixelsAfterUpload() {
  for (TTile& t : tiles_) t.texture->release_staging = true;
}

bool TMultiTexture6::PixelsLost() const {
  for (const TTile& t : tiles_)
    if (t.texture->PixelsLost()) return true;
  return false;
}

void TMultiTexture6::SetSampling(bool nearest_filter, bool aniso, float mipBias) {
  nearest = nearest_filter;
  anisotropic = aniso;
  for (TTile& t : tiles_) {
    t.texture->nearest = nearest_filter;
    t.texture->anisotropic = aniso;
    t.texture->mip_bias = mipBias;
  }
}

void TMultiTexture6::Fill(const TBitmap& bitmap) {
  ZEM_ASSERT(bitmap.Width() == width_ && bitmap.Height() == height_);
  const TPixelFormat f = bitmap.Format();
  const int bpp = bitmap.BytesPerPixel();
  bool opaque = f != TPixelFormat::Argb32;
  uint8_t alpha = 255;
  for (TTile& t : tiles_) {
    t.texture->nearest = nearest;
    t.texture->anisotropic = anisotropic;
    int64_t pitch = 0;
    uint8_t* dst = t.texture->LockStaging(pitch);
    ZEM_ASSERT(dst != nullptr);
    const TIntRect& a = t.place.area;
    const TIntRect& cell = t.place.cell;
    const int32_t tw = t.texture->Width(), th = t.texture->Height();
    // Texel i is picture column a.left + i; columns outside the cell repeat its edge pixels.
    const int32_t i0 = std::clamp(cell.left - a.left, 0, tw), i1 = std::clamp(cell.right - a.left, i0, tw);
    for (int32_t j = 0; j < th; ++j) {
      const int32_t sy = std::clamp(a.top + j, cell.top, cell.bottom - 1);
      const uint8_t* row = bitmap.Row(sy);
      uint8_t* out = dst + j * pitch;
      if (i1 > i0) ConvertRow(row + int64_t(a.left + i0) * bpp, f, out + 4 * i0, TPixelFormat::Argb32, i1 - i0);
      if (f == TPixelFormat::Argb32 && a.top + j >= cell.top && a.top + j < cell.bottom)
        for (int32_t i = i0; i < i1; ++i) alpha &= out[4 * i + 3];
      uint32_t left, right;
      std::memcpy(&left, out + 4 * (i0 < i1 ? i0 : 0), 4);
      std::memcpy(&right, out + 4 * (i1 > i0 ? i1 - 1 : 0), 4);
      if (i1 == i0) {
        // A tile wholly beside its cell (cannot happen with LayoutTiles): the nearest edge.
        uint8_t px[4];
        ConvertRow(row + int64_t(a.left < cell.left ? cell.left : cell.right - 1) * bpp, f, px, TPixelFormat::Argb32, 1);
        std::memcpy(&left, px, 4);
        right = left;
      }
      for (int32_t i = 0; i < i0; ++i) std::memcpy(out + 4 * i, &left, 4);
      for (int32_t i = i1; i < tw; ++i) std::memcpy(out + 4 * i, &right, 4);
    }
    t.texture->UnlockStaging(true);
  }
  opaque_ = opaque || alpha == 255;
  for (TTile& t : tiles_) t.texture->opaque = opaque_;
}

void TMultiTexture6::Upload() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  for (TTile& t : tiles_) t.texture->DeviceTexture();
}

void TMultiTexture6::Draw(T3DScreen* screen, const TFloatRect& source, const TVec3& origin,
                          const TVec3& x_axis, const TVec3& y_axis, uint32_t color, bool antialiased) {
  TFloatRect src = source.Empty() ? TFloatRect{0, 0, float(width_), float(height_)} : source;
  uint32_t colors[4] = {color, color, color, color};
  for (TTile& t : tiles_) {
    const TIntRect& u = t.place.useful;
    TFloatRect r{std::max(src.left, float(u.left)), std::max(src.top, float(u.top)),
                 std::min(src.right, float(u.right)), std::min(src.bottom, float(u.bottom))};
    if (r.Empty()) continue;
    TVec3 c[4] = {origin + x_axis * r.left + y_axis * r.top, origin + x_axis * r.right + y_axis * r.top,
                  origin + x_axis * r.left + y_axis * r.bottom, origin + x_axis * r.right + y_axis * r.bottom};
    const TIntRect& a = t.place.area;
    TQuadTexture q{t.texture.get(), {r.left - a.left, r.top - a.top, r.right - a.left, r.bottom - a.top}};
    uint8_t edges = 0;
    if (antialiased) {
      if (r.left <= src.left) edges |= kEdgeLeft;
      if (r.top <= src.top) edges |= kEdgeTop;
      if (r.right >= src.right) edges |= kEdgeRight;
      if (r.bottom >= src.bottom) edges |= kEdgeBottom;
    }
    screen->DrawTexturedQuad(c, &q, 1, colors, edges);
  }
}

}  // namespace zem
