#include "make_transitions.h"

#include "foundation/strings.h"
#include "make_random.h"

namespace zemtool::make {

const std::vector<TTransitionName>& TransitionNames() {
  // Classes and their types as the player's catalogue reads them.
  static const std::vector<TTransitionName> names = {
      {"fade", 2, 1, 1, 0},      {"dissolve", 1, 1, 1, 0}, {"wipe", 9, 1, 4, 0},
      {"push", 12, 1, 4, 0},     {"slide", 13, 1, 4, 0},   {"circle", 4, 1, 2, 0},
      {"diamond", 5, 1, 2, 0},   {"box", 6, 1, 2, 0},      {"split", 7, 1, 4, 0},
      {"diagonal", 8, 1, 4, 0},  {"corner", 10, 1, 4, 0},  {"clock", 3, 1, 2, 0},
      {"broom", 11, 1, 16, 0},   {"roll", 14, 1, 8, 15},   {"flip", 16, 1, 4, 0},
      {"swap", 17, 1, 4, 0},     {"cut", 0, 0, 0, 0},
  };
  return names;
}

const TTransitionName* FindTransition(const std::string& name) {
  const std::string lower = zem::LowerAscii(name);
  for (const TTransitionName& t : TransitionNames())
    if (lower == t.name) return &t;
  return nullptr;
}

std::string TransitionNameList() {
  std::string s;
  for (const TTransitionName& t : TransitionNames()) s += (s.empty() ? "" : ", ") + std::string(t.name);
  return s;
}

TTransitionPick PickTransition(const std::vector<const TTransitionName*>& set, TRandom& random) {
  TTransitionPick p;
  if (set.empty()) return p;
  const TTransitionName& t = *set[set.size() == 1 ? 0 : random.Below(uint32_t(set.size()))];
  if (t.effectClass <= 0) return p;
  p.effectClass = t.altClass != 0 && random.Below(2) == 1 ? t.altClass : t.effectClass;
  p.effectType = t.firstType + int32_t(random.Below(uint32_t(t.lastType - t.firstType + 1)));
  return p;
}

}  // namespace zemtool::make
