#include "resources/text/vector_text.h"

#include <cmath>
#include <cstring>
#include <unordered_map>

namespace zem {

namespace {

// Reads little-endian values; every read checks the bytes left first.
class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : p_(data), left_(size) {}
  size_t Left() const { return left_; }
  bool Bytes(void* out, size_t n) {
    if (n > left_) return false;
    std::memcpy(out, p_, n);
    p_ += n;
    left_ -= n;
    return true;
  }
  bool I32(int32_t& v) {
    uint8_t b[4];
    if (!Bytes(b, 4)) return false;
    v = int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
    return true;
  }
  bool U16(uint16_t& v) {
    uint8_t b[2];
    if (!Bytes(b, 2)) return false;
    v = uint16_t(b[0] | b[1] << 8);
    return true;
  }
  bool F32(float& v) {
    int32_t i;
    if (!I32(i)) return false;
    std::memcpy(&v, &i, 4);
    return true;
  }
  // A finite float of sane size.
  bool Finite(float& v, float limit) { return F32(v) && std::isfinite(v) && std::fabs(v) <= limit; }
  // int32 length and that many code units.
  bool Text(WideString& out, int32_t max_units) {
    int32_t k;
    if (!I32(k) || k < 0 || k > max_units || size_t(k) * 2 > left_) return false;
    out.resize(size_t(k));
    for (int32_t i = 0; i < k; ++i) {
      uint16_t u = 0;
      U16(u);
      out[size_t(i)] = char16_t(u);
    }
    return true;
  }

 private:
  const uint8_t* p_;
  size_t left_;
};

class TWriter {
 public:
  std::vector<uint8_t> bytes;
  void I32(int32_t v) {
    const uint32_t u = uint32_t(v);
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(u >> (8 * i)));
  }
  void U16(uint16_t v) {
    bytes.push_back(uint8_t(v));
    bytes.push_back(uint8_t(v >> 8));
  }
  void F32(float v) {
    int32_t i;
    std::memcpy(&i, &v, 4);
    I32(i);
  }
  void Text(const WideString& s) {
    I32(int32_t(s.size()));
    for (char16_t c : s) U16(uint16_t(c));
  }
};

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

constexpr float kMaxCoordinate = 1e7f;  // design units; fonts use a few thousand
constexpr float kMaxFontSize = 1e6f;

}  // namespace

size_t TVectorText::GlyphCount() const {
  size_t n = 0;
  for (const auto& l : lines) n += l.size();
  return n;
}

bool ReadVectorText(const uint8_t* data, size_t size, TVectorText& out, std::string* error) {
  out = TVectorText{};
  if (int64_t(size) > kMaxVectStreamBytes) return Fail(error, "stream too large");
  TReader r(data, size);
  int32_t lines = 0;
  if (!r.I32(lines) || lines < 0) return Fail(error, "bad line count");
  // Each line needs at least its glyph count.
  if (size_t(lines) > r.Left() / 4) return Fail(error, "line count beyond the stream");
  if (!r.I32(out.ascent) || !r.I32(out.descent)) return Fail(error, "truncated metrics");
  if (out.ascent < -1000000 || out.ascent > 1000000 || out.descent < -1000000 || out.descent > 1000000 ||
      int64_t(out.ascent) + out.descent <= 0)
    return Fail(error, "bad ascent or descent");
  if (!r.Finite(out.underlinePos, kMaxCoordinate) || !r.Finite(out.underlineThick, kMaxCoordinate) ||
      !r.Finite(out.strikeoutPos, kMaxCoordinate) || !r.Finite(out.strikeoutThick, kMaxCoordinate))
    return Fail(error, "bad font metrics");
  std::unordered_map<WideString, uint16_t> fontIndex;
  out.lines.resize(size_t(lines));
  for (auto& line : out.lines) {
    int32_t glyphs = 0;
    if (!r.I32(glyphs) || glyphs < 0) return Fail(error, "bad glyph count");
    // A glyph record takes at least 14 bytes.
    if (size_t(glyphs) > r.Left() / 14) return Fail(error, "glyph count beyond the stream");
    line.resize(size_t(glyphs));
    for (auto& g : line) {
      WideString font;
      if (!r.I32(g.x) || !r.Finite(g.size, kMaxFontSize) || !r.U16(g.index) || !r.Text(font, kMaxFontNameUnits))
        return Fail(error, "truncated glyph");
      if (!(g.size > 0)) return Fail(error, "bad font size");
      auto it = fontIndex.find(font);
      if (it == fontIndex.end()) {
        if (int32_t(out.fonts.size()) >= kMaxVectFonts) return Fail(error, "too many fonts");
        it = fontIndex.emplace(font, uint16_t(out.fonts.size())).first;
        out.fonts.push_back(font);
      }
      g.font = it->second;
    }
  }
  return true;
}

