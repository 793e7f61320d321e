#include "model/zem_box.h"

#include <algorithm>
#include <cmath>

#include "model/zem_slide.h"
#include "script/ini_file.h"

namespace zem {

namespace {

uint32_t Rgb(const TIniRGB& c) { return (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue; }

}  // namespace

void TZemBox::SetColours(uint32_t rgb1, uint32_t rgb2) {
  SetProp(colour1_, (colour1_ & 0xFF000000u) | (rgb1 & 0xFFFFFFu));
  SetProp(colour2_, (colour2_ & 0xFF000000u) | (rgb2 & 0xFFFFFFu));
}

void TZemBox::SetAlphas(int32_t a1, int32_t a2) {
  SetProp(colour1_, (uint32_t(std::clamp(a1, 0, 255)) << 24) | (colour1_ & 0xFFFFFFu));
  SetProp(colour2_, (uint32_t(std::clamp(a2, 0, 255)) << 24) | (colour2_ & 0xFFFFFFu));
}

void TZemBox::ReadSection(const TCommonIniSection& s, bool reload) {
  TIniPoint size = s.ReadPoint(u"Size", {0, 0});
  SetSize(size.x, size.y);
  // Fill names are compared exactly; anything else keeps the solid fill.
  SetFill(uint8_t(s.ReadChoice(u"FillMode", {u"Solid", u"HGradient", u"VGradient", u"TLBRGradient", u"TRBLGradient"},
                               kSolid)));
  SetColours(Rgb(s.ReadRGB(u"Color1", TIniRGB{})), Rgb(s.ReadRGB(u"Color2", TIniRGB{})));
  SetAlphas(s.ReadInteger(u"Alpha1", 255), s.ReadInteger(u"Alpha2", 255));
  SetAntialiased(s.ReadBool(u"Antialiased", false));
  TZemObject::ReadSection(s, reload);
}

uint8_t TZemBox::FillStyleCode(uint8_t fill) {
  switch (fill) {
    case kHGradient: return kFillHGradient;
    case kVGradient: return kFillVGradient;
    case kTLBRGradient: return kFillTLBRGradient;
    case kTRBLGradient: return kFillTRBLGradient;
    default: return kFillSolid;
  }
}

TBoxParams TZemBox::BoxParams() const {
  TBoxParams p;
  const uint8_t aa = antialiased_ ? 1 : 0;
  for (uint8_t& e : p.edgeAntialias) e = aa;
  p.fillStyle = FillStyleCode(fill_);
  p.colour1 = colour1_;
  p.colour2 = fill_ == kSolid ? colour1_ : colour2_;
  p.width = 1;
  p.height = 1;
  p.opacity = GetOpacity();
  return p;
}

TShadow* TZemBox::UpdateShadow() {
  if (!shadowEnable || size_.x <= 0 || size_.y <= 0) return nullptr;
  const double area = std::sqrt(double(size_.x) * size_.y);
  const TRectF local{localTopLeft_.x, localTopLeft_.y, localTopLeft_.x + size_.x, localTopLeft_.y + size_.y};
  TShadowSource source = TShadowSource::Rectangle(size_.x, size_.y, 0, 0, local, float(area / 400 * 1.1), float(area));
  source.params.boxAlpha1 = Alpha1();
  source.params.boxAlpha2 = fill_ == kSolid ? Alpha1() : Alpha2();  // a solid box fills with its first colour
  source.params.boxFill = FillStyleCode(fill_);
  std::unique_ptr<TShadow>& shadow = Extra().boxShadow;
  if (!shadow) shadow = std::make_unique<TShadow>();
  shadow->Update(*this, source);
  return shadow.get();
}

void TZemBox::Prepare(TDeviceDrawer& drawer) {
  if (drawer.IsReady())
    if (TShadow* s = UpdateShadow()) s->Prepare(drawer);
  TZemObject::Prepare(drawer);
}

void TZemBox::Release(TDeviceDrawer& drawer) {
  if (extra_ && extra_->boxShadow) extra_->boxShadow->Release(drawer);
  TZemObject::Release(drawer);
}

void TZemBox::AddPrimitives(TDeviceDrawer& drawer) {
  if (!IsShown() || size_.x <= 0 || size_.y <= 0) return;
  if (TShadow* s = UpdateShadow()) s->Draw(drawer, *this);
  TVec3 c[4];
  Corners(c);
  // Position at the first corner; the edges to the second and fourth corner span the box.
  drawer.DrawBox(c[0], {0, 0}, c[1] - c[0], c[3] - c[0], BoxParams());
}

}  // namespace zem
