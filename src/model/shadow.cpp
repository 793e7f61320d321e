#include "model/shadow.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "model/slide_host.h"
#include "model/zem_object.h"
#include "resources/generated/shadow_builder.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// Fields before the source in a shadow name.
constexpr size_t kShadowFields = 19;

WideString Num(int64_t v) { return Utf8ToWide(std::to_string(v)); }

// Floats written so that they read back exactly.
WideString Num(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", double(v));
  return Utf8ToWide(buf);
}

float Finite(float v, float def) { return std::isfinite(v) ? v : def; }

}  // namespace

WideString ShadowPictureName(const TShadowParams& p) {
  WideString s = kShadowPrefix;
  for (int64_t v : {int64_t(p.rect.left), int64_t(p.rect.top), int64_t(p.rect.right), int64_t(p.rect.bottom),
                    int64_t(p.marginX), int64_t(p.marginY), int64_t(p.marginAlpha)})
    s += Num(v) + u":";
  s += Num(p.size) + u":";
  for (int64_t v : {int64_t(p.red), int64_t(p.green), int64_t(p.blue)}) s += Num(v) + u":";
  s += Num(p.opacity) + u":";
  for (int64_t v : {int64_t(p.spreadIndex), int64_t(p.shadow3D), int64_t(p.boxAlpha1), int64_t(p.boxAlpha2),
                    int64_t(p.boxFill), int64_t(p.level), int64_t(p.spriteSheet)})
    s += Num(v) + u":";
  return s + p.source;
}

bool ParseShadowPictureName(WideView name, TShadowParams& out) {
  const WideView prefix(kShadowPrefix);
  if (name.substr(0, prefix.size()) != prefix) return false;
  WideView rest = name.substr(prefix.size());
  std::vector<WideView> f;
  while (f.size() < kShadowFields) {
    const size_t colon = rest.find(u':');
    if (colon == WideView::npos) return false;
    f.push_back(rest.substr(0, colon));
    rest.remove_prefix(colon + 1);
  }
  int32_t ints[kShadowFields] = {};
  double floats[kShadowFields] = {};
  for (size_t i = 0; i < kShadowFields; ++i) {
    const bool isFloat = i == 7 || i == 11;
    if (isFloat ? !TryParseIniFloat(f[i], floats[i]) : !TryParseIniInteger(f[i], ints[i])) return false;
  }
  TShadowParams p;
  p.rect = {ints[0], ints[1], ints[2], ints[3]};
  p.marginX = ints[4];
  p.marginY = ints[5];
  p.marginAlpha = std::clamp(ints[6], 0, 255);
  p.size = float(floats[7]);
  p.red = uint8_t(std::clamp(ints[8], 0, 255));
  p.green = uint8_t(std::clamp(ints[9], 0, 255));
  p.blue = uint8_t(std::clamp(ints[10], 0, 255));
  p.opacity = float(floats[11]);
  p.spreadIndex = ints[12];
  p.shadow3D = ints[13] != 0;
  p.boxAlpha1 = std::clamp(ints[14], 0, 255);
  p.boxAlpha2 = std::clamp(ints[15], 0, 255);
  p.boxFill = ints[16];
  p.level = std::clamp(ints[17], 0, 30);
  p.spriteSheet = ints[18] != 0;
  p.source = WideString(rest);
  out = std::move(p);
  return true;
}

TShadowParams NormaliseRectangle(const TShadowParams& in, double* factor) {
  TShadowParams p = in;
  const double w = double(in.ExtentWidth()), h = double(in.ExtentHeight());
  const double f = w > 0 && h > 0 ? std::sqrt(40000.0 / (w * h)) : 1;
  auto scale = [f](int32_t v) { return int32_t(std::clamp<double>(std::round(v * f), -2e9, 2e9)); };
  p.rect = {scale(in.rect.left), scale(in.rect.top), scale(in.rect.right), scale(in.rect.bottom)};
  if (p.rect.right <= p.rect.left) p.rect.right = p.rect.left + 1;
  if (p.rect.bottom <= p.rect.top) p.rect.bottom = p.rect.top + 1;
  p.marginX = scale(in.marginX);
  p.marginY = scale(in.marginY);
  p.size = float(in.size * f);
  if (factor) *factor = f;
  return p;
}

