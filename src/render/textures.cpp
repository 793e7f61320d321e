#include "render/textures.h"

#include <algorithm>
#include <cstring>

#include "foundation/assert.h"
#include "foundation/clock.h"
#include "render/screen.h"

namespace zem {

TCustomTexture::TCustomTexture(T3DScreen* screen, int32_t width, int32_t height, int format, bool staged)
    : screen_(screen), width_(width), height_(height), format_(format), staged_(staged) {
  ZEM_ASSERT(screen != nullptr);
  ZEM_ASSERT(width > 0 && height > 0 && width <= 16384 && height <= 16384);
  // Render targets are made at their own size: a target no larger than what is drawn into it
  // is cleared and sampled whole (the rasterizer's fast full clears).
  const bool target = IsRenderTargetFormat(format);
  alloc_w_ = target ? width : std::max(32, NextPow2(width));
  alloc_h_ = target ? height : std::max(32, NextPow2(height));
  if (staged_) staging_.assign(StagingBytes(), 0);
  screen_->RegisterObject(this);
}

TCustomTexture::~TCustomTexture() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  screen_->UnregisterObject(this);
  device_.reset();
}

bool TCustomTexture::HasDeviceTexture() const {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  return device_ != nullptr;
}

T3DTexture* TCustomTexture::DeviceTexture() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  T3DRenderer* r = screen_->Renderer();
  if (!r || r->State() != T3DRenderer::kUsable) return nullptr;
  if (!device_) {
    if (staged_) {
      // Pixels released after an earlier upload and then lost with the device: whoever owns
      // the texture gives them again.
      std::lock_guard<std::mutex> s(staging_lock_);
      if (staging_.empty()) return nullptr;
    }
    device_ = r->CreateTexture(alloc_w_, alloc_h_, format_, this);
    if (!device_) return nullptr;
    std::lock_guard<std::mutex> s(staging_lock_);
    dirty_ = staged_ && !staging_.empty();
  }
  if (staged_) {
    std::lock_guard<std::mutex> s(staging_lock_);
    if (dirty_ && !locked_) {
      const double start = TimeGetTimeExact();
      struct TNote {
        T3DScreen* screen;
        double start;
        ~TNote() { screen->NoteUpload(TimeGetTimeExact() - start); }
      } note{screen_, start};
      int64_t pitch = int64_t(alloc_w_) * BytesPerTexel(format_);
      if (device_->Upload({0, 0, alloc_w_, alloc_h_}, staging_.data(), pitch)) {
        dirty_ = false;
        if (anisotropic && !nearest && format_ == kFmtArgb32) UploadMipChain();
        if (release_staging) std::vector<uint8_t>().swap(staging_);
      }
    }
  }
  return device_.get();
}

void TCustomTexture::UploadMipChain() {
  // Halved row by row from the staging copy: far cheaper here than the device's own
  // generation on a software rasterizer. Drawing thread, staging lock held.
  static thread_local std::vector<uint8_t> a, b;
  const uint8_t* src = staging_.data();
  int64_t pitch = int64_t(alloc_w_) * 4;
  int32_t w = alloc_w_, h = alloc_h_;
  for (int level = 1; w > 1 || h > 1; ++level) {
    const int32_t nw = TBitmap::ReducedSide(w, 1), nh = TBitmap::ReducedSide(h, 1);
    std::vector<uint8_t>& dst = (level & 1) ? a : b;
    dst.resize(size_t(nw) * nh * 4);
    HalvePixels(src, pitch, w, h, TPixelFormat::Argb32, dst.data(), int64_t(nw) * 4);
    if (!device_->UploadMip(level, dst.data(), int64_t(nw) * 4)) return;
    src = dst.data();
    pitch = int64_t(nw) * 4;
    w = nw;
    h = nh;
  }
}

void TCustomTexture::DropDeviceObject() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  if (!device_) return;
  device_.reset();
  DeviceCopyLost();
}

bool TCustomTexture::PixelsLost() const {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  std::lock_guard<std::mutex> s(staging_lock_);
  return staged_ && !device_ && staging_.empty() && !locked_;
}

void TCustomTexture::ReleaseStaging() {
  std::lock_guard<std::mutex> s(staging_lock_);
  if (!locked_) std::vector<uint8_t>().swap(staging_);
}

uint8_t* TCustomTexture::LockStaging(int64_t& pitch) {
  std::lock_guard<std::mutex> s(staging_lock_);
  if (!staged_ || locked_) return nullptr;
  if (staging_.empty()) staging_.resize(StagingBytes());  // released after an earlier upload
  locked_ = true;
  pitch = int64_t(alloc_w_) * BytesPerTexel(format_);
  return staging_.data();
}

void TCustomTexture::UnlockStaging(bool changed) {
  {
    std::lock_guard<std::mutex> s(staging_lock_);
    ZEM_ASSERT(locked_);
    locked_ = false;
    if (changed) dirty_ = true;
  }
  if (changed) screen_->QueueUpload(this);
}

void TCustomTexture::SetPixels(const uint8_t* data, int64_t pitch) {
  int64_t own = 0;
  uint8_t* p = LockStaging(own);
  ZEM_ASSERT(p != nullptr);
  int64_t n = std::min(own, pitch);
  for (int32_t y = 0; y < alloc_h_; ++y) std::memcpy(p + y * own, data + y * pitch, size_t(n));
  UnlockStaging(true);
}

T3DSurface* TRenderTargetTexture::Surface() {
  std::lock_guard<std::recursive_mutex> g(DeviceMutex());
  T3DTexture* t = DeviceTexture();
  return t ? t->Surface() : nullptr;
}

TRenderTargetManager::TRenderTargetManager(T3DScreen* screen, int32_t width, int32_t height, bool alpha)
    : screen_(screen), width_(std::max(1, width)), height_(std::max(1, height)), alpha_(alpha) {}

TRenderTargetManager::~TRenderTargetManager() = default;

void TRenderTargetManager::SetSize(int32_t width, int32_t height) {
  int32_t w = std::max(1, width), h = std::max(1, height);
  if (w == width_ && h == height_) return;
  width_ = w;
  height_ = h;
  free_.clear();
}

std::unique_ptr<TRenderTargetTexture> TRenderTargetManager::Take() {
  if (!free_.empty()) {
    auto t = std::move(free_.back());
    free_.pop_back();
    return t;
  }
  return std::make_unique<TRenderTargetTexture>(screen_, width_, height_, alpha_);
}

void TRenderTargetManager::Return(std::unique_ptr<TRenderTargetTexture> t) {
  ZEM_ASSERT(t != nullptr);
  ZEM_ASSERT(t->Width() == width_ && t->Height() == height_ && t->Alpha() == alpha_);
  free_.push_back(std::move(t));
}

}  // namespace zem
