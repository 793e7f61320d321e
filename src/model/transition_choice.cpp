#include "model/transition_choice.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <string>

#include "foundation/clock.h"
#include "script/ini_file.h"

namespace zem {

namespace {

WideString Num(int32_t n) { return Utf8ToWide(std::to_string(n)); }

// A float key whose value must stay finite; anything else gives the default.
float FiniteFloat(const TCommonIniSection& s, WideView key, double def) {
  double v = s.ReadFloat(key, def);
  if (!std::isfinite(v) || std::fabs(v) > 1e30) v = def;
  return float(v);
}

// True when the key's text equals "1"; `def` is the text of a missing key.
bool TextIsOne(const TCommonIniSection& s, WideView key, WideView def) {
  return s.ReadString(key, def) == u"1";
}

// Blue, green, red of a colour code with red in the low byte.
void SetRollBackColour(TEffectParams& p, int32_t code) {
  const uint32_t c = uint32_t(code);
  p.rollBackR = uint8_t(c & 0xFF);
  p.rollBackG = uint8_t((c >> 8) & 0xFF);
  p.rollBackB = uint8_t((c >> 16) & 0xFF);
}

// Milliseconds read from a key; negative or absurd lengths count as none.
double ReadLength(const TCommonIniSection& s, WideView key) {
  int32_t v = s.ReadInteger(key, 0);
  return v > 0 ? double(v) : 0.0;
}

}  // namespace

int32_t EffectLetterType(char16_t c) {
  if (c >= u'1' && c <= u'8') return c - u'1' + 1;
  if (c >= u'A' && c <= u'H') return c - u'A' + 9;
  if (c >= u'a' && c <= u'h') return c - u'a' + 9;
  return 1;
}

TEffectRandom::TEffectRandom() { SeedFromClock(); }

void TEffectRandom::SetFixedSeed(uint32_t seed) {
  gen_.seed(seed);
  fixed_ = true;
}

void TEffectRandom::SeedFromClock() {
  if (fixed_) return;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  gen_.seed(uint32_t(now) ^ uint32_t(uint64_t(now) >> 32) ^ TimeGetTime());
}

int32_t TEffectRandom::Next(int32_t n) {
  if (n <= 0) return 0;
  return int32_t((uint64_t(gen_()) * uint64_t(n)) >> 32);
}

void TTransitionSet::ReadGlobal(const TCommonIniSection* main) {
  // Everything but the random source (which may carry a fixed seed) starts afresh.
  TEffectRandom random = random_;
  *this = TTransitionSet{};
  random_ = random;
  if (!main) return;
  const TCommonIniSection& m = *main;
  TEffectParams& p = params_;

  enabled_ = m.ReadBool(u"opt_fx_enable", false);
  if (enabled_) {
    duration_ = ReadLength(m, u"opt_fx_time");
    if (duration_ <= 0) enabled_ = false;
  }
  p.smoothLine = float(m.ReadInteger(u"opt_fx_smoothline", 0) * 0.001);
  if (enabled_) {
    p.broomOffset = float(m.ReadInteger(u"opt_fx_broomoffset", 0) * 0.01);
    p.rollDiameter = float(m.ReadInteger(u"opt_fx_rolldiameter", 0) * 0.001);
    const WideString variants = m.ReadString(u"opt_fx_rollvariants", u"1");
    p.rollVariants = variants == u"1" ? 1 : 0;
    rollVariants3_ = variants == u"3";
    p.rollUseBackColour = TextIsOne(m, u"opt_fx_rollusebackcolor", u"0");
    p.roll3D = TextIsOne(m, u"opt_fx_roll3d", u"0");
    p.rollCurving = FiniteFloat(m, u"opt_fx_rollcurving", 0.125);
    p.flipCurving = FiniteFloat(m, u"opt_fx_flipcurving", 0.5);
    p.flipCenter = TextIsOne(m, u"opt_fx_flipcenter", u"0");
    p.flipSmooth = TextIsOne(m, u"opt_fx_flipsmooth", u"1");
    p.swapDepth = FiniteFloat(m, u"opt_fx_swapdepth", 4);
    p.swapWidth = FiniteFloat(m, u"opt_fx_swapwidth", 1);
    p.swapMaxAngle = FiniteFloat(m, u"opt_fx_swapmaxangle", 60);
    if (p.rollUseBackColour) SetRollBackColour(p, m.ReadInteger(u"opt_fx_rollbackcolor", 0));
    p.mosaicDX = m.ReadInteger(u"opt_fx_mosaic_dx", 1);
    p.mosaicDY = m.ReadInteger(u"opt_fx_mosaic_dy", 1);
    p.mosaicSC = m.ReadInteger(u"opt_fx_mosaic_sc", 0);
    p.centerX = m.ReadInteger(u"opt_fx_center_x", 50);
    p.centerY = m.ReadInteger(u"opt_fx_center_y", 50);
  }

  for (int32_t g = 0; g < kEffectGroupCount; ++g) {
    TEffGroup& group = groups_[size_t(g)];
    group.letters = m.ReadString(u"opt_fx_eff" + Num(g + 1), u"");
    for (char16_t c : group.letters) group.types |= uint16_t(1u << (EffectLetterType(c) - 1));
    group.letterCount = int32_t(group.letters.size());
    if (group.types != 0) order_.push_back(g);
  }

  // Custom effects: the last group's text also lists the indexes of "opt_fx_custom" + i.
  const int32_t customCount = m.ReadInteger(u"opt_fx_custom_count", 0);
  if (customCount > 0) {
    std::vector<WideString> items;
    m.ReadStrings(u"opt_fx_eff" + Num(kCustomEffectClass + 1), items);
    for (const WideString& item : items) {
      int32_t i = 0;
      if (!TryParseIniInteger(item, i) || i < 0 || i >= customCount) continue;
      const WideString name = m.ReadString(u"opt_fx_custom" + Num(i), u"");
      if (!p.customEffect.empty()) p.customEffect += u'|';
      p.customEffect += name;
    }
  }

  if (!order_.empty()) {
    Shuffle();
  } else {
    enabled_ = false;
    duration_ = 0;
  }
}

void TTransitionSet::Shuffle() {
  random_.SeedFromClock();
  const int32_t count = int32_t(order_.size());
  for (int32_t i = 0; i + 1 < count; ++i) {
    const int32_t j = random_.Next(count - i);
    if (j != i) std::swap(order_[size_t(i)], order_[size_t(j)]);
  }
}

bool TTransitionSet::HasTransitions() const {
  return std::any_of(order_.begin(), order_.end(), [](int32_t g) { return g > 0; });
}

void TTransitionSet::PickFromSet(int32_t& effectClass, int32_t& effectType) {
  effectClass = 0;
  effectType = 0;
  if (!enabled_ || order_.empty()) return;
  const int64_t slot = pickCounter_ % int64_t(order_.size());
  ++pickCounter_;
  if (slot == 0) Shuffle();
  effectClass = order_[size_t(slot)];
  const TEffGroup& group = groups_[size_t(effectClass)];
  // Groups list their variants in pairs: consecutive picks alternate odd and even positions.
  int32_t b = random_.Next(group.letterCount);
  if (((b & 1) != 0) != alternation_) {
    ++b;
    if (b >= group.letterCount) b = 0;
  }
  alternation_ = !alternation_;
  effectType = group.letterCount > 0 ? EffectLetterType(group.letters[size_t(b)]) : 1;
}

TSlideEffect TTransitionSet::GetSlideEffect(const TCommonIniSection* slide, const TCommonIniSection* main) {
  TSlideEffect e;
  e.duration = duration_;
  e.params = params_;
  TEffectParams& p = e.params;
  if (rollVariants3_) p.rollVariants = uint8_t((random_.Next(1000) > 500) != alternation_);

  const bool own = slide && slide->ReadBool(u"Pers_Effect", false);
  int32_t ownClass = 0;
  if (own) {
    ownClass = slide->ReadInteger(u"Effect_Class", 0);
    if (ownClass == -1) {
      PickFromSet(e.effectClass, e.effectType);
      e.duration = e.effectClass > 0 ? ReadLength(*slide, u"EffectTime") : 0;
    } else if (ownClass <= 0) {
      // Class 0 (and anything below the random choice) is no transition.
      e.effectClass = 0;
      e.effectType = 0;
      e.duration = 0;
    } else if (ownClass == kCustomEffectClass) {
      e.effectClass = ownClass;
      e.effectType = 0;
      const WideString which = slide->ReadString(u"Effect_Type", u"");
      p.customEffect = main ? main->ReadString(u"opt_fx_custom" + which, u"") : WideString();
      e.duration = ReadLength(*slide, u"EffectTime");
    } else {
      e.effectClass = ownClass;
      const WideString letters = slide->ReadString(u"Effect_Type", u"");
      e.effectType = letters.empty() ? 1 : EffectLetterType(letters[0]);
      e.duration = ReadLength(*slide, u"EffectTime");
    }
  } else {
    PickFromSet(e.effectClass, e.effectType);
  }

  if (e.effectClass > 0) {
    if (own && slide->ReadBool(u"EffectUseSmoothline", false))
      p.smoothLine = float(slide->ReadInteger(u"EffectSmoothline", 0) * 0.001);
    if (own && ownClass != -1) {
      const TCommonIniSection& s = *slide;
      const TEffectParams& g = params_;
      auto flag = [&](WideView key, uint8_t global) {
        return uint8_t(TextIsOne(s, key, global ? u"1" : u"0"));
      };
      p.rollVariants = flag(u"EffectRollVariants", g.rollVariants);
      p.rollDiameter = float(FiniteFloat(s, u"EffectRollDiameter", double(g.rollDiameter) * 1000.0) * 0.001);
      p.roll3D = flag(u"EffectRoll3D", g.roll3D);
      p.rollCurving = FiniteFloat(s, u"EffectRollCurving", g.rollCurving);
      p.flipCenter = flag(u"EffectFlipCenter", g.flipCenter);
      p.flipCurving = FiniteFloat(s, u"EffectFlipCurving", g.flipCurving);
      p.flipSmooth = flag(u"EffectFlipSmooth", g.flipSmooth);
      p.swapDepth = FiniteFloat(s, u"EffectSwapDepth", g.swapDepth);
      p.swapWidth = FiniteFloat(s, u"EffectSwapWidth", g.swapWidth);
      p.swapMaxAngle = FiniteFloat(s, u"EffectSwapMaxAngle", g.swapMaxAngle);
      p.rollUseBackColour = flag(u"EffectRollUseBackColor", g.rollUseBackColour);
      if (p.rollUseBackColour) {
        const int32_t globalCode = int32_t(g.rollBackR) | (int32_t(g.rollBackG) << 8) | (int32_t(g.rollBackB) << 16);
        SetRollBackColour(p, s.ReadInteger(u"EffectRollBackColor", globalCode));
      }
      p.mosaicDX = s.ReadInteger(u"EffectMosaicDX", g.mosaicDX);
      p.mosaicDY = s.ReadInteger(u"EffectMosaicDY", g.mosaicDY);
      p.mosaicSC = s.ReadInteger(u"EffectMosaicSC", g.mosaicSC);
      p.centerX = s.ReadInteger(u"EffectCenterX", g.centerX);
      p.centerY = s.ReadInteger(u"EffectCenterY", g.centerY);
      const int32_t broomDefault = int32_t(std::lround(double(g.broomOffset) * 100.0));
      p.broomOffset = float(s.ReadInteger(u"EffectBroomOffset", broomDefault) * 0.01);
    }
    p.seed = random_.Next(4096) * 4096 + random_.Next(4096);
  }
  return e;
}

double TTransitionSet::TransitionLength(const TCommonIniSection* slide) {
  if (slide && slide->ReadBool(u"Pers_Effect", false)) {
    const int32_t cls = slide->ReadInteger(u"Effect_Class", 0);
    if (cls == 0) return 0;
    if (cls == -1) {
      int32_t c = 0, t = 0;
      PickFromSet(c, t);
      if (c <= 0) return 0;
    }
    return ReadLength(*slide, u"EffectTime");
  }
  return enabled_ && duration_ > 0 && HasTransitions() ? duration_ : 0;
}

}  // namespace zem
