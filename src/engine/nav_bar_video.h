// The video navigation bar: a full-width player bar with play/pause, custom buttons (backward,
// forward), a seek track with the time display, a mute button, a volume track and an optional
// exit box, drawn into a 32-bit picture with alpha at a scale. A time drag pauses the show and
// seeks; releasing resumes it when it had been playing.
//
// Threads: engine thread only (owned by the navigation panel).
#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "engine/nav_bar.h"

namespace zem {

// Theme measures at scale 1.
struct TVideoNavMeasures {
  TPointI barSize, buttonSize, digitSize;
  int32_t trackHeight = 0, volumeLength = 0;
  int32_t leftSpace = 0, buttonsTrackSpace = 0, trackDigitsSpace = 0, digitsSoundSpace = 0, soundTrackSpace = 0,
          rightSpace = 0;  // not scaled
  int32_t bgLeft = 0, bgRight = 0, lineLeft = 0, lineRight = 0;
};

// The layout at the current scale and width (pixels of the bar).
struct TVideoNavLayout {
  int32_t width = 0, height = 0;
  int32_t bw = 0, bh = 0, dw = 0, dh = 0, sw = 0, sh = 0, th = 0, vl = 0;
  int32_t soundRight = 0;  // S: the right end of the time display
  int32_t t0 = 0, t1 = 0, v0 = 0, v1 = 0;
};

class TVideoNavBar : public TCustomNavBar {
 public:
  enum TElement : size_t { PlayPause = 0, Sound = 1, ExitBox = 2, FirstCustom = 3 };
  // Strip images.
  enum TImage : int32_t { ImgPlay = 0, ImgPause = 1, ImgSoundOn = 2, ImgSoundOff = 3, ImgBackward = 4, ImgExit = 6 };

  TVideoNavBar();
  ~TVideoNavBar() override;

  void LoadTheme(const TIniStorage& storage, const WideString& folder) override;
  void SetButtons(std::span<const int32_t> indexes) override;
  void MouseEvent(int32_t button, uint8_t state, uint8_t kind, int32_t y, int32_t x) override;
  void Update(double timeMs) override;
  void SetVolume(float volume) override;
  void SetWidth(int32_t width) override;
  void SetHeight(int32_t height) override;
  void SetScale(float scale) override;

  // Inspection.
  float Scale() const { return scale_; }
  bool Disabled() const { return disabled_; }
  bool HoursShown() const { return hours_; }
  const TVideoNavLayout& Layout() const { return layout_; }
  const TVideoNavMeasures& Measures() const { return m_; }
  double Time() const { return time_; }
  float Volume() const { return volume_; }
  float SavedVolume() const { return savedVolume_; }
  bool Paused() const { return paused_; }
  bool TimeDragging() const { return timeDrag_; }
  bool VolumeDragging() const { return volumeDrag_; }
  uint8_t ElementState(size_t element) const { return element < states_.size() ? states_[element] : 0; }
  // Centre x of the sliders at the current time and volume.
  int32_t TimeSliderCentre() const;
  int32_t VolumeSliderCentre() const;
  // The display text ("mm:ss / mm:ss", with hours "hh:mm:ss / hh:mm:ss").
  std::u16string DisplayText() const;

 private:
  void ComputeLayout(float scale);
  double ReducedTime() const;
  int32_t DisplayedSecond() const;
  double TimeFromPointer(int32_t x) const;
  float VolumeFromPointer(int32_t x) const;
  bool ExitEvent() const { return exitHalf && exitHalf(); }
  bool HasExitBox() const { return static_cast<bool>(exitHalf); }
  void SetAllNormal(std::vector<size_t>& changed);
  void SetElement(size_t element, uint8_t state, std::vector<size_t>& changed);
  // Drawing.
  bool EnsurePicture();
  void DrawElement(size_t element);
  void DrawTrack(bool volume);
  void DrawDisplay();
  void DrawExitBox();
  void DrawAll();
  void Redraw(const std::vector<size_t>& elements);
  void RestoreSpan(int32_t left, int32_t right);
  // Reports what was drawn since the last report.
  void Changed();
  const TBitmap* StripImage(uint8_t state, int32_t image);
  void MakeGlyphs();

  TVideoNavMeasures m_;
  TBitmap background_, line_, slider_;
  std::array<std::array<TBitmap, 7>, 3> images_;  // cut from the normal, hover and click strips
  float scale_ = 1;
  int32_t width_ = 0;
  TVideoNavLayout layout_;
  bool loaded_ = false;
  bool disabled_ = false;
  bool hours_ = false;
  std::vector<uint8_t> states_;
  double time_ = -1, duration_ = 0;
  float volume_ = -1, savedVolume_ = 1;
  bool paused_ = false, pausedBeforeDrag_ = false;
  bool timeDrag_ = false, volumeDrag_ = false;
  int32_t timeGrab_ = 0, volumeGrab_ = 0;
  int32_t drawnTimeSlider_ = INT32_MIN, drawnVolumeSlider_ = INT32_MIN, drawnSecond_ = INT32_MIN;
  // Scaled strip images and the bar's stretched background, made for the current layout.
  std::array<std::array<TBitmap, 7>, 3> scaled_;
  TBitmap barBackground_, scaledSlider_, timeTrack_, volumeTrack_;
  std::array<TBitmap, 12> glyphs_;  // "0".."9", ":", " / "
  int32_t glyphHeight_ = -1;
  TRectI changed_, exitChanged_;
};

}  // namespace zem
