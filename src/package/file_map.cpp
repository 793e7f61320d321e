#include "package/file_map.h"

namespace zem {

std::string UpperName(const std::string& name) { return WideToUtf8(UpperCase(Utf8ToWide(name))); }

namespace {

// Trims blanks and removes one pair of enclosing double quotes.
WideString Unquote(WideView s) {
  WideString t = TrimBlanks(s);
  if (t.size() >= 2 && t.front() == u'"' && t.back() == u'"') t = t.substr(1, t.size() - 2);
  return t;
}

WideView SkipLeadingBlanks(WideView s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

}  // namespace

void TFileMap::AddLine(WideView line) {
  WideView rest = SkipLeadingBlanks(line);
  if (!rest.empty() && rest.front() == u';') rest.remove_prefix(1);
  bool quoted = false;
  size_t eq = WideView::npos;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == u'"') quoted = !quoted;
    else if (rest[i] == u'=' && !quoted) { eq = i; break; }
  }
  if (eq == WideView::npos) return;
  WideString left = Unquote(rest.substr(0, eq));
  WideString right = Unquote(rest.substr(eq + 1));
  if (left.empty() || right.empty()) return;
  map_[WideToUtf8(UpperCase(left))].push_back(WideToUtf8(right));
}

const std::vector<std::string>* TFileMap::Targets(const std::string& name) const {
  auto it = map_.find(UpperName(name));
  return it == map_.end() ? nullptr : &it->second;
}

const std::string* TFileMap::Find(const std::string& name) const {
  const auto* t = Targets(name);
  return t && !t->empty() ? &t->front() : nullptr;
}

void TRotationState::AddLine(WideView line) {
  WideView rest = SkipLeadingBlanks(line);
  if (rest.size() < 2 || rest[0] != u';' || rest[1] != u'"') return;
  rest.remove_prefix(2);
  size_t end = WideView::npos;
  for (size_t i = 0; i + 1 < rest.size(); ++i)
    if (rest[i] == u'"' && rest[i + 1] == u'=') { end = i; break; }
  if (end == WideView::npos || end == 0) return;
  WideString number = TrimBlanks(rest.substr(end + 2));
  if (number.empty() || number.size() > 9) return;
  int value = 0;
  for (char16_t c : number) {
    if (c < u'0' || c > u'9') return;
    value = value * 10 + (c - u'0');
  }
  if (value != 1 && value != 3 && value != 6 && value != 8) return;
  map_[WideToUtf8(UpperCase(rest.substr(0, end)))] = value;
}

int TRotationState::Orientation(const std::string& name) const {
  auto it = map_.find(UpperName(name));
  return it == map_.end() ? 1 : it->second;
}

TImageTransform TRotationState::Transform(const std::string& name) const {
  switch (Orientation(name)) {
    case 3: return TImageTransform::Rotate180;
    case 6: return TImageTransform::Rotate90CW;
    case 8: return TImageTransform::Rotate90CCW;
    default: return TImageTransform::None;
  }
}

}  // namespace zem
