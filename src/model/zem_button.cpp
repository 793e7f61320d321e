#include "model/zem_button.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "foundation/assert.h"
#include "model/generated_pictures.h"
#include "model/slide_host.h"
#include "model/zem_text.h"
#include "script/ini_file.h"

namespace zem {

namespace {

float Fin(double v, double def, double lo, double hi) {
  return float(std::isfinite(v) ? std::clamp(v, lo, hi) : def);
}

}  // namespace

int64_t TZemButton::ComputeWidth(int32_t h, double minWidth, double offsetX, double k, double a) {
  auto sane = [](double v) { return std::isfinite(v) ? std::clamp(v, -1e12, 1e12) : 0.0; };
  const double H = h;
  const double inner = H - std::round(sane((100 - k) * H / 100));
  const double fromCaption = std::round(sane(inner * a + H * offsetX / 100));
  const double fromMinimum = std::round(sane(H * minWidth / 100));
  return int64_t(std::max({H, fromMinimum, fromCaption}));
}

TZemText* TZemButton::Caption() const {
  return children_.empty() ? nullptr : dynamic_cast<TZemText*>(children_.front());
}

void TZemButton::InitDefaults() {
  show::TZemImage::InitDefaults();
  state_ = kStateNormal;
  btnOpacity_ = txtOpacity_ = 100;
}

void TZemButton::DropPictures() {
  for (int s = 0; s < 3; ++s) {
    pictures_[s].reset();
    triedWidth_[s] = -1;
  }
  if (picture_) previous_ = std::move(picture_);
  picture_.reset();
  changedProps_ = true;
}

void TZemButton::LoadTheme(const WideString& name) {
  themeRead_ = true;
  themeName_ = name;
  theme_.reset();
  TZemSlideHost* host = GetHost();
  if (!host) return;
  theme_ = host->Generated().Theme(name, *host);
  if (!theme_) {
    // A missing theme falls back to "aqua", then to none.
    themeName_ = u"aqua";
    theme_ = host->Generated().Theme(themeName_, *host);
  }
  if (!theme_) return;
  height_ = theme_->Height();
  width_ = height_;
  SetFiltering(theme_->Filtering());
}

void TZemButton::ApplyThemeToCaption(bool firstTheme) {
  TZemText* caption = Caption();
  if (!caption) return;
  caption->MakeCaption(theme_ ? theme_->TextColour() : caption->Color(0));
  if (!firstTheme || !theme_) return;
  ZEM_ASSERT(caption->Keys().Count() == 1);
  TKeyPoint* k = caption->Keys().At(0);
  const float scale = 100 - theme_->BtnOffset();
  k->SetScaleX(scale);
  k->SetScaleY(scale);
  caption->Keys().SetTime(caption->Keys().CurrentTime());
}

void TZemButton::ReadSection(const TCommonIniSection& s, bool reload) {
  const bool hadPicture = hadPicture_;
  DropPictures();
  const WideString theme = s.ReadString(u"Theme", themeName_);
  const bool newTheme = !themeRead_ || theme != themeName_;
  if (newTheme) LoadTheme(theme);
  btnOpacity_ = Fin(s.ReadFloat(u"BtnOpacity", 100), 100, -1e6, 1e6);
  txtOpacity_ = Fin(s.ReadFloat(u"TxtOpacity", 100), 100, -1e6, 1e6);
  hue_ = std::clamp(s.ReadInteger(u"Hue", 0), -100000, 100000);
  saturation_ = std::clamp(s.ReadInteger(u"Saturation", 0), -100000, 100000);
  lightness_ = std::clamp(s.ReadInteger(u"Lightness", 0), -100000, 100000);
  show::TZemImage::ReadSection(s, reload);
  // The theme's filtering stands unless the section names its own.
  if (theme_ && !s.FindKey(u"Filtering")) SetFiltering(theme_->Filtering());
  ApplyThemeToCaption(newTheme && !hadPicture);
  btnMinWidth_ = Fin(s.ReadFloat(u"BtnMinWidth", theme_ ? theme_->BtnMinWidth() : 0), 0, 0, 1e6);
  btnOffsetX_ = Fin(s.ReadFloat(u"BtnOffsetX", 100), 100, -1e6, 1e6);
  SetMipLodBias(0);
}

void TZemButton::UpdateWidth() {
  if (!theme_) return;
  // Without a caption of known size, the minimum alone.
  int64_t w = std::max<int64_t>(height_, std::llround(double(height_) * btnMinWidth_ / 100));
  if (TZemText* caption = Caption()) {
    const TPointF size = caption->NaturalSize();
    if (size.x > 0 && size.y > 0) {
      const TKeyPoints& keys = caption->Keys();
      const double k = keys.Count() > 0 ? keys.At(0)->Values().scaleX : caption->ScaleX();
      w = ComputeWidth(height_, btnMinWidth_, btnOffsetX_, k, double(size.x) / size.y);
    }
  }
  width_ = int32_t(std::clamp<int64_t>(w, 1, int64_t(1) << 30));
}

void TZemButton::EnsurePicture(uint8_t state) {
  if (!theme_ || triedWidth_[state] == width_) return;
  TZemSlideHost* host = GetHost();
  if (!host) return;
  TButtonRequest r{state, width_, hue_, saturation_, lightness_, theme_->Name()};
  pictures_[state] = host->GetPicture(ButtonPictureName(r));
  // A build the continue test cut short is tried again later.
  if (pictures_[state] || host->ContinueLoading()) triedWidth_[state] = width_;
  if (pictures_[state]) hadPicture_ = true;
}

void TZemButton::LoadImage() {
  if (!theme_ || !theme_->Valid()) return;
  UpdateWidth();
  EnsurePicture(state_);
  if (pictures_[state_] == picture_) return;
  picture_ = pictures_[state_];
  previous_.reset();
  changedProps_ = true;
  shadowRebuild = true;
  RecomputeGeometry();
}

void TZemButton::SetState(uint8_t state) {
  if (state > 2 || state == state_) return;
  state_ = state;
  changedGeometry_ = true;
  // The prepared picture of the new state is shown from the next load on.
  if (pictures_[state] && triedWidth_[state] == width_) {
    picture_ = pictures_[state];
    RecomputeGeometry();
  }
}

void TZemButton::ComputeScales(double, double PH, double, double, double& sx, double& sy) const {
  const double H = height_;
  sx = H > 0 ? ScaleX() * PH / H * 0.01 : 0;
  sy = H > 0 ? ScaleY() * PH / H * 0.01 : 0;
}

void TZemButton::UpdateTransform(bool recursive) {
  LoadImage();
  TZemObject::UpdateTransform(false);
  mipLevel_ = 0;  // a button picture is drawn from its own full-size texture
  if (recursive)
    for (TZemObject* c : children_) c->UpdateTransform(true);
}

bool TZemButton::SetTime(bool recursive, double t) {
  const bool inWindow = show::TZemImage::SetTime(recursive, t);
  // The caption fades with the button. Its own opacity takes the slide's scale once more, so
  // the button's own Opacity is used here.
  if (TZemText* caption = Caption()) caption->Keys().current.opacity = Opacity() * txtOpacity_ / 100;
  return inWindow;
}

float TZemButton::GetImageOpacity() const { return GetOpacity() * btnOpacity_ / 100; }

bool TZemButton::ShadowSourceFor(int32_t slot, TShadowSource& out) {
  TDrawPicture* pic = slot >= 0 && slot <= 2 ? pictures_[slot].get() : nullptr;
  if (!pic || pic->Name().empty() || size_.x <= 0 || size_.y <= 0) return false;
  out.params.source = pic->Name();
  out.params.rect = {0, 0, pic->Width(), pic->Height()};
  out.sizeMeasure = float(height_) / 400 * 1.1f;
  out.distanceMeasure = 3.0f * float(height_);
  out.localRect = {localTopLeft_.x, localTopLeft_.y, localTopLeft_.x + pic->Width(), localTopLeft_.y + pic->Height()};
  return true;
}

void TZemButton::Prepare(TDeviceDrawer& drawer) {
  LoadImage();
  if (theme_ && theme_->Valid() && drawer.IsReady()) {
    // Hover and click first, so a state change during playback only switches pictures.
    for (uint8_t s : {kStateHover, kStateClick, kStateNormal}) {
      EnsurePicture(s);
      if (pictures_[s]) drawer.PrepareImage(pictures_[s].get(), GetImageParams());
    }
    PrepareShadows(drawer, {kStateHover, kStateClick, kStateNormal});
  }
  TZemObject::Prepare(drawer);
}

void TZemButton::Release(TDeviceDrawer& drawer) {
  for (auto& pic : pictures_)
    if (pic) drawer.ReleaseImage(pic.get());
  if (picture_ && picture_ != pictures_[state_]) drawer.ReleaseImage(picture_.get());
  ReleaseShadows(drawer);
  TZemObject::Release(drawer);
}

// ---------------------------------------------------------------------------------------------
// Kind factory

namespace {

TZemObjectFactory g_next = nullptr;

TZemObject* ButtonFactory(const WideString& kind, TZemObject* parent, const WideString& guid) {
  if (kind == u"button") return TZemObject::Create<TZemButton>(parent, guid);
  return g_next ? g_next(kind, parent, guid) : nullptr;
}

}  // namespace

void RegisterButtonKinds() {
  static std::once_flag once;
  std::call_once(once, [] { g_next = InstallObjectFactory(&ButtonFactory); });
}

}  // namespace zem
