#include "foundation/assert.h"

namespace zem {

void RaiseAssertion(const char* file, int line, const char* what) {
  std::string f(file);
  if (auto p = f.rfind('/'); p != std::string::npos) f.erase(0, p + 1);
  throw EAssertionFailed(f + ", line " + std::to_string(line) + ": " + what);
}

}  // namespace zem
