#include "resources/placeholder.h"

#include "resources/text/text_lines.h"

namespace zem {

namespace {
constexpr float kEmPixels = 20;
constexpr int32_t kMargin = 8;
}  // namespace

std::vector<WideString> PlaceholderLines(const WideString& name, TPlaceholderReason reason, TPlaceholderKind kind) {
  const bool video = kind == TPlaceholderKind::Video;
  WideString first = reason == TPlaceholderReason::NotFound ? (video ? u"Video not found:" : u"Image not found:")
                                                            : (video ? u"Video load error:" : u"Image load error:");
  size_t slash = name.find_last_of(u"\\/");
  WideString file = slash == WideString::npos ? name : name.substr(slash + 1);
  WideString folder = slash == WideString::npos ? WideString() : name.substr(0, slash);
  return {first, file, u"Path:", folder};
}

TBitmap MakePlaceholderBitmap(const WideString& name, TPlaceholderReason reason, TPlaceholderKind kind) {
  TTextLines text("Arial", 0, kEmPixels);
  TBitmap out = text.Render(PlaceholderLines(name, reason, kind), kPlaceholderTextColor,
                            kPlaceholderBackgroundColor, kMargin);
  if (out.Empty()) {
    out.Allocate(64, 64, TPixelFormat::Argb32);
    out.Fill(kPlaceholderBackgroundColor);
  }
  return out;
}

TRef<TBitmapStore> MakePlaceholderStore(const WideString& name, TPlaceholderReason reason, TPlaceholderKind kind) {
  return TRef<TBitmapStore>(new TPlaceholderStore(MakePlaceholderBitmap(name, reason, kind), reason));
}

}  // namespace zem
