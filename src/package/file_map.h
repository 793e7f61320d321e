// The two name tables a show script may carry for its file source: FileMap (a member name
// opened under another name) and RotationState (EXIF orientation of pictures).
#pragma once
#include <map>
#include <string>
#include <vector>

#include "foundation/strings.h"

namespace zem {

// What a picture decoder applies after decoding a name listed in RotationState.
enum class TImageTransform { None, Rotate180, Rotate90CW, Rotate90CCW };
inline bool TransformSwapsSize(TImageTransform t) {
  return t == TImageTransform::Rotate90CW || t == TImageTransform::Rotate90CCW;
}

// Names are kept upper-case (UTF-8 text); lookups fold the name the same way.
class TFileMap {
 public:
  // Examines one line of the section as text; lines that do not map anything are ignored.
  void AddLine(WideView line);
  // The first target of a name, or nullptr.
  const std::string* Find(const std::string& name) const;
  // Every target of a name, in line order.
  const std::vector<std::string>* Targets(const std::string& name) const;
  bool Empty() const { return map_.empty(); }
  size_t Count() const { return map_.size(); }
  void Clear() { map_.clear(); }

 private:
  std::map<std::string, std::vector<std::string>> map_;
};

class TRotationState {
 public:
  // Examines one line of the section; only comments of the form ;"name"=n count.
  void AddLine(WideView line);
  // The EXIF orientation recorded for the name (1 when none).
  int Orientation(const std::string& name) const;
  TImageTransform Transform(const std::string& name) const;
  bool Empty() const { return map_.empty(); }
  size_t Count() const { return map_.size(); }
  void Clear() { map_.clear(); }

 private:
  std::map<std::string, int> map_;
};

// Upper-case form of a UTF-8 name (the key of both tables and of the picture cache).
std::string UpperName(const std::string& name);

}  // namespace zem
