#include "model/zem_text.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "foundation/assert.h"
#include "model/slide_host.h"
#include "model/text_macros.h"
#include "model/text_picture.h"
#include "model/zem_slide.h"
#include "resources/text/font_cache.h"
#include "resources/text/text_layout.h"
#include "script/ini_file.h"

namespace zem {

namespace {

uint32_t Rgb(const TIniRGB& c) { return uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | c.blue; }
TIniRGB IniRgb(uint32_t v) { return TIniRGB{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)}; }

// Frac keeping the sign.
float Frac(double v) { return std::isfinite(v) ? float(v - std::trunc(v)) : 0.0f; }

// Lines kept of one text: far beyond any slide, small enough that layout stays quick.
constexpr size_t kMaxLines = 65536;

}  // namespace

TZemText::TZemText(TZemObject* parent, WideString guid) : show::TZemImage(parent, std::move(guid)) {}
TZemText::~TZemText() = default;

void TZemText::InitDefaults() {
  show::TZemImage::InitDefaults();
  antialiased_ = false;
  shadowEnable = true;
  sourceLines_ = {u"Text"};
  fontName_ = u"Arial";
  fontStyle_ = 0;
  align_ = 1;
  lineSpacing_ = 0;
  colors_[0] = colors_[1] = colors_[2] = 0xFFFFFF;
  state_ = kStateNormal;
  rasterize_ = false;
}

void TZemText::DropPicture() {
  if (picture_) previous_ = std::move(picture_);
  picture_.reset();
  loadAttempted_ = false;
  layoutValid_ = false;
  changedProps_ = true;
}

void TZemText::SetText(WideView text) {
  WideString t(text);
  if (t.size() > 1 && t.front() == u'"' && t.back() == u'"') t = t.substr(1, t.size() - 2);
  if (t.empty()) t = u" ";
  std::vector<WideString> lines = SplitTextLines(t);
  if (lines.size() > kMaxLines) lines.resize(kMaxLines);
  if (lines == sourceLines_) return;
  sourceLines_ = std::move(lines);
  DropPicture();
}

void TZemText::SetColors(uint32_t normal, uint32_t hover, uint32_t click) {
  const uint32_t next[3] = {normal & 0xFFFFFF, hover & 0xFFFFFF, click & 0xFFFFFF};
  if (std::equal(next, next + 3, colors_)) return;
  const bool modeBefore = ColourMode();
  const uint32_t pictureColourBefore = colors_[0];
  std::copy(next, next + 3, colors_);
  // Mode 1 recolours in the drawer; a new mode, or a new colour in mode 0, needs a new picture.
  if (ColourMode() != modeBefore || (!ColourMode() && colors_[0] != pictureColourBefore)) DropPicture();
  else changedProps_ = true;
}

void TZemText::SetFontName(const WideString& name) {
  if (name == fontName_) return;
  fontName_ = name;
  DropPicture();
}

void TZemText::SetFontStyle(uint8_t style) {
  style &= 15;
  if (style == fontStyle_) return;
  fontStyle_ = style;
  DropPicture();
}

void TZemText::SetAlignment(uint8_t align) {
  if (align > 2) align = 1;
  if (align == align_) return;
  align_ = align;
  DropPicture();
}

void TZemText::SetLineSpacing(int32_t spacing) {
  if (spacing == lineSpacing_) return;
  lineSpacing_ = spacing;
  DropPicture();
}

void TZemText::SetState(uint8_t state) {
  if (state > 2 || state == state_) return;
  state_ = state;
  changedGeometry_ = true;
}

void TZemText::MakeCaption(uint32_t themeColour) {
  caption_ = true;
  SetTranspForClick(true);
  shadowEnable = false;
  SetColors(themeColour, themeColour, themeColour);
}

