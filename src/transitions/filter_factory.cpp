#include "transitions/filter_factory.h"

#include "transitions/common_filter.h"

namespace zem {

namespace {

std::unique_ptr<TDrawFilter> MakeOfKind(const TFilterSpec& s) {
  switch (s.kind) {
    case TFilterKind::Random:
      return std::make_unique<TRandomFilter>(s.gridX, s.gridY, s.seed, s.softness);
    case TFilterKind::Alpha: return std::make_unique<TAlphaFilter>();
    case TFilterKind::Circle: return std::make_unique<TCircleFilter>(s.centreX, s.centreY);
    case TFilterKind::Rhomb: return std::make_unique<TRhombFilter>(s.centreX, s.centreY);
    case TFilterKind::Square: return std::make_unique<TSquareFilter>(s.centreX, s.centreY);
    case TFilterKind::HLines: return std::make_unique<THLines>(s.centreX, s.centreY);
    case TFilterKind::VLines: return std::make_unique<TVLines>(s.centreX, s.centreY);
    case TFilterKind::DiagLines: return std::make_unique<TDiagLines>(s.variant, s.effectType);
    case TFilterKind::Push: return std::make_unique<TPushFilter>(s.effectType);
    case TFilterKind::Slide: return std::make_unique<TSlideFilter>(s.effectType);
    default: return nullptr;
  }
}

}  // namespace

std::unique_ptr<TDrawFilter> MakeFlatFilter(const TFilterRequest& r) {
  std::unique_ptr<TDrawFilter> f = MakeOfKind(r.desc);
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
    if (auto f = MakeFlatFilter(r)) return f;
    return *previous ? (*previous)(r) : nullptr;
  });
}

}  // namespace zem
