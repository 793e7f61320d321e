#include "engine/third_slide.h"

#include <algorithm>
#include <cmath>

#include "engine/placement.h"
#include "foundation/assert.h"
#include "foundation/clock.h"
#include "package/file_accessor.h"
#include "render/drawer/root_item.h"
#include "resources/file_access.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// Custom button names are read from at most this many keys (the count comes from the script).
constexpr int32_t kMaxCustomButtons = 1000;

// The logo as loaded, when it needs no reduction; decoding waits for the first Pixels().
class TLogoPicture : public TDrawPicture {
 public:
  TLogoPicture(std::unique_ptr<TZemImage> image, WideString name)
      : image_(std::move(image)), name_(std::move(name)) {}
  int32_t Width() const override { return image_->Width(); }
  int32_t Height() const override { return image_->Height(); }
  const TBitmap* Pixels() const override {
    TBitmapStore* s = image_->Store();
    return s ? &s->Bitmap() : nullptr;
  }
  WideString Name() const override { return name_; }

 private:
  std::unique_ptr<TZemImage> image_;
  WideString name_;
};

WideString Number(int32_t n) { return Utf8ToWide(std::to_string(n)); }

}  // namespace

TThirdSlide::TThirdSlide(TFileAccessor* files, const TIniStorage& script, const TRectI& showRect,
                         TRootItem* root, uint8_t option, TSetVolume setVolume, TSeek seek,
                         TIsPlaying isPlaying, TPointI windowSize, TPointI showSize, float volume,
                         double durationMs, TThirdSlideOptions options)
    : clock_(std::move(options.clock)),
      files_(files),
      showRect_(showRect),
      windowSize_(windowSize),
      showSize_(showSize.x > 0 && showSize.y > 0 ? showSize : TPointI{showRect.Width(), showRect.Height()}),
      root_(root),
      setVolume_(std::move(setVolume)),
      seek_(std::move(seek)),
      isPlaying_(std::move(isPlaying)),
      detector_(clock_) {
  CreateLogo(script);
  if (option == 0 && script.ReadBool(u"Main", u"opt_fcp", false)) {
    const float screenScale = options.screenScale > 0 ? options.screenScale : ScreenPixelsPerInchScale();
    CreatePanel(script, volume, durationMs, screenScale);
  }
  changedGeometry_ = true;  // nothing of it was drawn yet
}

TThirdSlide::~TThirdSlide() {
  // The panel's bar may still hold callbacks into the picture list.
  panel_.reset();
  dialogs_.clear();
}

int64_t TThirdSlide::Now() const { return clock_ ? int64_t(clock_()) : int64_t(TimeGetTime()); }

// ---------------------------------------------------------------------------------------------
// Building

void TThirdSlide::CreateLogo(const TIniStorage& script) {
  const WideString fileName = script.ReadString(u"Main", u"opt_logo_fn", u"");
  if (fileName.empty() || !script.ReadBool(u"Main", u"opt_logo", false)) return;
  const int32_t code = script.ReadInteger(u"Main", u"opt_logo_pos", 0);
  const double opacity = script.ReadFloat(u"Main", u"opt_logo_opacity", 100);
  const double offset = script.ReadFloat(u"Main", u"opt_logo_offset", 0);
  const double size = script.ReadFloat(u"Main", u"opt_logo_size", 10);
  if (!files_) return;

  std::unique_ptr<TZemImage> image = LoadPicture(*files_, fileName);
  if (!image || image->Width() <= 0 || image->Height() <= 0) return;
  const int32_t pw = image->Width(), ph = image->Height();
  // Shown at the logo size's share of the show height, the aspect ratio kept.
  const int32_t h = RoundToInt(double(showSize_.y) * size / 100);
  const int32_t w = RoundToInt(double(pw) * h / ph);
  if (h <= 0 || w <= 0) return;  // too small to show

  const double th = size / 100 * showSize_.y;
  const double tw = th * pw / ph;
  const TPointI reduced = HalvedSize(pw, ph, tw, th);
  TRef<TDrawPicture> picture;
  if (reduced == TPointI{pw, ph}) {
    picture = TRef<TDrawPicture>(new TLogoPicture(std::move(image), fileName));
  } else {
    TBitmap bitmap = image->Store()->Bitmap();
    if (!bitmap.Empty()) bitmap.ConvertTo(TPixelFormat::Argb32);
    while (!bitmap.Empty() && (bitmap.Width() > reduced.x || bitmap.Height() > reduced.y))
      bitmap = HalvePicture(bitmap);
    if (bitmap.Empty()) return;
    picture = MakeRef<TBitmapPicture>(std::move(bitmap), fileName);
  }
  TPictureEntry entry;
  entry.picture = std::move(picture);
  entry.params.opacity = float(opacity);
  entry.rect = PlaceRect(showRect_, PlacementFor(LogoPosition(code), float(offset)), w, h);
  logoIndex_ = int32_t(pictures_.size());
  pictures_.push_back(std::move(entry));
}

