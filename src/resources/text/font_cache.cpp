#include "resources/text/font_cache.h"

#include <algorithm>
#include <cmath>

#include "foundation/log.h"
#include "package/file_accessor.h"
#include "resources/text/text_layout.h"
#include "resources/text/text_names.h"

namespace zem {

namespace {

// Log lines name texts by their first characters only.
std::string ShortName(WideView name) {
  constexpr size_t kMax = 120;
  if (name.size() <= kMax) return WideToUtf8(name);
  return WideToUtf8(name.substr(0, kMax)) + "...";
}

bool HasParentComponent(WideView name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == u'\\' || name[i] == u'/') {
      if (name.substr(start, i - start) == u"..") return true;
      start = i + 1;
    }
  }
  return false;
}

// "VectTxt2: " + font + ":" + style + ":" + quoted lines, read back.
bool ParseVectTextName(WideView name, WideString& font, uint8_t& style, std::vector<WideString>& lines) {
  const WideView prefix = kVectTextPrefix;
  if (name.substr(0, prefix.size()) != prefix) return false;
  WideView rest = name.substr(prefix.size());
  const size_t a = rest.find(u':');
  if (a == WideView::npos) return false;
  const size_t b = rest.find(u':', a + 1);
  if (b == WideView::npos) return false;
  font = WideString(rest.substr(0, a));
  style = ParseStyleText(rest.substr(a + 1, b - a - 1));
  WideView quoted = rest.substr(b + 1);
  if (quoted.size() >= 2 && quoted.front() == u'"' && quoted.back() == u'"') quoted = quoted.substr(1, quoted.size() - 2);
  lines = SplitTextLines(UnescapeCase(quoted));
  return true;
}

}  // namespace

WideString SystemFontName(WideView face, uint8_t style) {
  WideString name(face);
  if (style & kFontBold) name += u" Bold";
  if (style & kFontItalic) name += u" Italic";
  return name;
}

bool ReadTextMember(const TFileAccessor& files, const WideString& name, std::vector<uint8_t>& out) {
  if (HasParentComponent(name)) return false;
  return files.ReadWhole(WideToUtf8(name), out, kMaxVectStreamBytes);
}

// ---------------------------------------------------------------------------------------------
// Glyph cache

TGlyphCache::TGlyphCache(WideString name, std::shared_ptr<TSystemFont> system)
    : name_(std::move(name)), system_(std::move(system)) {}

const TGlyphOutline* TGlyphCache::Glyph(uint16_t index) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = glyphs_.find(index);
  if (it != glyphs_.end()) return &it->second;
  if (!system_) return nullptr;
  TGlyphOutline g;
  if (!system_->Outline(index, g)) return nullptr;
  return &glyphs_.emplace(index, std::move(g)).first->second;
}

void TGlyphCache::Add(TGlyphOutline glyph) {
  std::lock_guard<std::mutex> guard(lock_);
  const uint16_t index = glyph.index;
  glyphs_.insert_or_assign(index, std::move(glyph));
}

std::vector<const TGlyphOutline*> TGlyphCache::Glyphs() const {
  std::lock_guard<std::mutex> guard(lock_);
  std::vector<const TGlyphOutline*> out;
  out.reserve(glyphs_.size());
  for (const auto& [index, g] : glyphs_) out.push_back(&g);
  std::sort(out.begin(), out.end(), [](const TGlyphOutline* a, const TGlyphOutline* b) { return a->index < b->index; });
  return out;
}

// ---------------------------------------------------------------------------------------------
// Building from an installed font

