#include "transitions/filter_factory.h"

#include <numbers>

#include "transitions/broom_effect.h"
#include "transitions/clock_effect.h"
#include "transitions/common_filter.h"
#include "transitions/flip_effects.h"
#include "transitions/roll_effect.h"

namespace zem {

namespace {

std::unique_ptr<TDrawFilter> MakeOfKind(const TFilterDescriptor& s, const TEffectParams& p) {
  switch (s.kind) {
    case TFilterKind::Random:
      return std::make_unique<TRandomFilter>(s.gridX, s.gridY, s.seed, s.softness);
    case TFilterKind::Alpha: return std::make_unique<TAlphaFilter>();
    case TFilterKind::Clock: return std::make_unique<TClockEffect>(s.variant == 2);
    case TFilterKind::Circle: return std::make_unique<TCircleFilter>(s.centreX, s.centreY);
    case TFilterKind::Rhomb: return std::make_unique<TRhombFilter>(s.centreX, s.centreY);
    case TFilterKind::Square: return std::make_unique<TSquareFilter>(s.centreX, s.centreY);
    case TFilterKind::HLines: return std::make_unique<THLines>(s.centreX, s.centreY);
    case TFilterKind::VLines: return std::make_unique<TVLines>(s.centreX, s.centreY);
    case TFilterKind::DiagLines: return std::make_unique<TDiagLines>(s.variant, s.effectType);
    case TFilterKind::Broom: return std::make_unique<TBroomEffect>(s.variant, p.broomOffset);
    case TFilterKind::Push: return std::make_unique<TPushFilter>(s.effectType);
    case TFilterKind::Slide: return std::make_unique<TSlideFilter>(s.effectType);
    case TFilterKind::Roll: return std::make_unique<TRollEffect2>(s.effectClass, s.effectType, p);
    case TFilterKind::Overturn:
      return std::make_unique<TOverturnEffect>(s.variant, p.flipSmooth != 0, p.flipCurving);
    case TFilterKind::TwoSlides:
      return std::make_unique<TTwoSlidesEffect>(s.variant, p.swapDepth, p.swapWidth,
                                                float(p.swapMaxAngle * std::numbers::pi / 180));
    default: return nullptr;
  }
}

}  // namespace

std::unique_ptr<TDrawFilter> MakeTransitionFilter(const TFilterRequest& r) {
  std::unique_ptr<TDrawFilter> f = MakeOfKind(r.desc, r.params);
  if (!f) return nullptr;
  f->SetEffect(r.desc.effectClass, r.desc.effectType, r.params);
  // The diagonal wipes take their direction from class and type themselves.
  if (r.desc.kind != TFilterKind::DiagLines) f->SetReverse(r.desc.reverse);
  f->Init(r.rect, r.smoothWidth, float(r.duration));
  return f;
}

void InstallTransitionFilters() {
  // The previous maker is kept by the new one (installed once at start-up).
  auto previous = std::make_shared<TFilterMaker>();
  *previous = InstallFilterMaker([previous](const TFilterRequest& r) -> std::unique_ptr<TObj> {
    if (auto f = MakeTransitionFilter(r)) return f;
    return *previous ? (*previous)(r) : nullptr;
  });
}

}  // namespace zem
