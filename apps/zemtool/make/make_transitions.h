// Transitions by name for "zemtool make": each name stands for one effect class of the player's
// catalogue and the effect types that make sense for it (directions, reversed variants).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zemtool::make {

class TRandom;

struct TTransitionName {
  const char* name;
  int32_t effectClass;  // 0: a cut (no transition)
  int32_t firstType, lastType;
  int32_t altClass;     // a second class drawn half of the time (page roll), else 0
};

// Every name, in the order `--help` lists them.
const std::vector<TTransitionName>& TransitionNames();
// nullptr for an unknown name (names are compared without case).
const TTransitionName* FindTransition(const std::string& name);
// The names joined by ", " (for messages).
std::string TransitionNameList();

struct TTransitionPick {
  int32_t effectClass = 0, effectType = 0;
};

// One transition drawn from the named set: the name, then the class and type within it.
TTransitionPick PickTransition(const std::vector<const TTransitionName*>& set, TRandom& random);

}  // namespace zemtool::make
