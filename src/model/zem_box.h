// The simplest kinds: a filled rectangle (box) and the frame, which reads and draws like a box.
#pragma once
#include <memory>

#include "model/shadow.h"
#include "model/zem_object.h"

namespace zem {

class TZemBox : public TZemObject {
 public:
  enum TFill : uint8_t { kSolid = 0, kHGradient = 1, kVGradient = 2, kTLBRGradient = 3, kTRBLGradient = 4 };

  TZemBox(TZemObject* parent, WideString guid) : TZemObject(parent, std::move(guid)) {}

  void ReadSection(const TCommonIniSection& section, bool reload) override;
  void AddPrimitives(TDeviceDrawer& drawer) override;
  void Prepare(TDeviceDrawer& drawer) override;
  void Release(TDeviceDrawer& drawer) override;
  const char* ClassName() const override { return "TZemBox"; }

  uint8_t Fill() const { return fill_; }
  void SetFill(uint8_t f) { SetProp(fill_, f); }
  // RGB colours as 0x00RRGGBB.
  void SetColours(uint32_t rgb1, uint32_t rgb2);
  void SetAlphas(int32_t a1, int32_t a2);
  void SetAntialiased(bool v) { SetProp(antialiased_, v); }
  // The parameters handed to DrawBox.
  TBoxParams BoxParams() const;
  // The drawer's fill style code of a fill mode.
  static uint8_t FillStyleCode(uint8_t fill);
  // The drop shadow (none while ShadowEnable is off or before it is built).
  const TShadow* Shadow() const { return shadowEnable && extra_ ? extra_->boxShadow.get() : nullptr; }

 private:
  // Brings the shadow up to date: a rectangle of the box's size with its alphas and fill.
  TShadow* UpdateShadow();

  uint8_t Alpha1() const { return uint8_t(colour1_ >> 24); }
  uint8_t Alpha2() const { return uint8_t(colour2_ >> 24); }

  uint8_t fill_ = kSolid;
  bool antialiased_ = false;
  // 0xAARRGGBB: the alphas and the colours in one word each.
  uint32_t colour1_ = 0xFF000000u, colour2_ = 0xFF000000u;
};

class TZemFrame : public TZemBox {
 public:
  TZemFrame(TZemObject* parent, WideString guid) : TZemBox(parent, std::move(guid)) {}
  const char* ClassName() const override { return "TZemFrame"; }
};

}  // namespace zem