void TZemText::ReadSection(const TCommonIniSection& s, bool reload) {
  DropPicture();
  SetText(s.ReadString(u"Text", u"Text"));
  const TIniRGB normal = s.ReadRGB(u"TextColor", IniRgb(0xFFFFFF));
  SetColors(Rgb(normal), Rgb(s.ReadRGB(u"TextColorHover", normal)), Rgb(s.ReadRGB(u"TextColorClick", normal)));
  SetFontName(s.ReadString(u"FontName", u"Arial"));
  std::vector<WideString> styles;
  s.ReadStrings(u"FontStyle", styles, 4);
  uint8_t style = 0;
  for (const WideString& name : styles) style |= ParseStyleText(name);
  SetFontStyle(style);
  SetAlignment(uint8_t(s.ReadChoiceNoCase(u"TextAlign", {u"Left", u"Center", u"Right"}, 1)));
  SetLineSpacing(std::clamp(s.ReadInteger(u"LineSpacing", 0), -100000, 100000));
  rasterize_ = s.ReadBool(u"Rasterize", false);
  rasterizedGuid_ = s.ReadString(u"RasterizedGUID", u"");
  const TIniPoint box = s.ReadPoint(u"BlackBoxSize", TIniPoint{0, 0});
  blackBox_ = {box.x, box.y};
  SetSize(box.x, box.y);
  auto finite = [](double v) { return std::isfinite(v) && std::fabs(v) < 1e30 ? float(v) : 0.0f; };
  shiftX_ = finite(s.ReadFloat(u"ShiftX", 0));
  shiftY_ = finite(s.ReadFloat(u"ShiftY", 0));
  show::TZemImage::ReadSection(s, reload);
  SetAntialiased(false);
  DropPicture();
}

// ---------------------------------------------------------------------------------------------
// Layout

void TZemText::LayoutNow() {
  if (!rasterize_) Layout();
}

void TZemText::Layout() {
  TSlideFacts facts(slide_);
  TMTParser parser([&facts](TZemObject*, const WideString& macro) { return facts.Value(macro); }, this);
  expandedLines_.clear();
  for (const WideString& line : sourceLines_) expandedLines_.push_back(parser.Expand(line));
  TZemSlideHost* host = GetHost();
  vector_ = TFontCache::Instance().VectorText(host ? host->Files() : nullptr, fontName_, fontStyle_, expandedLines_);
  layoutValid_ = true;
  if (!vector_) {
    unitBounds_ = {};
    return;
  }
  const TTextLayout unit = LayoutText(*vector_, 1, lineSpacing_, align_);
  const float th = unit.Height();
  ZEM_ASSERT(th > 0);
  if (naturalHeight_ > 0 && th != naturalHeight_) {
    // The block keeps its glyph size: every keypoint's scale follows the new height.
    const float f = th / naturalHeight_;
    for (int32_t i = 0; i < keys_.Count(); ++i) {
      TKeyPoint* k = keys_.At(i);
      k->SetScaleX(k->Values().scaleX * f);
      k->SetScaleY(k->Values().scaleY * f);
    }
    keys_.SetTime(currentTime_);
    rescale_ *= f;
  }
  naturalHeight_ = th;
  unitBounds_ = unit.bounds;
  bounds_ = {unitBounds_.left * rasterScale_, unitBounds_.top * rasterScale_, unitBounds_.right * rasterScale_,
             unitBounds_.bottom * rasterScale_};
  SetSize(int32_t(std::lround(bounds_.right - bounds_.left)), int32_t(std::lround(bounds_.bottom - bounds_.top)));
  if (!caption_) {
    // The parent's aspect against the text's: fitted inside when the parent is wider.
    const TPointI ps = GetParentSize();
    const double own = double(unitBounds_.right - unitBounds_.left) / th;
    SetFitMode(ps.y > 0 && double(ps.x) / ps.y >= own ? kFitPlaceInto : kFitCover);
  }
}

void TZemText::ChooseRasterScale() {
  const double th = unitBounds_.bottom - unitBounds_.top, tw = unitBounds_.right - unitBounds_.left;
  double s = 0;
  if (caption_ && parent_) {
    // A caption: its share of the button, the button's largest keypoint scale, the size the
    // button's parent reaches on screen.
    double m = 0;
    for (int32_t i = 0; i < parent_->Keys().Count(); ++i)
      m = std::max({m, double(parent_->Keys().At(i)->Values().scaleX), double(parent_->Keys().At(i)->Values().scaleY)});
    const TZemObject* outer = parent_->Parent();
    const double ldh = outer ? outer->largestDisplayed.y : 0;
    s = ScaleY() * m * ldh / 10000 / th;
  } else {
    // The largest displayed height already holds the keypoints' scale and the perspective.
    s = double(largestDisplayed.y) * rescale_ / th;
    if (!(s > 0)) {
      double m = 0;
      for (int32_t i = 0; i < keys_.Count(); ++i)
        m = std::max({m, double(keys_.At(i)->Values().scaleX), double(keys_.At(i)->Values().scaleY)});
      const double ph = parent_ ? parent_->largestDisplayed.y : 0;
      s = m * (ph > 0 ? ph : GetParentSize().y) / 100 / th;
    }
  }
  if (!(s > 0) || !std::isfinite(s)) s = 1 / th;
  s = std::max(s, 1 / th);  // at least one pixel high
  rescale_ = 1;
  lastRasterScale_ = rasterScale_;
  rasterScale_ = CapTextScale(float(s), tw, th);
  bounds_ = {unitBounds_.left * rasterScale_, unitBounds_.top * rasterScale_, unitBounds_.right * rasterScale_,
             unitBounds_.bottom * rasterScale_};
  SetSize(int32_t(std::lround(bounds_.right - bounds_.left)), int32_t(std::lround(bounds_.bottom - bounds_.top)));
  if (!vector_) return;
  float em = float(vector_->text.ascent + vector_->text.descent);
  for (const auto& line : vector_->text.lines)
    if (!line.empty()) {
      em = line.front().size;
      break;
    }
  fontSizePx_ = em * rasterScale_;
}

