// Speed-profile texts: any text parses or resets the profile, and what is written reads back
// to a profile of the same shape.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/speed_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zem;
  if (size > 64 * 1024) return 0;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TSpeedStorage a;
  a.FromText(text);
  const std::string written = a.ToText();
  TSpeedStorage b;
  if (!b.FromText(written) || b.keys != a.keys || b.intervals.size() != a.intervals.size()) std::abort();
  return 0;
}
