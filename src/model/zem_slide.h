// The root of a slide: its coordinate frame (origin at the output centre), the camera, the time
// anchors, the background and the mouse entry point.
#pragma once
#include <cmath>
#include <deque>
#include <limits>

#include "foundation/refobj.h"
#include "model/slide_host.h"
#include "model/zem_object.h"

namespace zem {

class TIniStorage;

// One background record: style 0 solid, 1 and 2 two-colour gradients (horizontal, vertical),
// 3 picture. Colours are ARGB.
struct TSlideBackground {
  uint8_t style = 0;
  uint32_t colour1 = 0xFF000000u;
  uint32_t colour2 = 0xFF000000u;
  WideString pictureName;
  float sizePercent = 100;
};

// A script colour code (red in bits 0..7, green 8..15, blue 16..23) as opaque ARGB.
uint32_t ColourCodeToArgb(int32_t code);

class TZemSlide : public TZemObject {
 public:
  // Tiles of a picture background per side of the centre column, at most.
  static constexpr int32_t kMaxBackgroundTiles = 64;
  // Node evaluations the display-size analysis may spend (sample times x nodes); beyond it
  // the keypoint times are thinned evenly.
  static constexpr int64_t kAnalysisBudget = 250000;

  explicit TZemSlide(TRef<TZemSlideHost> host = {});
  ~TZemSlide() override;

  void UpdateTransform(bool recursive) override;
  double GetAnchorTime(uint8_t origin) const override;
  TPointI GetParentSize() const override { return size_; }
  const TFrame3& GetParentFrame() const override { return baseFrame_; }
  // The slide itself is never hit.
  bool HitTestPoint(const TPointF&, float&, float&) override { return false; }
  void AddPrimitives(TDeviceDrawer& drawer) override;
  bool SetTime(bool recursive, double t) override;
  TZemSlideHost* GetHost() const override { return host_.get(); }
  TZemSlide* GetSlide() const override { return const_cast<TZemSlide*>(this); }
  void Prepare(TDeviceDrawer& drawer) override;
  void Release(TDeviceDrawer& drawer) override;
  // Skipped when t equals the last time, the slide is not forced and nothing changed.
  void SetTimeAndUpdate(bool recursive, double t) override;
  // 100 for a slide; a dialog answers its fade value.
  virtual float GetOpacityScale() const { return 100; }
  const char* ClassName() const override { return "TZemSlide"; }

  TZemSlideHost* Host() const { return host_.get(); }
  // The repeat of the show this slide was built for (0 for the first pass).
  int32_t Repeat() const { return repeat_; }
  void SetRepeat(int32_t r) { repeat_ = r; }

  // Displayed size in output pixels, view scale in percent (100 in playback), output size.
  void SetGeometry(TPointI displayed, float viewScaleX, float viewScaleY, TPointI output);
  TPointI OutputSize() const { return output_; }
  // Anchors in show ms; non-finite values count as 0. Keypoint times follow.
  void SetAnchors(double slideBegin, double inLength, double nextEffectBegin, double outLength);
  double TimeInSlide() const { return timeInSlide_; }
  double LastTime() const { return lastTime_; }
  void SetForced(bool forced) { forced_ = forced; }
  float DepthFactor() const { return depth_factor_; }
  // From the host, or (without one) the default camera over the output.
  TVec3 CameraPosition() const;

  // Mouse entry point. state: button/modifier bits (16 = left button held); eventKind 0 move,
  // 1 down, 2 up; button 1 = left. Answers the node hit; `action` gets the action that fires.
  TZemObject* HandleMouse(uint32_t state, float x, float y, bool enabled, TZemActionInfo& action,
                          int eventKind, int button);

  // Reads the own background from the slide section ("Pers_Fon" = "1") or the main section.
  void ReadBackground(const TIniStorage& storage, const TCommonIniSection* slideSection);
  TSlideBackground& OwnBackground() { return background_; }
  // The second background a transition lays over the first, with its factor.
  void SetSecondBackground(const TSlideBackground& b, float factor);
  void ClearSecondBackground() { hasSecond_ = false; }
  // Dialogs draw no background.
  void SetBackgroundEnabled(bool on) { backgroundEnabled_ = on; }

  bool AnalysisRunning() const { return analysisRunning_; }
  void RunDisplaySizeAnalysis();
  // How often the analysis has run (text pictures wait for the first run).
  int32_t AnalysisCount() const { return analysisCount_; }

  // The slide's place in the show (text macros): index 0-based, count of slides.
  int32_t slideIndex = 0;
  int32_t slidesCount = 0;

 private:
  void DrawBackground(TDeviceDrawer& drawer, const TSlideBackground& b, uint8_t alpha);
  // Picture and mip level for a picture background, kept in a list of at most two.
  struct TPreparedPicture {
    WideString name;
    TRef<TDrawPicture> picture;
  };
  TDrawPicture* BackgroundPicture(const WideString& name);

  TRef<TZemSlideHost> host_;
  int32_t repeat_ = 0;
  TFrame3 baseFrame_;  // origin at the output centre, unit axes
  TPointI output_;
  double slideBegin_ = 0, inLength_ = 0, nextEffectBegin_ = 0, outLength_ = 0;
  double lastTime_ = std::numeric_limits<double>::quiet_NaN();
  double currentTime_ = 0;
  double timeInSlide_ = 0;
  bool forced_ = false;
  float depth_factor_ = 0.57735026f;
  bool analysisRunning_ = false;
  int32_t analysisCount_ = 0;
  TSlideBackground background_, second_;
  float secondFactor_ = 0;
  bool hasSecond_ = false;
  bool backgroundEnabled_ = true;
  std::deque<TPreparedPicture> pictures_;
  TDeviceDrawer* preparedFor_ = nullptr;
};

}  // namespace zem
