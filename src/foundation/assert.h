// Programming errors (a wrong state, a missing argument, an index out of range) raise
// EAssertionFailed, which ends the current operation; runtime failures return results instead.
#pragma once
#include <stdexcept>
#include <string>

namespace zem {

class EAssertionFailed : public std::logic_error {
 public:
  explicit EAssertionFailed(const std::string& where)
      : std::logic_error("Assertion failure (" + where + ")") {}
};

[[noreturn]] void RaiseAssertion(const char* file, int line, const char* what);

}  // namespace zem

#define ZEM_ASSERT(cond) \
  do { if (!(cond)) ::zem::RaiseAssertion(__FILE__, __LINE__, #cond); } while (0)
#define ZEM_FAIL(what) ::zem::RaiseAssertion(__FILE__, __LINE__, what)
