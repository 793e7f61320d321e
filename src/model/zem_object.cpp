#include "model/zem_object.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <unordered_map>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "model/shadow.h"
#include "model/slide_host.h"
#include "package/load_throttle.h"
#include "model/zem_slide.h"
#include "script/ini_file.h"

namespace zem {

namespace {

constexpr double kDegToRad = std::numbers::pi / 180.0;

float Finite(double v, float def) {
  return std::isfinite(v) && std::fabs(v) < 3.0e38 ? static_cast<float>(v) : def;
}

struct TDVec {
  double x, y, z;
};

TDVec D(const TVec3& v) { return {v.x, v.y, v.z}; }

double Det(const TDVec& a, const TDVec& b, const TDVec& c) {
  return a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
}

const TMatrix3 kIdentity{};

}  // namespace

const TZemChildren::TList& TZemChildren::Empty() {
  static const TList none;
  return none;
}

const TMatrix3& TZemChildren::Identity() { return kIdentity; }

TZemObject::TExtra::TExtra() = default;
TZemObject::TExtra::~TExtra() = default;

TShortText& TShortText::operator=(const WideString& s) {
  Free();
  if (s.size() <= kInline) {
    std::memcpy(bytes_, s.data(), s.size() * sizeof(char16_t));
    size_ = uint8_t(s.size());
  } else {
    ZEM_ASSERT(s.size() <= UINT32_MAX);
    char16_t* data = new char16_t[s.size()];
    std::memcpy(data, s.data(), s.size() * sizeof(char16_t));
    const uint32_t n = uint32_t(s.size());
    std::memcpy(bytes_, &data, sizeof(data));
    std::memcpy(bytes_ + sizeof(data), &n, sizeof(n));
    size_ = kOnHeap;
  }
  return *this;
}

WideString TShortText::Str() const {
  WideString s;
  if (size_ == kOnHeap) {
    char16_t* data = nullptr;
    uint32_t n = 0;
    std::memcpy(&data, bytes_, sizeof(data));
    std::memcpy(&n, bytes_ + sizeof(data), sizeof(n));
    s.assign(data, n);
  } else {
    s.resize(size_);
    std::memcpy(s.data(), bytes_, size_ * sizeof(char16_t));
  }
  return s;
}

void TShortText::Free() {
  if (size_ == kOnHeap) {
    char16_t* data = nullptr;
    std::memcpy(&data, bytes_, sizeof(data));
    delete[] data;
  }
  size_ = 0;
}

double TZemObject::FitScaleX() const {
  double sx = 0, sy = 0;
  const TPointI ps = GetParentSize();
  ComputeScales(ps.x, ps.y, size_.x, size_.y, sx, sy);
  return float(sx);  // in single precision, like the frame
}

double TZemObject::FitScaleY() const {
  double sx = 0, sy = 0;
  const TPointI ps = GetParentSize();
  ComputeScales(ps.x, ps.y, size_.x, size_.y, sx, sy);
  return float(sy);
}

double TKeyPoints::GetAnchor(uint8_t origin) const { return owner_->GetAnchorTime(origin); }

TZemObject::TZemObject(TZemObject* parent, WideString guid) : TZemParams(this) {
  if (!guid.empty()) Extra().guid = std::move(guid);
  if (parent) {
    ZEM_ASSERT(parent->depth_ < kMaxTreeDepth);
    depth_ = uint8_t(parent->depth_ + 1);
    slide_ = parent->slide_;
    parent_ = parent;
    parent->children_.push_back(this);
  }
}

TZemObject::~TZemObject() {
  // Each child removes itself from the back of the list.
  while (!children_.empty()) delete children_.back();
  DetachFromParent();
}

void TZemObject::DetachFromParent() {
  if (!parent_) return;
  TZemChildren& list = parent_->children_;
  for (size_t i = list.size(); i-- > 0;) {
    if (list[i] == this) {
      list.erase(i);
      break;
    }
  }
  parent_ = nullptr;
}

bool TZemObject::IsChanged() const {
  if (changedProps_ || changedGeometry_) return true;
  for (const TZemObject* c : children_)
    if (c->IsChanged()) return true;
  return false;
}

void TZemObject::FrameDone(TDeviceDrawer& drawer) {
  for (TZemObject* c : children_) c->FrameDone(drawer);
}

void TZemObject::Draw(TDeviceDrawer& drawer) {
  try {
    AddPrimitives(drawer);
  } catch (...) {
    // A node that fails to draw is left out of this frame; its children still draw.
  }
  SnapshotState(false);
  for (TZemObject* c : children_) {
    if (ShowWorkAbandoned()) return;
    drawer.DrawItem(c);
  }
}

float TZemObject::GetOpacity() const {
  float scale = slide_ ? slide_->GetOpacityScale() : 100.0f;
  return scale * Opacity() / 100.0f;
}

TZemObject::TExtra& TZemObject::Extra() const {
  if (!extra_) extra_ = std::make_unique<TExtra>();
  return *extra_;
}

const TZemObject::TExtra& TZemObject::ExtraOrDefaults() const {
  static const TExtra defaults;
  return extra_ ? *extra_ : defaults;
}

void TZemObject::SetAction(const WideString& text) {
  TZemActionInfo action = ParseAction(text);
  if (!extra_ && text.empty() && action == TZemActionInfo{}) return;  // no action: nothing to keep
  TExtra& e = Extra();
  e.actionText = text;
  e.action = std::move(action);
}

void TZemObject::SetTimeScale(float s) {
  if (s == 0 && !extra_) return;
  Extra().timeScale = s;
}

void TZemObject::SetDeltaTimes(double d1, double d2) {
  if (!std::isfinite(d1)) d1 = 0;
  if (!std::isfinite(d2)) d2 = 0;
  if (d1 == DeltaTime1() && d2 == DeltaTime2()) return;
  TExtra& e = Extra();
  SetProp(e.deltaTime1, d1);
  SetProp(e.deltaTime2, d2);
}

void TZemObject::SetHideMode(int32_t mode) {
  const bool front = mode > 1, back = (mode & 1) != 0;
  if (front != hideFront_ || back != hideBack_) changedProps_ = true;
  hideFront_ = front;
  hideBack_ = back;
}

void TZemObject::SetSize(int32_t w, int32_t h) {
  TPointI s{std::max(w, 0), std::max(h, 0)};
  if (!(s == size_)) {
    size_ = s;
    changedProps_ = true;
  }
}

double TZemObject::GetAnchorTime(uint8_t origin) const { return GetSlide()->GetAnchorTime(origin); }

TPointI TZemObject::GetParentSize() const { return parent_ ? parent_->size_ : size_; }

const TFrame3& TZemObject::GetParentFrame() const {
  ZEM_ASSERT(parent_ != nullptr);
  return parent_->frame_;
}

TZemSlideHost* TZemObject::GetHost() const { return slide_ ? slide_->Host() : nullptr; }

TZemSlide* TZemObject::GetSlide() const {
  ZEM_ASSERT(slide_ != nullptr);
  return slide_;
}

bool TZemObject::CheckEdgeOnHit() {
  TZemSlideHost* host = GetHost();
  return host ? host->EdgeOnHit(this) : false;
}

void TZemObject::ComputeScales(double PW, double PH, double w, double h, double& sx, double& sy) const {
  // 1. Fit factor against the parent's size.
  double k = 0;
  if (fitMode_ == kFitPlaceInto) {
    k = (w == 0 || h == 0) ? 0 : std::min(PW / w, PH / h);
  } else if (fitMode_ == kFitCover) {
    double m = (PW == 0 || PH == 0) ? 0 : std::min(w / PW, h / PH);
    k = m > 0 ? 1 / m : 0;  // a zero-sized side covers nothing
  } else {
    ZEM_FAIL("FitMode None is not supported for this kind");
  }
  // 2. Scale factors.
  sx = keys_.current.scaleX * k * 0.01;
  sy = keys_.current.scaleY * k * 0.01;
}

void TZemObject::ComputeFrame(const TFrame3& pf, const TMatrix3& pw, bool /*hasParent*/) {
  TZemSlide* slide = GetSlide();
  TPointI ps = GetParentSize();
  double PW = ps.x, PH = ps.y, w = size_.x, h = size_.y;
  const TKeyValues& v = keys_.current;
  double sx = 0, sy = 0;
  ComputeScales(PW, PH, w, h, sx, sy);
  // 3. Local matrix from the three angles.
  const double sa = std::sin(double(v.angleX)), ca = std::cos(double(v.angleX));
  const double sb = std::sin(double(v.angleY)), cb = std::cos(double(v.angleY));
  const double sc = std::sin(double(v.angle)), cc = std::cos(double(v.angle));
  TMatrix3 m;
  m.m[0][0] = float(sx * cb * cc);
  m.m[0][1] = float(sx * cb * sc);
  m.m[0][2] = float(sx * sb);
  m.m[1][0] = float(sy * (sa * sb * cc - ca * sc));
  m.m[1][1] = float(sy * (sa * sb * sc + ca * cc));
  m.m[1][2] = float(sy * (-sa * cb));
  m.m[2][0] = float(sy * (-(ca * sb * cc + sa * sc)));
  m.m[2][1] = float(sy * (-ca * sb * sc + sa * cc));
  m.m[2][2] = float(sy * (ca * cb));
  // 4. World matrix, 5. axes with the depth factor on z.
  const TMatrix3 world = m * pw;
  children_.SetWorld(world);
  const float depth = slide->DepthFactor();
  TVec3 ax = world.Row(0), ay = world.Row(1), az = world.Row(2);
  ax.z *= depth;
  ay.z *= depth;
  az.z *= depth;
  // 6. Position in the parent's frame.
  TVec3 p;
  if (posMode_ == kModePercent)
    p = {float(v.posX * PW * 0.005), float(v.posY * PH * 0.005), float(v.zPos * PH / 200)};
  else
    p = {v.posX, v.posY, float(v.zPos * PH / 200)};
  // 7. Origin and determinant.
  frame_.origin = pf.origin + pf.axisX * p.x + pf.axisY * p.y + pf.axisZ * p.z;
  frame_.axisX = ax;
  frame_.axisY = ay;
  frame_.axisZ = az;
  double det = Det(D(ax), D(ay), D(az));
  frameValid_ = std::isfinite(det) && std::fabs(det) > 1e-18;
  // 8. Local rectangle around the pivot.
  if (centerMode_ != kModePercent) ZEM_FAIL("CenterMode Absolute is not supported");
  localTopLeft_ = {float(-w * (0.5 + v.centerX / 200.0)), float(-h * (0.5 + v.centerY / 200.0))};
  facingShows_ = ComputeFacing();
}

bool TZemObject::ComputeFacing() const {
  // Plane through O, O + X, O + Y, evaluated at the camera: >= 0 shows the back.
  const TVec3 c = GetSlide()->CameraPosition();
  const TVec3 p0 = frame_.origin, p1 = frame_.origin + frame_.axisX, p2 = frame_.origin + frame_.axisY;
  const double x0 = p0.x, y0 = p0.y, z0 = p0.z, x1 = p1.x, y1 = p1.y, z1 = p1.z, x2 = p2.x, y2 = p2.y, z2 = p2.z;
  const double A = (z1 - z2) * y0 + (z2 - z0) * y1 + (z0 - z1) * y2;
  const double B = z0 * (x1 - x2) + z1 * (x2 - x0) + z2 * (x0 - x1);
  const double C = x0 * (y1 - y2) + x1 * (y2 - y0) + x2 * (y0 - y1);
  const double E = -x0 * (y1 * z2 - z1 * y2) - x1 * (z0 * y2 - z2 * y0) - x2 * (z1 * y0 - z0 * y1);
  const double value = A * c.x + B * c.y + C * c.z + E;
  return value >= 0 ? !hideBack_ : !hideFront_;
}

void TZemObject::CompareWithSnapshot(const TFrame3& before, TPointF beforeTopLeft) {
  const TKeyValues& v = keys_.current;
  bool changed = changedGeometry_ || GetOpacity() != snapOpacity_ || v.blur != snapBlur_ ||
                 v.colorOff != snapColorOff_ || v.colorR != snapR_ || v.colorG != snapG_ || v.colorB != snapB_ ||
                 v.colorAmount != snapAmount_ || !(frame_ == before) || !(localTopLeft_ == beforeTopLeft);
  changedGeometry_ = changed;
}

void TZemObject::UpdateTransform(bool recursive) {
  // Only ComputeFrame changes the frame, so the frame before it is the previous update's.
  const TFrame3 before = frame_;
  const TPointF beforeTopLeft = localTopLeft_;
  ComputeFrame(GetParentFrame(), parent_ ? parent_->children_.World() : kIdentity, parent_ != nullptr);
  hiddenByAncestor_ = (childInvis_ && !facingShows_) || (parent_ && parent_->hiddenByAncestor_);
  CompareWithSnapshot(before, beforeTopLeft);
  if (recursive)
    for (TZemObject* c : children_) {
      if (ShowWorkAbandoned()) return;
      c->UpdateTransform(true);
    }
}

void TZemObject::Corners(TVec3 out[4]) const {
  const float l = localTopLeft_.x, t = localTopLeft_.y;
  const float r = l + size_.x, b = t + size_.y;
  out[0] = frame_.Map(l, t);
  out[1] = frame_.Map(r, t);
  out[2] = frame_.Map(r, b);
  out[3] = frame_.Map(l, b);
}

bool TZemObject::HitTestPoint(const TPointF& point, float& x, float& y) {
  if (!frameValid_) {
    if (!CheckEdgeOnHit()) return false;
    x = y = 0;
    return true;
  }
  // Cast the ray from the camera through the screen point and meet the node's plane (local
  // z = 0); both ends are taken into local coordinates with the inverse frame.
  const TDVec ax = D(frame_.axisX), ay = D(frame_.axisY), az = D(frame_.axisZ);
  const double inv = 1 / Det(ax, ay, az);
  auto toLocal = [&](const TVec3& p) {
    TDVec v = D(p - frame_.origin);
    return TDVec{Det(v, ay, az) * inv, Det(ax, v, az) * inv, Det(ax, ay, v) * inv};
  };
  const TVec3 cam = GetSlide()->CameraPosition();
  const TVec3 screen{point.x, point.y, 0};
  // A ray that grazes the plane (the node seen edge-on, up to rounding) meets it nowhere.
  const TDVec n{ax.y * ay.z - ax.z * ay.y, ax.z * ay.x - ax.x * ay.z, ax.x * ay.y - ax.y * ay.x};
  const TDVec dir = D(screen - cam);
  const double nn = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
  const double dd = std::sqrt(dir.x * dir.x + dir.y * dir.y + dir.z * dir.z);
  if (!(std::fabs(n.x * dir.x + n.y * dir.y + n.z * dir.z) > 1e-6 * nn * dd)) {
    if (!CheckEdgeOnHit()) return false;
    x = y = 0;
    return true;
  }
  const TDVec lc = toLocal(cam);
  const TDVec ls = toLocal(screen);
  const double denom = lc.z - ls.z;
  if (denom == 0 || !std::isfinite(denom)) return false;
  const double s = lc.z / denom;
  if (!(s > 0)) return false;  // the plane lies behind the viewer
  const double lx = lc.x + s * (ls.x - lc.x), ly = lc.y + s * (ls.y - lc.y);
  x = float(lx);
  y = float(ly);
  const double left = localTopLeft_.x, top = localTopLeft_.y;
  return left <= lx && lx <= left + size_.x && top <= ly && ly <= top + size_.y;
}

void TZemObject::AddPrimitives(TDeviceDrawer&) {}

void TZemObject::ReadKeypointValues(const TCommonIniSection& s) {
  TKeyValues& c = keys_.current;
  c.opacity = Finite(s.ReadFloat(u"Opacity", 100), 100);
  c.angle = Finite(s.ReadFloat(u"Angle", 0) * kDegToRad, 0);
  c.scaleX = Finite(s.ReadFloat(u"ScaleX", 100), 100);
  c.scaleY = Finite(s.ReadFloat(u"ScaleY", 100), 100);
  TIniFloatPoint pos = s.ReadFloatPoint(u"Position", {0, 0});
  c.posX = Finite(pos.x, 0);
  c.posY = Finite(pos.y, 0);
  TIniFloatPoint cen = s.ReadFloatPoint(u"CenterPos", {0, 0});
  c.centerX = Finite(cen.x, 0);
  c.centerY = Finite(cen.y, 0);
  c.angleX = Finite(s.ReadFloat(u"AngleX", 0) * kDegToRad, 0);
  c.angleY = Finite(s.ReadFloat(u"AngleY", 0) * kDegToRad, 0);
  c.zPos = Finite(s.ReadFloat(u"ZPos", 0), 0);
  c.blur = Finite(s.ReadFloat(u"Blur", 0), 0);
  std::vector<int32_t> col;
  int n = s.ReadIntegers(u"Colorisation", col, 4);
  if (n == 4 && col.size() == 4) {
    auto ch = [](int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); };
    c.colorR = ch(col[0]);
    c.colorG = ch(col[1]);
    c.colorB = ch(col[2]);
    c.colorAmount = float(col[3] * 0.001);
    c.colorOff = 0;
  } else {
    c.colorOff = 1;
    c.colorAmount = 0;
    c.colorR = c.colorG = c.colorB = 255;
  }
}

