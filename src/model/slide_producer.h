// Turning positions of the show's time line into slide trees: the slide producer builds a slide
// (its objects, time anchors, display geometry and transition) or a custom dialog; the draw
// container pairs a built slide with its timing; the slide cache keeps the few slides around
// the current time, loading at most one new slide per step.
//
// Threads: the slide loader builds slides and containers and calls TSlideCache::Update; the
// engine writes the current time into the shared TTiming and reads containers only through
// the loader's report.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "foundation/refobj.h"
#include "model/geometry.h"
#include "model/slide_host.h"
#include "model/slide_source.h"
#include "model/transition_choice.h"
#include "model/zem_slide.h"

namespace zem {

class TSlideProducer;

// The current show time, shared by the engine (writer) and the loader, the producer and every
// container (readers). Each value is written whole.
class TTiming : public TRefObj {
 public:
  std::atomic<double> current{0};    // ms
  std::atomic<double> requested{0};  // ms
};

// The root of a custom dialog: drawn without background, faded by its fade value.
class TZemDialog : public TZemSlide {
 public:
  explicit TZemDialog(TRef<TZemSlideHost> host, WideString name)
      : TZemSlide(std::move(host)), name_(std::move(name)) {
    SetBackgroundEnabled(false);
  }
  float GetOpacityScale() const override { return fade_; }
  const char* ClassName() const override { return "TZemDialog"; }

  const WideString& Name() const { return name_; }
  float Fade() const { return fade_; }
  void SetFade(float f) {
    if (f != fade_) {
      fade_ = f;
      changedProps_ = true;
    }
  }
  bool dialogPause = false;

 private:
  WideString name_;
  float fade_ = 0;
};

// The host the producer gives its slides: pictures through the show's files, generated effect
// buffers, the camera and view rectangle of the producer's output.
class TProducerSlideHost : public TZemSlideHost {
 public:
  // Fills `into` (already sized to the design size) with effect buffer n; false when it has
  // none.
  using TEffectBufferProvider = std::function<bool(int32_t n, TBitmap& into)>;

  TProducerSlideHost(TSlideProducer* owner, TFileAccessor* files, WideString pathToButtons);
  TRef<TDrawPicture> GetPicture(const WideString& name) override;
  const TCommonIniSection* ScriptObject(const WideString& name) override;
  std::unique_ptr<TStream> OpenMedia(const WideString& name, bool fromDisk, int64_t* fileDate) override;
  TVec3 GetCameraPosition() override;
  TRectI GetViewRect() override;
  TFileAccessor* Files() const override { return files_; }

  const WideString& PathToButtons() const { return pathToButtons_; }
  WideString ButtonsFolder() const override { return pathToButtons_; }
  // False while the loaders are told to give up.
  bool ContinueLoading() override;
  TSlideProducer* Owner() const { return owner_; }
  void SetEffectBufferProvider(TEffectBufferProvider p) { effectBuffers_ = std::move(p); }
  // The producer goes away before its slides: the host then answers from its last geometry.
  void DetachOwner();

 private:
  TRef<TDrawPicture> EffectBufferPicture(const WideString& name);
  TRef<TDrawPicture> MaskPicture(const WideString& name);

  TSlideProducer* owner_;
  TFileAccessor* files_;
  WideString pathToButtons_;
  TEffectBufferProvider effectBuffers_;
  TTextPictureSource texts_;  // "Text: " and "TextWithSize:" pictures
  TPointI lastOutput_;
  TRectI lastView_;
};

// A loaded slide with its timing record and repeat offset.
class TDrawContainer : public TObj {
 public:
  std::unique_ptr<TZemSlide> slide;          // none when the slide could not be built
  TSlideInfo info;                           // shifted by the repeats
  double repeatOffset = 0;                   // repeat x total duration
  std::unique_ptr<TZemFilter> transition;    // the transition into this slide
  int32_t position = 0;                      // repeat x slide count + index
  TRef<TTiming> timing;

