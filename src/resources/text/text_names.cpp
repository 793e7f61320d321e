#include "resources/text/text_names.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zem {

namespace {

constexpr const char16_t* kStyleNames[4] = {u"Bold", u"Italic", u"Underline", u"StrikeOut"};
constexpr size_t kFieldCount = 12;

bool ChangesCase(char16_t c) { return LowerChar(c) != c; }

bool ParseNumber(WideView field, double& out) {
  if (field.empty() || field.size() > 64) return false;
  std::string s = WideToUtf8(field);
  errno = 0;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (errno || !end || *end || !std::isfinite(v)) return false;
  out = v;
  return true;
}

bool ParseInt(WideView field, int64_t lo, int64_t hi, int64_t& out) {
  if (field.empty() || field.size() > 20) return false;
  std::string s = WideToUtf8(field);
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (errno || !end || *end || v < lo || v > hi) return false;
  out = v;
  return true;
}

// The first kFieldCount - 1 fields end at a ":"; the last one takes the rest.
std::vector<WideView> SplitFields(WideView body) {
  std::vector<WideView> f;
  size_t pos = 0;
  while (f.size() + 1 < kFieldCount) {
    size_t colon = body.find(u':', pos);
    if (colon == WideView::npos) break;
    f.push_back(body.substr(pos, colon - pos));
    pos = colon + 1;
  }
  f.push_back(body.substr(pos));
  return f;
}

WideView Unquote(WideView s) {
  if (s.size() >= 2 && s.front() == u'"' && s.back() == u'"') return s.substr(1, s.size() - 2);
  return s;
}

}  // namespace

WideString EscapeCase(WideView line) {
  WideString out;
  out.reserve(line.size() + 8);
  bool open = false;
  for (char16_t c : line) {
    if (c == u'<' || c == u'>') {
      if (open) out += u'>';
      open = false;
      out += c;
      out += c;
    } else if (ChangesCase(c)) {
      if (!open) out += u'<';
      open = true;
      out += c;
    } else {
      if (open) out += u'>';
      open = false;
      out += c;
    }
  }
  if (open) out += u'>';
  return out;
}

WideString UnescapeCase(WideView text) {
  WideString out;
  out.reserve(text.size());
  bool open = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (open) {
      if (c == u'>') open = false;
      else out += c;
      continue;
    }
    if ((c == u'<' || c == u'>') && i + 1 < text.size() && text[i + 1] == c) {
      out += c;
      ++i;
    } else if (c == u'<') {
      open = true;
    } else {
      out += c;
    }
  }
  return out;
}

WideString StyleText(uint8_t style) {
  WideString out;
  for (int i = 0; i < 4; ++i) {
    if (!(style & (1 << i))) continue;
    if (!out.empty()) out += u',';
    out += kStyleNames[i];
  }
  return out;
}

uint8_t ParseStyleText(WideView text) {
  uint8_t style = 0;
  size_t pos = 0;
  for (int item = 0; item < 4 && pos <= text.size(); ++item) {
    size_t comma = text.find(u',', pos);
    WideView name = text.substr(pos, comma == WideView::npos ? WideView::npos : comma - pos);
    for (int i = 0; i < 4; ++i)
      if (name == kStyleNames[i]) style |= uint8_t(1 << i);
    if (comma == WideView::npos) break;
    pos = comma + 1;
  }
  return style;
}

WideString FormatTextNumber(double v) {
  if (!std::isfinite(v)) v = 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return Utf8ToWide(s);
}

WideString QuotedLines(const std::vector<WideString>& lines) {
  WideString out = u"\"";
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) out += kLineBreak;
    out += EscapeCase(lines[i]);
  }
  out += u'"';
  return out;
}

WideString VectTextStreamName(WideView font, uint8_t style, const std::vector<WideString>& lines) {
  WideString out = kVectTextPrefix;
  out += font;
  out += u':';
  out += StyleText(style);
  out += u':';
  out += QuotedLines(lines);
  return out;
}

WideString TextPictureName(const TTextPictureFields& s) {
  auto num = [](int64_t v) { return Utf8ToWide(std::to_string(v)); };
  WideString out = kTextPicturePrefix;
  out += s.font + u":" + FormatTextNumber(s.scale) + u":" + FormatTextNumber(s.phaseX) + u":" +
         FormatTextNumber(s.phaseY) + u":" + StyleText(s.style) + u":" + num(s.align) + u":" + num(s.lineSpacing) +
         u":" + num(s.b) + u":" + num(s.g) + u":" + num(s.r) + u":" + num(s.a) + u":";
  out += QuotedLines(s.lines);
  return out;
}

bool ParseTextPictureName(WideView name, TTextPictureFields& out) {
  const WideView prefix = kTextPicturePrefix;
  if (name.substr(0, prefix.size()) != prefix) return false;
  out = TTextPictureFields{};
  // Escapes never span a ":" (it does not change case), so fields can be read one by one.
  std::vector<WideView> f = SplitFields(name.substr(prefix.size()));
  f.resize(kFieldCount);
  if (!f[0].empty()) out.font = UnescapeCase(f[0]);
  double d = 0;
  int64_t n = 0;
  if (ParseNumber(f[1], d) && d > 0) out.scale = float(d);
  if (ParseNumber(f[2], d) && std::fabs(d) < 1) out.phaseX = float(d);
  if (ParseNumber(f[3], d) && std::fabs(d) < 1) out.phaseY = float(d);
  out.style = ParseStyleText(UnescapeCase(f[4]));
  if (ParseInt(f[5], 0, 2, n)) out.align = uint8_t(n);
  if (ParseInt(f[6], -1000000, 1000000, n)) out.lineSpacing = int32_t(n);
  uint8_t* channels[4] = {&out.b, &out.g, &out.r, &out.a};
  for (int i = 0; i < 4; ++i)
    if (ParseInt(f[7 + i], 0, 255, n)) *channels[i] = uint8_t(n);
  out.lines = SplitTextLines(UnescapeCase(Unquote(f[11])));
  return true;
}

WideString VectTextNameOfPicture(WideView name) {
  const WideView prefix = kTextPicturePrefix;
  if (name.substr(0, prefix.size()) != prefix) return {};
  std::vector<WideView> f = SplitFields(name.substr(prefix.size()));
  f.resize(kFieldCount);
  WideString out = kVectTextPrefix;
  out += f[0];
  out += u':';
  out += f[4];
  out += u':';
  out += f[11];
  return out;
}

std::vector<WideString> SplitTextLines(WideView text) {
  std::vector<WideString> lines;
  size_t pos = 0;
  while (true) {
    size_t at = text.find(kLineBreak, pos);
    if (at == WideView::npos) {
      lines.emplace_back(text.substr(pos));
      break;
    }
    lines.emplace_back(text.substr(pos, at - pos));
    pos = at + 2;
  }
  return lines;
}

}  // namespace zem