void TZemObject::ReadContent(const TCommonIniSection& section) {
  // On a re-read, children found again by GUID are kept; the others go at the end.
  std::vector<std::unique_ptr<TZemObject>> previous;
  std::unordered_map<WideString, size_t> byGuid;
  if (!children_.empty()) {
    for (TZemObject* c : children_) {
      c->parent_ = nullptr;
      previous.emplace_back(c);
      if (!c->StoredGuid().empty()) byGuid.emplace(c->StoredGuid(), previous.size() - 1);
    }
    children_.clear();
  }
  for (TIniObject* o = section.FirstObject(); o; o = section.NextObject(o)) {
    // The loader reading this slide is being stopped: its slide is thrown away unfinished.
    if (LoadGivenUp()) break;
    const WideString kind = LowerCase(o->NameView());
    if (kind == u"keypoint") {
      if (keys_.Count() >= TSpeedStorage::kMaxCount) continue;  // beyond what a profile can hold
      double time = o->ReadFloat(u"Time", 0);
      if (!std::isfinite(time)) time = 0;
      int origin = o->ReadChoiceNoCase(u"Origin", {u"SlideBegin", u"PrevEffectEnd", u"NextEffectBegin", u"SlideEnd"}, 0);
      if (const float scale = TimeScale(); scale > 0) {
        time = std::round((GetAnchorTime(uint8_t(origin)) - GetAnchorTime(kSlideBegin) + time) * scale);
        origin = kSlideBegin;
      }
      TKeyPoint* kp = keys_.AddKeypoint(uint8_t(origin), time);
      ReadKeypointValues(*o);
      keys_.CopyCurrentTo(kp);
      continue;
    }
    if (depth_ + 1 > kMaxTreeDepth) continue;  // nested too deep: skipped
    // Without a "GUID" key the node gets a new one when it is first asked for (Guid()); such a
    // node never matches a node of the previous reading.
    WideString guid = o->ReadString(u"GUID", u"");
    auto it = guid.empty() ? byGuid.end() : byGuid.find(guid);
    if (it != byGuid.end() && previous[it->second]) {
      TZemObject* child = previous[it->second].release();
      byGuid.erase(it);
      child->parent_ = this;
      children_.push_back(child);
      child->keys_.Clear();
      child->SetTimeScale(TimeScale());
      child->ReadSection(*o, true);
    } else {
      TZemObject* child = CreateZemObject(kind, this, guid);
      if (!child) continue;
      child->SetTimeScale(TimeScale());
      child->ReadSection(*o, false);
    }
  }
}

