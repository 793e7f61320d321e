#include "resources/placeholder.h"

#include "resources/text/text_layout.h"

namespace zem {

namespace {
constexpr float kEmPixels = 20;
constexpr int32_t kMargin = 8;
}  // namespace

WideString CapNameForDisplay(WideView name, size_t maxUnits) {
  if (name.size() <= maxUnits || maxUnits < 3) return WideString(name);
  size_t head = (maxUnits - 1) / 2, tail = maxUnits - 1 - head;
  // Never split a surrogate pair.
  if (head > 0 && name[head - 1] >= 0xD800 && name[head - 1] < 0xDC00) --head;
  size_t from = name.size() - tail;
  if (from < name.size() && name[from] >= 0xDC00 && name[from] < 0xE000) ++from;
  return WideString(name.substr(0, head)) + u"\u2026" + WideString(name.substr(from));
}

std::vector<WideString> PlaceholderLines(const WideString& name, TPlaceholderReason reason, TPlaceholderKind kind) {
  const bool video = kind == TPlaceholderKind::Video;
  WideString first = reason == TPlaceholderReason::NotFound ? (video ? u"Video not found:" : u"Image not found:")
                                                            : (video ? u"Video load error:" : u"Image load error:");
  size_t slash = name.find_last_of(u"\\/");
  WideString file = slash == WideString::npos ? name : name.substr(slash + 1);
  WideString folder = slash == WideString::npos ? WideString() : name.substr(0, slash);
  return {first, CapNameForDisplay(file), u"Path:", CapNameForDisplay(folder)};
}

TBitmap MakePlaceholderBitmap(const WideString& name, TPlaceholderReason reason, TPlaceholderKind kind) {
  TBitmap out = RenderTextBlock(PlaceholderLines(name, reason, kind), u"Arial", kEmPixels, kPlaceholderTextColor,
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