std::shared_ptr<const TResolvedText> BuildSystemVectorText(WideView face, uint8_t style,
                                                           const std::vector<WideString>& lines) {
  const uint8_t outlineStyle = style & (kFontBold | kFontItalic);
  std::shared_ptr<TGlyphCache> cache = TFontCache::Instance().SystemCache(face, outlineStyle);
  std::shared_ptr<TSystemFont> font = TSystemFont::Get(WideToUtf8(face), outlineStyle);
  if (!cache || !font) return nullptr;
  const TFontMetrics& m = font->Metrics();
  const float k = kSystemFontSize / float(m.design_size);
  auto out = std::make_shared<TResolvedText>();
  TVectorText& t = out->text;
  t.ascent = int32_t(std::lround(m.ascent * k));
  t.descent = int32_t(std::lround(m.descent * k));
  t.underlinePos = m.underline_position * k;
  t.underlineThick = m.underline_thickness * k;
  t.strikeoutPos = m.strikeout_position * k;
  t.strikeoutThick = m.strikeout_thickness * k;
  t.fonts.push_back(cache->Name());
  out->caches.push_back(cache);
  t.lines.resize(lines.size());
  out->glyphs.resize(lines.size());
  struct TChar {
    uint16_t index;
    const TGlyphOutline* outline;
  };
  std::unordered_map<char32_t, TChar> chars;
  for (size_t i = 0; i < lines.size(); ++i) {
    double x = 0;
    auto& line = t.lines[i];
    auto& glyphs = out->glyphs[i];
    for (char32_t c : ToCodePoints(lines[i])) {
      if (c < 0x20 || c == 0x7F) continue;  // control characters take no room
      auto it = chars.find(c);
      if (it == chars.end()) {
        const uint16_t index = font->GlyphIndex(c);
        it = chars.emplace(c, TChar{index, cache->Glyph(index)}).first;
      }
      TVectorText::TGlyph g;
      g.x = int32_t(std::lround(std::clamp(x, -2e9, 2e9)));
      g.size = kSystemFontSize;
      g.index = it->second.index;
      line.push_back(g);
      glyphs.push_back(it->second.outline);
      if (it->second.outline) x += double(it->second.outline->Advance()) * k;
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// Font cache

TFontCache& TFontCache::Instance() {
  static TFontCache* cache = new TFontCache;  // lives to process end; users may hold its texts
  return *cache;
}

WideString TFontCache::ShowIdentity(const TFileAccessor& files) {
  std::vector<uint8_t> bytes;
  WideString guid;
  if (files.ReadWhole("ExeGUID", bytes, 1 << 16) && ReadExeGuid(bytes.data(), bytes.size(), guid) && !guid.empty())
    return guid;
  return u"source:" + Utf8ToWide(std::to_string(files.SourceId()));
}

void TFontCache::SetShowIdentity(const WideString& id) {
  std::lock_guard<std::mutex> guard(lock_);
  if (hasIdentity_ && id == identity_) return;
  if (hasIdentity_) {
    system_.clear();
    stored_.clear();
    texts_.clear();
    rememberedGlyphs_ = 0;
  }
  identity_ = id;
  hasIdentity_ = true;
}

void TFontCache::Clear() {
  std::lock_guard<std::mutex> guard(lock_);
  system_.clear();
  stored_.clear();
  texts_.clear();
  rememberedGlyphs_ = 0;
}

std::shared_ptr<TGlyphCache> TFontCache::SystemCache(WideView face, uint8_t style) {
  const WideString name = SystemFontName(face, style);
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = system_.find(name);
    if (it != system_.end()) return it->second;
  }
  std::shared_ptr<TSystemFont> font = TSystemFont::Get(WideToUtf8(face), style);
  if (!font) return nullptr;
  auto cache = std::make_shared<TGlyphCache>(name, font);
  std::lock_guard<std::mutex> guard(lock_);
  return system_.emplace(name, cache).first->second;  // another thread's, when it was quicker
}

std::shared_ptr<TGlyphCache> TFontCache::StoredCache(const TFileAccessor* files, const WideString& name) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = stored_.find(name);
    if (it != stored_.end()) return it->second;
  }
  std::shared_ptr<TGlyphCache> cache;
  std::vector<uint8_t> bytes;
  if (files && ReadTextMember(*files, kVectCachePrefix + name, bytes)) {
    TStoredGlyphCache data;
    std::string error;
    if (ReadGlyphCache(bytes.data(), bytes.size(), data, &error)) {
      cache = std::make_shared<TGlyphCache>(name, nullptr);
      for (auto& g : data.glyphs) cache->Add(std::move(g));
    } else {
      LogLine("TFontCache: damaged glyph cache \"" + ShortName(name) + "\" (" + error + ")");
    }
  }
  std::lock_guard<std::mutex> guard(lock_);
  return stored_.emplace(name, cache).first->second;
}

std::shared_ptr<const TResolvedText> TFontCache::FromStored(const TFileAccessor* files, const WideString& name) {
  std::vector<uint8_t> bytes;
  if (!files || !ReadTextMember(*files, name, bytes)) return nullptr;
  auto out = std::make_shared<TResolvedText>();
  std::string error;
  if (!ReadVectorText(bytes.data(), bytes.size(), out->text, &error)) {
    LogLine("TFontCache: damaged vector text \"" + ShortName(name) + "\" (" + error + "), using the system font");
    return nullptr;
  }
  for (const WideString& font : out->text.fonts) {
    std::shared_ptr<TGlyphCache> cache = StoredCache(files, font);
    if (!cache) {
      LogLine("TFontCache: no stored outlines of \"" + ShortName(font) + "\" for \"" + ShortName(name) +
              "\", using the system font");
      return nullptr;
    }
    out->caches.push_back(cache);
  }
  out->glyphs.resize(out->text.lines.size());
  for (size_t i = 0; i < out->text.lines.size(); ++i) {
    for (const auto& g : out->text.lines[i]) {
      const TGlyphOutline* outline = out->caches[g.font]->Glyph(g.index);
      if (!outline) {
        // A glyph index means something only in its own font: the whole text is laid out again.
        LogLine("TFontCache: glyph " + std::to_string(g.index) + " missing from the stored outlines of \"" +
                ShortName(out->text.fonts[g.font]) + "\", using the system font");
        return nullptr;
      }
      out->glyphs[i].push_back(outline);
    }
  }
  out->stored = true;
  return out;
}

std::shared_ptr<const TResolvedText> TFontCache::Build(const TFileAccessor* files, WideView font, uint8_t style,
                                                       const std::vector<WideString>& lines, const WideString& name) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = texts_.find(name);
    if (it != texts_.end()) return it->second;
  }
  std::shared_ptr<const TResolvedText> text = FromStored(files, name);
  if (!text) text = BuildSystemVectorText(font, style, lines);
  if (!text) return nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  const size_t glyphs = text->GlyphCount() + name.size();
  if (glyphs > kMaxRememberedGlyphs / 8) return text;  // a huge text is not worth keeping
  if (texts_.size() >= kMaxRemembered || rememberedGlyphs_ + glyphs > kMaxRememberedGlyphs) {
    texts_.clear();
    rememberedGlyphs_ = 0;
  }
  if (texts_.emplace(name, text).second) rememberedGlyphs_ += glyphs;
  return text;
}

std::shared_ptr<const TResolvedText> TFontCache::VectorText(const TFileAccessor* files, WideView font, uint8_t style,
                                                            const std::vector<WideString>& lines) {
  return Build(files, font, style, lines, VectTextStreamName(font, style, lines));
}

std::shared_ptr<const TResolvedText> TFontCache::VectorTextByName(const TFileAccessor* files, WideView name) {
  WideString font;
  uint8_t style = 0;
  std::vector<WideString> lines;
  if (!ParseVectTextName(name, font, style, lines)) return nullptr;
  return Build(files, font, style, lines, WideString(name));
}

}  // namespace zem
