#include "model/speed_profile.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zem {

bool TInterval::IsEased() const {
  // Fractions are rounded to whole percent; a non-finite fraction counts as no easing.
  long double a = first * 100, b = (1 - second) * 100;
  if (!std::isfinite(static_cast<double>(a)) || !std::isfinite(static_cast<double>(b))) return false;
  return std::llround(static_cast<double>(a)) != 0 || std::llround(static_cast<double>(b)) != 0;
}

void TSpeedStorage::Clear() {
  keys.clear();
  intervals.clear();
}

std::string TSpeedStorage::FormatFraction(long double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.16Lg", v);
  return buf;
}

std::string TSpeedStorage::ToText() const {
  std::string s = std::to_string(keys.size()) + ";";
  for (int32_t k : keys) s += std::to_string(k) + ";";
  s += std::to_string(intervals.size()) + ";";
  for (const TInterval& iv : intervals)
    s += std::to_string(iv.from) + ";" + std::to_string(iv.to) + ";" + FormatFraction(iv.first) + ";" +
         FormatFraction(iv.second) + ";";
  s += FormatFraction(defaultFirst) + ";" + FormatFraction(defaultSecond) + ";";
  return s;
}

namespace {

// Reads the fields of a profile text one by one; each must end with ';'.
class TFieldReader {
 public:
  explicit TFieldReader(std::string_view text) : text_(text) {}

  bool AtEnd() const {
    for (size_t i = pos_; i < text_.size(); ++i)
      if (text_[i] != ' ' && text_[i] != '\t' && text_[i] != '\r' && text_[i] != '\n') return false;
    return true;
  }

  bool Field(std::string_view& out) {
    size_t semi = text_.find(';', pos_);
    if (semi == std::string_view::npos) return false;
    out = text_.substr(pos_, semi - pos_);
    pos_ = semi + 1;
    return true;
  }

  bool Int(int32_t& v) {
    std::string_view f;
    if (!Field(f) || f.empty()) return false;
    const char* b = f.data();
    if (*b == '+') ++b;
    auto r = std::from_chars(b, f.data() + f.size(), v);
    return r.ec == std::errc() && r.ptr == f.data() + f.size();
  }

  bool Fraction(long double& v) {
    std::string_view f;
    if (!Field(f) || f.empty()) return false;
    const char* b = f.data();
    if (*b == '+') ++b;
    double d = 0;
    auto r = std::from_chars(b, f.data() + f.size(), d, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != f.data() + f.size() || !std::isfinite(d)) return false;
    v = d;
    return true;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

bool TSpeedStorage::FromText(std::string_view text) {
  Clear();
  TFieldReader r(text);
  auto fail = [this] {
    Clear();
    keys.push_back(0);
    return false;
  };
  int32_t keyCount = 0;
  if (!r.Int(keyCount) || keyCount < 0 || keyCount > kMaxCount) return fail();
  keys.reserve(static_cast<size_t>(keyCount));
  for (int32_t i = 0; i < keyCount; ++i) {
    int32_t k = 0;
    if (!r.Int(k)) return fail();
    keys.push_back(k);
  }
  int32_t intervalCount = 0;
  if (!r.Int(intervalCount) || intervalCount < 0 || intervalCount > kMaxCount) return fail();
  for (int32_t i = 0; i < intervalCount; ++i) {
    TInterval iv;
    if (!r.Int(iv.from) || !r.Int(iv.to) || !r.Fraction(iv.first) || !r.Fraction(iv.second)) return fail();
    if (iv.from == iv.to && keys.size() > 1) continue;
    intervals.push_back(iv);
  }
  if (!r.AtEnd()) {
    long double a = 0, b = 1;
    if (!r.Fraction(a) || !r.Fraction(b)) return fail();
    defaultFirst = a;
    defaultSecond = b;
  }
  return true;
}

void TSmoother::SetupSmoother(double ta, double tc, double td, double vs, double ve) {
  t1_ = static_cast<float>(ta);
  t2_ = static_cast<float>(t1_ + tc);
  t3_ = static_cast<float>(t2_ + td);
  ta_ = ta;
  td_ = td;
  vs_ = vs;
  ve_ = ve;
  m_ = t3_ > 0 ? (ve - vs) / (t3_ + tc) : 0;  // half the top speed
  kA_ = ta > 0 ? 1 / ta : 0;
  kD_ = td > 0 ? 1 / td : 0;
  vA_ = vs + m_ * ta;
  vD_ = vs + m_ * (t2_ + tc);
}

double TSmoother::Smooth(double u) const {
  if (u <= 0) return vs_;
  if (u < t1_) {
    double q = u * kA_;
    return vs_ + m_ * ta_ * q * q;
  }
  if (u <= t2_) return vA_ + 2 * m_ * (u - t1_);
  if (u >= t3_) return ve_;
  double q = 1 - (u - t2_) * kD_;
  return vD_ + m_ * td_ * (1 - q * q);
}

}  // namespace zem
