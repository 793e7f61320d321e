// Glyph outlines and metrics of an installed font (the stand-in for the platform's outline
// calls): fontconfig finds the font file for a face name and style ("Arial" resolves to a
// metric-compatible face), FreeType reads unhinted outlines at the font's design size, turned
// into path points with y growing downwards.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "resources/text/path.h"

namespace zem {

enum TFontStyleBits : uint8_t { kFontBold = 1, kFontItalic = 2, kFontUnderline = 4, kFontStrikeOut = 8 };

// Font-wide metrics in design units (y up for the positions, as the platform reports them).
struct TFontMetrics {
  int32_t design_size = 0;  // units per em
  int32_t ascent = 0, descent = 0;
  float underline_position = 0, underline_thickness = 0;
  float strikeout_position = 0, strikeout_thickness = 0;
};

// One glyph at the design size: advance = left bearing + black-box width + right bearing.
struct TGlyphOutline {
  uint16_t index = 0;
  int32_t left_bearing = 0, black_width = 0, right_bearing = 0;
  int32_t ascent = 0, descent = 0;
  float design_size = 0;
  TPath points;
  int32_t Advance() const { return left_bearing + black_width + right_bearing; }
};

class TSystemFont {
 public:
  // The font for a face name and style bits (bold, italic): the usual Windows faces through
  // metric-compatible stand-ins, others through fontconfig's matching; a face that is not an
  // outline font is replaced by "Arial". None when no font file is found. Fonts are opened
  // once per process and kept.
  static std::shared_ptr<TSystemFont> Get(const std::string& face_name, uint8_t style);
  ~TSystemFont();

  const std::string& FamilyName() const { return family_; }
  const std::string& FilePath() const { return file_; }
  const TFontMetrics& Metrics() const { return metrics_; }
  // Glyph index of a character (0 when the font lacks it).
  uint16_t GlyphIndex(char32_t c);
  // Outline of a glyph; false when FreeType cannot load it. Any thread.
  bool Outline(uint16_t glyph, TGlyphOutline& out);

 private:
  TSystemFont() = default;
  bool Open(const std::string& file, int index);

  std::string family_, file_;
  TFontMetrics metrics_;
  std::mutex lock_;  // FreeType faces are not thread-safe
  void* face_ = nullptr;  // FT_Face
  uint8_t requested_style_ = 0;
  bool embolden_ = false, oblique_ = false;  // styles the face file lacks
};

}  // namespace zem
