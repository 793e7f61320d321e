#include "model/show_limits.h"

#include <algorithm>
#include <vector>

#include "foundation/strings.h"
#include "model/speed_profile.h"
#include "model/zem_object.h"
#include "script/ini_file.h"

namespace zem {

static_assert(kMaxKeypointsPerObject == TSpeedStorage::kMaxCount && kMaxObjectDepth == kMaxTreeDepth);

namespace {

bool IsKeypoint(WideView kind) { return kind.size() == 8 && LowerCase(kind) == u"keypoint"; }

std::string Quoted(WideView text) {
  // Long names are cut for the message.
  std::string s = WideToUtf8(text);
  if (s.size() > 80) s = s.substr(0, 40) + "..." + s.substr(s.size() - 37);
  return "\"" + s + "\"";
}

// Walks one section without recursion (nesting is what is checked).
std::string CheckSection(const TIniSection& section) {
  struct TLevel {
    const TCommonIniSection* node;
    int32_t depth;
  };
  std::vector<TLevel> work{{&section, 0}};
  int64_t objects = 0;
  while (!work.empty()) {
    const TLevel level = work.back();
    work.pop_back();
    int64_t keypoints = 0;
    for (const TIniObject* o = level.node->FirstObject(); o; o = level.node->NextObject(o)) {
      const std::string where = "in section " + Quoted(section.NameView());
      if (IsKeypoint(o->NameView())) {
        if (level.depth > 0 && ++keypoints > kMaxKeypointsPerObject)
          return "object " + Quoted(static_cast<const TIniObject*>(level.node)->ValueView()) + " " + where +
                 " has more than " + std::to_string(kMaxKeypointsPerObject) + " keypoints (the limit)";
        continue;
      }
      if (++objects > kMaxObjectsPerSection)
        return "section " + Quoted(section.NameView()) + " holds more than " + std::to_string(kMaxObjectsPerSection) +
               " objects (the limit)";
      if (level.depth + 1 > kMaxObjectDepth)
        return "object " + Quoted(o->ValueView()) + " " + where + " is nested more than " +
               std::to_string(kMaxObjectDepth) + " levels deep (the limit)";
      work.push_back({o, level.depth + 1});
    }
  }
  return std::string();
}

int64_t CountObjects(const TIniSection& section) {
  int64_t objects = 0;
  std::vector<const TCommonIniSection*> work{&section};
  while (!work.empty()) {
    const TCommonIniSection* node = work.back();
    work.pop_back();
    for (const TIniObject* o = node->FirstObject(); o; o = node->NextObject(o)) {
      if (IsKeypoint(o->NameView())) continue;
      ++objects;
      work.push_back(o);
    }
  }
  return objects;
}

}  // namespace

int64_t LargestSectionObjects(const TIniStorage& script) {
  int64_t most = 0;
  for (const TCommonIniItem* item = script.First(); item; item = item->Next())
    if (const auto* section = dynamic_cast<const TIniSection*>(item)) most = std::max(most, CountObjects(*section));
  return most;
}

std::string CheckShowLimits(const TIniStorage& script) {
  for (const TCommonIniItem* item = script.First(); item; item = item->Next()) {
    const auto* section = dynamic_cast<const TIniSection*>(item);
    if (!section) continue;
    std::string problem = CheckSection(*section);
    if (!problem.empty()) return problem;
  }
  return std::string();
}

}  // namespace zem
