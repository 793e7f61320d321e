#include "model/transition_catalogue.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace zem {

namespace {

// The tiles dissolve keeps a threshold per tile: the grid is kept to a sane size.
constexpr int32_t kMaxMosaicGrid = 1024;

std::mutex g_makersLock;  // guards both makers
TFilterMaker g_maker;
TFilterMaker g_customMaker;

TFilterMaker CurrentMaker(bool custom) {
  std::lock_guard<std::mutex> lock(g_makersLock);
  return custom ? g_customMaker : g_maker;
}

}  // namespace

const char* FilterKindName(TFilterKind kind) {
  switch (kind) {
    case TFilterKind::None: return "none";
    case TFilterKind::Random: return "TRandomFilter";
    case TFilterKind::Alpha: return "TAlphaFilter";
    case TFilterKind::Clock: return "TClockEffect";
    case TFilterKind::Circle: return "TCircleFilter";
    case TFilterKind::Rhomb: return "TRhombFilter";
    case TFilterKind::Square: return "TSquareFilter";
    case TFilterKind::HLines: return "THLines";
    case TFilterKind::VLines: return "TVLines";
    case TFilterKind::DiagLines: return "TDiagLines";
    case TFilterKind::Broom: return "TBroomEffect";
    case TFilterKind::Push: return "TPushFilter";
    case TFilterKind::Slide: return "TSlideFilter";
    case TFilterKind::Roll: return "TRollEffect2";
    case TFilterKind::Overturn: return "TOverturnEffect";
    case TFilterKind::TwoSlides: return "TTwoSlidesEffect";
    case TFilterKind::Custom: return "TRealSlideFilter";
  }
  return "?";
}

TFilterDescriptor DescribeFilter(int32_t cls, int32_t type, const TEffectParams& p) {
  TFilterDescriptor s;
  s.effectClass = cls;
  s.effectType = type;
  s.variant = type;
  if (cls <= 0) return s;
  switch (cls) {
    case 1:
      s.kind = TFilterKind::Random;
      s.gridX = std::clamp(p.mosaicDX, 1, kMaxMosaicGrid);
      s.gridY = std::clamp(p.mosaicDY, 1, kMaxMosaicGrid);
      s.seed = p.seed;
      s.softness = p.mosaicSC < 100 ? p.mosaicSC : 1000;
      break;
    case 2:
      s.kind = TFilterKind::Alpha;
      break;
    case 3:
      // Type 2 mirrors the hand (counter-clockwise); the clock still reveals the newer slide.
      s.kind = TFilterKind::Clock;
      break;
    case 4:
      s.kind = TFilterKind::Circle;
      s.reverse = type == 1;
      s.centreX = float(p.centerX * 0.01);
      s.centreY = float(p.centerY * 0.01);
      break;
    case 5:
      s.kind = TFilterKind::Rhomb;
      s.reverse = type == 1;
      break;
    case 6:
      s.kind = TFilterKind::Square;
      s.reverse = type == 1;
      break;
    case 7:
      if (type == 1 || type == 2)
        s.kind = TFilterKind::HLines;
      else if (type == 3 || type == 4)
        s.kind = TFilterKind::VLines;
      else
        s.kind = TFilterKind::Alpha;
      s.reverse = type == 1 || type == 3;
      break;
    case 8:
    case 10:
      s.kind = TFilterKind::DiagLines;
      s.variant = cls;
      break;
    case 9:
      // Sweeps from one edge: the centre sits on that edge.
      switch (type) {
        case 1: s.kind = TFilterKind::HLines; s.centreX = 0; s.centreY = 0; break;
        case 2: s.kind = TFilterKind::HLines; s.centreX = 1; s.centreY = 0; break;
        case 3: s.kind = TFilterKind::VLines; s.centreX = 0; s.centreY = 0; break;
        case 4: s.kind = TFilterKind::VLines; s.centreX = 0; s.centreY = 1; break;
        default: s.kind = TFilterKind::Alpha; break;
      }
      break;
    case 11:
      s.kind = TFilterKind::Broom;
      s.reverse = type > 8;
      s.variant = type > 8 ? type - 8 : type;
      break;
    case 12: s.kind = TFilterKind::Push; break;
    case 13: s.kind = TFilterKind::Slide; break;
    case 14:
    case 15:
      s.kind = TFilterKind::Roll;
      s.reverse = type > 4;
      break;
    case 16:
      s.kind = TFilterKind::Overturn;
      s.variant = type + (p.flipCenter ? 4 : 0);
      break;
    case 17: s.kind = TFilterKind::TwoSlides; break;
    case kCustomEffectClass: s.kind = TFilterKind::Custom; break;
    default: s.kind = TFilterKind::Alpha; break;
  }
  return s;
}

TFilterMaker InstallFilterMaker(TFilterMaker maker) {
  std::lock_guard<std::mutex> lock(g_makersLock);
  std::swap(g_maker, maker);
  return maker;
}

TFilterMaker InstallCustomEffectMaker(TFilterMaker maker) {
  std::lock_guard<std::mutex> lock(g_makersLock);
  std::swap(g_customMaker, maker);
  return maker;
}

TFilterRequest MakeFilterRequest(const TRectI& rect, int32_t cls, int32_t type, TZemSlide* slide,
                                 const TEffectParams& params, double duration) {
  TFilterRequest r;
  r.rect = rect;
  r.slide = slide;
  r.duration = std::isfinite(duration) && duration > 0 ? duration : 0;
  r.params = params;
  const double w = rect.Width(), h = rect.Height();
  r.params.rollDiameter = float(params.rollDiameter * w);
  r.params.broomOffset = float(params.broomOffset * (w + h) / 2);
  r.smoothWidth = float(std::lround(params.smoothLine * w));
  r.desc = DescribeFilter(cls, type, params);
  return r;
}

std::unique_ptr<TObj> CreateFilter(const TRectI& rect, int32_t cls, int32_t type, TZemSlide* slide,
                                   const TEffectParams& params, double duration) {
  if (cls <= 0) return nullptr;
  TFilterRequest r = MakeFilterRequest(rect, cls, type, slide, params, duration);
  if (r.desc.kind == TFilterKind::Custom) {
    if (TFilterMaker custom = CurrentMaker(true)) {
      if (auto f = custom(r)) return f;
    }
    // Without a custom effect the slide still enters by a cross-fade.
    r.desc = DescribeFilter(2, 0, params);
    r.desc.effectClass = cls;
  }
  TFilterMaker maker = CurrentMaker(false);
  return maker ? maker(r) : nullptr;
}

}  // namespace zem