std::vector<uint8_t> WriteVectorText(const TVectorText& t) {
  TWriter w;
  w.I32(int32_t(t.lines.size()));
  w.I32(t.ascent);
  w.I32(t.descent);
  w.F32(t.underlinePos);
  w.F32(t.underlineThick);
  w.F32(t.strikeoutPos);
  w.F32(t.strikeoutThick);
  for (const auto& line : t.lines) {
    w.I32(int32_t(line.size()));
    for (const auto& g : line) {
      w.I32(g.x);
      w.F32(g.size);
      w.U16(g.index);
      w.Text(g.font < t.fonts.size() ? t.fonts[g.font] : WideString());
    }
  }
  return std::move(w.bytes);
}

bool ValidPathPoints(const TPath& points) {
  for (const TPathPoint& p : points) {
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > kMaxCoordinate ||
        std::fabs(p.y) > kMaxCoordinate)
      return false;
    switch (p.kind) {
      case kPathMoveTo:
      case kPathLineTo:
      case kPathQuadTo:
      case kPathCubicTo:
      case kPathEnd:
        break;
      default:
        return false;
    }
  }
  return true;
}

bool ReadGlyphCache(const uint8_t* data, size_t size, TStoredGlyphCache& out, std::string* error) {
  out = TStoredGlyphCache{};
  if (int64_t(size) > kMaxVectStreamBytes) return Fail(error, "stream too large");
  TReader r(data, size);
  int32_t count = 0;
  if (!r.I32(count) || count < 0) return Fail(error, "bad glyph count");
  if (!r.Text(out.name, kMaxFontNameUnits)) return Fail(error, "bad font name");
  // A glyph record takes at least 30 bytes.
  if (size_t(count) > r.Left() / 30) return Fail(error, "glyph count beyond the stream");
  out.glyphs.resize(size_t(count));
  for (auto& g : out.glyphs) {
    int32_t points = 0;
    if (!r.U16(g.index) || !r.I32(g.left_bearing) || !r.I32(g.black_width) || !r.I32(g.right_bearing) ||
        !r.I32(g.ascent) || !r.I32(g.descent) || !r.Finite(g.design_size, kMaxFontSize) || !r.I32(points))
      return Fail(error, "truncated glyph record");
    if (!(g.design_size > 0)) return Fail(error, "bad design size");
    const int64_t advance = int64_t(g.left_bearing) + g.black_width + g.right_bearing;
    if (std::llabs(advance) > int64_t(kMaxCoordinate) || std::abs(int64_t(g.ascent)) > int64_t(kMaxCoordinate) ||
        std::abs(int64_t(g.descent)) > int64_t(kMaxCoordinate) || std::abs(int64_t(g.left_bearing)) > int64_t(kMaxCoordinate) ||
        g.black_width < 0 || g.black_width > int64_t(kMaxCoordinate))
      return Fail(error, "bad glyph metrics");
    if (points < 0 || points > kMaxGlyphPoints || size_t(points) > r.Left() / 12)
      return Fail(error, "point count beyond the stream");
    g.points.resize(size_t(points));
    for (auto& p : g.points) {
      r.F32(p.x);
      r.F32(p.y);
      r.I32(p.kind);
    }
    if (!ValidPathPoints(g.points)) return Fail(error, "bad outline point");
  }
  return true;
}

std::vector<uint8_t> WriteGlyphCache(const WideString& name, const std::vector<const TGlyphOutline*>& glyphs) {
  TWriter w;
  w.I32(int32_t(glyphs.size()));
  w.Text(name);
  for (const TGlyphOutline* g : glyphs) {
    w.U16(g->index);
    w.I32(g->left_bearing);
    w.I32(g->black_width);
    w.I32(g->right_bearing);
    w.I32(g->ascent);
    w.I32(g->descent);
    w.F32(g->design_size);
    w.I32(int32_t(g->points.size()));
    for (const auto& p : g->points) {
      w.F32(p.x);
      w.F32(p.y);
      w.I32(p.kind);
    }
  }
  return std::move(w.bytes);
}

bool ReadExeGuid(const uint8_t* data, size_t size, WideString& out) {
  TReader r(data, size);
  return r.Text(out, 4096);
}

std::vector<uint8_t> WriteExeGuid(const WideString& guid) {
  TWriter w;
  w.Text(guid);
  return std::move(w.bytes);
}

}  // namespace zem
