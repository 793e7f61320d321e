// The test media in tests/data (see its SOURCES.md). A missing file ends the test with one line
// naming it (an exception GoogleTest reports) instead of a crash further on.
#pragma once
#include <filesystem>
#include <stdexcept>
#include <string>

namespace zem::test {

inline std::string DataFile(const std::string& rel) {
  std::string path = std::string(ZEM_TESTDATA_DIR) + "/" + rel;
  if (!std::filesystem::exists(path)) throw std::runtime_error("missing test data file: " + path);
  return path;
}

}  // namespace zem::test
