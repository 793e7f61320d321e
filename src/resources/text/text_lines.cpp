#include "resources/text/text_lines.h"

#include <algorithm>
#include <cmath>

namespace zem {

std::u32string ToCodePoints(const WideString& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      out.push_back(0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

TTextLines::TTextLines(const std::string& face_name, uint8_t style, float em_pixels)
    : font_(TSystemFont::Get(face_name, style)) {
  if (font_) scale_ = em_pixels / float(font_->Metrics().design_size);
}

float TTextLines::LineHeight() const {
  return font_ ? float(font_->Metrics().ascent + font_->Metrics().descent) * scale_ : 0;
}

float TTextLines::Ascent() const { return font_ ? float(font_->Metrics().ascent) * scale_ : 0; }

const TGlyphOutline* TTextLines::Glyph(char32_t c) {
  auto it = glyphs_.find(c);
  if (it != glyphs_.end()) return &it->second;
  TGlyphOutline outline;
  if (!font_ || !font_->Outline(font_->GlyphIndex(c), outline)) return nullptr;
  return &glyphs_.emplace(c, std::move(outline)).first->second;
}

float TTextLines::LineWidth(const WideString& line) {
  float w = 0;
  for (char32_t c : ToCodePoints(line))
    if (const TGlyphOutline* g = Glyph(c)) w += float(g->Advance()) * scale_;
  return w;
}

void TTextLines::AddLine(TOutlineRasterizer& r, const WideString& line, float x, float y) {
  const float baseline = y + Ascent();
  for (char32_t c : ToCodePoints(line)) {
    const TGlyphOutline* g = Glyph(c);
    if (!g) continue;
    r.AddPath(g->points, scale_, x, baseline);
    x += float(g->Advance()) * scale_;
  }
}

TBitmap TTextLines::Render(const std::vector<WideString>& lines, uint32_t color, uint32_t background, int32_t margin,
                           TTextAlign align) {
  float widest = 0;
  std::vector<float> widths;
  for (auto& l : lines) {
    widths.push_back(LineWidth(l));
    widest = std::max(widest, widths.back());
  }
  const float lh = LineHeight();
  int64_t w = int64_t(std::ceil(widest)) + 2 * int64_t(margin);
  int64_t h = int64_t(std::ceil(lh * float(lines.size()))) + 2 * int64_t(margin);
  TBitmap out;
  if (!out.Allocate(int32_t(std::clamp<int64_t>(w, 1, TBitmap::kMaxSide)),
                    int32_t(std::clamp<int64_t>(h, 1, TBitmap::kMaxSide)), TPixelFormat::Argb32))
    return out;
  out.Fill(background);
  TOutlineRasterizer r;
  for (size_t i = 0; i < lines.size(); ++i) {
    float x = float(margin);
    if (align == TTextAlign::Center) x += (widest - widths[i]) / 2;
    else if (align == TTextAlign::Right) x += widest - widths[i];
    AddLine(r, lines[i], x, float(margin) + lh * float(i));
  }
  r.Fill(out, color);
  return out;
}

}  // namespace zem
