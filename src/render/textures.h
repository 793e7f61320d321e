// Texture kinds of the screen and the render-target pool.
//
// Every texture keeps what survives a device loss on the CPU side: its size, format, sampling
// flags and (for picture textures) a staging copy of its pixels. The device texture is made on
// first use by the drawing thread and filled from the staging copy; it is dropped when the
// device goes and made again afterwards, so callers never re-upload anything themselves.
//
// Threads: staging memory may be written from any thread (loader, decoder) between
// LockStaging / UnlockStaging; device copies are touched only under DeviceMutex().
#pragma once
#include <memory>
#include <mutex>
#include <vector>

#include "render/device.h"

namespace zem {

class T3DScreen;

class TCustomTexture : public TObj, public TDeviceObject {
 public:
  // staged: keeps a CPU copy of the pixels (every kind except render targets).
  TCustomTexture(T3DScreen* screen, int32_t width, int32_t height, int format, bool staged);
  ~TCustomTexture() override;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t AllocWidth() const { return alloc_w_; }
  int32_t AllocHeight() const { return alloc_h_; }
  float InvWidth() const { return 1.0f / alloc_w_; }
  float InvHeight() const { return 1.0f / alloc_h_; }
  int Format() const { return format_; }
  bool HasAlpha() const { return format_ == kFmtArgb32 || format_ == kFmtTargetAlpha; }
  T3DScreen* Screen() const { return screen_; }

  // Sampling, read when the texture is drawn. `anisotropic` also gives an uploaded picture its
  // mip chain, so minified pictures filter without aliasing and the mip level bias counts.
  bool nearest = false;
  uint8_t address_u = kAddressClamp, address_v = kAddressClamp;
  bool anisotropic = false;
  float mip_bias = 0;
  bool premultiplied = false;  // colour already multiplied by alpha (blend source factor 1)
  bool opaque = false;         // every texel's alpha is 255 (drawn without blending)
  // The staging copy is freed once the device copy holds the pixels (pictures whose owner can
  // make them again); after a device loss the texture then has no pixels (PixelsLost).
  bool release_staging = false;
  TSamplerState Sampler() const { return {nearest, address_u, address_v, anisotropic, mip_bias}; }

  // Drawing thread, under DeviceMutex(): the device texture, made and filled on demand; none
  // while the device is not usable.
  T3DTexture* DeviceTexture();
  bool HasDeviceTexture() const;
  // Frees the device copy (the pixels stay); any thread.
  void DropDeviceObject() override;

  // Staging copy (alloc size, BytesPerTexel per texel): any thread. While locked the drawing
  // thread keeps using the previous device copy.
  uint8_t* LockStaging(int64_t& pitch);
  void UnlockStaging(bool changed = true);
  bool Staged() const { return staged_; }
  // A staged texture with neither a device copy nor pixels to make one from.
  bool PixelsLost() const;
  // Frees the staging copy now (a pooled tile between uses); LockStaging makes a new one.
  void ReleaseStaging();
  // Fills the whole staging copy at once (copies rows of `pitch` bytes).
  void SetPixels(const uint8_t* data, int64_t pitch);

 protected:
  // A device copy was dropped (the device went or the texture was invalidated).
  virtual void DeviceCopyLost() {}

 private:
  // Uploads levels 1.. made from the staging copy (32-bit textures).
  void UploadMipChain();
  size_t StagingBytes() const { return size_t(alloc_w_) * size_t(alloc_h_) * size_t(BytesPerTexel(format_)); }

  T3DScreen* screen_;
  int32_t width_, height_, alloc_w_, alloc_h_;
  int format_;
  bool staged_;
  mutable std::mutex staging_lock_;
  std::vector<uint8_t> staging_;  // guarded by staging_lock_
  bool dirty_ = false;            // guarded by staging_lock_
  bool locked_ = false;           // guarded by staging_lock_
  std::unique_ptr<T3DTexture> device_;  // under DeviceMutex()
};

// A tile of an image (32-bit ARGB).
class TTextureTile : public TCustomTexture {
 public:
  TTextureTile(T3DScreen* s, int32_t w, int32_t h) : TCustomTexture(s, w, h, kFmtArgb32, true) {}
};

// A pooled offscreen target.
class TRenderTargetTexture : public TCustomTexture {
 public:
  TRenderTargetTexture(T3DScreen* s, int32_t w, int32_t h, bool alpha)
      : TCustomTexture(s, w, h, alpha ? kFmtTargetAlpha : kFmtTarget, false) {}
  bool Alpha() const { return Format() == kFmtTargetAlpha; }
  // The render-target surface of the device copy (made on demand); none without a device.
  T3DSurface* Surface();
};

// Video planes (Part of the video surface): one 8-bit channel, 5-6-5 grey, packed ARGB.
class TYUVTextureOwner {
 public:
  virtual ~TYUVTextureOwner() = default;
  virtual void TextureLost() = 0;
};

class TVideoTexture : public TCustomTexture {
 public:
  TVideoTexture(T3DScreen* s, int32_t w, int32_t h, TYUVTextureOwner* owner, int format = kFmtLuminance8)
      : TCustomTexture(s, w, h, format, true), owner_(owner) {}

 protected:
  void DeviceCopyLost() override { if (owner_) owner_->TextureLost(); }

 private:
  TYUVTextureOwner* owner_;
};

class TGrayScaleTexture : public TVideoTexture {
 public:
  TGrayScaleTexture(T3DScreen* s, int32_t w, int32_t h, TYUVTextureOwner* owner)
      : TVideoTexture(s, w, h, owner, kFmtGrey565) {}
};

class TRGBATexture : public TVideoTexture {
 public:
  TRGBATexture(T3DScreen* s, int32_t w, int32_t h, TYUVTextureOwner* owner)
      : TVideoTexture(s, w, h, owner, kFmtArgb32) {}
};

// The box antialiaser's white texture.
class TBoxAntiTexture : public TCustomTexture {
 public:
  TBoxAntiTexture(T3DScreen* s, int32_t w, int32_t h) : TCustomTexture(s, w, h, kFmtArgb32, true) {}
};

// A pool of render targets of one size (the requested size: targets are made at their own
// size, so frame-sized ones are cleared and sampled whole).
class TRenderTargetManager {
 public:
  TRenderTargetManager(T3DScreen* screen, int32_t width, int32_t height, bool alpha);
  ~TRenderTargetManager();
  // Changing the size frees the free targets.
  void SetSize(int32_t width, int32_t height);
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  bool Alpha() const { return alpha_; }
  size_t FreeCount() const { return free_.size(); }
  std::unique_ptr<TRenderTargetTexture> Take();
  // The target must have the pool's size and alpha flag (a programming error otherwise).
  void Return(std::unique_ptr<TRenderTargetTexture> t);

 private:
  T3DScreen* screen_;
  int32_t width_, height_;
  bool alpha_;
  std::vector<std::unique_ptr<TRenderTargetTexture>> free_;
};

}  // namespace zem
