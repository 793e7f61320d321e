// Names of generated text pictures and stored vector texts.
//
// A text picture is asked for by "Text: " and twelve fields separated by ":" (font name, raster
// scale, sub-pixel phase x and y, style text, alignment, line spacing, blue, green, red, alpha,
// the quoted lines). Lines travel case-escaped: each run of characters that change under
// lower-case folding is enclosed in "<" ">", literal "<" and ">" are doubled, so names compared
// without case (picture cache, package members) still keep such texts apart.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/strings.h"

namespace zem {

inline constexpr char16_t kTextPicturePrefix[] = u"Text: ";
inline constexpr char16_t kTextWithSizePrefix[] = u"TextWithSize:";
inline constexpr char16_t kVectTextPrefix[] = u"VectTxt2: ";
inline constexpr char16_t kVectCachePrefix[] = u"VectTextCache: ";
// Lines of a text are joined by this pair in scripts and names.
inline constexpr char16_t kLineBreak[] = u"^&";

enum TTextAlignment : uint8_t { kAlignLeft = 0, kAlignCenter = 1, kAlignRight = 2 };

WideString EscapeCase(WideView line);
// Reads "<<" as "<", ">>" as ">" and "<...>" as the enclosed characters; stray brackets stay.
WideString UnescapeCase(WideView text);

// Set styles among "Bold", "Italic", "Underline", "StrikeOut" in that order, joined by ",".
WideString StyleText(uint8_t style);
// The comma-separated list back to style bits (names compared exactly, at most four items).
uint8_t ParseStyleText(WideView text);

// Fixed notation with at most six decimals, trailing zeros and point removed ("2", "0.5").
WideString FormatTextNumber(double v);

// The lines escaped, joined by "^&" and enclosed in double quotes.
WideString QuotedLines(const std::vector<WideString>& lines);
// "VectTxt2: " + font + ":" + style text + ":" + quoted lines.
WideString VectTextStreamName(WideView font, uint8_t style, const std::vector<WideString>& lines);

struct TTextPictureFields {
  WideString font = u"Arial";
  float scale = 1;
  float phaseX = 0, phaseY = 0;
  uint8_t style = 0;
  uint8_t align = kAlignCenter;
  int32_t lineSpacing = 0;
  uint8_t b = 255, g = 255, r = 255, a = 255;
  std::vector<WideString> lines;

  uint32_t Argb() const { return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b; }
};

WideString TextPictureName(const TTextPictureFields& fields);
// Reads a "Text: " name back (after removing the case escape); a field that does not parse
// keeps its default. False when the prefix is missing.
bool ParseTextPictureName(WideView name, TTextPictureFields& out);
// The stored vector text name a picture name asks for (field 11 still escaped); empty when the
// name is not a text picture name.
WideString VectTextNameOfPicture(WideView name);

// Splits at "^&"; every other "^" stays.
std::vector<WideString> SplitTextLines(WideView text);

}  // namespace zem
