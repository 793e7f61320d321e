#include "engine/nav_panel.h"

#include <SDL.h>

#include <cmath>

#include "foundation/assert.h"
#include "foundation/log.h"
#include "package/file_accessor.h"
#include "resources/file_access.h"
#include "script/ini_file.h"

namespace zem {

namespace {

// The video bar sits centred on the bottom edge of the area.
constexpr TPlacement kVideoBarPlacement{{0, 100}, {0, 100}};

TBitmap LoadThemePicture(const TFileAccessor& files, const WideString& name) {
  TBitmap bitmap;
  std::unique_ptr<TZemImage> image = LoadPicture(files, name);
  if (image && image->Store()) {
    bitmap = image->Store()->Bitmap();
    if (!bitmap.Empty()) bitmap.ConvertTo(TPixelFormat::Argb32);
  }
  return bitmap;
}

// Maps a window coordinate into the pixels of a picture shown over [start, start + extent).
int32_t MapInto(int32_t v, int32_t start, int32_t extent, int32_t pictureExtent) {
  if (extent <= 0) return 0;
  return RoundToInt(double(int64_t(v) - start) / double(extent) * double(pictureExtent));
}

bool InRect(const TRectI& r, int32_t x, int32_t y) {
  return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace

float ScreenPixelsPerInchScale() {
  float vertical = 0;
  if (SDL_WasInit(SDL_INIT_VIDEO) && SDL_GetDisplayDPI(0, nullptr, nullptr, &vertical) == 0 &&
      std::isfinite(vertical) && vertical > 0)
    return vertical / 96.0f;
  return 1.0f;
}

TNavPanel::TNavPanel(TNavPanelConfig config, TPlacePicture place)
    : config_(std::move(config)), place_(std::move(place)) {}

TNavPanel::~TNavPanel() {
  // The bar reads the theme storage until it is gone.
  bar_.reset();
  theme_.reset();
}

void TNavPanel::LoadTheme(const WideString& memberName) {
  if (!config_.files) return;
  std::unique_ptr<TStream> stream = config_.files->OpenStream(memberName);
  if (!stream) {
    LogLine("TNavPanel: theme not found: " + WideToUtf8(memberName));
    return;
  }
  auto theme = std::make_unique<TIniFile>();
  bool loaded = false;
  try {
    loaded = theme->LoadFromStream(*stream);
  } catch (const EInvalidChar&) {
    loaded = false;
  }
  if (!loaded) {
    LogLine("TNavPanel: theme not readable: " + WideToUtf8(memberName));
    return;
  }
  videoStyle_ = theme->SectionExists(u"Common") && theme->ReadBool(u"Common", u"VideoStyle", false);
  std::unique_ptr<TCustomNavBar> bar = MakeNavBar(videoStyle_);
  if (!bar) {
    LogLine(std::string("TNavPanel: no bar of the ") + (videoStyle_ ? "video" : "classic") + " kind");
    return;
  }

  bar->onPictureChanged = [this](const TRectI&) { BarPictureChanged(); };
  bar->onClick = [this](int32_t index) {
    TZemActionInfo a = ActionForButton(index);
    if (!a.IsNone()) action_ = std::move(a);
  };
  bar->isPlaying = config_.isPlaying;
  TFileAccessor* files = config_.files;
  bar->loadPicture = [files](const WideString& name) { return LoadThemePicture(*files, name); };
  const double duration = config_.durationMs;
  bar->duration = [duration] { return duration; };
  bar->seek = config_.seek;
  bar->setVolume = config_.setVolume;
  if (HasExitBox()) {
    bar->onExitPictureChanged = [this](const TRectI&) { ExitPictureChanged(); };
    bar->exitHalf = [this] { return upperHalf_; };
  }
  bar->showBackground = config_.showBackground;
  bar->hue = config_.hue;

  theme_ = std::move(theme);
  bar_ = std::move(bar);
  const size_t slash = memberName.rfind(u'\\');
  const WideString folder = slash == WideString::npos ? WideString() : memberName.substr(0, slash + 1);
  // A theme from a package may be malformed or absurd: the panel then shows no bar, and says
  // why in one log line, rather than failing the show.
  try {
    bar_->LoadTheme(*theme_, folder);

    bar_->SetWidth(config_.area.Width());
    if (config_.useVideoScale)
      bar_->SetHeight(RoundToInt(double(config_.area.Height()) * config_.viewScale * 0.01));
    else
      bar_->SetScale(config_.screenScale);

    std::vector<int32_t> indexes;
    for (const WideString& name : config_.customNames)
      for (size_t i = 0; i < bar_->actionNames.size(); ++i)
        if (bar_->actionNames[i] == name) {
          indexes.push_back(int32_t(i));
          break;
        }
    bar_->SetButtons(indexes);
    bar_->Update(0);
    bar_->SetVolume(config_.volume);
  } catch (const std::exception& e) {
    LogLine("TNavPanel: theme " + WideToUtf8(memberName) + " refused: " + e.what());
    DropBar();
  }
}

void TNavPanel::DropBar() {
  bar_.reset();
  theme_.reset();
  // Pictures already handed on are blanked, so the overlay shows nothing of the bar.
  if (place_ && barIndex_ >= 0) place_(barIndex_, TRef<TDrawPicture>(), barRect_);
  if (place_ && exitIndex_ >= 0) place_(exitIndex_, TRef<TDrawPicture>(), exitRect_);
  barRect_ = exitRect_ = {};
  barIndex_ = exitIndex_ = -1;
}

void TNavPanel::BarPictureChanged() {
  const TBitmap& image = bar_->picture;
  if (image.Empty()) return;
  TRectI rect;
  if (videoStyle_) {
    rect = PlaceRect(config_.area, kVideoBarPlacement, image.Width(), image.Height());
  } else {
    // The classic bar always takes the view-scale share of the area height.
    const int32_t h = RoundToInt(double(config_.area.Height()) * config_.viewScale / 100.0);
    const int32_t w = RoundToInt(double(h) * image.Width() / image.Height());
    rect = PlaceRect(config_.area, config_.placement, w, h);
  }
  barRect_ = rect;
  barSize_ = {image.Width(), image.Height()};
  if (place_) barIndex_ = place_(barIndex_, MakeRef<TBitmapPicture>(image, u"NavBar"), rect);
}

void TNavPanel::ExitPictureChanged() {
  const TBitmap& image = bar_->exitPicture;
  if (image.Empty()) return;
  const TRectI& area = config_.area;
  exitRect_ = {area.right - image.Width(), area.top, area.right, area.top + image.Height()};
  exitSize_ = {image.Width(), image.Height()};
  if (place_) exitIndex_ = place_(exitIndex_, MakeRef<TBitmapPicture>(image, u"NavExitBox"), exitRect_);
}

bool TNavPanel::Inside(int32_t x, int32_t y) const {
  if (barIndex_ >= 0 && InRect(barRect_, x, y)) return true;
  return videoStyle_ && exitIndex_ >= 0 && InRect(exitRect_, x, y);
}

bool TNavPanel::HandleEvent(uint8_t state, int32_t x, int32_t y, uint8_t kind, int32_t button) {
  action_ = TZemActionInfo{};
  const bool inside = Inside(x, y);
  bool forward = false;
  switch (kind) {
    case 0: forward = inside || hovered_ || pressed_; break;
    case 1: forward = button == 1 && (inside || hovered_); break;
    case 2: forward = button == 1 && (inside || hovered_ || pressed_); break;
    default: ZEM_FAIL("navigation panel: unknown mouse event kind");
  }
  if (!forward) {
    hovered_ = inside;
    return false;
  }
  if (bar_) {
    const TRectI& area = config_.area;
    upperHalf_ = HasExitBox() && double(y) < (double(area.top) + double(area.bottom)) / 2;
    const TRectI& r = upperHalf_ ? exitRect_ : barRect_;
    const TPointI size = upperHalf_ ? exitSize_ : barSize_;
    const int32_t px = MapInto(x, r.left, r.Width(), size.x);
    const int32_t py = MapInto(y, r.top, r.Height(), size.y);
    bar_->MouseEvent(kind == 0 ? 1 : button, state, kind, py, px);
  }
  if (kind == 1) pressed_ = true;
  if (kind == 2) pressed_ = false;
  hovered_ = inside;
  if (inside && action_.IsNone()) action_.kind = TZemActionKind::Consumed;
  return !action_.IsNone();
}

void TNavPanel::Update(double timeMs) {
  if (bar_) bar_->Update(timeMs);
}

TZemActionInfo TNavPanel::ActionForButton(int32_t index) const {
  TZemActionInfo a;
  if (videoStyle_ && index == -1) {
    a.kind = TZemActionKind::Pause;
    return a;
  }
  if (videoStyle_ && index == -2) {
    a.kind = TZemActionKind::Exit;
    return a;
  }
  if (!bar_ || index < 0 || size_t(index) >= bar_->buttonIndexes.size()) return a;
  const int32_t n = bar_->buttonIndexes[size_t(index)];
  if (n < 0 || size_t(n) >= bar_->actionNames.size()) return a;
  const WideString name = LowerCase(bar_->actionNames[size_t(n)]);
  if (name == u"home") {
    a.kind = TZemActionKind::GotoSlide;
    a.number = 0;
  } else if (name == u"forward") {
    a.kind = TZemActionKind::NextSlide;
  } else if (name == u"backward") {
    a.kind = TZemActionKind::PrevSlide;
  } else if (name == u"print") {
    a.kind = TZemActionKind::Print;
  } else if (name == u"pause") {
    a.kind = TZemActionKind::Pause;
  } else if (name == u"help") {
    a.kind = TZemActionKind::Help;
  } else if (name == u"exit") {
    a.kind = TZemActionKind::Exit;
  }
  return a;
}

}  // namespace zem
