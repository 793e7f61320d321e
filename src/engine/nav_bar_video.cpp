#include "engine/nav_bar_video.h"

#include <algorithm>
#include <cmath>

#include "engine/nav_bar_classic.h"
#include "engine/nav_bar_pictures.h"
#include "engine/placement.h"
#include "foundation/assert.h"
#include "resources/text/font_cache.h"
#include "resources/text/outline_rasterizer.h"
#include "resources/text/text_layout.h"
#include "script/ini_file.h"

namespace zem {

namespace {

constexpr int32_t kMaxHalvings = 10;  // the scale is never halved below 1/1024 of the asked one
constexpr double kHour = 3600000;
// Pseudo elements of a redraw list.
constexpr size_t kTimeTrack = size_t(-1), kVolumeTrack = size_t(-2), kDisplay = size_t(-3);
constexpr const char16_t* kGlyphTexts[12] = {u"0", u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u":", u" / "};

int32_t Half(int32_t v) { return v / 2; }

int32_t Scaled(int32_t v, float s) { return RoundToInt(double(v) * s); }

TPointI ReadPair(const TIniStorage& t, WideView section, WideView key) {
  const TIniSection* s = t.FindSection(section);
  const TIniPoint p = s ? s->ReadPoint(key, {0, 0}) : TIniPoint{0, 0};
  return {p.x, p.y};
}

void CheckRange(int64_t v, int64_t lo, int64_t hi, const char* what) {
  if (v < lo || v > hi) throw ENavThemeError(std::string(what) + " out of range: " + std::to_string(v));
}

// One glyph of the time display: opaque white on transparent, `height` pixels high, as wide as
// its advance.
TBitmap MakeGlyph(const std::u16string& text, int32_t height) {
  TBitmap out;
  std::shared_ptr<const TResolvedText> t = BuildSystemVectorText(u"Arial", 0, {text});
  if (!t || height < 1 || t->text.lines.empty()) return out;
  const double lineHeight = double(t->text.ascent) + t->text.descent;
  if (!(lineHeight > 0)) return out;
  const float s = float(height / lineHeight);
  const TTextLayout layout = LayoutText(*t, s, 0, kAlignLeft);
  if (layout.lines.empty()) return out;
  const TTextLayout::TLine& line = layout.lines[0];
  const double w = std::ceil(double(line.cellRight) - line.cellLeft);
  if (!(w >= 1) || !TBitmap::SizeAllowed(int64_t(w), height) || !out.Allocate(int32_t(w), height, TPixelFormat::Argb32))
    return out;
  TOutlineRasterizer r;
  r.SetBounds(float(out.Width()), float(out.Height()));
  const float baseline = s * float(t->text.ascent);
  const auto& glyphs = t->text.lines[0];
  for (size_t j = 0; j < glyphs.size() && j < t->glyphs[0].size(); ++j) {
    const TGlyphOutline* g = t->glyphs[0][j];
    if (!g || !(g->design_size > 0)) continue;
    const float k = glyphs[j].size / g->design_size;
    r.AddPath(g->points, s * k, s * float(glyphs[j].x) - line.cellLeft, baseline);
  }
  r.Fill(out, 0xFFFFFFFFu);
  return out;
}

}  // namespace

TVideoNavBar::TVideoNavBar() = default;
TVideoNavBar::~TVideoNavBar() = default;

void TVideoNavBar::LoadTheme(const TIniStorage& t, const WideString& folder) {
  loaded_ = false;
  if (folder.empty() || (folder.back() != u'/' && folder.back() != u'\\'))
    throw ENavThemeError("Path delimiter nof found!");
  const WideView pos = u"Pixel positions";
  m_.barSize = ReadPair(t, pos, u"BarSize");
  m_.buttonSize = ReadPair(t, pos, u"BtnSize");
  m_.digitSize = ReadPair(t, pos, u"DigitSize");
  m_.trackHeight = t.ReadInteger(pos, u"TrackHeight", 0);
  m_.volumeLength = t.ReadInteger(pos, u"VolumeControlLength", 0);
  m_.leftSpace = t.ReadInteger(pos, u"LeftSpace", 0);
  m_.buttonsTrackSpace = t.ReadInteger(pos, u"ButtonsTrackSpace", 0);
  m_.trackDigitsSpace = t.ReadInteger(pos, u"TrackDigitsSpace", 0);
  m_.digitsSoundSpace = t.ReadInteger(pos, u"DigitsSoundBtnSpace", 0);
  m_.soundTrackSpace = t.ReadInteger(pos, u"SoundBtnTrackSpace", 0);
  m_.rightSpace = t.ReadInteger(pos, u"RightSpace", 0);
  m_.bgLeft = t.ReadInteger(u"Common", u"BgLeft", 0);
  m_.bgRight = t.ReadInteger(u"Common", u"BgRight", 0);
  m_.lineLeft = t.ReadInteger(u"Trackbar", u"TrackLineLeft", 0);
  m_.lineRight = t.ReadInteger(u"Trackbar", u"TrackLineRight", 0);
  CheckRange(m_.barSize.x, 1, kNavMaxBarSide, "BarSize width");
  CheckRange(m_.barSize.y, 1, kNavMaxMeasure, "BarSize height");
  CheckRange(m_.buttonSize.x, 1, kNavMaxMeasure, "BtnSize width");
  CheckRange(m_.buttonSize.y, 1, kNavMaxMeasure, "BtnSize height");
  CheckRange(m_.digitSize.x, 1, kNavMaxMeasure, "DigitSize width");
  CheckRange(m_.digitSize.y, 1, kNavMaxMeasure, "DigitSize height");
  CheckRange(m_.trackHeight, 1, kNavMaxMeasure, "TrackHeight");
  CheckRange(m_.volumeLength, 0, kNavMaxBarSide, "VolumeControlLength");
  for (int32_t gap : {m_.leftSpace, m_.buttonsTrackSpace, m_.trackDigitsSpace, m_.digitsSoundSpace, m_.soundTrackSpace,
                      m_.rightSpace})
    CheckRange(gap, 0, kNavMaxMeasure, "a space");

  auto load = [&](WideView section, WideView key) {
    const WideString name = folder + t.ReadString(section, key, u"");
    TBitmap b = loadPicture ? loadPicture(name) : TBitmap();
    if (b.Empty()) throw ENavThemeError("theme picture missing: " + WideToUtf8(name));
    if (b.Format() != TPixelFormat::Argb32) b.ConvertTo(TPixelFormat::Argb32);
    return b;
  };
  background_ = load(u"Common", u"flnm_back");
  line_ = load(u"Trackbar", u"flnm_Line");
  slider_ = load(u"Trackbar", u"flnm_Polzun");
  CheckRange(m_.bgLeft, 0, background_.Width(), "BgLeft");
  CheckRange(m_.bgRight, 0, background_.Width() - m_.bgLeft, "BgRight");
  CheckRange(m_.lineLeft, 0, line_.Width(), "TrackLineLeft");
  CheckRange(m_.lineRight, 0, line_.Width() - m_.lineLeft, "TrackLineRight");
  CheckRange(slider_.Width(), 1, kNavMaxMeasure, "slider width");
  CheckRange(slider_.Height(), 1, kNavMaxMeasure, "slider height");
  const WideView stripKeys[3] = {u"flnm_Normal", u"flnm_Hover", u"flnm_Click"};
  for (size_t s = 0; s < 3; ++s) {
    const TBitmap strip = load(u"Buttons", stripKeys[s]);
    if (int64_t(strip.Width()) < int64_t(m_.buttonSize.x) * 7)
      throw ENavThemeError("button strip " + WideToUtf8(stripKeys[s]) + " narrower than seven buttons");
    for (int32_t i = 0; i < 7; ++i)
      images_[s][size_t(i)] =
          CutPicture(strip, {i * m_.buttonSize.x, 0, (i + 1) * m_.buttonSize.x, strip.Height()});
  }
  actionNames = {u"backward", u"forward"};
  scale_ = 1;
  loaded_ = true;
  ComputeLayout(scale_);
}

void TVideoNavBar::ComputeLayout(float s) {
  TVideoNavLayout& l = layout_;
  const int32_t n = int32_t(buttonIndexes.size());
  l.width = width_;
  l.height = Scaled(m_.barSize.y, s);
  l.bw = Scaled(m_.buttonSize.x, s);
  l.bh = Scaled(m_.buttonSize.y, s);
  l.dw = Scaled(m_.digitSize.x, s);
  l.dh = Scaled(m_.digitSize.y, s);
  l.sw = Scaled(slider_.Width(), s);
  l.sh = Scaled(slider_.Height(), s);
  l.th = Scaled(m_.trackHeight, s);
  l.vl = Scaled(m_.volumeLength, s);
  // All in 32 bits: the width and every scaled measure are capped well below 2^31 / 32.
  l.soundRight = l.width - m_.rightSpace - l.vl - m_.soundTrackSpace - l.bw - m_.digitsSoundSpace;
  l.t0 = m_.leftSpace + (n + 1) * l.bw + m_.buttonsTrackSpace;
  l.t1 = l.soundRight - (hours_ ? 18 : 12) * l.dw;
  l.v0 = l.width - m_.rightSpace - l.vl;
  l.v1 = l.width - m_.rightSpace;
}

void TVideoNavBar::SetWidth(int32_t width) {
  width_ = std::clamp(width, 0, kNavMaxBarSide);
  if (loaded_) ComputeLayout(scale_);
}

void TVideoNavBar::SetHeight(int32_t height) {
  if (!loaded_) return;
  SetScale(float(double(height) / m_.barSize.y));
}

void TVideoNavBar::SetScale(float scale) {
  if (!loaded_) return;
  if (!(scale > 0) || !std::isfinite(scale)) scale = 1;
  // Nothing scaled may outgrow a bar picture.
  const int32_t largest = std::max({m_.barSize.y, m_.buttonSize.x, m_.buttonSize.y, m_.digitSize.x, m_.digitSize.y,
                                    slider_.Width(), slider_.Height(), m_.trackHeight, m_.volumeLength, 1});
  scale = std::min(scale, float(kNavMaxMeasure) / float(largest));
  ComputeLayout(scale);
  disabled_ = layout_.sw + layout_.t0 >= layout_.t1;
  if (!disabled_)
    for (int i = 0; i < kMaxHalvings && layout_.sw + layout_.t0 + 100 >= layout_.t1; ++i) {
      scale /= 2;
      ComputeLayout(scale);
    }
  scale_ = scale;
  if (!picture.Empty()) DrawAll();
}

void TVideoNavBar::SetButtons(std::span<const int32_t> indexes) {
  for (int32_t i : indexes) ZEM_ASSERT(i >= 0 && size_t(i) < actionNames.size());
  buttonIndexes.assign(indexes.begin(), indexes.end());
  states_.assign(size_t(FirstCustom) + buttonIndexes.size(), 0);
  const double d = duration ? duration() : 0;
  duration_ = std::isfinite(d) && d > 0 ? d : 0;
  hours_ = duration_ >= kHour;
  if (!loaded_) return;
  ComputeLayout(scale_);
  // The buttons and the hours take room the scale did not know of.
  disabled_ = layout_.sw + layout_.t0 >= layout_.t1;
  DrawAll();
}

double TVideoNavBar::ReducedTime() const {
  double t = time_;
  if (duration_ != 0 && t > duration_) {
    t = std::fmod(t, duration_);
    if (t == 0) t = duration_;
  }
  return t;
}

int32_t TVideoNavBar::TimeSliderCentre() const {
  const TVideoNavLayout& l = layout_;
  if (duration_ != 0 && time_ >= 0)
    return RoundToInt(double(l.t1 - l.sw - l.t0) * ReducedTime() / duration_ + l.t0) + Half(l.sw);
  return l.t0 + Half(l.sw);
}

int32_t TVideoNavBar::VolumeSliderCentre() const {
  const TVideoNavLayout& l = layout_;
  if (volume_ >= 0 && volume_ <= 1) return RoundToInt(double(l.v1 - l.sw - l.v0) * volume_ + l.v0) + Half(l.sw);
  return l.v0 + Half(l.sw);
}

double TVideoNavBar::TimeFromPointer(int32_t x) const {
  const TVideoNavLayout& l = layout_;
  int64_t c = std::abs(timeGrab_) > Half(l.sw) ? x : int64_t(x) - timeGrab_;
  c = std::clamp<int64_t>(c, l.t0 + Half(l.sw), std::max<int64_t>(l.t0 + Half(l.sw), l.t1 - Half(l.sw)));
  const int64_t span = int64_t(l.t1) - l.t0 - l.sw;
  if (span <= 0) return 0;
  return duration_ * double(c - l.t0 - Half(l.sw)) / double(span);
}

float TVideoNavBar::VolumeFromPointer(int32_t x) const {
  const TVideoNavLayout& l = layout_;
  int64_t c = std::abs(volumeGrab_) > Half(l.sw) ? x : int64_t(x) - volumeGrab_;
  c = std::clamp<int64_t>(c, l.v0 + Half(l.sw), std::max<int64_t>(l.v0 + Half(l.sw), l.v1 - Half(l.sw)));
  const int64_t span = int64_t(l.v1) - l.v0 - l.sw;
  if (span <= 0) return 0;
  return std::clamp(float(double(c - l.v0 - Half(l.sw)) / double(span)), 0.0f, 1.0f);
}

int32_t TVideoNavBar::DisplayedSecond() const {
  const double t = time_ < 0 ? 0 : ReducedTime();
  return RoundToInt(t / 1000);
}

std::u16string TVideoNavBar::DisplayText() const {
  auto clock = [this](int64_t secs) {
    std::u16string out;
    auto two = [&out](int64_t v) {
      out += char16_t(u'0' + v / 10 % 10);
      out += char16_t(u'0' + v % 10);
    };
    if (hours_) {
      two(secs / 3600 % 100);
      out += u':';
      two(secs / 60 % 60);
    } else {
      two(secs / 60 % 100);
    }
    out += u':';
    two(secs % 60);
    return out;
  };
  return clock(DisplayedSecond()) + u" / " + clock(RoundToInt(duration_ / 1000));
}

// --- drawing ---

const TBitmap* TVideoNavBar::StripImage(uint8_t state, int32_t image) {
  const size_t s = std::min<size_t>(state, 2), i = size_t(std::clamp(image, 0, 6));
  TBitmap& scaled = scaled_[s][i];
  if (scaled.Width() != layout_.bw || scaled.Height() != layout_.bh)
    scaled = StretchPicture(images_[s][i], layout_.bw, layout_.bh);
  return scaled.Empty() ? nullptr : &scaled;
}

void TVideoNavBar::MakeGlyphs() {
  if (glyphHeight_ == layout_.dh) return;
  glyphHeight_ = layout_.dh;
  for (size_t i = 0; i < glyphs_.size(); ++i) glyphs_[i] = MakeGlyph(kGlyphTexts[i], layout_.dh);
}

bool TVideoNavBar::EnsurePicture() {
  const int32_t w = layout_.width, h = layout_.height;
  if (picture.Width() == w && picture.Height() == h && !picture.Empty()) return true;
  picture.Clear();
  if (w < 1 || h < 1 || !TBitmap::SizeAllowed(w, h) || !picture.Allocate(w, h, TPixelFormat::Argb32)) return false;
  barBackground_ = StretchThreeSlice(background_, w, h, m_.bgLeft, m_.bgRight);
  CopyRect(picture, barBackground_, PictureRect(picture));
  drawnTimeSlider_ = drawnVolumeSlider_ = drawnSecond_ = INT32_MIN;
  changed_ = PictureRect(picture);
  return true;
}

void TVideoNavBar::RestoreSpan(int32_t left, int32_t right) {
  const TRectI r{left, 0, right, layout_.height};
  CopyRect(picture, barBackground_, r);
  changed_ = UnionRect(changed_, IntersectRect(r, PictureRect(picture)));
}

void TVideoNavBar::DrawElement(size_t element) {
  const TVideoNavLayout& l = layout_;
  if (element == ExitBox) {
    DrawExitBox();
    return;
  }
  int32_t x = 0, image = 0;
  if (element == PlayPause) {
    x = m_.leftSpace;
    image = (timeDrag_ ? pausedBeforeDrag_ : paused_) ? ImgPlay : ImgPause;
  } else if (element == Sound) {
    x = l.soundRight + m_.digitsSoundSpace;
    image = volume_ == 0 ? ImgSoundOff : ImgSoundOn;
  } else {
    const size_t k = element - FirstCustom + 1;
    if (k > buttonIndexes.size()) return;
    x = m_.leftSpace + int32_t(k) * l.bw;
    image = ImgBackward + buttonIndexes[k - 1];
  }
  RestoreSpan(x, x + l.bw);
  if (const TBitmap* img = StripImage(states_[element], image))
    DrawOver(picture, *img, x, Half(l.height - l.bh), PictureRect(picture));
}

void TVideoNavBar::DrawTrack(bool volume) {
  const TVideoNavLayout& l = layout_;
  const int32_t from = volume ? l.v0 : l.t0, to = volume ? l.v1 : l.t1;
  RestoreSpan(from, to);
  if (to - from >= 1 && l.th >= 1) {
    // Stretched once per size: the slider moves often, the track rarely changes size.
    TBitmap& track = volume ? volumeTrack_ : timeTrack_;
    if (track.Width() != to - from || track.Height() != l.th)
      track = StretchThreeSlice(line_, to - from, l.th, m_.lineLeft, m_.lineRight);
    if (!track.Empty()) DrawOver(picture, track, from, Half(l.height - l.th), PictureRect(picture));
  }
  const int32_t centre = volume ? VolumeSliderCentre() : TimeSliderCentre();
  if (scaledSlider_.Width() != l.sw || scaledSlider_.Height() != l.sh) scaledSlider_ = StretchPicture(slider_, l.sw, l.sh);
  if (!scaledSlider_.Empty())
    DrawOver(picture, scaledSlider_, centre - Half(l.sw), Half(l.height - l.sh), PictureRect(picture));
  (volume ? drawnVolumeSlider_ : drawnTimeSlider_) = centre;
}

void TVideoNavBar::DrawDisplay() {
  const TVideoNavLayout& l = layout_;
  const int32_t left = l.t1 + m_.trackDigitsSpace, right = l.soundRight;
  drawnSecond_ = DisplayedSecond();
  if (right <= left) return;
  RestoreSpan(left, right);
  MakeGlyphs();
  std::vector<const TBitmap*> line;
  int64_t total = 0;
  for (char16_t c : DisplayText()) {
    if (c == u' ') continue;  // " / " is one glyph, placed at its slash
    const size_t g = c >= u'0' && c <= u'9' ? size_t(c - u'0') : c == u':' ? 10 : 11;
    line.push_back(&glyphs_[g]);
    total += glyphs_[g].Width();
  }
  int64_t x = left + (int64_t(right) - left - total) / 2;
  const TRectI clip{left, 0, right, l.height};
  for (const TBitmap* g : line) {
    if (!g->Empty()) DrawOver(picture, *g, int32_t(x), Half(l.height - l.dh), clip);
    x += g->Width();
  }
}

void TVideoNavBar::DrawExitBox() {
  const int32_t side = layout_.height;
  if (side < 1) return;
  if (exitPicture.Width() != side || exitPicture.Height() != side) {
    exitPicture.Clear();
    if (!exitPicture.Allocate(side, side, TPixelFormat::Argb32)) return;
  }
  ClearRect(exitPicture, PictureRect(exitPicture));
  if (const TBitmap* img = StripImage(states_[ExitBox], ImgExit))
    DrawOver(exitPicture, *img, Half(side - layout_.bw), Half(side - layout_.bh), PictureRect(exitPicture));
  exitChanged_ = PictureRect(exitPicture);
}

void TVideoNavBar::DrawAll() {
  if (!loaded_ || disabled_ || states_.empty()) return;
  if (!EnsurePicture()) return;
  CopyRect(picture, barBackground_, PictureRect(picture));
  changed_ = PictureRect(picture);
  std::vector<size_t> all = {PlayPause, Sound};
  for (size_t k = 0; k < buttonIndexes.size(); ++k) all.push_back(FirstCustom + k);
  if (HasExitBox()) all.push_back(ExitBox);
  for (size_t e : all) DrawElement(e);
  DrawTrack(false);
  DrawTrack(true);
  DrawDisplay();
  Changed();
}

void TVideoNavBar::Redraw(const std::vector<size_t>& elements) {
  if (picture.Empty()) return;
  for (size_t e : elements) {
    if (e == kTimeTrack) DrawTrack(false);
    else if (e == kVolumeTrack) DrawTrack(true);
    else if (e == kDisplay) DrawDisplay();
    else if (e < states_.size()) DrawElement(e);
  }
  Changed();
}

void TVideoNavBar::Changed() {
  if (!changed_.IsEmpty() && onPictureChanged) onPictureChanged(changed_);
  if (!exitChanged_.IsEmpty() && onExitPictureChanged) onExitPictureChanged(exitChanged_);
  changed_ = exitChanged_ = {};
}

// --- state and events ---

void TVideoNavBar::SetElement(size_t element, uint8_t state, std::vector<size_t>& changed) {
  if (element >= states_.size() || states_[element] == state) return;
  if (element == ExitBox && !HasExitBox()) return;
  states_[element] = state;
  changed.push_back(element);
}

void TVideoNavBar::SetAllNormal(std::vector<size_t>& changed) {
  for (size_t e = 0; e < states_.size(); ++e) SetElement(e, 0, changed);
}

void TVideoNavBar::MouseEvent(int32_t button, uint8_t, uint8_t kind, int32_t y, int32_t x) {
  if (!loaded_ || disabled_ || picture.Empty() || states_.empty()) return;
  if (kind != 0 && button != 1) return;
  const TVideoNavLayout& l = layout_;
  const int32_t h = l.height;
  const bool trackBand = y >= Half(h - l.th) && y <= Half(h + l.th);
  const bool buttonBand = y >= Half(h - l.bh) && y <= Half(h + l.bh);
  const bool exitEvent = ExitEvent();
  const int32_t soundX = l.soundRight + m_.digitsSoundSpace;
  const int32_t customEnd = l.t0 - m_.buttonsTrackSpace;
  const int32_t n = int32_t(buttonIndexes.size());
  auto overExitImage = [&] {
    return x >= Half(h - l.bw) && x < Half(h - l.bw) + l.bw && y >= Half(h - l.bh) && y < Half(h - l.bh) + l.bh;
  };
  auto customAt = [&]() -> int32_t {
    if (l.bw < 1 || x < m_.leftSpace + l.bw || x >= customEnd) return 0;
    const int32_t k = (x - m_.leftSpace) / l.bw;
    return k >= 1 && k <= n ? k : 0;
  };
  std::vector<size_t> changed;
  auto moveTime = [&] {
    time_ = TimeFromPointer(x);
    if (seek) seek(float(time_));
    if (TimeSliderCentre() != drawnTimeSlider_) changed.push_back(kTimeTrack);
    if (DisplayedSecond() != drawnSecond_) changed.push_back(kDisplay);
  };
  auto moveVolume = [&] {
    const bool wasZero = volume_ == 0;
    volume_ = VolumeFromPointer(x);
    if (setVolume) setVolume(volume_);
    if (VolumeSliderCentre() != drawnVolumeSlider_) changed.push_back(kVolumeTrack);
    if (wasZero != (volume_ == 0)) changed.push_back(Sound);
  };
  int32_t click = INT32_MIN;

  if (kind == 1) {
    SetAllNormal(changed);
    if (exitEvent) {
      if (overExitImage()) {
        SetElement(ExitBox, 2, changed);
        click = -2;
      }
    } else if (trackBand && x >= l.t0 && x <= l.t1) {
      timeDrag_ = true;
      pausedBeforeDrag_ = paused_;
      paused_ = true;
      timeGrab_ = x - TimeSliderCentre();
      if (!pausedBeforeDrag_) click = -1;
    } else if (trackBand && x >= l.v0 && x <= l.v1) {
      volumeDrag_ = true;
      volumeGrab_ = x - VolumeSliderCentre();
    } else if (buttonBand) {
      if (x >= m_.leftSpace && x < m_.leftSpace + l.bw) {
        SetElement(PlayPause, 2, changed);
        paused_ = !paused_;
        click = -1;
      } else if (x >= soundX && x < soundX + l.bw) {
        SetElement(Sound, 2, changed);
        if (volume_ != 0) {
          if (volume_ > 0) savedVolume_ = volume_;
          volume_ = 0;
        } else {
          volume_ = savedVolume_;
        }
        if (setVolume) setVolume(volume_);
        changed.push_back(kVolumeTrack);
      } else if (const int32_t k = customAt()) {
        SetElement(FirstCustom + size_t(k - 1), 2, changed);
        click = k - 1;
      }
    }
  } else if (kind == 0) {
    for (uint8_t s : states_)
      if (s == 2) return;
    SetAllNormal(changed);
    if (timeDrag_ && x >= l.t0 && x <= l.t1) moveTime();
    if (volumeDrag_ && x >= l.v0 && x <= l.v1) moveVolume();
    if (exitEvent) {
      if (overExitImage()) SetElement(ExitBox, 1, changed);
    } else if (buttonBand && !timeDrag_ && !volumeDrag_) {
      if (x >= m_.leftSpace && x < m_.leftSpace + l.bw) SetElement(PlayPause, 1, changed);
      else if (x >= soundX && x < soundX + l.bw) SetElement(Sound, 1, changed);
      else if (const int32_t k = customAt()) SetElement(FirstCustom + size_t(k - 1), 1, changed);
    }
  } else if (kind == 2) {
    SetAllNormal(changed);
    if (timeDrag_) {
      paused_ = pausedBeforeDrag_;
      changed.push_back(PlayPause);
      if (!pausedBeforeDrag_) click = -1;
    }
    if (((trackBand && !exitEvent) || timeDrag_) && x >= l.t0 && x <= l.t1) moveTime();
    if (((trackBand && !exitEvent) || volumeDrag_) && x >= l.v0 && x <= l.v1) moveVolume();
    timeDrag_ = volumeDrag_ = false;
    timeGrab_ = volumeGrab_ = 0;
  } else {
    return;
  }
  Redraw(changed);
  if (click != INT32_MIN && onClick) onClick(click);
}

void TVideoNavBar::Update(double timeMs) {
  if (!loaded_ || disabled_) return;
  const bool paused = isPlaying ? !isPlaying() : false;
  if ((timeMs == time_ && paused == paused_) || timeDrag_) return;
  const bool pausedChanged = paused != paused_;
  time_ = std::isfinite(timeMs) ? timeMs : 0;
  paused_ = paused;
  std::vector<size_t> changed;
  if (TimeSliderCentre() != drawnTimeSlider_) changed.push_back(kTimeTrack);
  if (DisplayedSecond() != drawnSecond_) changed.push_back(kDisplay);
  if (pausedChanged) changed.push_back(PlayPause);
  Redraw(changed);
}

void TVideoNavBar::SetVolume(float volume) {
  if (!loaded_ || disabled_ || volume == volume_ || volumeDrag_ || !std::isfinite(volume)) return;
  const bool crossed = (volume_ == 0) != (volume == 0);
  volume_ = volume;
  std::vector<size_t> changed;
  if (VolumeSliderCentre() != drawnVolumeSlider_) changed.push_back(kVolumeTrack);
  if (crossed) changed.push_back(Sound);
  Redraw(changed);
}

}  // namespace zem
