// Which transition enters each slide, for how long and with which parameters: the show's global
// effect set (the "opt_fx_" keys of the main section), the per-slide settings ("Pers_Effect"),
// the random drawing from the set, and the transition descriptor a slide holds.
//
// Threads: a TTransitionSet belongs to one show source and is used by one thread at a time (the
// engine builds the timing, then only the slide loader draws from it).
#pragma once
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "foundation/refobj.h"
#include "foundation/strings.h"

namespace zem {

class TCommonIniSection;

// Number of effect groups of the global set ("opt_fx_eff1" .. "opt_fx_eff19").
constexpr int32_t kEffectGroupCount = 19;
// The class of custom effects defined by effect files.
constexpr int32_t kCustomEffectClass = 18;

// Background colour of a page roll when the show names none (blue, green, red).
constexpr uint8_t kRollDefaultBackB = 0xFF, kRollDefaultBackG = 0xFF, kRollDefaultBackR = 0xFF;

// The parameter block of one transition.
struct TEffectParams {
  float smoothLine = 0;    // soft edge width, fraction of the output width
  float broomOffset = 0;   // fraction; CreateFilter makes it pixels
  float rollDiameter = 0;  // fraction of the output width; CreateFilter makes it pixels
  uint8_t rollVariants = 1;
  uint8_t rollUseBackColour = 0;
  uint8_t rollBackB = kRollDefaultBackB, rollBackG = kRollDefaultBackG, rollBackR = kRollDefaultBackR;
  uint8_t roll3D = 0;
  float rollCurving = 0.125f;
  uint8_t flipCenter = 0;
  float flipCurving = 0.5f;
  uint8_t flipSmooth = 1;
  float swapDepth = 4;
  float swapWidth = 1;
  float swapMaxAngle = 60;  // degrees
  int32_t centerX = 50, centerY = 50;  // percent of the output
  int32_t mosaicDX = 1, mosaicDY = 1, mosaicSC = 0;
  int32_t seed = 0;
  WideString customEffect;  // effect file names joined by "|" (custom class)

  bool operator==(const TEffectParams&) const = default;
};

// One group of the global set: the effect types its letters name, and the letters.
struct TEffGroup {
  uint16_t types = 0;  // bit t-1 set for type t (1..16)
  int32_t letterCount = 0;
  WideString letters;
};

// The effect type a letter names: "1".."8" are 1..8, "A".."H" and "a".."h" 9..16, anything else 1.
int32_t EffectLetterType(char16_t letter);

// The random source of the transition choice. Seeded from the clock unless a fixed seed was
// given (tests), in which case reseeding from the clock keeps the fixed sequence.
class TEffectRandom {
 public:
  TEffectRandom();
  void SetFixedSeed(uint32_t seed);
  void SeedFromClock();
  // 0 <= r < n; 0 when n <= 0.
  int32_t Next(int32_t n);
  bool Fixed() const { return fixed_; }

 private:
  std::mt19937 gen_;
  bool fixed_ = false;
};

// A slide's transition as chosen for one call of GetSlideEffect.
struct TSlideEffect {
  int32_t effectClass = 0;
  int32_t effectType = 0;
  double duration = 0;  // ms, never negative
  TEffectParams params;
  // The length this transition occupies on the time line: the duration when the class is
  // above 0, else 0.
  double Length() const { return effectClass > 0 ? duration : 0; }
};

// The global effect set with its random state.
class TTransitionSet {
 public:
  // Reads the "opt_fx_" keys; `main` may be null (everything off). Shuffles the group order.
  void ReadGlobal(const TCommonIniSection* main);

  // Draws the next (class, type) from the set; (0, 0) when effects are off.
  void PickFromSet(int32_t& effectClass, int32_t& effectType);
  // The transition of a slide from its section (null: no own settings) and the global set.
  // Draws again on every call for slides without their own settings.
  TSlideEffect GetSlideEffect(const TCommonIniSection* slideSection, const TCommonIniSection* main);
  // The length of the transition into a slide, by the slide's own settings or the global set.
  double TransitionLength(const TCommonIniSection* slideSection);
  // Shuffles the group order (seeding the generator from the clock first).
  void Shuffle();

  bool Enabled() const { return enabled_; }
  double Duration() const { return duration_; }
  const TEffectParams& Params() const { return params_; }
  const TEffGroup& Group(int32_t g) const { return groups_[size_t(g)]; }
  const std::vector<int32_t>& Order() const { return order_; }
  int64_t PickCounter() const { return pickCounter_; }
  bool Alternation() const { return alternation_; }
  bool RollVariants3() const { return rollVariants3_; }
  // Whether some group of the order names a real transition (class above 0).
  bool HasTransitions() const;
  TEffectRandom& Random() { return random_; }

 private:
  bool enabled_ = false;
  double duration_ = 0;
  TEffectParams params_;
  TEffGroup groups_[kEffectGroupCount];
  std::vector<int32_t> order_;
  int64_t pickCounter_ = 0;
  bool alternation_ = false;
  bool rollVariants3_ = false;
  TEffectRandom random_;
};

// What a transition filter runs with: its kind, its length and how far it has come.
class TFilterParams : public TObj {
 public:
  int32_t effectClass = 0;
  int32_t effectType = 0;
  double duration = 0;      // ms
  double progressTime = 0;  // ms since the transition began
};

// The transition descriptor a slide holds: what to run and, once the drawer made it, the filter
// that draws it (owned). Used by the loader thread until the slide is handed to the engine.
class TZemFilter : public TFilterParams {
 public:
  TEffectParams params;
  std::unique_ptr<TObj> filter;  // made on first use by CreateFilter

  void Assign(const TSlideEffect& e) {
    effectClass = e.effectClass;
    effectType = e.effectType;
    duration = e.duration;
    params = e.params;
  }
};

}  // namespace zem
