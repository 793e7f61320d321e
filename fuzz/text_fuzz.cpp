// Stored vector text from untrusted packages: "VectTxt2" streams (laid out) and "VectTextCache"
// glyph caches (their outlines filled), chosen by ZEM_FUZZ_KIND per target.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "resources/text/outline_rasterizer.h"
#include "resources/text/text_layout.h"

#ifndef ZEM_FUZZ_KIND
#define ZEM_FUZZ_KIND 0
#endif

namespace {

using namespace zem;

// A laid-out text with a stand-in outline for every glyph: layout and filling see every
// position and size the stream holds.
void FuzzVectorText(const uint8_t* data, size_t size) {
  TResolvedText t;
  if (!ReadVectorText(data, size, t.text)) return;
  static const TGlyphOutline kBox = [] {
    TGlyphOutline g;
    g.left_bearing = 50, g.black_width = 900, g.right_bearing = 50, g.ascent = 800, g.descent = 200;
    g.design_size = 1000;
    g.points = {{50, -800, kPathMoveTo}, {950, -800, kPathLineTo}, {950, 200, kPathQuadTo}, {50, 200, kPathQuadTo}};
    return g;
  }();
  for (const auto& line : t.text.lines) t.glyphs.emplace_back(line.size(), &kBox);
  const TTextLayout unit = LayoutText(t, 1, 0, kAlignCenter);
  // A small picture keeps each run quick; the caps are the same code as for full pictures.
  float s = CapTextScale(1, unit.Width(), unit.Height());
  while (double(s) * s * unit.Width() * unit.Height() > 40000 && s > 1e-30f) s /= 2;
  TTextRaster r;
  RasterizeText(t, LayoutText(t, s, 0, kAlignRight), 0.5f, -0.5f, kFontUnderline | kFontStrikeOut, 0xFFFFFFFFu, r);
}

void FuzzGlyphCache(const uint8_t* data, size_t size) {
  TStoredGlyphCache c;
  if (!ReadGlyphCache(data, size, c)) return;
  TBitmap b;
  b.Allocate(64, 64, TPixelFormat::Argb32);
  for (size_t i = 0; i < c.glyphs.size() && i < 16; ++i) {
    const TGlyphOutline& g = c.glyphs[i];
    TOutlineRasterizer r;
    r.SetBounds(64, 64);
    r.AddPath(g.points, 48 / g.design_size, 8, 56);
    r.Fill(b, 0xFFFFFFFFu);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (ZEM_FUZZ_KIND == 0) FuzzVectorText(data, size);
  else FuzzGlyphCache(data, size);
  return 0;
}
