// The text producer: lays the lines of a vector text out at a scale and rasterizes them into a
// picture, builds text pictures from their "Text: " names, and makes the other pictures made of
// text (the "TextWithSize:" stand-in and blocks of lines on a background).
//
// Layout at scale s: line i starts at x = 0, y = i x s x (ascent + descent) x (1 + spacing /
// 200); a line's extent is the union of its glyph boxes. The picture covers the laid-out bounds
// plus one pixel on each side.
//
// Threads: any; nothing here is shared except the font cache (own lock).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/bitmap.h"
#include "foundation/geometry.h"
#include "foundation/strings.h"
#include "resources/text/font_cache.h"
#include "resources/text/text_names.h"

namespace zem {

class TFileAccessor;

// Caps on a text picture: each side and the area.
inline constexpr double kMaxTextSide = 30000;
inline constexpr double kMaxTextArea = 10000000;

struct TTextLayout {
  struct TLine {
    float top = 0, bottom = 0;      // line box
    float baseline = 0;
    float shift = 0;                // added to every glyph x for the alignment
    float left = 0, right = 0;      // extent (shift included)
    float cellLeft = 0, cellRight = 0;  // from the first glyph's origin to the last one's advance
  };
  float scale = 1;
  std::vector<TLine> lines;
  TRectF bounds;  // union of the line extents
  float Width() const { return bounds.right - bounds.left; }
  float Height() const { return bounds.bottom - bounds.top; }
  float WidestLine() const;
};

TTextLayout LayoutText(const TResolvedText& text, float scale, int32_t lineSpacing, uint8_t align);

// Halves `scale` while the text would exceed a side or the area cap at it.
float CapTextScale(float scale, double naturalWidth, double naturalHeight);

struct TTextRaster {
  TBitmap bitmap;                  // 32-bit, straight alpha over transparent black
  std::vector<TRectF> glyphRects;  // picture pixels
  TPointF glyphOffset;             // picture pixel of the bounds' top-left corner
};

// Fills the laid-out glyphs (and the underline and strike-out bars of `style`) in `argb` over a
// picture of the bounds plus one pixel each side; line positions move by the phase. False when
// the picture cannot be allocated.
bool RasterizeText(const TResolvedText& text, const TTextLayout& layout, float phaseX, float phaseY, uint8_t style,
                   uint32_t argb, TTextRaster& out);

// Builds the picture a "Text: " name asks for (its stored vector text through `files`, else an
// installed font). False when the name does not parse or no font is installed.
bool BuildTextPicture(const TFileAccessor* files, WideView name, TTextRaster& out);

// The "TextWithSize:" stand-in: a dark grey field in a light grey border (2 % of the height)
// with "Text Zaglushka" centred, 90 % of the width or 20 % of the height, the smaller. Sizes are
// capped like text pictures.
TBitmap MakeTextWithSizePicture(int32_t width, int32_t height);
// Reads the size from a "TextWithSize:" name (two integers after the prefix); false otherwise.
bool ParseTextWithSizeName(WideView name, int32_t& width, int32_t& height);

// Lines of an installed font drawn in `argb` over `background` with `margin` pixels around, at
// `emPixels` per em (32-bit). Empty when no font is installed or the picture is too large.
TBitmap RenderTextBlock(const std::vector<WideString>& lines, WideView font, float emPixels, uint32_t argb,
                        uint32_t background, int32_t margin, uint8_t align = kAlignLeft);

// Characters of a UTF-16 text (surrogate pairs joined).
std::u32string ToCodePoints(WideView text);

}  // namespace zem
