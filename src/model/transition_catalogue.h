// The catalogue that turns an effect class and type into a transition filter. The filters
// themselves live with the transitions; this side decides which filter a (class, type) means
// and with which direction, centre and parameters, and hands that description to the filter
// makers the transitions install.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

#include "foundation/refobj.h"
#include "model/geometry.h"
#include "model/transition_choice.h"

namespace zem {

class TZemSlide;

enum class TFilterKind : uint8_t {
  None = 0,
  Random,     // tiles dissolve
  Alpha,      // cross-fade
  Clock,      // clock wipe
  Circle,
  Rhomb,
  Square,
  HLines,
  VLines,
  DiagLines,  // variant: the class (8 or 10)
  Broom,
  Push,
  Slide,
  Roll,       // page roll
  Overturn,   // flip
  TwoSlides,  // swap
  Custom,     // effect file
};

const char* FilterKindName(TFilterKind kind);

// The filter's descriptor: which filter a (class, type) means and how it is set up.
struct TFilterDescriptor {
  TFilterKind kind = TFilterKind::None;
  int32_t effectClass = 0;
  int32_t effectType = 0;
  bool reverse = false;
  float centreX = 0.5f, centreY = 0.5f;  // fractions of the filter rectangle
  int32_t variant = 0;  // direction or variant, as the kind reads it
  // Tiles dissolve: grid, seed and softness.
  int32_t gridX = 1, gridY = 1, seed = 0, softness = 0;

  bool operator==(const TFilterDescriptor&) const = default;
};

// The catalogue entry of a class and type (class 0 and below: kind None).
TFilterDescriptor DescribeFilter(int32_t effectClass, int32_t effectType, const TEffectParams& params);

// Everything a filter maker needs to build and initialise one filter.
struct TFilterRequest {
  TFilterDescriptor desc;
  TRectI rect;           // output rectangle
  float smoothWidth = 0; // pixels
  double duration = 0;   // ms
  TEffectParams params;  // roll diameter and broom offset already in pixels
  TZemSlide* slide = nullptr;
};

// Makes the filter of a request, or nothing for kinds it does not know.
using TFilterMaker = std::function<std::unique_ptr<TObj>(const TFilterRequest&)>;

// Installs the maker of ordinary filters and of custom effects (start-up only); each returns
// the previous one.
TFilterMaker InstallFilterMaker(TFilterMaker maker);
TFilterMaker InstallCustomEffectMaker(TFilterMaker maker);

// The request for a transition on an output rectangle (parameter block converted to pixels).
TFilterRequest MakeFilterRequest(const TRectI& rect, int32_t effectClass, int32_t effectType,
                                 TZemSlide* slide, const TEffectParams& params, double duration);

// Builds the filter: nothing for class 0 and below. A custom effect asks the custom maker and
// falls back to a cross-fade when there is none or it gives nothing; other kinds ask the
// ordinary maker (nothing when none is installed).
std::unique_ptr<TObj> CreateFilter(const TRectI& rect, int32_t effectClass, int32_t effectType,
                                   TZemSlide* slide, const TEffectParams& params, double duration);

}  // namespace zem
