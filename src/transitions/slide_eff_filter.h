// Filters that draw with both captured slides at once (the older and the newer one) instead
// of emitting triangles; the custom effects of effect files are the one kind.
//
// Threads: made on the engine thread by the catalogue; driven by the drawer inside frames.
#pragma once
#include <memory>

#include "model/draw_interface.h"
#include "model/effect_custom.h"
#include "model/transition_catalogue.h"
#include "transitions/draw_filter.h"

namespace zem {

class TFileAccessor;
class TZemSlide;

class TSlideEffFilter : public TDrawFilter {
 public:
  // Not used: these filters draw through DrawEffect.
  void Draw(TEffController*) override {}
  // Passed on to the effect slide.
  void FrameDone(TDeviceDrawer& drawer) override;

  // Shows the two captures in the effect (the drawer then draws EffectSlide on top).
  virtual void DrawEffect(TRef<TDrawPicture> older, TRef<TDrawPicture> newer) = 0;
  // Drops every reference to the captures.
  virtual void Finish() = 0;
  virtual void Prepare(TDeviceDrawer& drawer) = 0;
  virtual void SetProgress(float fraction) = 0;
  virtual void SetItems(TDrawItem* older, TDrawItem* newer) = 0;

  // Set on both slide items while they are captured.
  uint8_t CaptureFlag() const { return captureFlag_; }
  TZemSlide* EffectSlide() const { return effectSlide_; }

 protected:
  uint8_t captureFlag_ = 0;
  TZemSlide* effectSlide_ = nullptr;
};

// A custom effect read from an effect file.
class TRealSlideFilter : public TSlideEffFilter {
 public:
  // The effect must be opened and initialised.
  explicit TRealSlideFilter(std::unique_ptr<TCustomEffect> effect);
  ~TRealSlideFilter() override;

  void DrawEffect(TRef<TDrawPicture> older, TRef<TDrawPicture> newer) override;
  void Finish() override;
  void Prepare(TDeviceDrawer& drawer) override;
  void SetProgress(float fraction) override;
  void SetItems(TDrawItem* older, TDrawItem* newer) override;

  TCustomEffect& Effect() const { return *effect_; }

 private:
  std::unique_ptr<TCustomEffect> effect_;
  float progress_ = 0;
};

// The preparing step of a slide's custom effect (the descriptor belongs to the slide's
// container): makes the filter when missing, for the drawer's target rectangle; for a custom
// effect filter brings it to its current progress and prepares its effect slide. Nothing for
// other transitions or while the drawer is not ready. Loader or engine thread, before the
// transition is drawn.
void PrepareSlideTransition(TZemFilter* transition, TZemSlide* slide, TDeviceDrawer& drawer);

// The maker of custom effects for the catalogue: reads effect files through `files`; gives
// nothing (so a cross-fade) when no name is given or the file cannot be used. View scales are
// percentages of the slide size (100 in playback).
TFilterMaker MakeCustomEffectMaker(std::shared_ptr<const TFileAccessor> files, float viewScaleX = 100,
                                   float viewScaleY = 100);

}  // namespace zem
