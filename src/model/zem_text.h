// Text objects ("text" and "textcomment"): lines of text in a font, built as vector outlines
// and rasterized into a picture at the largest size the animation reaches, so edges stay sharp
// when zoomed. Macros ("<%SlideIndex%>", "<%MainImg.Exif.Date%>", ...) are expanded first. A
// text can also show a ready-made picture ("Rasterize").
//
// ScaleY is the height of the text block in percent of the parent's height, ScaleX / ScaleY its
// horizontal stretch, whatever the font size.
//
// Threads: built by the slide loader, then used by the engine thread alone (a picture rebuilt
// after a change is built on the thread that notices it).
#pragma once
#include <memory>
#include <vector>

#include "model/zem_image.h"

namespace zem {

struct TResolvedText;

class TZemText : public show::TZemImage, public IZemVisualStates {
 public:
  enum : uint8_t { kStateNormal = 0, kStateHover = 1, kStateClick = 2 };

  TZemText(TZemObject* parent, WideString guid);
  ~TZemText() override;

  void InitDefaults() override;
  void ReadSection(const TCommonIniSection& section, bool reload) override;
  void UpdateTransform(bool recursive) override;
  void AddPrimitives(TDeviceDrawer& drawer) override;
  void Prepare(TDeviceDrawer& drawer) override;
  bool HitTestPoint(const TPointF& point, float& x, float& y) override;
  void LoadImage() override;
  TImageParams GetImageParams() const override;
  bool DefaultShadowEnable() const override { return true; }
  const char* ClassName() const override { return "TZemText"; }

  void SetVisualState(TVisualState s) override { SetState(uint8_t(s)); }
  TVisualState GetVisualState() const override { return TVisualState(state_); }
  // 0 normal, 1 hover, 2 click; a change raises the geometry flag.
  void SetState(uint8_t state);
  uint8_t State() const { return state_; }

  // Setters compare first; a change that needs a new picture drops the current one.
  // The "Text" value: quotes around it removed, lines split at "^&", empty becomes one space.
  void SetText(WideView text);
  void SetColors(uint32_t normal, uint32_t hover, uint32_t click);  // 0xRRGGBB
  void SetFontName(const WideString& name);
  void SetFontStyle(uint8_t style);
  void SetAlignment(uint8_t align);
  void SetLineSpacing(int32_t spacing);

  const std::vector<WideString>& SourceLines() const { return sourceLines_; }
  // The lines after macros (filled when the text is laid out; LayoutNow() forces it).
  const std::vector<WideString>& ExpandedLines() const { return expandedLines_; }
  void LayoutNow();
  const WideString& FontName() const { return fontName_; }
  uint8_t FontStyle() const { return fontStyle_; }
  uint8_t Alignment() const { return align_; }
  int32_t LineSpacing() const { return lineSpacing_; }
  uint32_t Color(int state) const { return colors_[state]; }
  uint32_t CurrentColor() const { return colors_[state_ <= 2 ? state_ : 0]; }
  // Colour mode 1: the picture is white and the drawer colours it (the three colours differ).
  bool ColourMode() const { return !(colors_[0] == colors_[1] && colors_[1] == colors_[2]); }
  bool Rasterized() const { return rasterize_; }
  const WideString& RasterizedGuid() const { return rasterizedGuid_; }
  TPointI BlackBoxSize() const { return blackBox_; }
  float ShiftX() const { return shiftX_; }
  float ShiftY() const { return shiftY_; }

  // Layout results.
  float RasterScale() const { return rasterScale_; }
  float FontSizePixels() const { return fontSizePx_; }
  // The laid-out bounds at the raster scale.
  TRectF Bounds() const { return bounds_; }
  // Height of the lines at scale 1 (the natural height).
  float NaturalHeight() const { return naturalHeight_; }
  const WideString& PictureName() const { return pictureName_; }

  // Makes this text the caption of its parent button: clicks pass through, no shadow, the
  // theme's text colour (0xRRGGBB) in every state. Called by the button.
  void MakeCaption(uint32_t themeColour);
  bool IsCaption() const { return caption_; }
  // Width and height of the text at scale 1 (laid out when needed; a rasterized text gives its
  // size); 0 x 0 without a font.
  TPointF NaturalSize();

 protected:
  void ComputeScales(double parentW, double parentH, double w, double h, double& sx, double& sy) const override;
  // The whole text picture at level 0; its size measure follows the font size.
  bool ShadowSourceFor(int32_t slot, TShadowSource& out) override;

 private:
  // Drops the picture and the layout: the next LoadImage lays out and builds anew.
  void DropPicture();
  // Expands macros, gets the vector text, measures it at scale 1 and rescales the keypoints
  // when the natural height changed.
  void Layout();
  void ChooseRasterScale();
  void BuildPicture();
  void LoadRasterized();

  std::vector<WideString> sourceLines_, expandedLines_;
  WideString fontName_ = u"Arial";
  uint8_t fontStyle_ = 0;
  uint8_t align_ = 1;
  int32_t lineSpacing_ = 0;
  uint32_t colors_[3] = {0xFFFFFF, 0xFFFFFF, 0xFFFFFF};
  uint8_t state_ = kStateNormal;
  bool rasterize_ = false;
  WideString rasterizedGuid_;
  TPointI blackBox_;
  float shiftX_ = 0, shiftY_ = 0;
  bool caption_ = false;

  std::shared_ptr<const TResolvedText> vector_;
  bool layoutValid_ = false;
  bool building_ = false;
  TRectF unitBounds_;  // at scale 1
  TRectF bounds_;      // at the raster scale
  TPointF glyphOffset_{1, 1};
  float rasterScale_ = 1, lastRasterScale_ = 0;
  float fontSizePx_ = 0;
  float naturalHeight_ = 0;
  float rescale_ = 1;  // keypoint rescale not yet seen by the display-size analysis
  WideString pictureName_;
};

// Installs the factory of "text" and "textcomment" in front of the chain (once).
void RegisterTextKinds();

}  // namespace zem
