// Simple horizontal text: lines of a system font laid out at a pixel size and filled with the
// outline rasterizer. Used for generated pictures such as the placeholder.
#pragma once
#include <map>
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/strings.h"
#include "resources/text/outline_rasterizer.h"
#include "resources/text/system_font.h"

namespace zem {

enum class TTextAlign : uint8_t { Left = 0, Center = 1, Right = 2 };

class TTextLines {
 public:
  // em_pixels: the font's design size in pixels. A missing font leaves the text empty.
  TTextLines(const std::string& face_name, uint8_t style, float em_pixels);
  bool HasFont() const { return font_ != nullptr; }

  float LineHeight() const;  // ascent + descent, pixels
  float Ascent() const;      // pixels
  float LineWidth(const WideString& line);
  // Adds the line's glyphs with its top-left corner (the line's ascent above the baseline) at (x, y).
  void AddLine(TOutlineRasterizer& r, const WideString& line, float x, float y);

  // Lays the lines out below each other inside `margin` pixels, draws them over `background`
  // in `color`, and returns the picture (32-bit).
  TBitmap Render(const std::vector<WideString>& lines, uint32_t color, uint32_t background, int32_t margin,
                 TTextAlign align = TTextAlign::Left);

 private:
  const TGlyphOutline* Glyph(char32_t c);

  std::shared_ptr<TSystemFont> font_;
  float scale_ = 0;  // pixels per design unit
  std::map<char32_t, TGlyphOutline> glyphs_;  // pointers into it stay valid
};

// Characters of a UTF-16 text (surrogate pairs joined).
std::u32string ToCodePoints(const WideString& text);

}  // namespace zem
