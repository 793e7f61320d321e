#include "shell/command_line.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "foundation/strings.h"

namespace zem {

int32_t TCommandItem::AsInteger(int32_t def) const {
  std::string_view s = text_;
  int base = 10;
  bool negative = false;
  if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return def;
  uint64_t v = 0;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
  if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return def;
  if (base == 16) {
    // Hexadecimal texts name 32-bit patterns ("$FFFFFFFF" is -1).
    if (v > UINT32_MAX) return def;
    return static_cast<int32_t>(static_cast<uint32_t>(v));
  }
  if (negative ? v > uint64_t(INT32_MAX) + 1 : v > uint64_t(INT32_MAX)) return def;
  return negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
}

namespace {
size_t BucketOf(std::string_view lower) {
  uint32_t h = 0;
  for (unsigned char c : lower) {
    h = (h << 4) + c;
    uint32_t g = h & 0xF0000000u;
    if (g) h = (h ^ (g >> 24)) & ~0xF0000000u;
  }
  return h % TCommandsStorage::kBuckets;
}
}  // namespace

TCommandsStorage::TCommandsStorage() : buckets_(kBuckets) {}
TCommandsStorage::~TCommandsStorage() = default;
TCommandsStorage::TCommandsStorage(TCommandsStorage&&) noexcept = default;
TCommandsStorage& TCommandsStorage::operator=(TCommandsStorage&&) noexcept = default;

TCommand& TCommandsStorage::GetOrAdd(std::string_view name) {
  std::string lower = WideToUtf8(LowerCase(Utf8ToWide(name)));
  auto& bucket = buckets_[BucketOf(lower)];
  for (auto& c : bucket)
    if (c->Name() == lower) return *c;
  bucket.push_back(std::make_unique<TCommand>(lower));
  ++count_;
  return *bucket.back();
}

const TCommand* TCommandsStorage::Find(std::string_view name) const {
  std::string lower = WideToUtf8(LowerCase(Utf8ToWide(name)));
  for (auto& c : buckets_[BucketOf(lower)])
    if (c->Name() == lower) return c.get();
  return nullptr;
}

std::string TCommandsStorage::FirstValue(std::string_view name, const std::string& def) const {
  const TCommand* c = Find(name);
  return c && c->First() ? c->First()->Text() : def;
}

bool TCommandsStorage::HasValue(std::string_view name) const {
  const TCommand* c = Find(name);
  return c && c->First();
}

int32_t TCommandsStorage::FirstInteger(std::string_view name, int32_t def) const {
  const TCommand* c = Find(name);
  return c && c->First() ? c->First()->AsInteger(def) : def;
}

void TCommandsStorage::Clear() {
  for (auto& b : buckets_) b.clear();
  count_ = 0;
}

std::string StripTokenQuotes(std::string_view token) {
  if (!token.empty() && token.front() == '"') token.remove_prefix(1);
  if (!token.empty() && token.back() == '"') token.remove_suffix(1);
  std::string out;
  out.reserve(token.size());
  for (char c : token)
    if (c != '"') out += c;
  return out;
}

std::vector<std::string> TokenizeCommandText(std::string_view text) {
  std::vector<std::string> tokens;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    while (i < n && static_cast<unsigned char>(text[i]) <= 32) ++i;
    if (i >= n) break;
    size_t start = i;
    bool quoted = false;
    while (i < n && (quoted || static_cast<unsigned char>(text[i]) >= 33)) {
      if (text[i] == '"') quoted = !quoted;
      ++i;
    }
    tokens.push_back(StripTokenQuotes(text.substr(start, i - start)));
  }
  return tokens;
}

void TCommandLine::AddToken(const std::string& token) {
  args_.push_back(token);
  if (!token.empty() && token[0] == '-') {
    current_ = WideToUtf8(LowerCase(Utf8ToWide(std::string_view(token).substr(1))));
    commands_.GetOrAdd(current_);
  } else {
    commands_.GetOrAdd(current_).Add(token);
  }
}

void TCommandLine::ParseText(std::string_view text) {
  for (auto& t : TokenizeCommandText(text)) AddToken(t);
}

void TCommandLine::ParseArgv(int argc, const char* const* argv) {
  for (int i = 0; i < argc; ++i)
    if (argv[i]) AddToken(argv[i]);
}

bool TCommandLine::HasArg(std::string_view exact) const {
  return std::find(args_.begin(), args_.end(), exact) != args_.end();
}

}  // namespace zem