void TZemText::BuildPicture() {
  // Sub-pixel phase: where the picture's pixel grid falls on the output at full size.
  const TKeyValues& v = Current();
  const double lx = -size_.x * (0.5 + v.centerX / 200.0), ly = -size_.y * (0.5 + v.centerY / 200.0);
  TTextPictureFields fields;
  fields.font = fontName_;
  fields.scale = rasterScale_;
  fields.phaseX = Frac(frame_.origin.x + lx);
  fields.phaseY = Frac(frame_.origin.y + ly);
  fields.style = fontStyle_;
  fields.align = align_;
  fields.lineSpacing = lineSpacing_;
  if (!ColourMode()) {
    fields.r = uint8_t(colors_[0] >> 16);
    fields.g = uint8_t(colors_[0] >> 8);
    fields.b = uint8_t(colors_[0]);
  }
  fields.lines = expandedLines_;
  // The name carries the scale and phase as written, so the picture matches them exactly.
  pictureName_ = TextPictureName(fields);
  TTextPictureFields written;
  ParseTextPictureName(pictureName_, written);
  glyphOffset_ = {1 + written.phaseX, 1 + written.phaseY};
  TZemSlideHost* host = GetHost();
  picture_ = host ? host->GetPicture(pictureName_) : TRef<TDrawPicture>();
  previous_.reset();
  if (auto* text = dynamic_cast<TTextPicture*>(picture_.get())) glyphOffset_ = text->GlyphOffset();
  shadowRebuild = true;
}

void TZemText::LoadRasterized() {
  const TPointI box = blackBox_;
  show::TZemImage::LoadImage();
  if (!picture_) return;
  if (box.x > 0 || box.y > 0) SetSize(box.x, box.y);
  const double lines = double(sourceLines_.size());
  const double denom = lines + (lines - 1) * lineSpacing_ / 200.0;
  fontSizePx_ = denom > 0 ? float(size_.y / denom) : 0;
}

void TZemText::LoadImage() {
  if (rasterize_) {
    LoadRasterized();
    return;
  }
  if (building_ || picture_ || loadAttempted_) return;
  struct TGuard {
    bool& flag;
    explicit TGuard(bool& f) : flag(f) { flag = true; }
    ~TGuard() { flag = false; }
  } guard(building_);
  if (!layoutValid_) Layout();
  if (!vector_) {
    loadAttempted_ = true;  // no font: nothing to draw
    return;
  }
  // The analysis needs only the size; the picture waits for its result.
  if (slide_ && slide_->AnalysisRunning()) return;
  if (slide_ && slide_->AnalysisCount() == 0) slide_->RunDisplaySizeAnalysis();
  ChooseRasterScale();
  BuildPicture();
  loadAttempted_ = true;
}

// ---------------------------------------------------------------------------------------------
// Transform and drawing

void TZemText::ComputeScales(double PW, double PH, double w, double h, double& sx, double& sy) const {
  if (rasterize_) {
    show::TZemImage::ComputeScales(PW, PH, w, h, sx, sy);
    return;
  }
  // ScaleY is the block's height in percent of the parent's; ScaleX / ScaleY its stretch.
  const double th = bounds_.bottom - bounds_.top;
  const TKeyValues& v = Current();
  sx = th > 0 ? v.scaleX / 100.0 * PH / th : 0;
  sy = th > 0 ? v.scaleY / 100.0 * PH / th : 0;
}

void TZemText::UpdateTransform(bool recursive) {
  if (rasterize_) {
    show::TZemImage::UpdateTransform(recursive);
    return;
  }
  LoadImage();
  TZemObject::UpdateTransform(false);
  mipLevel_ = 0;  // a text picture is drawn from its own full-size texture
  if (recursive)
    for (TZemObject* c : children_) c->UpdateTransform(true);
}

