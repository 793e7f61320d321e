// Stored vector text: the two stream kinds a show package may carry (all numbers little-endian,
// texts UTF-16 code units), read with every count, length and point kind checked against the
// stream before use, and written for packages made here.
//
// "VectTxt2: " + font + ":" + style + ":" + lines (a laid-out text):
//   int32 line count; int32 ascent; int32 descent; float32 underline position, underline
//   thickness, strike-out position, strike-out thickness; per line: int32 glyph count, per glyph:
//   int32 x offset, float32 font size, uint16 glyph index, int32 name length k, k code units.
// "VectTextCache: " + font (the outlines of one font):
//   int32 glyph count g; int32 k and k code units of the font name; g records of uint16 glyph
//   index, int32 left bearing, black-box width, right bearing, ascent, descent, float32 design
//   size, int32 point count p, p points of float32 x, float32 y, int32 kind.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/strings.h"
#include "resources/text/system_font.h"

namespace zem {

// Limits that keep a damaged or hostile stream from asking for absurd work.
inline constexpr int64_t kMaxVectStreamBytes = int64_t(64) << 20;
inline constexpr int32_t kMaxVectFonts = 256;           // distinct glyph font names in one text
inline constexpr int32_t kMaxGlyphPoints = 1 << 20;     // points of one glyph outline
inline constexpr int32_t kMaxFontNameUnits = 1024;

// A laid-out text in the units of its font size; y grows downwards.
struct TVectorText {
  struct TGlyph {
    int32_t x = 0;         // offset within the line
    float size = 0;        // font size the glyph is placed at
    uint16_t index = 0;    // glyph index in its font
    uint16_t font = 0;     // into `fonts`
  };
  int32_t ascent = 0, descent = 0;
  // Above the baseline in the same units (an underline below it is negative).
  float underlinePos = 0, underlineThick = 0, strikeoutPos = 0, strikeoutThick = 0;
  std::vector<WideString> fonts;
  std::vector<std::vector<TGlyph>> lines;

  size_t GlyphCount() const;
};

// False with `error` set when the stream is damaged; `out` is then unspecified.
bool ReadVectorText(const uint8_t* data, size_t size, TVectorText& out, std::string* error = nullptr);
std::vector<uint8_t> WriteVectorText(const TVectorText& text);

// One font's outlines as stored.
struct TStoredGlyphCache {
  WideString name;
  std::vector<TGlyphOutline> glyphs;
};

// Checks that points form paths the rasterizer accepts: a path starts with a move, quadratic
// segments come in pairs and cubic ones in threes, an end is followed by a move, every kind is
// one of 0, 1, 2, 3, 9 and every coordinate is finite.
bool ValidPathPoints(const TPath& points);

bool ReadGlyphCache(const uint8_t* data, size_t size, TStoredGlyphCache& out, std::string* error = nullptr);
std::vector<uint8_t> WriteGlyphCache(const WideString& name, const std::vector<const TGlyphOutline*>& glyphs);

// The show's identity ("ExeGUID": int32 length and that many UTF-16 code units); false when
// damaged.
bool ReadExeGuid(const uint8_t* data, size_t size, WideString& out);
std::vector<uint8_t> WriteExeGuid(const WideString& guid);

}  // namespace zem