void TZemObject::ReadSection(const TCommonIniSection& s, bool /*reload*/) {
  if (auto* obj = dynamic_cast<const TIniObject*>(&s))
    caption_ = obj->Value();
  else
    caption_ = s.Name();
  SetFitMode(uint8_t(s.ReadChoiceNoCase(u"FitMode", {u"None", u"PlaceInto", u"Cover"}, kFitPlaceInto)));
  SetPosMode(uint8_t(s.ReadChoiceNoCase(u"PosMode", {u"Absolute", u"Percent"}, kModePercent)));
  SetCenterMode(uint8_t(s.ReadChoiceNoCase(u"CenterMode", {u"Absolute", u"Percent"}, kModePercent)));
  SetDeltaTimes(s.ReadFloat(u"DeltaTime1", 0), s.ReadFloat(u"DeltaTime2", 0));
  SetTranspForClick(s.ReadBool(u"TranspForClick", false));
  treeNode = s.ReadBool(u"TreeNode", true);
  keys_.perspectiveCorrection = s.ReadBool(u"PerspectiveCorrection", false) ? 1 : 0;
  shadowEnable = s.ReadBool(u"ShadowEnable", DefaultShadowEnable());
  shadowSize = Finite(s.ReadFloat(u"ShadowSize", 16), 16);
  TIniRGB sc = s.ReadRGB(u"ShadowColor", TIniRGB{});
  shadowR = sc.red;
  shadowG = sc.green;
  shadowB = sc.blue;
  shadowOpacity = Finite(s.ReadFloat(u"ShadowOpacity", 59), 59);
  shadowDistance = Finite(s.ReadFloat(u"ShadowDistance", 1.5), 1.5f);
  shadowAngle = Finite(s.ReadFloat(u"ShadowAngle", 45), 45);
  shadowSpreadIndex = s.ReadInteger(u"ShadowSpreadIndex", 0);
  shadow3D = s.ReadBool(u"3DShadow", false);
  SetHideMode(s.ReadInteger(u"HideMode", 0));
  SetChildInvis(s.ReadBool(u"ChildInvis", false));
  SetAction(s.ReadString(u"Action", u""));

  ReadContent(s);

  // A section without keypoints would leave no profile to build and its whole slide unread:
  // it keeps its creation defaults in one keypoint at the slide's start instead.
  if (keys_.Count() == 0) {
    LogLine("TZemObject.ReadSection: no keypoints in " + WideToUtf8(caption_.Str()) + ", defaults kept");
    keys_.AddKeypoint(kSlideBegin, 0);
  }
  // Speed profiles: an absent key keeps the linear profile built from the keypoints, which
  // eases nothing, so it is built only for a key that is present (large shows have many objects
  // without one).
  struct {
    const char16_t* key;
    TSpeedStorage& (TKeyPointList::*profile)();
  } const profiles[] = {{u"PanSpeed", &TKeyPointList::PanProfile},
                        {u"RotateSpeed", &TKeyPointList::RotateProfile},
                        {u"ZoomSpeed", &TKeyPointList::ZoomProfile}};
  for (const auto& p : profiles) {
    const TIniIdent* key = s.FindKey(p.key);
    if (!key) continue;
    (keys_.*p.profile)().FromText(WideToUtf8(key->Value()));
  }
  keys_.SyncProfileKeys();
}

