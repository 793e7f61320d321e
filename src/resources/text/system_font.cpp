#include "resources/text/system_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <map>

namespace zem {

namespace {

// The FreeType library and the opened fonts, shared by the process.
struct TFontRegistry {
  std::mutex lock;
  FT_Library library = nullptr;
  std::map<std::string, std::shared_ptr<TSystemFont>> fonts;  // key: lower-case name + style
  TFontRegistry() { FT_Init_FreeType(&library); }
};

TFontRegistry& Fonts() {
  static TFontRegistry* r = new TFontRegistry;  // lives to process end: faces refer to it
  return *r;
}

// Metric-compatible stand-ins for the usual Windows faces, asked before fontconfig's own
// matching (which knows them too where its alias rules are installed).
std::string StandIn(const std::string& name) {
  static const std::pair<const char*, const char*> kTable[] = {
      {"arial", "Liberation Sans"},           {"helvetica", "Liberation Sans"},
      {"times new roman", "Liberation Serif"}, {"times", "Liberation Serif"},
      {"courier new", "Liberation Mono"},      {"courier", "Liberation Mono"},
      {"arial narrow", "Liberation Sans Narrow"}};
  std::string lower;
  for (char c : name) lower += char((c >= 'A' && c <= 'Z') ? c + 32 : c);
  for (const auto& [from, to] : kTable)
    if (lower == from) return to;
  return name;
}

// fontconfig: face name and style to a file and face index.
bool FindFontFile(const std::string& requested, uint8_t style, std::string& file, int& index, std::string& family) {
  const std::string name = StandIn(requested);
  // fontconfig keeps its configuration until FcFini; release it at process end.
  static const bool fini_registered = [] { return std::atexit([] { FcFini(); }) == 0; }();
  (void)fini_registered;
  FcPattern* pat = FcPatternCreate();
  if (!pat) return false;
  FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pat, FC_WEIGHT, (style & kFontBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pat, FC_SLANT, (style & kFontItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  bool ok = false;
  if (match) {
    FcChar8* f = nullptr;
    FcChar8* fam = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &f) == FcResultMatch && f) {
      file = reinterpret_cast<const char*>(f);
      index = 0;
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      if (FcPatternGetString(match, FC_FAMILY, 0, &fam) == FcResultMatch && fam)
        family = reinterpret_cast<const char*>(fam);
      ok = true;
    }
    FcPatternDestroy(match);
  }
  FcPatternDestroy(pat);
  return ok;
}

struct TDecompose {
  TPath* out;
};

int MoveTo(const FT_Vector* to, void* user) {
  auto* d = static_cast<TDecompose*>(user);
  d->out->push_back({float(to->x), float(-to->y), kPathMoveTo});
  return 0;
}
int LineTo(const FT_Vector* to, void* user) {
  static_cast<TDecompose*>(user)->out->push_back({float(to->x), float(-to->y), kPathLineTo});
  return 0;
}
int ConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
  auto* d = static_cast<TDecompose*>(user);
  d->out->push_back({float(c->x), float(-c->y), kPathQuadTo});
  d->out->push_back({float(to->x), float(-to->y), kPathQuadTo});
  return 0;
}
int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  auto* d = static_cast<TDecompose*>(user);
  d->out->push_back({float(c1->x), float(-c1->y), kPathCubicTo});
  d->out->push_back({float(c2->x), float(-c2->y), kPathCubicTo});
  d->out->push_back({float(to->x), float(-to->y), kPathCubicTo});
  return 0;
}

}  // namespace

std::shared_ptr<TSystemFont> TSystemFont::Get(const std::string& face_name, uint8_t style) {
  auto& reg = Fonts();
  std::string key;
  for (char c : face_name) key += char((c >= 'A' && c <= 'Z') ? c + 32 : c);
  key += ":" + std::to_string(style & (kFontBold | kFontItalic));
  std::lock_guard<std::mutex> guard(reg.lock);
  auto it = reg.fonts.find(key);
  if (it != reg.fonts.end()) return it->second;
  std::shared_ptr<TSystemFont> font;
  std::string file, family;
  int index = 0;
  if (reg.library && FindFontFile(face_name, style, file, index, family)) {
    font.reset(new TSystemFont);
    font->family_ = family;
    font->requested_style_ = style;
    if (!font->Open(file, index)) font.reset();
  }
  if (!font && StandIn(face_name) != "Liberation Sans" && reg.library &&
      FindFontFile("Arial", style, file, index, family)) {
    font.reset(new TSystemFont);
    font->family_ = family;
    font->requested_style_ = style;
    if (!font->Open(file, index)) font.reset();
  }
  reg.fonts[key] = font;
  return font;
}

