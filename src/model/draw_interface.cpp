#include "model/draw_interface.h"

#include <atomic>

#include "foundation/assert.h"

namespace zem {

std::shared_ptr<const TBitmap> TDrawPicture::LevelPixels(int32_t level, int32_t, int32_t) const {
  const TBitmap* p = Pixels();
  if (!p || p->Empty()) return nullptr;
  // Level 0 of a 32-bit picture is its own pixels (the caller keeps the picture alive).
  if (level <= 0 && p->Format() == TPixelFormat::Argb32) return std::shared_ptr<const TBitmap>(p, [](const TBitmap*) {});
  return std::make_shared<const TBitmap>(ReduceBitmap(*p, level, TPixelFormat::Argb32));
}

bool TDeviceDrawer::SetOffset(float dx, float dy) {
  offset_ = {dx, dy};
  offsetActive_ = dx != 0 || dy != 0;
  return offsetActive_;
}

void TDeviceDrawer::SetViewport(const TRectI& designRect, const TPointI& designSize) {
  designRect_ = designRect;
  designSize_ = designSize;
}

void TDeviceDrawer::Notify(TDrawItem* item, int code) {
  ZEM_ASSERT(notify_);
  notify_(*this, item, code);
}

TRectI TDeviceDrawer::EffectiveDesignRect() const {
  if (designRect_.left < designRect_.right && designRect_.top < designRect_.bottom) return designRect_;
  return targetRect_;
}

TPointI TDeviceDrawer::EffectiveDesignSize() const {
  if (designSize_.x > 0 && designSize_.y > 0) return designSize_;
  return {targetRect_.Width(), targetRect_.Height()};
}

namespace {
std::atomic<bool> g_show_work_abandoned{false};
}  // namespace

void AbandonShowWork() { g_show_work_abandoned.store(true, std::memory_order_relaxed); }

bool ShowWorkAbandoned() { return g_show_work_abandoned.load(std::memory_order_relaxed); }

}  // namespace zem