bool TZemObject::SetTime(bool recursive, double t) {
  keys_.SetTime(t);
  if (recursive)
    for (TZemObject* c : children_) {
      if (ShowWorkAbandoned()) break;
      c->SetTime(true, t);
    }
  const TExtra& e = ExtraOrDefaults();
  const bool w = GetAnchorTime(kSlideBegin) + e.deltaTime1 <= t && t <= GetAnchorTime(kSlideEnd) - e.deltaTime2;
  if (w != inWindow_) changedGeometry_ = true;
  inWindow_ = w;
  return w;
}

bool TZemObject::KeypointsChanged() const {
  if (keys_.AnyKeypointChanged()) return true;
  for (const TZemObject* c : children_)
    if (c->KeypointsChanged()) return true;
  return false;
}

void TZemObject::Prepare(TDeviceDrawer& drawer) {
  if (!drawer.IsReady()) return;
  for (TZemObject* c : children_) c->Prepare(drawer);
}

void TZemObject::Preload(TDeviceDrawer& drawer, double t) {
  if (!drawer.IsReady()) return;
  for (TZemObject* c : children_) {
    if (ShowWorkAbandoned()) return;
    c->Preload(drawer, t);
  }
}

void TZemObject::Release(TDeviceDrawer& drawer) {
  for (TZemObject* c : children_) c->Release(drawer);
}

