#include "foundation/clock.h"

#include <chrono>
#include <thread>

namespace zem {
namespace {
const auto kProgramStart = std::chrono::steady_clock::now();
}

uint32_t TimeGetTime() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - kProgramStart)
                                   .count());
}

double TimeGetTimeExact() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - kProgramStart)
      .count();
}

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace zem
