// The picture that stands in for a missing or undecodable one: four lines of text ("Image not
// found:" or "Image load error:", the file name, "Path:", the folder) in yellow on blue, drawn by
// the text producer (text/text_layout.h) in the default font.
#pragma once
#include <vector>

#include "foundation/strings.h"
#include "resources/bitmap_store.h"

namespace zem {

enum class TPlaceholderReason : uint8_t { NotFound, LoadError };
enum class TPlaceholderKind : uint8_t { Image, Video };

constexpr uint32_t kPlaceholderTextColor = 0xFFFFFF00u;        // opaque yellow
constexpr uint32_t kPlaceholderBackgroundColor = 0xFF0000FFu;  // opaque blue

// Long names are shown by their start and end around an ellipsis, so a name of megabytes
// draws as quickly as a short one.
inline constexpr size_t kMaxPlaceholderNameUnits = 96;
WideString CapNameForDisplay(WideView name, size_t maxUnits = kMaxPlaceholderNameUnits);

// The four lines for a name (folders separated by "\" or "/"), file and folder capped.
std::vector<WideString> PlaceholderLines(const WideString& name, TPlaceholderReason reason,
                                         TPlaceholderKind kind = TPlaceholderKind::Image);
// The placeholder picture (32-bit); always a usable picture, also when no font is installed.
TBitmap MakePlaceholderBitmap(const WideString& name, TPlaceholderReason reason,
                              TPlaceholderKind kind = TPlaceholderKind::Image);
TRef<TBitmapStore> MakePlaceholderStore(const WideString& name, TPlaceholderReason reason,
                                        TPlaceholderKind kind = TPlaceholderKind::Image);

// A store whose picture is a placeholder (so callers can tell it from a decoded picture).
class TPlaceholderStore : public TWrapperBitmapStore {
 public:
  TPlaceholderStore(TBitmap bitmap, TPlaceholderReason reason)
      : TWrapperBitmapStore(std::move(bitmap)), reason_(reason) {}
  TPlaceholderReason Reason() const { return reason_; }

 private:
  TPlaceholderReason reason_;
};

}  // namespace zem
