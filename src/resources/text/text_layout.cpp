#include "resources/text/text_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "resources/text/outline_rasterizer.h"

namespace zem {

std::u32string ToCodePoints(WideView text) {
  std::u32string out;
  out.reserve(text.size());
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

float TTextLayout::WidestLine() const {
  float w = 0;
  for (const TLine& l : lines) w = std::max(w, l.right - l.left);
  return w;
}

TTextLayout LayoutText(const TResolvedText& t, float scale, int32_t lineSpacing, uint8_t align) {
  TTextLayout out;
  out.scale = scale;
  const double s = scale;
  const double lineHeight = double(t.text.ascent) + t.text.descent;
  const double step = s * lineHeight * (1 + lineSpacing / 200.0);
  out.lines.resize(t.text.lines.size());
  for (size_t i = 0; i < t.text.lines.size(); ++i) {
    TTextLayout::TLine& line = out.lines[i];
    const double top = double(i) * step;
    line.top = float(top);
    line.bottom = float(top + s * lineHeight);
    line.baseline = float(top + s * t.text.ascent);
    double left = std::numeric_limits<double>::max(), right = -left;
    double cl = left, cr = right;
    double up = line.top, down = line.bottom;
    const auto& glyphs = t.text.lines[i];
    for (size_t j = 0; j < glyphs.size(); ++j) {
      const TGlyphOutline* g = t.glyphs[i][j];
      const double x = s * glyphs[j].x;
      double adv = 0, lb = 0, bw = 0, asc = t.text.ascent, desc = t.text.descent;
      if (g) {
        const double k = glyphs[j].size / g->design_size;
        adv = g->Advance() * k;
        lb = g->left_bearing * k;
        bw = g->black_width * k;
        asc = g->ascent * k;
        desc = g->descent * k;
      }
      cl = std::min(cl, x);
      cr = std::max(cr, x + s * adv);
      left = std::min({left, x, x + s * lb});
      right = std::max({right, x + s * adv, x + s * (lb + bw)});
      up = std::min(up, double(line.baseline) - s * asc);
      down = std::max(down, double(line.baseline) + s * desc);
    }
    if (glyphs.empty()) left = right = cl = cr = 0;
    line.left = float(left);
    line.right = float(right);
    line.cellLeft = float(cl);
    line.cellRight = float(cr);
    line.top = float(up);
    line.bottom = float(down);
  }
  // Alignment: centred and right-aligned lines line up their extents within the widest one.
  const float widest = out.WidestLine();
  float minLeft = std::numeric_limits<float>::max();
  for (const auto& l : out.lines) minLeft = std::min(minLeft, l.left);
  bool first = true;
  for (auto& l : out.lines) {
    const float w = l.right - l.left;
    if (align == kAlignCenter) l.shift = (widest - w) / 2 + (minLeft - l.left);
    else if (align == kAlignRight) l.shift = (widest - w) + (minLeft - l.left);
    l.left += l.shift;
    l.right += l.shift;
    l.cellLeft += l.shift;
    l.cellRight += l.shift;
    if (first) out.bounds = {l.left, l.top, l.right, l.bottom};
    out.bounds = {std::min(out.bounds.left, l.left), std::min(out.bounds.top, l.top),
                  std::max(out.bounds.right, l.right), std::max(out.bounds.bottom, l.bottom)};
    first = false;
  }
  return out;
}

namespace {

// Adds every glyph's outline, a layout point (x, y) landing on picture pixel (x + ox, y + oy);
// collects the glyph cells when asked.
void AddGlyphPaths(TOutlineRasterizer& r, const TResolvedText& t, const TTextLayout& layout, float ox, float oy,
                   std::vector<TRectF>* rects) {
  const float s = layout.scale;
  for (size_t i = 0; i < layout.lines.size() && i < t.text.lines.size(); ++i) {
    const TTextLayout::TLine& line = layout.lines[i];
    const auto& glyphs = t.text.lines[i];
    for (size_t j = 0; j < glyphs.size(); ++j) {
      const TGlyphOutline* g = t.glyphs[i][j];
      if (!g) continue;
      const float k = glyphs[j].size / g->design_size;
      const float x = s * float(glyphs[j].x) + line.shift;
      r.AddPath(g->points, s * k, x + ox, line.baseline + oy);
      if (rects) rects->push_back({x + ox, line.top + oy, x + s * k * float(g->Advance()) + ox, line.bottom + oy});
    }
  }
}

}  // namespace

float CapTextScale(float scale, double w, double h) {
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  // Bounded: each halving at least halves the excess, and floats run out of exponent.
  for (int i = 0; i < 200; ++i) {
    const double s = scale;
    if (s * h <= kMaxTextSide && s * w <= kMaxTextSide && h * w * s * s <= kMaxTextArea) break;
    scale /= 2;
  }
  return scale;
}

bool RasterizeText(const TResolvedText& t, const TTextLayout& layout, float phaseX, float phaseY, uint8_t style,
                   uint32_t argb, TTextRaster& out) {
  out = TTextRaster{};
  const double w = std::ceil(std::max(0.0f, layout.Width())) + 2, h = std::ceil(std::max(0.0f, layout.Height())) + 2;
  if (!TBitmap::SizeAllowed(int64_t(w), int64_t(h)) || !out.bitmap.Allocate(int32_t(w), int32_t(h), TPixelFormat::Argb32))
    return false;
  const float s = layout.scale;
  const float ox = 1 + phaseX - layout.bounds.left, oy = 1 + phaseY - layout.bounds.top;
  out.glyphOffset = {1 + phaseX, 1 + phaseY};
  TOutlineRasterizer r;
  r.SetBounds(float(out.bitmap.Width()), float(out.bitmap.Height()));
  AddGlyphPaths(r, t, layout, ox, oy, &out.glyphRects);
  for (size_t i = 0; i < layout.lines.size() && i < t.text.lines.size(); ++i) {
    const TTextLayout::TLine& line = layout.lines[i];
    if (t.text.lines[i].empty()) continue;
    // Bars across the line's glyph cells; positions are above the baseline.
    if (style & kFontUnderline) {
      const float thick = std::max(t.text.underlineThick * s, 0.0f);
      const float centre = line.baseline - t.text.underlinePos * s;
      r.AddRect(line.cellLeft + ox, centre - thick / 2 + oy, line.cellRight + ox, centre + thick / 2 + oy);
    }
    if (style & kFontStrikeOut) {
      const float thick = std::max(t.text.strikeoutThick * s, 0.0f);
      const float top = line.baseline - t.text.strikeoutPos * s;
      r.AddRect(line.cellLeft + ox, top + oy, line.cellRight + ox, top + thick + oy);
    }
  }
  r.Fill(out.bitmap, argb);
  return true;
}

bool BuildTextPicture(const TFileAccessor* files, WideView name, TTextRaster& out) {
  TTextPictureFields fields;
  if (!ParseTextPictureName(name, fields)) return false;
  std::shared_ptr<const TResolvedText> text = TFontCache::Instance().VectorTextByName(files, VectTextNameOfPicture(name));
  if (!text) return false;
  TTextLayout unit = LayoutText(*text, 1, fields.lineSpacing, fields.align);
  // A name from elsewhere may ask for any scale: the caps hold here as well.
  const float scale = CapTextScale(fields.scale, unit.Width(), unit.Height());
  return RasterizeText(*text, LayoutText(*text, scale, fields.lineSpacing, fields.align), fields.phaseX, fields.phaseY,
                       fields.style, fields.Argb(), out);
}

bool ParseTextWithSizeName(WideView name, int32_t& width, int32_t& height) {
  const WideView prefix = kTextWithSizePrefix;
  if (name.substr(0, prefix.size()) != prefix) return false;
  int64_t v[2] = {0, 0};
  int found = 0;
  size_t i = prefix.size();
  while (found < 2 && i < name.size()) {
    if (name[i] < u'0' || name[i] > u'9') {
      ++i;
      continue;
    }
    int64_t n = 0;
    while (i < name.size() && name[i] >= u'0' && name[i] <= u'9') {
      n = std::min<int64_t>(n * 10 + (name[i] - u'0'), 1 << 30);
      ++i;
    }
    v[found++] = n;
  }
  if (found < 2 || v[0] < 1 || v[1] < 1) return false;
  width = int32_t(v[0]);
  height = int32_t(v[1]);
  return true;
}

TBitmap MakeTextWithSizePicture(int32_t width, int32_t height) {
  double w = std::max(width, 1), h = std::max(height, 1);
  const double k = CapTextScale(1, w, h);
  w = std::max(1.0, std::floor(w * k));
  h = std::max(1.0, std::floor(h * k));
  TBitmap out;
  if (!out.Allocate(int32_t(w), int32_t(h), TPixelFormat::Argb32)) return out;
  constexpr uint32_t kLight = 0xFFAAAAAAu, kDark = 0xFF646464u;
  out.Fill(kLight);
  const int32_t border = int32_t(std::lround(h * 0.02));
  TOutlineRasterizer field;
  field.SetBounds(float(out.Width()), float(out.Height()));
  field.AddRect(float(border), float(border), float(w - border), float(h - border));
  field.Fill(out, kDark);
  std::shared_ptr<const TResolvedText> text = BuildSystemVectorText(u"Arial", 0, {u"Text Zaglushka"});
  if (!text) return out;
  const TTextLayout unit = LayoutText(*text, 1, 0, kAlignLeft);
  if (!(unit.Width() > 0) || !(unit.Height() > 0)) return out;
  const float s = float(std::min(0.9 * w / unit.Width(), 0.2 * h / unit.Height()));
  const TTextLayout layout = LayoutText(*text, s, 0, kAlignLeft);
  TOutlineRasterizer r;
  r.SetBounds(float(out.Width()), float(out.Height()));
  AddGlyphPaths(r, *text, layout, float((w - layout.Width()) / 2) - layout.bounds.left,
                float((h - layout.Height()) / 2) - layout.bounds.top, nullptr);
  r.Fill(out, kLight);
  return out;
}

TBitmap RenderTextBlock(const std::vector<WideString>& lines, WideView font, float emPixels, uint32_t argb,
                        uint32_t background, int32_t margin, uint8_t align) {
  TBitmap out;
  std::shared_ptr<const TResolvedText> text = BuildSystemVectorText(font, 0, lines);
  if (!text) return out;
  const float s = emPixels / kSystemFontSize;
  const TTextLayout layout = LayoutText(*text, s, 0, align);
  const double w = std::ceil(layout.Width()) + 2.0 * margin, h = std::ceil(layout.Height()) + 2.0 * margin;
  if (!TBitmap::SizeAllowed(int64_t(w), int64_t(h)) || !out.Allocate(int32_t(w), int32_t(h), TPixelFormat::Argb32))
    return out;
  out.Fill(background);
  TOutlineRasterizer r;
  r.SetBounds(float(out.Width()), float(out.Height()));
  AddGlyphPaths(r, *text, layout, float(margin) - layout.bounds.left, float(margin) - layout.bounds.top, nullptr);
  r.Fill(out, argb);
  return out;
}

}  // namespace zem
