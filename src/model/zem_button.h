// Themed buttons ("button"): a picture made of the nine pieces of a theme, as wide as its caption
// needs, in three looks (normal, hover, click) prepared ahead, so that the mouse only switches
// pictures. The caption is the button's first child when it is a text.
//
// ScaleY is the button's height in percent of its parent's height.
//
// Threads: built by the slide loader, then used by the engine thread alone (a picture missing
// at a state change is built on the engine thread).
#pragma once
#include <cstdint>

#include "model/button_theme.h"
#include "model/zem_image.h"

namespace zem {

class TZemText;

class TZemButton : public show::TZemImage, public IZemVisualStates {
 public:
  enum : uint8_t { kStateNormal = 0, kStateHover = 1, kStateClick = 2 };

  TZemButton(TZemObject* parent, WideString guid) : show::TZemImage(parent, std::move(guid)) {}

  void InitDefaults() override;
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  bool SetTime(bool recursive, double t) override;
  void UpdateTransform(bool recursive) override;
  void LoadImage() override;
  float GetImageOpacity() const override;
  void Prepare(TDeviceDrawer& drawer) override;
  void Release(TDeviceDrawer& drawer) override;
  const char* ClassName() const override { return "TZemButton"; }

  void SetVisualState(TVisualState s) override { SetState(uint8_t(s)); }
  TVisualState GetVisualState() const override { return TVisualState(state_); }
  // 0 normal, 1 hover, 2 click: switches to that state's picture; raises the geometry flag.
  void SetState(uint8_t state);
  uint8_t State() const { return state_; }

  // The theme in use ("aqua" when the named one is missing), none without any.
  const WideString& ThemeName() const { return themeName_; }
  TButtonProducer* Theme() const { return theme_.get(); }
  int32_t ButtonWidth() const { return width_; }
  int32_t ThemeHeight() const { return height_; }
  float BtnOpacity() const { return btnOpacity_; }
  float TxtOpacity() const { return txtOpacity_; }
  int32_t Hue() const { return hue_; }
  int32_t Saturation() const { return saturation_; }
  int32_t Lightness() const { return lightness_; }
  float BtnMinWidth() const { return btnMinWidth_; }
  float BtnOffsetX() const { return btnOffsetX_; }
  // The first child when it is a text.
  TZemText* Caption() const;
  // The prepared picture of a state (none before it is built).
  TDrawPicture* StatePicture(uint8_t state) const { return state <= 2 ? pictures_[state].get() : nullptr; }

  // The width for a theme height h, BtnMinWidth and BtnOffsetX (percent of h), the caption
  // keypoint's ScaleX k and the caption's width / height a.
  static int64_t ComputeWidth(int32_t h, double minWidth, double offsetX, double k, double a);

 protected:
  // Sx = ScaleX x PH / H, Sy = ScaleY x PH / H (percent), H the theme height.
  void ComputeScales(double parentW, double parentH, double w, double h, double& sx, double& sy) const override;
  // Each state's picture casts its own shadow, prepared with it.
  int32_t ShadowSlot() const override { return state_; }
  bool ShadowSourceFor(int32_t slot, TShadowSource& out) override;

 private:
  void LoadTheme(const WideString& name);
  // The caption takes the theme's colour; on the first theme also its margin as scale.
  void ApplyThemeToCaption(bool firstTheme);
  void DropPictures();
  void UpdateWidth();
  // Builds a state's picture at the current width when that was not tried yet.
  void EnsurePicture(uint8_t state);

  WideString themeName_;
  bool themeRead_ = false;
  TRef<TButtonProducer> theme_;
  int32_t width_ = 0, height_ = 0;
  float btnOpacity_ = 100, txtOpacity_ = 100;
  int32_t hue_ = 0, saturation_ = 0, lightness_ = 0;
  float btnMinWidth_ = 0, btnOffsetX_ = 100;
  uint8_t state_ = kStateNormal;
  TRef<TDrawPicture> pictures_[3];
  int64_t triedWidth_[3] = {-1, -1, -1};  // the width each state's picture was asked for
  bool hadPicture_ = false;
};

// Installs the factory of "button" in front of the chain (once).
void RegisterButtonKinds();

}  // namespace zem