bool TSystemFont::Open(const std::string& file, int index) {
  FT_Face face = nullptr;
  if (FT_New_Face(Fonts().library, file.c_str(), index, &face) != 0) return false;
  // Only outline (TrueType or OpenType) fonts serve; others are replaced by "Arial".
  if (!FT_IS_SCALABLE(face) || !FT_IS_SFNT(face) || face->units_per_EM == 0) {
    FT_Done_Face(face);
    return false;
  }
  face_ = face;
  embolden_ = (requested_style_ & kFontBold) && !(face->style_flags & FT_STYLE_FLAG_BOLD);
  oblique_ = (requested_style_ & kFontItalic) && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
  file_ = file;
  metrics_.design_size = face->units_per_EM;
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && (os2->usWinAscent || os2->usWinDescent)) {
    metrics_.ascent = os2->usWinAscent;
    metrics_.descent = os2->usWinDescent;
  } else {
    metrics_.ascent = face->ascender;
    metrics_.descent = -face->descender;
  }
  metrics_.underline_position = face->underline_position;
  metrics_.underline_thickness = face->underline_thickness;
  if (os2 && os2->version != 0xFFFF) {
    metrics_.strikeout_position = os2->yStrikeoutPosition;
    metrics_.strikeout_thickness = os2->yStrikeoutSize;
  } else {
    metrics_.strikeout_position = metrics_.ascent / 3.0f;
    metrics_.strikeout_thickness = face->underline_thickness;
  }
  return true;
}

TSystemFont::~TSystemFont() {
  if (face_) {
    std::lock_guard<std::mutex> guard(Fonts().lock);
    FT_Done_Face(static_cast<FT_Face>(face_));
  }
}

uint16_t TSystemFont::GlyphIndex(char32_t c) {
  std::lock_guard<std::mutex> guard(lock_);
  return uint16_t(FT_Get_Char_Index(static_cast<FT_Face>(face_), c));
}

bool TSystemFont::Outline(uint16_t glyph, TGlyphOutline& out) {
  std::lock_guard<std::mutex> guard(lock_);
  FT_Face face = static_cast<FT_Face>(face_);
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  out = TGlyphOutline();
  out.index = glyph;
  out.design_size = float(face->units_per_EM);
  out.ascent = metrics_.ascent;
  out.descent = metrics_.descent;
  int32_t a = int32_t(slot->metrics.horiBearingX), b = int32_t(slot->metrics.width);
  const int32_t advance = int32_t(slot->metrics.horiAdvance);
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points > 0) {
    // Styles the face lacks are made from its outlines, as the platform's font engine does;
    // the black box then follows the changed outline, the advance stays.
    if (embolden_) FT_Outline_EmboldenXY(&slot->outline, face->units_per_EM / 24, 0);
    if (oblique_) {
      FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // x += 0.2126 y (y up)
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (embolden_ || oblique_) {
      FT_BBox box;
      FT_Outline_Get_CBox(&slot->outline, &box);
      a = int32_t(box.xMin);
      b = int32_t(box.xMax - box.xMin);
    }
    FT_Outline_Funcs funcs{MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
    TDecompose d{&out.points};
    if (FT_Outline_Decompose(&slot->outline, &funcs, &d) != 0) out.points.clear();
  }
  out.left_bearing = a;
  out.black_width = b;
  out.right_bearing = advance - a - b;
  if (!out.points.empty()) {
    // Keep the outline inside its advance box: start at the left bearing, end at A + B.
    auto bounds = [&](float& lo, float& hi) {
      lo = hi = out.points[0].x;
      for (auto& p : out.points) { lo = std::min(lo, p.x); hi = std::max(hi, p.x); }
    };
    float minx, maxx;
    bounds(minx, maxx);
    if (a - minx > 0 && minx < maxx) {
      for (auto& p : out.points) p.x += a - minx;
      bounds(minx, maxx);
    }
    if (maxx - a - b > 0 && minx < maxx) {
      for (auto& p : out.points) p.x = minx + (p.x - minx) * (a + b - minx) / (maxx - minx);
    }
  }
  return true;
}

}  // namespace zem
