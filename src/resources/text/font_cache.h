// Where the outlines of a text come from: the process-wide font cache (glyph outlines per font
// name) and the vector texts built over it.
//
// A show may carry its vector texts ("VectTxt2: ...") and the outlines of their fonts
// ("VectTextCache: " + name); a text found there is drawn with the outlines it was made with,
// even where its font is not installed. Otherwise the text is laid out from an installed font
// (fontconfig + FreeType) and those outlines join the cache under the font's name. The cache
// belongs to one show: a different show identity ("ExeGUID") empties it.
//
// Threads: any; the cache has its own lock, a glyph cache another. Glyph caches and vector texts
// are shared read-only objects (an emptied cache leaves them alive for their users).
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "foundation/strings.h"
#include "resources/text/system_font.h"
#include "resources/text/vector_text.h"

namespace zem {

class TFileAccessor;

// The size (in the units of a vector text) at which texts are laid out from installed fonts.
inline constexpr float kSystemFontSize = 2048;

// "Arial", "Arial Bold", "Arial Italic", "Arial Bold Italic": the glyph font name of a face
// in a style (underline and strike-out do not change outlines).
WideString SystemFontName(WideView face, uint8_t style);

// One font's glyph outlines by glyph index.
class TGlyphCache {
 public:
  // `system`: the installed font that answers missing glyphs; null for stored outlines.
  TGlyphCache(WideString name, std::shared_ptr<TSystemFont> system);
  const WideString& Name() const { return name_; }
  bool Stored() const { return system_ == nullptr; }
  // The outline of a glyph, or null; a system font's glyphs are made on first use. The result
  // stays valid as long as the cache lives.
  const TGlyphOutline* Glyph(uint16_t index);
  void Add(TGlyphOutline glyph);
  // Every glyph held, by index (for writing the cache into a package).
  std::vector<const TGlyphOutline*> Glyphs() const;

 private:
  WideString name_;
  std::shared_ptr<TSystemFont> system_;
  mutable std::mutex lock_;
  std::unordered_map<uint16_t, TGlyphOutline> glyphs_;  // node-based: pointers stay valid
};

// A vector text with the outline of every glyph it places.
struct TResolvedText {
  TVectorText text;
  std::vector<std::shared_ptr<TGlyphCache>> caches;      // one per font of `text`
  std::vector<std::vector<const TGlyphOutline*>> glyphs;  // per line and glyph; null: none
  bool stored = false;                                    // came from the show
  size_t GlyphCount() const { return text.GlyphCount(); }
};

class TFontCache {
 public:
  static TFontCache& Instance();

  // A show identity other than the one held empties the cache.
  void SetShowIdentity(const WideString& id);
  // The identity of a show's files: its "ExeGUID" member, or (without one) its file source.
  static WideString ShowIdentity(const TFileAccessor& files);
  void Clear();

  // The vector text of lines in a font and style: the show's stored one when it has a readable
  // one whose every glyph is in the show's stored outlines, else one laid out from an installed
  // font. Null only when no font is installed at all. Remembered by name.
  std::shared_ptr<const TResolvedText> VectorText(const TFileAccessor* files, WideView font, uint8_t style,
                                                  const std::vector<WideString>& lines);
  // The same for the name of a stored vector text ("VectTxt2: " + font + ":" + style + ":" +
  // quoted lines), as text pictures ask for it.
  std::shared_ptr<const TResolvedText> VectorTextByName(const TFileAccessor* files, WideView name);

  // The installed font's glyph cache for a face and style (made on first use).
  std::shared_ptr<TGlyphCache> SystemCache(WideView face, uint8_t style);
  // The stored glyph cache of a font name: loaded once from "VectTextCache: " + name; null
  // when the show has none (or a damaged one, which is logged).
  std::shared_ptr<TGlyphCache> StoredCache(const TFileAccessor* files, const WideString& name);

  // Vector texts remembered at most, and their glyphs and name units together (the memo is
  // emptied when full).
  static constexpr size_t kMaxRemembered = 512;
  static constexpr size_t kMaxRememberedGlyphs = size_t(1) << 21;

 private:
  TFontCache() = default;
  std::shared_ptr<const TResolvedText> Build(const TFileAccessor* files, WideView font, uint8_t style,
                                             const std::vector<WideString>& lines, const WideString& name);
  std::shared_ptr<const TResolvedText> FromStored(const TFileAccessor* files, const WideString& name);

  std::mutex lock_;  // guards every field below, never held while a stream is read or a text built
  WideString identity_;
  bool hasIdentity_ = false;
  std::map<WideString, std::shared_ptr<TGlyphCache>> system_;
  std::map<WideString, std::shared_ptr<TGlyphCache>> stored_;  // null entries: the show has none
  std::unordered_map<WideString, std::shared_ptr<const TResolvedText>> texts_;
  size_t rememberedGlyphs_ = 0;
};

// Lays lines out from an installed font (no cache lookup); null when no font is installed.
std::shared_ptr<const TResolvedText> BuildSystemVectorText(WideView font, uint8_t style,
                                                           const std::vector<WideString>& lines);

// Reads a member whose name came from show text: false for names with a ".." component, which
// could reach outside a project folder.
bool ReadTextMember(const TFileAccessor& files, const WideString& name, std::vector<uint8_t>& out);

}  // namespace zem
