#include "model/keypoints.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>

#include "foundation/assert.h"

namespace zem {

namespace {

// Change detection compares values at four decimals; non-finite values compare as extremes.
int64_t ChangeKey(double v) {
  double d = v * 10000;
  if (std::isnan(d)) return INT64_MIN;
  if (d > 9e18) return INT64_MAX;
  if (d < -9e18) return INT64_MIN + 1;
  return std::llround(d);
}

float Lerp(float a, float b, float f) { return a + (b - a) * f; }

// Keypoint times are truncated to whole ms for the profile keys; out-of-range times saturate.
int32_t TruncKey(double t) {
  if (!(t > double(INT32_MIN))) return INT32_MIN;
  if (!(t < double(INT32_MAX))) return INT32_MAX;
  return static_cast<int32_t>(std::trunc(t));
}

// The float members by index, and a new keypoint's values.
constexpr float TKeyValues::*kKeyMembers[kKeyFieldCount] = {
    &TKeyValues::opacity, &TKeyValues::angle,   &TKeyValues::scaleX,  &TKeyValues::scaleY, &TKeyValues::posX,
    &TKeyValues::posY,    &TKeyValues::zPos,    &TKeyValues::centerX, &TKeyValues::centerY, &TKeyValues::angleX,
    &TKeyValues::angleY,  &TKeyValues::blur,    &TKeyValues::colorAmount};
constexpr TKeyValues kNewPoint{};

// Longest offset kept: about 31 years of show time; beyond it the times saturate.
constexpr double kMaxOffset = 1e12;

}  // namespace

TKeyValues ListStartValues() {
  TKeyValues v;
  v.colorOff = 0;
  v.colorR = v.colorG = v.colorB = 0;
  return v;
}

TKeyPoint::TKeyPoint(TKeyPointList* owner) : owner_(owner) {
  ZEM_ASSERT(owner != nullptr);
  owner->points_.push_back(this);
}

TKeyPoint::~TKeyPoint() {
  if (stored_ & kOnHeap) delete[] heap_;
}

float TKeyPoint::Value(TKeyField field) const {
  if (stored_ & kOnHeap) return heap_[field];
  const uint16_t bit = uint16_t(1u << field);
  if (!(stored_ & bit)) return kNewPoint.*kKeyMembers[field];
  return inline_[std::popcount(unsigned(stored_ & (bit - 1)))];
}

TKeyValues TKeyPoint::Values() const {
  TKeyValues v = kNewPoint;
  if (stored_ & kOnHeap) {
    for (int i = 0; i < kKeyFieldCount; ++i) v.*kKeyMembers[i] = heap_[i];
  } else {
    int n = 0;
    for (unsigned bits = stored_; bits; bits &= bits - 1) v.*kKeyMembers[std::countr_zero(bits)] = inline_[n++];
  }
  v.colorOff = colorOff_;
  v.colorR = colorR_;
  v.colorG = colorG_;
  v.colorB = colorB_;
  return v;
}

void TKeyPoint::Store(TKeyField field, float v) {
  if (stored_ & kOnHeap) {
    heap_[field] = v;
    return;
  }
  const uint16_t bit = uint16_t(1u << field);
  const int rank = std::popcount(unsigned(stored_ & (bit - 1)));
  if (stored_ & bit) {
    inline_[rank] = v;
    return;
  }
  // Bit for bit: a stored -0 or NaN pattern must come back as it was set.
  if (std::bit_cast<uint32_t>(v) == std::bit_cast<uint32_t>(kNewPoint.*kKeyMembers[field])) return;
  const int n = std::popcount(unsigned(stored_));
  if (n < kInline) {
    for (int i = n; i > rank; --i) inline_[i] = inline_[i - 1];
    inline_[rank] = v;
    stored_ |= bit;
    return;
  }
  auto* all = new float[kKeyFieldCount];
  for (int i = 0; i < kKeyFieldCount; ++i) all[i] = Value(TKeyField(i));
  all[field] = v;
  heap_ = all;
  stored_ = kOnHeap;
}

void TKeyPoint::SetField(TKeyField field, float v) {
  if (ChangeKey(Value(field)) != ChangeKey(v)) changed = true;
  Store(field, v);
}

void TKeyPoint::SetColorisation(bool off, uint8_t r, uint8_t g, uint8_t b, float amount) {
  uint8_t o = off ? 1 : 0;
  if (o != colorOff_ || r != colorR_ || g != colorG_ || b != colorB_ ||
      ChangeKey(amount) != ChangeKey(Value(kKeyColorAmount)))
    changed = true;
  colorOff_ = o;
  colorR_ = r;
  colorG_ = g;
  colorB_ = b;
  Store(kKeyColorAmount, amount);
}

void TKeyPoint::SetValues(const TKeyValues& v) {
  SetOpacity(v.opacity);
  SetAngle(v.angle);
  SetScaleX(v.scaleX);
  SetScaleY(v.scaleY);
  SetPosX(v.posX);
  SetPosY(v.posY);
  SetZPos(v.zPos);
  SetCenterX(v.centerX);
  SetCenterY(v.centerY);
  SetAngleX(v.angleX);
  SetAngleY(v.angleY);
  SetBlur(v.blur);
  SetColorisation(v.colorOff != 0, v.colorR, v.colorG, v.colorB, v.colorAmount);
}

void TKeyPoint::SetOrigin(uint8_t origin) {
  ZEM_ASSERT(origin <= kSlideEnd);
  if (origin != origin_) changed = true;
  origin_ = origin;
  owner_->RefreshTimes();
}

void TKeyPoint::SetOffset(double offset) {
  // Untrusted times: NaN and infinities become 0, huge values saturate.
  if (!std::isfinite(offset)) offset = 0;
  offset = std::clamp(offset, -kMaxOffset, kMaxOffset);
  if (offset != offset_) changed = true;
  offset_ = offset;
  owner_->RefreshTimes();
}

TKeyPointRefs::~TKeyPointRefs() {
  clear();
}

TKeyPoint* TKeyPointRefs::HeapTag() {
  alignas(TKeyPoint) static const char tag = 0;
  return reinterpret_cast<TKeyPoint*>(const_cast<char*>(&tag));
}

void TKeyPointRefs::push_back(TKeyPoint* point) {
  ZEM_ASSERT(point != nullptr);
  if (OnHeap()) {
    Heap().push_back(point);
  } else if (!slots_[0]) {
    slots_[0] = point;
  } else if (!slots_[1]) {
    slots_[1] = point;
  } else {
    auto heap = std::make_unique<THeap>();
    heap->reserve(4);
    heap->assign({slots_[0], slots_[1], point});
    slots_[0] = reinterpret_cast<TKeyPoint*>(heap.release());
    slots_[1] = HeapTag();
  }
}

void TKeyPointRefs::clear() {
  for (TKeyPoint* p : *this) delete p;
  if (OnHeap()) delete &Heap();
  slots_[0] = slots_[1] = nullptr;
}

TKeyPointList::TKeyPointList() : current(ListStartValues()) {}

TKeyPointList::~TKeyPointList() = default;

TKeyPoint* TKeyPointList::AddKeypoint(uint8_t origin, double offset) {
  ZEM_ASSERT(origin <= kSlideEnd);
  auto* kp = new TKeyPoint(this);  // appended at the end
  kp->origin_ = origin;
  if (!std::isfinite(offset)) offset = 0;
  kp->offset_ = std::clamp(offset, -kMaxOffset, kMaxOffset);
  const double t = GetAnchor(origin) + kp->offset_;
  kp->time_ = std::isfinite(t) ? t : 0;
  // Move it behind the last keypoint of equal or earlier time; the others stay sorted.
  auto last = points_.end() - 1;
  auto pos = std::upper_bound(points_.begin(), last, kp->time_,
                              [](double v, const TKeyPoint* k) { return v < k->time_; });
  std::rotate(pos, last, points_.end());
  return kp;
}

void TKeyPointList::CopyCurrentTo(TKeyPoint* kp) const {
  ZEM_ASSERT(kp != nullptr);
  kp->SetValues(current);
}

void TKeyPointList::Clear() {
  points_.clear();
  profiles_.reset();
}

void TKeyPointList::RefreshTimes() {
  for (auto& p : points_) {
    double t = GetAnchor(p->origin_) + p->offset_;
    p->time_ = std::isfinite(t) ? t : 0;
  }
  Resort();
}

void TKeyPointList::Resort() {
  // Stable: keypoints with equal times keep the order in which they were added.
  std::stable_sort(points_.begin(), points_.end(),
                   [](const TKeyPoint* a, const TKeyPoint* b) {
                     return a->time_ < b->time_;
                   });
}

TSpeedStorage& TKeyPointList::Profile(TGroup group) {
  if (!profiles_) profiles_ = std::make_unique<TProfiles>();
  std::unique_ptr<TSpeedStorage>& p = profiles_->group[group];
  if (!p) {
    // A profile is built from the keypoints: linear motion from the first to the last.
    ZEM_ASSERT(!points_.empty());
    auto s = std::make_unique<TSpeedStorage>();
    for (auto& k : points_) s->keys.push_back(TruncKey(k->time_));
    if (points_.size() >= 2)
      s->intervals.push_back({0, static_cast<int32_t>(points_.size()) - 1, s->defaultFirst, s->defaultSecond});
    p = std::move(s);
  }
  return *p;
}

void TKeyPointList::SyncProfileKeys() {
  if (!profiles_) return;
  for (auto& profile : profiles_->group) {
    TSpeedStorage* s = profile.get();
    if (!s) continue;
    ZEM_ASSERT(s->keys.size() == points_.size());
    for (size_t i = 0; i < points_.size(); ++i) s->keys[i] = TruncKey(points_[i]->time_);
  }
}

bool TKeyPointList::AnyKeypointChanged() const {
  for (auto& p : points_)
    if (p->changed) return true;
  return false;
}

void TKeyPointList::ClearChanged(bool value) {
  for (auto& p : points_) p->changed = value;
}

const TInterval* TKeyPointList::EasedInterval(const TSpeedStorage* profile, double t) const {
  if (!profile) return nullptr;
  const int32_t n = Count();
  for (const TInterval& iv : profile->intervals) {
    // Intervals that name missing keypoints (a damaged profile) are passed over.
    if (iv.from < 0 || iv.to < 0 || iv.from >= n || iv.to >= n || iv.from > iv.to) continue;
    double tp = points_[size_t(iv.from)]->time_, tq = points_[size_t(iv.to)]->time_;
    if (tp > t) return nullptr;
    if (t <= tq) return iv.IsEased() ? &iv : nullptr;
  }
  return nullptr;
}

double TKeyPointList::CorrectedFraction(double f, double t) const {
  if (!perspectiveCorrection || points_.size() < 2) return f;
  for (size_t i = 0; i + 1 < points_.size(); ++i) {
    const TKeyPoint& k = *points_[i];
    const TKeyPoint& l = *points_[i + 1];
    if (k.time_ <= t && t <= l.time_) {
      const float ls = l.Value(kKeyScaleX);
      if (ls == 0) return f;
      double r = double(k.Value(kKeyScaleX)) / ls;
      double den = 1 - f * (1 - r);
      return den != 0 ? f * r / den : f;
    }
  }
  return f;
}

double TKeyPointList::CorrectedTime(const TInterval& iv, double t) const {
  if (!perspectiveCorrection) return t;
  const TKeyPoint& p = *points_[size_t(iv.from)];
  const TKeyPoint& q = *points_[size_t(iv.to)];
  double span = q.time_ - p.time_;
  const float qs = q.Value(kKeyScaleX);
  if (qs == 0 || span == 0) return t;
  double c = (t - p.time_) / span;
  if (!(c > 0 && c < 1)) return t;
  double r = double(p.Value(kKeyScaleX)) / qs;
  return p.time_ + span * c * r / (1 - c * (1 - r));
}

void TKeyPointList::Interpolate(const TKeyPoint& a, const TKeyPoint& b, float f, double t) {
  const TKeyValues A = a.Values();
  const TKeyValues B = b.Values();
  TKeyValues& C = current;
  C.opacity = Lerp(A.opacity, B.opacity, f);
  C.blur = Lerp(A.blur, B.blur, f);

  // A keypoint without colorisation fades the amount while keeping the other one's colour.
  C.colorOff = (A.colorOff && B.colorOff) ? 1 : 0;
  C.colorAmount = C.colorOff ? 0 : Lerp(A.colorOff ? 0 : A.colorAmount, B.colorOff ? 0 : B.colorAmount, f);
  {
    const TKeyValues& ca = A.colorOff ? B : A;
    const TKeyValues& cb = B.colorOff ? A : B;
    auto ch = [f](uint8_t x, uint8_t y) {
      return static_cast<uint8_t>(std::clamp<long>(std::lround(Lerp(x, y, f)), 0, 255));
    };
    C.colorR = ch(ca.colorR, cb.colorR);
    C.colorG = ch(ca.colorG, cb.colorG);
    C.colorB = ch(ca.colorB, cb.colorB);
  }

  TSmoother smoother;
  auto smoothGroup = [this, &smoother](const TInterval& iv, double time,
                                       std::initializer_list<float TKeyValues::*> fields) {
    const TKeyPoint& p = *points_[size_t(iv.from)];
    const TKeyPoint& q = *points_[size_t(iv.to)];
    double s = std::trunc(p.time_), e = std::trunc(q.time_);
    double d = e - s;
    double ta = double(iv.first) * d, tc = double(iv.second - iv.first) * d, td = double(1 - iv.second) * d;
    const TKeyValues P = p.Values(), Q = q.Values();
    for (auto field : fields) {
      smoother.SetupSmoother(ta, tc, td, P.*field, Q.*field);
      current.*field = static_cast<float>(smoother.Smooth(time - s));
    }
  };

  if (const TInterval* iv = EasedInterval(Find(kRotate), t)) {
    smoothGroup(*iv, t, {&TKeyValues::angle, &TKeyValues::angleX, &TKeyValues::angleY});
  } else {
    C.angle = Lerp(A.angle, B.angle, f);
    C.angleX = Lerp(A.angleX, B.angleX, f);
    C.angleY = Lerp(A.angleY, B.angleY, f);
  }

  if (const TInterval* iv = EasedInterval(Find(kZoom), t)) {
    smoothGroup(*iv, CorrectedTime(*iv, t), {&TKeyValues::scaleX, &TKeyValues::scaleY});
  } else {
    float g = static_cast<float>(CorrectedFraction(f, t));
    C.scaleX = Lerp(A.scaleX, B.scaleX, g);
    C.scaleY = Lerp(A.scaleY, B.scaleY, g);
  }

  C.centerX = Lerp(A.centerX, B.centerX, f);
  C.centerY = Lerp(A.centerY, B.centerY, f);

  if (const TInterval* iv = EasedInterval(Find(kPan), t)) {
    smoothGroup(*iv, CorrectedTime(*iv, t), {&TKeyValues::posX, &TKeyValues::posY, &TKeyValues::zPos});
  } else {
    float g = static_cast<float>(CorrectedFraction(f, t));
    C.posX = Lerp(A.posX, B.posX, g);
    C.posY = Lerp(A.posY, B.posY, g);
    C.zPos = Lerp(A.zPos, B.zPos, g);
  }
}

void TKeyPointList::CopyPoint(const TKeyPoint& k) {
  current = k.Values();
  if (current.colorOff) current.colorAmount = 0;
}

void TKeyPointList::SetTime(double t) {
  time_ = t;
  inWindow_ = GetAnchor(kSlideBegin) <= t && t <= GetAnchor(kSlideEnd);
  if (points_.empty()) return;
  // First keypoint whose time is greater than t.
  auto it = std::upper_bound(points_.begin(), points_.end(), t,
                             [](double v, const TKeyPoint* k) { return v < k->time_; });
  size_t i = static_cast<size_t>(it - points_.begin());
  if (i > 0 && i < points_.size()) {
    const TKeyPoint& a = *points_[i - 1];
    const TKeyPoint& b = *points_[i];
    float ta = static_cast<float>(a.time_);
    double span = b.time_ - a.time_;
    float f = span > 0 ? static_cast<float>(t - double(ta)) / static_cast<float>(span) : 0.f;
    // Rounding the start to single precision must not step outside the pair.
    if (t == a.time_ || !(f > 0)) f = 0;
    if (f > 1) f = 1;
    Interpolate(a, b, f, t);
  } else {
    CopyPoint(i == 0 ? *points_.front() : *points_.back());
  }
}

}  // namespace zem