void TThirdSlide::CreatePanel(const TIniStorage& script, float volume, double durationMs, float screenScale) {
  const WideString themeName = script.ReadString(u"Main", u"opt_nav_inifile", u"");
  TNavPanelConfig config;
  config.showBackground = script.ReadBool(u"Main", u"opt_nav_showbg", false);
  config.hue = script.ReadInteger(u"Main", u"opt_nav_hue", 0);
  config.viewScale = float(script.ReadFloat(u"Main", u"opt_nav_viewscale", 10));
  config.useVideoScale = script.ReadBool(u"Main", u"opt_nav_usevideoscale", false);
  const double offset = script.ReadFloat(u"Main", u"opt_nav_offset", 0);
  const TIniSection* main = script.FindSection(u"Main");
  const auto& names = PlacementNames();
  const int cp = main ? main->ReadChoiceNoCase(u"opt_cp", std::span<const WideView>(names.data(), names.size()),
                                                int(TPlacePosition::Center))
                      : int(TPlacePosition::Center);
  const int32_t count = std::min(script.ReadInteger(u"Main", u"opt_newnavbuttons_count", 0), kMaxCustomButtons);
  for (int32_t i = 1; i <= count; ++i)
    config.customNames.push_back(script.ReadString(u"Main", u"opt_newnavbutton" + Number(i), u""));
  config.placement = PlacementFor(TPlacePosition(cp), float(offset));

  autoHide_ = script.ReadBool(u"Main", u"opt_hidenavbar", false);
  hideOnStartup_ = script.ReadBool(u"Main", u"opt_nav_hideonstartup", false);
  hidden_ = autoHide_ && hideOnStartup_;
  detector_.SetInterval(int64_t(script.ReadInteger(u"Main", u"opt_nav_hideinterval", 0)) * 1000);
  detector_.SetIdle(hideOnStartup_);
  fadeOutMs_ = script.ReadInteger(u"Main", u"opt_nav_hidefadeout", 1000);
  fadeInMs_ = script.ReadInteger(u"Main", u"opt_nav_fadein", 500);
  panelOpacity_ = autoHide_ && hideOnStartup_ ? 0 : 100;

  if (script.ReadBool(u"Main", u"opt_nav_wndbottom", true))
    config.area = {0, 0, windowSize_.x, windowSize_.y};
  else
    config.area = showRect_;
  config.setVolume = setVolume_;
  config.seek = seek_;
  config.isPlaying = isPlaying_;
  config.files = files_;
  config.videoExit = script.ReadBool(u"Main", u"opt_nav_videoexit", true);
  config.volume = volume;
  config.durationMs = durationMs;
  config.screenScale = screenScale;

  panel_ = std::make_unique<TNavPanel>(
      std::move(config), [this](int32_t index, TRef<TDrawPicture> picture, const TRectI& rect) {
        const bool fresh = index < 0 || size_t(index) >= pictures_.size();
        const int32_t at = SetPicture(index, std::move(picture), rect);
        // A new panel picture starts at the panel's opacity (hidden on start-up: invisible).
        if (fresh) pictures_[size_t(at)].params.opacity = panelOpacity_;
        return at;
      });
  panel_->LoadTheme(themeName);
}

int32_t TThirdSlide::SetPicture(int32_t index, TRef<TDrawPicture> picture, const TRectI& rect) {
  changedGeometry_ = true;
  if (index < 0 || size_t(index) >= pictures_.size()) {
    TPictureEntry entry;
    entry.picture = std::move(picture);
    entry.rect = rect;
    pictures_.push_back(std::move(entry));
    return int32_t(pictures_.size() - 1);
  }
  pictures_[size_t(index)].picture = std::move(picture);
  pictures_[size_t(index)].rect = rect;
  return index;
}

// ---------------------------------------------------------------------------------------------
// Dialogs

TZemDialog* TThirdSlide::Dialog(int32_t index) const {
  if (index < 0 || size_t(index) >= dialogs_.size()) return nullptr;
  return dialogs_[size_t(index)].dialog.get();
}

TZemDialog* TThirdSlide::TopDialog() const { return dialogs_.empty() ? nullptr : dialogs_.back().dialog.get(); }

bool TThirdSlide::DialogHoldsPlayback() const {
  return std::any_of(dialogs_.begin(), dialogs_.end(), [](const TDialogEntry& e) { return e.dialog->dialogPause; });
}

