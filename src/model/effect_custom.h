// Custom transitions defined by effect files: an effect file is a small show whose first slide
// is the effect. Its images marked "ReplaceWithEffectBuffer" show the captured outgoing (1) and
// incoming (2) slides; the effect slide runs from its start to its next time as the transition
// progresses. This is the show-model side; the transition filter that captures the slides and
// draws the effect slide wraps it.
//
// Threads: made and prepared by the slide loader, then driven by the engine thread alone.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "model/slide_producer.h"
#include "model/transition_choice.h"
#include "model/zem_image.h"

namespace zem {

class TFileAccessor;

class TCustomEffect : public TObj {
 public:
  // One name of the "|"-joined list: none for an empty list, the name itself for one, a random
  // one for several.
  static WideString ChooseName(const WideString& text, TEffectRandom& random);

  TCustomEffect();
  ~TCustomEffect() override;

  // Reads the effect file through the show's files and sets up its show for an output of the
  // slide's size scaled by the view scale. False when the file cannot be opened or read (the
  // transition is then a cross-fade).
  bool Open(const TFileAccessor& files, const WideString& name, TPointI slideSize, float viewScaleX,
            float viewScaleY);
  // Builds the effect slide and rescales the keypoint positions of its buffer images to the
  // view scale. False when the effect file has no usable first slide.
  bool Init();
  // Moves the effect slide to a progress fraction 0..1; answers the effect slide's time.
  double SetProgress(double progress);
  // Takes background settings from the two slides as "CustomEffBg" says.
  void SetItems(TZemSlide* older, TZemSlide* newer, double progress);
  // Shows the captured slides in the buffer images; Finish drops them again.
  void AttachCaptures(TRef<TDrawPicture> older, TRef<TDrawPicture> newer);
  void Finish();

  TZemSlide* Slide() const { return slide_.get(); }
  // The images showing buffer n (1 outgoing, 2 incoming).
  std::vector<show::TZemImage*> BufferImages(int32_t n) const;

  bool coverMode = false;
  bool transparentBg = false;
  int32_t customEffBg = 0;

 private:
  std::unique_ptr<TSlideProducer> producer_;
  std::unique_ptr<TZemSlide> slide_;
  float viewScaleX_ = 100, viewScaleY_ = 100;
};

}  // namespace zem
