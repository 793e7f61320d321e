// Value syntaxes and the typed readers of sections and objects.
#include <charconv>
#include <cmath>
#include <string>

#include "script/ini_file.h"

namespace zem {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Splits at "," and hands each item, its leading blanks skipped, to fn(index, item); fn returns
// false to stop. Returns the number of items seen; an empty text has none.
template <class Fn>
int ForEachItem(WideView text, Fn&& fn) {
  if (text.empty()) return 0;
  int index = 0;
  size_t start = 0;
  for (;;) {
    size_t comma = text.find(u',', start);
    WideView item = text.substr(start, comma == WideView::npos ? WideView::npos : comma - start);
    size_t b = 0;
    while (b < item.size() && IsBlank(item[b])) ++b;
    if (!fn(index, item.substr(b))) return index;
    ++index;
    if (comma == WideView::npos) return index;
    start = comma + 1;
  }
}

template <class T, class Parse>
int ReadList(const TIniIdent* key, std::vector<T>& out, int capacity, Parse&& parse) {
  out.clear();
  if (!key) return 0;
  int bad = -1;
  int n = ForEachItem(key->ValueView(), [&](int i, WideView item) {
    T v;
    if (!parse(item, v)) {
      bad = i;
      return false;
    }
    if (capacity < 0 || i < capacity) out.push_back(v);
    return true;
  });
  return bad >= 0 ? -(bad + 1) : n;
}

uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

bool TryParseIniInteger(WideView s, int32_t& out) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  bool neg = false;
  if (i < n && (s[i] == u'+' || s[i] == u'-')) neg = s[i++] == u'-';
  bool hex = false;
  if (i < n && s[i] == u'$') {
    hex = true;
    ++i;
  } else if (i < n && (s[i] == u'x' || s[i] == u'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t v = 0;
  for (; i < n; ++i) {
    int d = hex ? HexDigit(s[i]) : (IsDigit(s[i]) ? s[i] - u'0' : -1);
    if (d < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<uint64_t>(d);
    if (v > 0x80000000ull) return false;
  }
  if (!neg && v > 0x7FFFFFFFull) return false;
  out = static_cast<int32_t>(neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
  return true;
}

bool TryParseIniDecimal(WideView s, int32_t& out) {
  size_t i = 0, n = s.size();
  bool neg = false;
  if (i + 1 < n && s[i] == u'-' && IsDigit(s[i + 1])) {
    neg = true;
    ++i;
  }
  if (i >= n || !IsDigit(s[i])) return false;
  uint64_t v = 0;
  for (; i < n && IsDigit(s[i]); ++i) {
    v = v * 10 + static_cast<uint64_t>(s[i] - u'0');
    if (v > 0x80000000ull) return false;
  }
  for (; i < n; ++i)
    if (s[i] >= 32) return false;
  if (!neg && v > 0x7FFFFFFFull) return false;
  out = static_cast<int32_t>(neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
  return true;
}

bool TryParseIniFloat(WideView s, double& out) {
  size_t i = 0, n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  std::string a;  // the number in plain ASCII for from_chars, which ignores the locale
  if (i < n && (s[i] == u'+' || s[i] == u'-')) {
    if (s[i] == u'-') a.push_back('-');
    ++i;
  }
  size_t digits = 0;
  for (; i < n && IsDigit(s[i]); ++i, ++digits) a.push_back(static_cast<char>(s[i]));
  if (i < n && s[i] == u'.') {
    a.push_back('.');
    for (++i; i < n && IsDigit(s[i]); ++i, ++digits) a.push_back(static_cast<char>(s[i]));
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == u'e' || s[i] == u'E')) {
    a.push_back('e');
    ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) a.push_back(static_cast<char>(s[i++]));
    size_t exp_digits = 0;
    for (; i < n && IsDigit(s[i]); ++i, ++exp_digits) a.push_back(static_cast<char>(s[i]));
    if (exp_digits == 0) return false;
  }
  while (i < n && IsBlank(s[i])) ++i;
  if (i != n) return false;
  double v = 0;
  auto r = std::from_chars(a.data(), a.data() + a.size(), v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow does not parse.
    bool tiny = false;
    size_t e = a.find('e');
    if (e != std::string::npos) tiny = a.compare(e + 1, 1, "-") == 0;
    if (!tiny) return false;
    v = 0;
  } else if (r.ec != std::errc() || r.ptr != a.data() + a.size() || !std::isfinite(v)) {
    return false;
  }
  out = v;
  return true;
}

// ---------------------------------------------------------------------------------------------

int32_t TCommonIniSection::ReadInteger(WideView name, int32_t def) const {
  const TIniIdent* k = FindKey(name);
  int32_t v;
  return k && TryParseIniInteger(k->ValueView(), v) ? v : def;
}

bool TCommonIniSection::ReadBool(WideView name, bool def) const {
  const TIniIdent* k = FindKey(name);
  int32_t v;
  return k && TryParseIniDecimal(k->ValueView(), v) ? v != 0 : def;
}

double TCommonIniSection::ReadFloat(WideView name, double def) const {
  const TIniIdent* k = FindKey(name);
  double v;
  return k && TryParseIniFloat(k->ValueView(), v) ? v : def;
}

int TCommonIniSection::ReadChoice(WideView name, std::span<const WideView> choices, int def) const {
  const TIniIdent* k = FindKey(name);
  if (!k) return def;
  WideView v = k->ValueView();
  for (size_t i = 0; i < choices.size(); ++i)
    if (choices[i] == v) return static_cast<int>(i);
  return def;
}

int TCommonIniSection::ReadChoice(WideView name, std::initializer_list<WideView> choices, int def) const {
  return ReadChoice(name, std::span<const WideView>(choices.begin(), choices.size()), def);
}

int TCommonIniSection::ReadChoice(WideView name, const std::vector<WideString>& choices, int def) const {
  std::vector<WideView> views(choices.begin(), choices.end());
  return ReadChoice(name, std::span<const WideView>(views), def);
}

int TCommonIniSection::ReadChoiceNoCase(WideView name, std::span<const WideView> choices, int def) const {
  const TIniIdent* k = FindKey(name);
  if (!k) return def;
  WideView v = k->ValueView();
  for (size_t i = 0; i < choices.size(); ++i)
    if (SameTextNoCase(choices[i], v)) return static_cast<int>(i);
  return def;
}

int TCommonIniSection::ReadChoiceNoCase(WideView name, std::initializer_list<WideView> choices, int def) const {
  return ReadChoiceNoCase(name, std::span<const WideView>(choices.begin(), choices.size()), def);
}

int TCommonIniSection::ReadChoiceNoCase(WideView name, const std::vector<WideString>& choices, int def) const {
  std::vector<WideView> views(choices.begin(), choices.end());
  return ReadChoiceNoCase(name, std::span<const WideView>(views), def);
}

int TCommonIniSection::ReadStrings(WideView name, std::vector<WideString>& out, int capacity) const {
  return ReadList(FindKey(name), out, capacity, [](WideView item, WideString& v) {
    v.assign(item);
    return true;
  });
}

int TCommonIniSection::ReadIntegers(WideView name, std::vector<int32_t>& out, int capacity) const {
  return ReadList(FindKey(name), out, capacity, [](WideView item, int32_t& v) { return TryParseIniInteger(item, v); });
}

int TCommonIniSection::ReadFloats(WideView name, std::vector<double>& out, int capacity) const {
  return ReadList(FindKey(name), out, capacity, [](WideView item, double& v) { return TryParseIniFloat(item, v); });
}

TIniRGB TCommonIniSection::ReadRGB(WideView name, TIniRGB def) const {
  std::vector<int32_t> v;
  if (ReadIntegers(name, v, 3) != 3) return def;
  TIniRGB c;
  c.red = Clamp255(v[0]);
  c.green = Clamp255(v[1]);
  c.blue = Clamp255(v[2]);
  return c;
}

uint32_t TCommonIniSection::ReadRGBA(WideView name, uint32_t def) const {
  std::vector<int32_t> v;
  if (ReadIntegers(name, v, 4) != 4) return def;
  return (uint32_t{Clamp255(v[3])} << 24) | (uint32_t{Clamp255(v[0])} << 16) | (uint32_t{Clamp255(v[1])} << 8) |
         uint32_t{Clamp255(v[2])};
}

TIniPoint TCommonIniSection::ReadPoint(WideView name, TIniPoint def) const {
  std::vector<int32_t> v;
  if (ReadIntegers(name, v, 2) != 2) return def;
  return {v[0], v[1]};
}

TIniFloatPoint TCommonIniSection::ReadFloatPoint(WideView name, TIniFloatPoint def) const {
  std::vector<double> v;
  if (ReadFloats(name, v, 2) != 2) return def;
  return {static_cast<float>(v[0]), static_cast<float>(v[1])};
}

TIniVector TCommonIniSection::ReadVector(WideView name, TIniVector def) const {
  std::vector<double> v;
  if (ReadFloats(name, v, 3) != 3) return def;
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2])};
}

TIniFloatRect TCommonIniSection::ReadRect(WideView name, TIniFloatRect def, TIniFloatPoint* pair) const {
  std::vector<double> v;
  int n = ReadFloats(name, v, 6);
  if (n != 4 && n != 6) {
    if (pair) *pair = {0, 0};
    return def;
  }
  if (pair) *pair = n == 6 ? TIniFloatPoint{static_cast<float>(v[4]), static_cast<float>(v[5])} : TIniFloatPoint{-1, -1};
  return {static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]), static_cast<float>(v[3])};
}

}  // namespace zem
