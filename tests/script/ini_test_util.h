// Helpers shared by the script tests.
#pragma once
#include <string>
#include <vector>

#include "foundation/stream.h"
#include "script/ini_file.h"

namespace zem::testing {

// Loads UTF-16 text; fails the test on a load error.
inline void LoadText(TIniFile& ini, WideView text) { ASSERT_TRUE(ini.LoadFromText(text)); }

inline std::vector<uint8_t> Bytes(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

inline std::string SavedBytes(const TIniFile& ini) {
  TMemoryStream out;
  EXPECT_TRUE(ini.SaveToStream(out));
  return std::string(out.Data().begin(), out.Data().end());
}

// Records every parse error as "code@line:pos".
struct TErrorLog {
  std::vector<std::string> errors;
  void Install(TIniFile& ini) {
    ini.SetErrorHandler([this](TIniStorage&, int code, int line, int pos) {
      errors.push_back(std::to_string(code) + "@" + std::to_string(line) + ":" + std::to_string(pos));
    });
  }
};

}  // namespace zem::testing
