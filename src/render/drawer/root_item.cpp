#include "render/drawer/root_item.h"

#include <algorithm>

#include "model/slide_producer.h"
#include "model/transition_choice.h"
#include "render/drawer/drawer.h"
#include "transitions/draw_filter.h"

namespace zem {

void PaintBorder(TDeviceDrawer& drawer, uint32_t rgb) {
  TRectI clip;
  if (auto* d = dynamic_cast<T3DDrawer*>(&drawer)) {
    d->PaintBorder(rgb);
    return;
  }
  // Any other drawer: its requested clip rectangle stands for the frame's.
  TRectI target = drawer.GetTargetRect();
  clip = drawer.ClipRect().IsEmpty() ? target : drawer.ClipRect();
  TRectI inner{clip.left - 1, clip.top - 1, clip.right + 1, clip.bottom + 1};
  int32_t top = std::clamp(inner.top, target.top, target.bottom);
  int32_t bottom = std::clamp(inner.bottom, top, target.bottom);
  int32_t left = std::clamp(inner.left, target.left, target.right);
  int32_t right = std::clamp(inner.right, left, target.right);
  const TRectI bands[4] = {{target.left, target.top, target.right, top},
                           {target.left, top, left, bottom},
                           {right, top, target.right, bottom},
                           {target.left, bottom, target.right, target.bottom}};
  for (const TRectI& b : bands)
    if (!b.IsEmpty()) drawer.ClearRect(0xFF000000u | (rgb & 0x00FFFFFFu), b);
}

void TRootItem::SetItem(size_t index, TDrawItem* item) {
  if (items_.size() <= index) items_.resize(index + 1, nullptr);
  items_[index] = item;
  if (index >= previous_.size() || previous_[index] != item) changed_ = true;
}

void TRootItem::SetFilter(TZemFilter* filter) {
  filter_ = filter;
  if (filter && filter->progressTime != lastProgress_) {
    changed_ = true;
    lastProgress_ = filter->progressTime;
  }
}

bool TRootItem::Compose(TDrawContainer* const* containers, int32_t count, TDrawItem* overlay,
                        std::optional<double> time) {
  previous_ = std::move(items_);
  items_.clear();
  filter_ = nullptr;
  changed_ = false;
  transitionRunning_ = false;
  if (!containers || count <= 0) return false;
  auto clock = [&](TDrawContainer* c) {
    if (time) return *time;
    return c->timing ? c->timing->current.load() : 0.0;
  };
  int32_t newest = -1;
  for (int32_t i = count - 1; i >= 0; --i) {
    TDrawContainer* c = containers[i];
    if (c && clock(c) >= c->info.start) {
      newest = i;
      break;
    }
  }
  if (newest < 0) return false;
  TDrawContainer* cur = containers[newest];
  TDrawContainer* older = nullptr;
  if (cur->transition && newest > 0 && containers[newest - 1]) {
    TDrawContainer* p = containers[newest - 1];
    double t = clock(p);
    if (t >= p->info.start && t <= p->info.end) older = p;
  }
  if (older) older->SetTime(clock(older));
  cur->SetTime(std::min(clock(cur), cur->info.end));

  TDrawItem* curItem = cur->slide.get();
  if (older && cur->transition->effectClass > 0) {
    SetItem(0, older->slide.get());
    SetItem(1, curItem);
    SetItem(2, overlay);
    SetFilter(cur->transition.get());
    transitionRunning_ = true;
  } else {
    SetItem(0, curItem);
    SetItem(1, overlay);
  }
  if (items_.size() != previous_.size()) changed_ = true;
  return true;
}

bool TRootItem::IsChanged() const {
  if (changed_ || TDrawItem::IsChanged()) return true;
  for (TDrawItem* i : items_)
    if (i && i->IsChanged()) return true;
  return false;
}

void TRootItem::Draw(TDeviceDrawer& drawer) {
  bool sharpen = sharpenAmount > 0;
  bool open = false;
  try {
    if (sharpen) {
      drawer.BeginOffscreen();
      open = true;
    }
    size_t n = items_.size();
    if (filter_ && n >= 2) {
      drawer.DrawTransition(items_[0], items_[1], filter_);
      for (size_t i = 2; i + 1 < n; ++i)
        if (items_[i]) drawer.DrawItem(items_[i]);
    } else {
      for (size_t i = 0; i + 1 < n; ++i)
        if (items_[i]) drawer.DrawItem(items_[i]);
    }
    if (sharpen) {
      open = false;
      drawer.EndOffscreen(sharpenThreshold, sharpenAmount);
    }
    // The overlay is never sharpened.
    if (n > 0 && items_.back())
      drawer.DrawItem(items_.back());
    else if (fillBorder_)
      PaintBorder(drawer, backgroundColour);
  } catch (...) {
    // The frame is presented as far as it got.
    if (open) {
      try {
        drawer.EndOffscreen(sharpenThreshold, sharpenAmount);
      } catch (...) {
      }
    }
  }
}

void TRootItem::FrameDone(TDeviceDrawer& drawer) {
  for (TDrawItem* i : items_)
    if (i) i->FrameDone(drawer);
  if (filter_)
    if (auto* f = dynamic_cast<TDrawFilter*>(filter_->filter.get())) f->FrameDone(drawer);
}

}  // namespace zem
