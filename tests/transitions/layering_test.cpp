// The source folders read in one direction: a folder includes only itself and the folders
// before it in the data-flow order (the shell may also use the platform stand-ins).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOrder = {"foundation", "script", "package", "resources", "model",  "transitions",
                                         "render",     "sound",  "video",   "engine",    "shell",  "platform"};

int Rank(const std::string& folder) {
  auto it = std::find(kOrder.begin(), kOrder.end(), folder);
  return it == kOrder.end() ? -1 : int(it - kOrder.begin());
}

TEST(FolderLayering, EverySourceIncludesOnlyItsOwnOrEarlierFolders) {
  const fs::path src = fs::path(ZEM_SOURCE_DIR) / "src";
  ASSERT_TRUE(fs::is_directory(src)) << src;
  const std::regex include(R"re(^\s*#\s*include\s*"([a-z_]+)/)re");
  std::vector<std::string> wrong;
  int files = 0;
  for (const std::string& folder : kOrder) {
    if (!fs::is_directory(src / folder)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(src / folder)) {
      const std::string ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp") continue;
      ++files;
      std::ifstream in(entry.path());
      std::string line;
      std::smatch m;
      while (std::getline(in, line)) {
        if (!std::regex_search(line, m, include)) continue;
        const int used = Rank(m[1].str());
        if (used <= Rank(folder) || (folder == "shell" && m[1].str() == "platform")) continue;
        wrong.push_back(fs::relative(entry.path(), src).string() + " includes " + m[1].str() + "/");
      }
    }
  }
  EXPECT_GT(files, 100);
  for (const std::string& w : wrong) ADD_FAILURE() << w;
}

}  // namespace
