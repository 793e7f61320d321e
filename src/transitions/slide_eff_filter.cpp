#include "transitions/slide_eff_filter.h"

#include "foundation/assert.h"
#include "model/transition_choice.h"
#include "model/zem_slide.h"
#include "package/file_accessor.h"

namespace zem {

void TSlideEffFilter::FrameDone(TDeviceDrawer& drawer) {
  if (effectSlide_) effectSlide_->FrameDone(drawer);
}

TRealSlideFilter::TRealSlideFilter(std::unique_ptr<TCustomEffect> effect) : effect_(std::move(effect)) {
  ZEM_ASSERT(effect_ != nullptr);
  captureFlag_ = effect_->transparentBg ? 1 : 0;
  effectSlide_ = effect_->Slide();
}

TRealSlideFilter::~TRealSlideFilter() = default;

void TRealSlideFilter::DrawEffect(TRef<TDrawPicture> older, TRef<TDrawPicture> newer) {
  effect_->AttachCaptures(std::move(older), std::move(newer));
}

void TRealSlideFilter::Finish() { effect_->Finish(); }

void TRealSlideFilter::Prepare(TDeviceDrawer& drawer) {
  if (TZemSlide* s = effect_->Slide()) s->Prepare(drawer);
}

void TRealSlideFilter::SetProgress(float fraction) {
  progress_ = fraction;
  effect_->SetProgress(fraction);
}

void TRealSlideFilter::SetItems(TDrawItem* older, TDrawItem* newer) {
  effect_->SetItems(dynamic_cast<TZemSlide*>(older), dynamic_cast<TZemSlide*>(newer), progress_);
}

void PrepareSlideTransition(TZemFilter* transition, TZemSlide* slide, TDeviceDrawer& drawer) {
  if (!transition || !drawer.IsReady()) return;
  const TFilterDescriptor described = DescribeFilter(transition->effectClass, transition->effectType, transition->params);
  if (described.kind != TFilterKind::Custom) return;
  if (!transition->filter) {
    const TRectI rect = drawer.GetTargetRect();
    if (rect.IsEmpty()) return;
    transition->filter = CreateFilter(rect, transition->effectClass, transition->effectType, slide,
                                      transition->params, transition->duration);
    if (auto* made = dynamic_cast<TDrawFilter*>(transition->filter.get())) made->SetClipRect(rect);
  }
  auto* fx = dynamic_cast<TSlideEffFilter*>(transition->filter.get());
  if (!fx) {
    // The fall-back cross-fade is made by the drawer for its frame clip rectangle.
    transition->filter.reset();
    return;
  }
  fx->SetTime(float(transition->progressTime));
  fx->SetProgress(fx->Progress());
  fx->Prepare(drawer);
}

TFilterMaker MakeCustomEffectMaker(std::shared_ptr<const TFileAccessor> files, float viewScaleX, float viewScaleY) {
  return [files, viewScaleX, viewScaleY](const TFilterRequest& r) -> std::unique_ptr<TObj> {
    if (!files) return nullptr;
    TEffectRandom random;
    const WideString name = TCustomEffect::ChooseName(r.params.customEffect, random);
    if (name.empty()) return nullptr;
    const TPointI size = r.slide ? r.slide->GetParentSize() : TPointI{r.rect.Width(), r.rect.Height()};
    auto effect = std::make_unique<TCustomEffect>();
    if (!effect->Open(*files, name, size, viewScaleX, viewScaleY) || !effect->Init()) return nullptr;
    auto f = std::make_unique<TRealSlideFilter>(std::move(effect));
    f->SetEffect(r.desc.effectClass, r.desc.effectType, r.params);
    f->Init(r.rect, r.smoothWidth, float(r.duration));
    return f;
  };
}

}  // namespace zem