TImageParams TZemText::GetImageParams() const {
  TImageParams p = show::TZemImage::GetImageParams();
  p.coloriseAmount = 0;
  p.mipLevel = 0;
  const uint32_t c = CurrentColor();
  p.colourR = uint8_t(c >> 16);
  p.colourG = uint8_t(c >> 8);
  p.colourB = uint8_t(c);
  p.textColouring = !rasterize_ && ColourMode() ? 1 : 0;
  return p;
}

void TZemText::AddPrimitives(TDeviceDrawer& drawer) {
  if (!rasterize_) {
    if (!IsShown()) return;
    LoadImage();
    if (size_.x <= 0 || size_.y <= 0 || !picture_) return;
    DrawShadow(drawer);
    TImageParams params = GetImageParams();
    params.sourceRect = {};
    // Picture pixel (u, v) lands on the local point (left + u - offset.x, top + v - offset.y).
    const TPointF offset{glyphOffset_.x - localTopLeft_.x, glyphOffset_.y - localTopLeft_.y};
    drawer.DrawImage(picture_.get(), frame_.origin, offset, frame_.axisX, frame_.axisY, params);
    return;
  }
  // A ready-made picture of another size than the black box is stretched into it.
  if (!IsShown()) return;
  LoadImage();
  if (size_.x <= 0 || size_.y <= 0 || !picture_) return;
  const float kx = float(size_.x) / float(std::max(picture_->Width(), 1));
  const float ky = float(size_.y) / float(std::max(picture_->Height(), 1));
  DrawShadow(drawer);
  TImageParams params = GetImageParams();
  params.sourceRect = {};
  drawer.DrawImage(picture_.get(), frame_.origin, {-localTopLeft_.x / kx, -localTopLeft_.y / ky},
                   frame_.axisX * kx, frame_.axisY * ky, params);
}

void TZemText::Prepare(TDeviceDrawer& drawer) {
  LoadImage();
  if (size_.x > 0 && size_.y > 0 && picture_ && drawer.IsReady()) {
    drawer.PrepareImage(picture_.get(), GetImageParams());
    PrepareShadows(drawer, {0});
  }
  TZemObject::Prepare(drawer);
}

TPointF TZemText::NaturalSize() {
  if (rasterize_) {
    LoadRasterized();
    return {float(size_.x), float(size_.y)};
  }
  if (!layoutValid_) Layout();
  return {unitBounds_.right - unitBounds_.left, unitBounds_.bottom - unitBounds_.top};
}

bool TZemText::ShadowSourceFor(int32_t, TShadowSource& out) {
  if (!picture_ || size_.x <= 0 || size_.y <= 0) return false;
  const float w = float(picture_->Width()), h = float(picture_->Height());
  out.params.source = picture_->Name();
  out.params.rect = {0, 0, picture_->Width(), picture_->Height()};
  out.sizeMeasure = fontSizePx_ / 400 * 1.1f;
  out.distanceMeasure = 3 * fontSizePx_;
  if (rasterize_) {
    // The ready-made picture is stretched into the black box.
    out.localRect = {localTopLeft_.x, localTopLeft_.y, localTopLeft_.x + size_.x, localTopLeft_.y + size_.y};
  } else {
    // Picture pixel (u, v) lies at the local point (left + u - offset.x, top + v - offset.y).
    const float l = localTopLeft_.x - glyphOffset_.x, t = localTopLeft_.y - glyphOffset_.y;
    out.localRect = {l, t, l + w, t + h};
  }
  return !out.params.source.empty();
}

bool TZemText::HitTestPoint(const TPointF& point, float& x, float& y) {
  if (!TZemObject::HitTestPoint(point, x, y)) return false;
  if (rasterize_) return true;
  auto* text = dynamic_cast<TTextPicture*>(picture_.get());
  if (!text) return false;
  return text->HitGlyph(x - localTopLeft_.x + glyphOffset_.x, y - localTopLeft_.y + glyphOffset_.y);
}

// ---------------------------------------------------------------------------------------------
// Kind factory

namespace {

TZemObjectFactory g_next = nullptr;

TZemObject* TextFactory(const WideString& kind, TZemObject* parent, const WideString& guid) {
  if (kind == u"text" || kind == u"textcomment") return TZemObject::Create<TZemText>(parent, guid);
  return g_next ? g_next(kind, parent, guid) : nullptr;
}

}  // namespace

void RegisterTextKinds() {
  static std::once_flag once;
  std::call_once(once, [] { g_next = InstallObjectFactory(&TextFactory); });
}

}  // namespace zem