TZemObject* TZemObject::FindHit(float x, float y, THitFilter filter, void* filterData, TPointF& local) {
  for (size_t i = children_.size(); i-- > 0;)
    if (TZemObject* hit = children_[i]->FindHit(x, y, filter, filterData, local)) return hit;
  float lx = 0, ly = 0;
  if (HitTestPoint({x, y}, lx, ly) && (!filter || filter(this, filterData))) {
    local = {lx, ly};
    return this;
  }
  return nullptr;
}

TZemObject* TZemObject::HitTest(float x, float y, bool searchChildren, TPointF& local) {
  if (searchChildren) return FindHit(x, y, nullptr, nullptr, local);
  float lx = 0, ly = 0;
  if (!HitTestPoint({x, y}, lx, ly)) return nullptr;
  local = {lx, ly};
  return this;
}

void TZemObject::SetTimeAndUpdate(bool recursive, double t) {
  SetTime(recursive, t);
  UpdateTransform(recursive);
}

void TZemObject::SnapshotState(bool recursive) {
  const TKeyValues& v = keys_.current;
  snapOpacity_ = GetOpacity();
  snapBlur_ = v.blur;
  snapColorOff_ = v.colorOff;
  snapR_ = v.colorR;
  snapG_ = v.colorG;
  snapB_ = v.colorB;
  snapAmount_ = v.colorAmount;
  changedProps_ = changedGeometry_ = false;
  keys_.ClearChanged(false);
  if (recursive)
    for (TZemObject* c : children_) c->SnapshotState(true);
}

void TZemObject::RefreshKeypointTimes() {
  ForEachNode(this, [](TZemObject* n) { n->keys_.RefreshTimes(); });
}

const WideString& TZemObject::Guid() const {
  TExtra& e = Extra();
  if (e.guid.empty()) e.guid = NewGuidText();
  return e.guid;
}

WideString NewGuidText() {
  thread_local std::mt19937_64 gen{std::random_device{}()};
  static const char16_t* hex = u"0123456789ABCDEF";
  uint64_t a = gen(), b = gen();
  WideString s = u"{";
  for (int i = 0; i < 32; ++i) {
    if (i == 8 || i == 12 || i == 16 || i == 20) s += u'-';
    uint64_t w = i < 16 ? a : b;
    s += hex[(w >> (4 * (i % 16))) & 15];
  }
  s += u'}';
  return s;
}

}  // namespace zem
