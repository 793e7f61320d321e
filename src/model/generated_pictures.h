// The pictures a slide host makes itself: themed button pictures ("Button: "), drop shadows
// ("Shadow: ") and preset masks ("PresetedMask:"), each built once per name and shared while
// anyone shows it; and the button themes of the host, read once per name.
//
// Threads: one source is shared by the loader and the engine thread; its maps have one lock,
// held only to look up and insert. Pictures are built on the thread that asks, outside it.
#pragma once
#include <map>
#include <mutex>

#include "model/draw_interface.h"
#include "resources/generated/shadow_builder.h"

namespace zem {

class TButtonProducer;
class TZemSlideHost;

inline constexpr char16_t kButtonPrefix[] = u"Button: ";

// A picture made by the host: drawn from one full-size texture of its own.
class TGeneratedPicture : public TBitmapPicture {
 public:
  using TBitmapPicture::TBitmapPicture;
  bool OwnTileTexture() const override { return true; }
};

// The fields of a "Button: " name.
struct TButtonRequest {
  int32_t state = 0;  // 0 normal, 1 hover, 2 click
  int32_t width = 0;
  int32_t hue = 0, saturation = 0, lightness = 0;
  WideString theme;
};
WideString ButtonPictureName(const TButtonRequest& r);
bool ParseButtonPictureName(WideView name, TButtonRequest& out);

class TGeneratedPictures {
 public:
  TGeneratedPictures();
  ~TGeneratedPictures();
  TGeneratedPictures(const TGeneratedPictures&) = delete;
  TGeneratedPictures& operator=(const TGeneratedPictures&) = delete;

  static bool Handles(WideView name);
  // The picture of a generated name, or none when it cannot be made (a source picture that is
  // missing, a size refused, the host's continue test failing). Source pictures of shadows and
  // the theme files come through `host`.
  TRef<TDrawPicture> Get(const WideString& name, TZemSlideHost& host);
  // The theme of that name (compared without case), read on first use from the host's files
  // under its buttons folder; none when its "btn.ini" is missing.
  TRef<TButtonProducer> Theme(const WideString& name, TZemSlideHost& host);
  // Pictures held by name (tests).
  size_t Count() const;

 private:
  TRef<TDrawPicture> Build(const WideString& name, TZemSlideHost& host);
  void Prune();  // lock held

  mutable std::mutex lock_;
  std::map<WideString, TRef<TDrawPicture>> pictures_;
  std::map<WideString, TRef<TButtonProducer>> themes_;  // by lower-case name; none = missing
  size_t added_ = 0;
};

}  // namespace zem