int32_t TThirdSlide::IndexOf(const TZemDialog* dialog) const {
  for (size_t i = 0; i < dialogs_.size(); ++i)
    if (dialogs_[i].dialog.get() == dialog) return int32_t(i);
  return -1;
}

void TThirdSlide::MoveAnimationTo(TZemDialog* dialog) {
  // A dialog whose opening fade is cut short is shown whole rather than left half faded.
  if (animated_ && animated_ != dialog && !closing_ && IndexOf(animated_) >= 0 && animated_->Fade() < 100) {
    animated_->SetFade(100);
    MarkChanged();
  }
  animated_ = dialog;
}

void TThirdSlide::RemoveDialog(size_t index) {
  ZEM_ASSERT(index < dialogs_.size());
  if (dialogs_[index].dialog.get() == animated_) {
    animated_ = nullptr;
    closing_ = false;
    startPending_ = false;
  }
  dialogs_.erase(dialogs_.begin() + std::ptrdiff_t(index));
  MarkChanged();
}

void TThirdSlide::ShowDialog(std::unique_ptr<TZemDialog> dialog) {
  if (!dialog || closing_) return;
  for (size_t i = 0; i < dialogs_.size(); ++i)
    if (dialogs_[i].dialog->Name() == dialog->Name()) {
      // Showing an open dialog again closes it.
      BeginCloseDialog(int32_t(i));
      return;
    }
  TZemDialog* d = dialog.get();
  dialogs_.push_back(TDialogEntry{std::move(dialog), false});
  MoveAnimationTo(d);
  startPending_ = true;
  MarkChanged();
}

void TThirdSlide::BeginCloseDialog(int32_t index) {
  if (closing_ || dialogs_.empty()) return;
  if (index < 0 || size_t(index) >= dialogs_.size()) index = int32_t(dialogs_.size()) - 1;
  MoveAnimationTo(dialogs_[size_t(index)].dialog.get());
  closing_ = true;
  startPending_ = true;
}

void TThirdSlide::CloseHoldingDialogs() {
  int32_t keep = -1;
  for (int32_t i = int32_t(dialogs_.size()) - 1; i >= 0; --i) {
    if (!dialogs_[size_t(i)].dialog->dialogPause) continue;
    if (keep < 0) {
      keep = i;
      continue;
    }
    RemoveDialog(size_t(i));
    --keep;  // it lay above the removed one
  }
  if (keep < 0) return;
  // Another dialog's closing fade would make the holding one ignore its close: that dialog
  // goes at once, so the show is never left held.
  if (closing_ && animated_ && animated_ != dialogs_[size_t(keep)].dialog.get()) {
    const int32_t other = IndexOf(animated_);
    if (other >= 0) {
      RemoveDialog(size_t(other));
      if (other < keep) --keep;
    }
    closing_ = false;
  }
  BeginCloseDialog(keep);
}

void TThirdSlide::UpdateDialogFade() {
  if (!animated_) return;
  const int32_t index = IndexOf(animated_);
  if (index < 0) {
    animated_ = nullptr;
    return;
  }
  if (!dialogs_[size_t(index)].drawn) return;
  TZemDialog* d = animated_;
  const int64_t now = Now();
  if (!closing_ || d->Fade() >= 1) {
    if (startPending_) {
      dialogFadeStart_ = now;
      dialogFadeEnd_ = now + kDialogFadeMs;
      startPending_ = false;
    }
    double c = 100;
    if (now < dialogFadeEnd_)
      c = std::clamp(double(now - dialogFadeStart_) / double(dialogFadeEnd_ - dialogFadeStart_) * 100, 0.0, 100.0);
    const float value = float(closing_ ? 100 - c : c);
    if (std::fabs(value - d->Fade()) > 0.001f) {
      d->SetFade(value);
      fadeValue_ = value;
      MarkChanged();
    }
  }
  if (closing_ && d->Fade() < 1) {
    RemoveDialog(size_t(index));
    closing_ = false;
  }
}

// ---------------------------------------------------------------------------------------------
// Time, panel fades

void TThirdSlide::UpdateTime(double t) {
  UpdateDialogFade();
  if (panel_) panel_->Update(t);
  if (autoHide_ && panel_) UpdateAutoHide();
}

