#include <gtest/gtest.h>

#include <string>

#include "foundation/strings.h"
#include "model/show_limits.h"
#include "script/ini_file.h"

namespace zem {
namespace {

std::unique_ptr<TIniFile> Parse(const std::string& text) {
  auto ini = std::make_unique<TIniFile>();
  EXPECT_TRUE(ini->LoadFromBytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  return ini;
}

std::string Boxes(int n) {
  std::string s = "[Main]\nopt_slidescount=1\n[Slide1]\n";
  for (int i = 0; i < n; ++i) s += "object box: b\nend\n";
  return s;
}

std::string Keypoints(int n) {
  std::string s = "[Slide1]\nobject box: many\n";
  for (int i = 0; i < n; ++i) s += "  object keypoint:\n  end\n";
  return s + "end\n";
}

std::string Nested(int depth) {
  std::string s = "[Slide1]\n";
  for (int i = 0; i < depth; ++i) s += "object box: level" + std::to_string(i + 1) + "\n";
  for (int i = 0; i < depth; ++i) s += "end\n";
  return s;
}

// At each limit the script opens; one more is refused with a message naming the limit.
TEST(ShowLimits, EachLimitIsReachableAndNamedWhenPassed) {
  EXPECT_EQ(CheckShowLimits(*Parse(Boxes(kMaxObjectsPerSection))), "");
  EXPECT_EQ(CheckShowLimits(*Parse(Boxes(kMaxObjectsPerSection + 1))),
            "section \"Slide1\" holds more than 100000 objects (the limit)");
  EXPECT_EQ(CheckShowLimits(*Parse(Keypoints(kMaxKeypointsPerObject))), "");
  EXPECT_EQ(CheckShowLimits(*Parse(Keypoints(kMaxKeypointsPerObject + 1))),
            "object \"many\" in section \"Slide1\" has more than 10000 keypoints (the limit)");
  EXPECT_EQ(CheckShowLimits(*Parse(Nested(kMaxObjectDepth))), "");
  EXPECT_EQ(CheckShowLimits(*Parse(Nested(kMaxObjectDepth + 1))),
            "object \"level65\" in section \"Slide1\" is nested more than 64 levels deep (the limit)");
}

// Nested objects count, keypoints do not; the largest section gives the figure.
TEST(ShowLimits, LargestSectionObjectsCountsNestedObjects) {
  EXPECT_EQ(LargestSectionObjects(*Parse("[Main]\nopt_slidescount=2\n")), 0);
  EXPECT_EQ(LargestSectionObjects(*Parse(Boxes(3) + "[Slide2]\nobject box: a\n  object keypoint:\n  end\n"
                                                     "  object box: b\n    object box: c\n    end\n  end\nend\n"
                                                     "object box: d\nend\n[Slide3]\nobject box: e\nend\n")),
            4);
}

}  // namespace
}  // namespace zem
