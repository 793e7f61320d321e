#include "render/yuv.h"

#include <algorithm>
#include <cstring>

#include "foundation/assert.h"
#include "render/screen.h"

namespace zem {

int32_t T3DYUVGL::PaddedSize(int32_t size) { return std::min(size + 8, NextPow2(size)); }

T3DYUVGL::T3DYUVGL(T3DScreen* screen, TVideoSurfaceOwner* owner, int32_t width, int32_t height, bool rgba,
               bool mask)
    : screen_(screen), owner_(owner), width_(width), height_(height), rgba_(rgba), mask_(mask) {
  ZEM_ASSERT(screen != nullptr);
  ZEM_ASSERT(width >= 2 && height >= 2 && width <= 8192 && height <= 8192);
  padded_w_ = PaddedSize(width);
  padded_h_ = PaddedSize(height);
  // 8-bit one-channel textures are always available on this device.
  bool programs = screen->ShaderLevel() != 0;
  if (programs && !mask && !rgba) {
    layout_ = TYUVLayout::Planar420;
    luma_ = std::make_unique<TVideoTexture>(screen, padded_w_, padded_h_, this);
    u_ = std::make_unique<TVideoTexture>(screen, padded_w_ / 2, padded_h_ / 2, this);
    v_ = std::make_unique<TVideoTexture>(screen, padded_w_ / 2, padded_h_ / 2, this);
  } else if (rgba && !mask) {
    layout_ = TYUVLayout::Rgba;
    rgba_tex_ = std::make_unique<TRGBATexture>(screen, padded_w_, padded_h_, this);
  } else if (mask) {
    layout_ = TYUVLayout::Gray;
    luma_ = std::make_unique<TVideoTexture>(screen, padded_w_, padded_h_, this);
  } else {
    layout_ = TYUVLayout::Grey565;
    grey_ = std::make_unique<TGrayScaleTexture>(screen, padded_w_, padded_h_, this);
  }
}

T3DYUVGL::~T3DYUVGL() { Close(); }

TVideoTexture* T3DYUVGL::TextureFor(int kind) const {
  switch (kind) {
    case kPlaneY: return luma_.get();
    case kPlaneU: return u_.get();
    case kPlaneV: return v_.get();
    case kPlaneGrey565: return grey_.get();
    default: return rgba_tex_.get();
  }
}

bool T3DYUVGL::OpenPlane(int kind, TYUVPlane& plane) {
  ZEM_ASSERT(kind >= 0 && kind <= 4);
  std::lock_guard<TMonitor> g(*this);
  TVideoTexture* t = TextureFor(kind);
  if (closed_ || !t || opened_[kind]) return false;
  int64_t pitch = 0;
  uint8_t* p = t->LockStaging(pitch);
  if (!p) return false;
  bool half = kind == kPlaneU || kind == kPlaneV;
  plane.width = half ? padded_w_ / 2 : padded_w_;
  plane.height = half ? padded_h_ / 2 : padded_h_;
  plane.pitch = pitch;
  plane.rows.resize(plane.height);
  for (int32_t y = 0; y < plane.height; ++y) plane.rows[y] = p + y * pitch;
  opened_[kind] = true;
  ++open_;
  return true;
}

bool T3DYUVGL::CommitPlane(int kind, TYUVPlane& plane) {
  ZEM_ASSERT(kind >= 0 && kind <= 4);
  std::lock_guard<TMonitor> g(*this);
  ZEM_ASSERT(open_ > 0 && opened_[kind]);
  TVideoTexture* t = TextureFor(kind);
  bool extend = !closed_ && kind <= kPlaneV && !plane.rows.empty();
  if (extend) {
    // Repeat the last column and the last row into the padding, so bilinear sampling at the
    // right and bottom edges reads picture pixels.
    bool half = kind != kPlaneY;
    int32_t w = half ? width_ / 2 : width_, h = half ? height_ / 2 : height_;
    int32_t W = plane.width, H = plane.height;
    w = std::clamp(w, 1, W);
    h = std::clamp(h, 1, H);
    for (int32_t y = 0; y < h; ++y) std::memset(plane.rows[y] + w, plane.rows[y][w - 1], size_t(W - w));
    for (int32_t y = h; y < H; ++y) std::memcpy(plane.rows[y], plane.rows[h - 1], size_t(W));
  }
  plane.rows.clear();
  t->UnlockStaging(!closed_);
  opened_[kind] = false;
  --open_;
  planes_done_.notify_all();
  return !closed_;
}

void T3DYUVGL::Invalidate() {
  {
    std::lock_guard<TMonitor> g(*this);
    // Each dropped copy reports through TextureLost; one report is enough.
    quiet_ = true;
    for (TCustomTexture* t : {static_cast<TCustomTexture*>(luma_.get()), static_cast<TCustomTexture*>(u_.get()),
                              static_cast<TCustomTexture*>(v_.get()), static_cast<TCustomTexture*>(rgba_tex_.get()),
                              static_cast<TCustomTexture*>(grey_.get())})
      if (t) t->DropDeviceObject();
    quiet_ = false;
  }
  PictureLost();
}

void T3DYUVGL::TextureLost() {
  lost_ = true;
  // Called under the device mutex: the binder (the frame extractor) only books the frame for
  // decoding again and never touches the device under its own lock.
  if (!quiet_) PictureLost();
}

void T3DYUVGL::Close() {
  {
    std::unique_lock<TMonitor> g(*this);
    if (closed_ && !luma_ && !u_ && !v_ && !rgba_tex_ && !grey_) return;
    closed_ = true;
    planes_done_.wait(g, [&] { return open_ == 0; });
    luma_.reset();
    u_.reset();
    v_.reset();
    rgba_tex_.reset();
    grey_.reset();
  }
  if (owner_) {
    owner_->SurfaceClosed(this);
    owner_ = nullptr;
  }
}

}  // namespace zem