void TThirdSlide::UpdateAutoHide() {
  const int64_t now = Now();
  double d = 100;  // progress of the panel fade, percent
  if (now < panelFadeEnd_ && panelFadeStart_ < panelFadeEnd_)
    d = std::clamp(double(now - panelFadeStart_) / double(panelFadeEnd_ - panelFadeStart_) * 100, 0.0, 100.0);
  if (panel_->Hovered()) detector_.SetIdle(false);
  if (detector_.IsIdle() != hidden_) {
    hidden_ = !hidden_;
    const int64_t g = hidden_ ? fadeOutMs_ : fadeInMs_;
    // A reversed fade continues from the opacity reached.
    panelFadeEnd_ = now + std::llround(d * double(g) / 100);
    panelFadeStart_ = panelFadeEnd_ - g;
    return;
  }
  const float opacity = float(hidden_ ? 100 - d : d);
  panelOpacity_ = opacity;
  for (int32_t index : {panel_->BarIndex(), panel_->ExitIndex()}) {
    if (index < 0 || size_t(index) >= pictures_.size()) continue;
    TImageParams& p = pictures_[size_t(index)].params;
    if (std::fabs(p.opacity - opacity) > 0.001f) {
      p.opacity = opacity;
      MarkChanged();
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Mouse

TThirdSlide::TMouseResult TThirdSlide::HandleMouse(uint8_t state, int32_t x, int32_t y, uint8_t kind,
                                                   int32_t button) {
  TMouseResult result;
  for (size_t i = dialogs_.size(); i-- > 0;) {
    TZemDialog* d = dialogs_[i].dialog.get();
    TZemActionInfo action;
    TZemObject* hit = d->HandleMouse(state, float(x), float(y), true, action, kind, button);
    if (d->IsChanged()) MarkChanged();
    if (hit) {
      result.hovered = hit;
      result.action = std::move(action);
      break;
    }
  }
  detector_.Feed(x, y);
  bool panelAction = false;
  if (panel_) {
    switch (kind) {
      case 0:
      case 1:
      case 2: panelAction = panel_->HandleEvent(state, x, y, kind, button); break;
      case 3: break;  // double clicks go nowhere
      default: ZEM_FAIL("overlay: unknown mouse event kind");
    }
    if (panelAction) {
      result.action = panel_->Action();
      result.hovered = nullptr;
    }
  }
  result.handled = result.hovered || (panel_ && panel_->Hovered()) || panelAction;
  return result;
}

int32_t TThirdSlide::NavHoverState() const {
  if (!panel_) return 0;
  if (panel_->Hovered()) return 2;
  return detector_.IsIdle() ? 0 : 1;
}

void TThirdSlide::SetCaptureMode(bool on) {
  if (on == captureMode_) return;
  captureMode_ = on;
  MarkChanged();
}

// ---------------------------------------------------------------------------------------------
// Drawing

bool TThirdSlide::IsChanged() const { return TDrawItem::IsChanged(); }

bool TThirdSlide::IsPanelPicture(int32_t index) const {
  return panel_ && index >= 0 && (index == panel_->BarIndex() || index == panel_->ExitIndex());
}

void TThirdSlide::Draw(TDeviceDrawer& drawer) {
  for (TDialogEntry& e : dialogs_) {
    drawer.DrawItem(e.dialog.get());
    e.drawn = true;
  }
  // The letterbox border goes under the panel, which may lie outside the show rectangle.
  int32_t borderAt = int32_t(pictures_.size());
  if (panel_ && !captureMode_) borderAt = std::min(std::max(panel_->BarIndex(), 0), std::max(panel_->ExitIndex(), 0));
  bool borderPainted = false;
  auto paintBorder = [&] {
    borderPainted = true;
    if (root_ && root_->FillBorder()) PaintBorder(drawer, root_->backgroundColour);
  };
  // Pictures are placed in window pixels: map the design space onto the whole window for them.
  drawer.SetViewport(TRectI{0, 0, windowSize_.x, windowSize_.y}, windowSize_);
  for (size_t i = 0; i < pictures_.size(); ++i) {
    if (!borderPainted && int32_t(i) == borderAt) paintBorder();
    if (captureMode_ && IsPanelPicture(int32_t(i))) continue;
    const TPictureEntry& e = pictures_[i];
    TDrawPicture* pic = e.picture.get();
    if (!pic || pic->Width() <= 0 || pic->Height() <= 0 || e.rect.IsEmpty() || !(e.params.opacity > 0)) continue;
    const TVec3 position{float(e.rect.left), float(e.rect.top), 0};
    const TVec3 axisX{float(e.rect.Width()) / float(pic->Width()), 0, 0};
    const TVec3 axisY{0, float(e.rect.Height()) / float(pic->Height()), 0};
    drawer.DrawImage(pic, position, TPointF{0, 0}, axisX, axisY, e.params);
  }
  if (!borderPainted) paintBorder();
  drawer.SetViewport(TRectI{}, TPointI{});
  changedProps_ = false;
  changedGeometry_ = false;
}

}  // namespace zem
