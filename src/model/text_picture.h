// Text pictures as the drawer sees them, and the source that answers the generated-picture
// names of text: "Text: ..." (a text object's picture) and "TextWithSize:" (a stand-in of a
// given size). Equal names share one picture.
//
// Threads: a source is shared by the loader and the engine thread; its map has its own lock.
// Pictures are built on the thread that asks, outside the lock.
#pragma once
#include <map>
#include <mutex>
#include <vector>

#include "model/draw_interface.h"
#include "resources/text/text_layout.h"

namespace zem {

class TFileAccessor;

class TTextPicture : public TBitmapPicture {
 public:
  TTextPicture(TTextRaster raster, WideString name)
      : TBitmapPicture(std::move(raster.bitmap), std::move(name)),
        rects_(std::move(raster.glyphRects)),
        offset_(raster.glyphOffset) {}
  bool OwnTileTexture() const override { return true; }
  // Each glyph's cell in picture pixels (hit testing).
  const std::vector<TRectF>& GlyphRects() const { return rects_; }
  // Picture pixel of the laid-out bounds' top-left corner.
  TPointF GlyphOffset() const { return offset_; }
  bool HitGlyph(float px, float py) const;

 private:
  std::vector<TRectF> rects_;
  TPointF offset_;
};

class TTextPictureSource {
 public:
  static bool Handles(WideView name);
  // The picture of a text name (null for other names, or when it cannot be built). `files`
  // may be null: outlines then come from installed fonts.
  TRef<TDrawPicture> Get(const WideString& name, const TFileAccessor* files);
  size_t Count() const;

 private:
  // Forgets pictures nobody else holds. Lock held.
  void Prune();

  mutable std::mutex lock_;
  std::map<WideString, TRef<TDrawPicture>> pictures_;
  size_t added_ = 0;
};

}  // namespace zem