TShadowSource TShadowSource::Rectangle(int32_t w, int32_t h, int32_t margin, uint8_t marginAlpha,
                                       const TRectF& localRect, float sizeMeasure, float distanceMeasure) {
  TShadowSource s;
  s.params.source = kShadowRectSource;
  s.params.rect = {0, 0, std::max(w, 0), std::max(h, 0)};
  s.params.marginX = s.params.marginY = std::max(margin, 0);
  s.params.marginAlpha = marginAlpha;
  s.sizeMeasure = sizeMeasure;
  s.distanceMeasure = distanceMeasure;
  s.localRect = localRect;
  return s;
}

TVec3 ShadowOffset(const TZemObject& object, float distanceMeasure) {
  const TFrame3& f = object.Frame();
  const double lx = f.axisX.Length(), ly = f.axisY.Length();
  double d = std::sqrt(lx * ly) * double(object.shadowDistance) * double(distanceMeasure) / 100;
  if (!std::isfinite(d)) d = 0;
  const double a = object.shadowAngle * std::numbers::pi / 180;
  const double c = std::isfinite(a) ? std::cos(a) : 1, s = std::isfinite(a) ? std::sin(a) : 0;
  if (object.shadow3D) {
    // Along the object's own axes, so the shadow turns with it.
    const TVec3 ux = lx > 0 ? f.axisX * float(1 / lx) : TVec3{};
    const TVec3 uy = ly > 0 ? f.axisY * float(1 / ly) : TVec3{};
    return ux * float(d * c) + uy * float(d * s);
  }
  return {float(d * c), float(d * s), 0};
}

TImageParams TShadow::DrawParams(float opacity) const {
  TImageParams p;
  p.opacity = opacity;
  p.filtering = 1;  // enlarged by the drawer: bilinear
  return p;
}

void TShadow::Update(const TZemObject& object, const TShadowSource& source) {
  TShadowParams p = source.params;
  // Sizes: the blur radius is capped by the builder; a radius that is not a number is none.
  const double size = double(Finite(object.shadowSize, 16)) * double(Finite(source.sizeMeasure, 0));
  p.size = float(std::isfinite(size) ? std::clamp(size, 0.0, 1e9) : 0.0);
  p.red = object.shadowR;
  p.green = object.shadowG;
  p.blue = object.shadowB;
  p.opacity = std::clamp(Finite(object.shadowOpacity, 59), 0.0f, 100.0f);
  p.spreadIndex = object.shadowSpreadIndex;
  p.shadow3D = object.shadow3D;
  const bool rectangle = p.IsRectangle();
  if (rectangle) p = NormaliseRectangle(p);
  sizeMeasure_ = source.sizeMeasure;
  distanceMeasure_ = Finite(source.distanceMeasure, 0);
  localRect_ = source.localRect;
  if (built_ && p == params_) return;
  params_ = p;
  normalised_ = rectangle;
  TZemSlideHost* host = object.GetHost();
  picture_ = host && p.ExtentWidth() > 0 && p.ExtentHeight() > 0 ? host->GetPicture(ShadowPictureName(p))
                                                                  : TRef<TDrawPicture>();
  // A build cut short by the continue test is not final.
  built_ = picture_ || !host || host->ContinueLoading();
}

void TShadow::Prepare(TDeviceDrawer& drawer) {
  if (picture_ && drawer.IsReady()) drawer.PrepareImage(picture_.get(), DrawParams(100));
}

void TShadow::Release(TDeviceDrawer& drawer) {
  if (picture_) drawer.ReleaseImage(picture_.get());
}

void TShadow::Draw(TDeviceDrawer& drawer, const TZemObject& object) const {
  if (!picture_) return;
  const float opacity = object.GetOpacity();
  if (!(opacity > 0)) return;
  const int64_t ew = params_.ExtentWidth(), eh = params_.ExtentHeight();
  const TShadowLayout layout = ComputeShadowLayout(ew, eh, params_.size);
  if (!layout.Valid() || picture_->Width() != layout.Width() || picture_->Height() != layout.Height()) return;
  // A halved silhouette pixel spans 2^n extent pixels; the extent spans the local rectangle.
  const double step = double(int64_t(1) << layout.halvings);
  const float kx = float(step * (localRect_.right - localRect_.left) / double(ew));
  const float ky = float(step * (localRect_.bottom - localRect_.top) / double(eh));
  const TFrame3& f = object.Frame();
  const TVec3 origin = f.Map(localRect_.left, localRect_.top) + ShadowOffset(object, distanceMeasure_);
  const float pad = float(layout.pad);
  drawer.DrawImage(picture_.get(), origin, {pad, pad}, f.axisX * kx, f.axisY * ky, DrawParams(opacity));
}

}  // namespace zem