  // Evaluates the slide at show time t and moves its transition's progress.
  void SetTime(double t);
};

// The positions on screen at time t (a slide from its start to its end, out-transition
// included): `first` and, while the next one has started, `last` = first + 1. `hint` is where
// the search begins (the previous answer); returns the new hint. Reads only the source.
int32_t ActiveSlidePositions(const TZemSource& source, double t, int32_t hint, int32_t& first, int32_t& last);

class TSlideProducer : public TObj {
 public:
  // Fit modes of the output.
  enum : int32_t { kFitInside = 0, kFitCover = 1, kFitStretch = 2 };

  // `host` null: a TProducerSlideHost over the source's files.
  explicit TSlideProducer(TRef<TZemSource> source, TRef<TZemSlideHost> host = {});
  ~TSlideProducer() override;

  TZemSource& Source() const { return *source_; }
  TZemSlideHost* Host() const { return host_.get(); }
  const TRef<TZemSlideHost>& HostRef() const { return host_; }

  // Output size in pixels, fit mode, view scale (percent). Raises EAssertionFailed
  // ("ZeroSize of Presentation!") for a current show with no design height.
  void SetOutput(TPointI outputSize, int32_t fitMode, float viewScaleX, float viewScaleY);
  TPointI OutputSize() const { return output_; }
  TPointI DisplayedSize() const { return displayed_; }
  TPointI DesignSize() const { return design_; }
  double Aspect() const { return aspect_; }
  float ViewScaleX() const { return viewScaleX_; }
  float ViewScaleY() const { return viewScaleY_; }
  int32_t FitMode() const { return fitMode_; }

  // A slide of the show at an index (negative: the empty slide before the show), or null when
  // its section is missing or cannot be read. With `transition`, also its transition.
  std::unique_ptr<TZemSlide> CreateSlide(int32_t index, int32_t repeat,
                                         std::unique_ptr<TZemFilter>* transition = nullptr);
  // The custom dialog of that name, or null.
  std::unique_ptr<TZemDialog> CreateDialog(const WideString& name);
  int32_t GetTimingRecord(int32_t position, TSlideInfo& info) const { return source_->GetSlideInfo(position, info); }
  // The one or two positions on screen at show time t.
  void FindActiveSlides(double t, int32_t& first, int32_t& last);
  TRectI GetViewRect() const;
  TVec3 GetCameraPosition() const;
  std::unique_ptr<TDrawContainer> CreateContainer(int32_t position);

  void SetCurrentTiming(TRef<TTiming> timing) { timing_ = std::move(timing); }
  const TRef<TTiming>& CurrentTiming() const { return timing_; }

 private:
  void PlaceSlide(TZemSlide& slide) const;

  TRef<TZemSource> source_;
  TRef<TZemSlideHost> host_;
  TProducerSlideHost* ownHost_ = nullptr;  // host_ when the producer made it
  TPointI design_;
  bool fixedSize_ = false;
  TPointI output_;
  int32_t fitMode_ = kFitInside;
  float viewScaleX_ = 100, viewScaleY_ = 100;
  double aspect_ = 4.0 / 3.0;
  TPointI displayed_;
  TRef<TTiming> timing_;
  int32_t activePos_ = 0;  // remembered by FindActiveSlides (loader thread)
};

class TSlideCache : public TObj {
 public:
  static constexpr int32_t kMaxContainers = 3;
  using TChanged = std::function<void()>;
  using TLoaded = std::function<void(TDrawContainer&)>;

  explicit TSlideCache(TSlideProducer& producer, int32_t windowSize = 2);

  // Drops containers outside the window and loads at most one new slide; true when it did.
  bool Update(double t);

  void SetWindowSize(int32_t n);
  int32_t WindowSize() const { return window_; }
  void SetOnChange(TChanged f) { onChange_ = std::move(f); }
  void SetOnLoaded(TLoaded f) { onLoaded_ = std::move(f); }
  const std::vector<std::unique_ptr<TDrawContainer>>& Containers() const { return items_; }
  TDrawContainer* Find(int32_t position) const;

 private:
  TSlideProducer& producer_;
  int32_t window_;
  std::vector<std::unique_ptr<TDrawContainer>> items_;  // in position order
  TChanged onChange_;
  TLoaded onLoaded_;
};

}  // namespace zem
