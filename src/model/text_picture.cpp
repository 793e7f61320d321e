#include "model/text_picture.h"

namespace zem {

bool TTextPicture::HitGlyph(float px, float py) const {
  for (const TRectF& r : rects_)
    if (r.left <= px && px <= r.right && r.top <= py && py <= r.bottom) return true;
  return false;
}

bool TTextPictureSource::Handles(WideView name) {
  return name.substr(0, WideView(kTextPicturePrefix).size()) == kTextPicturePrefix ||
         name.substr(0, WideView(kTextWithSizePrefix).size()) == kTextWithSizePrefix;
}

size_t TTextPictureSource::Count() const {
  std::lock_guard<std::mutex> guard(lock_);
  return pictures_.size();
}

void TTextPictureSource::Prune() {
  for (auto it = pictures_.begin(); it != pictures_.end();)
    it = it->second->RefCount() == 1 ? pictures_.erase(it) : std::next(it);
}

TRef<TDrawPicture> TTextPictureSource::Get(const WideString& name, const TFileAccessor* files) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = pictures_.find(name);
    if (it != pictures_.end()) return it->second;
  }
  TRef<TDrawPicture> picture;
  int32_t w = 0, h = 0;
  if (ParseTextWithSizeName(name, w, h)) {
    TTextRaster raster;
    raster.bitmap = MakeTextWithSizePicture(w, h);
    if (!raster.bitmap.Empty()) picture = TRef<TDrawPicture>(new TTextPicture(std::move(raster), name));
  } else {
    TTextRaster raster;
    if (BuildTextPicture(files, name, raster)) picture = TRef<TDrawPicture>(new TTextPicture(std::move(raster), name));
  }
  if (!picture) return {};
  std::lock_guard<std::mutex> guard(lock_);
  // Pictures are shared while objects show them; the map alone keeps none alive for long.
  if (++added_ % 64 == 0) Prune();
  return pictures_.emplace(name, picture).first->second;  // another thread's, when it was quicker
}

}  // namespace zem
