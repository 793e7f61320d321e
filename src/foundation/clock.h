// The millisecond counter: milliseconds since program start on a steady clock, shared by the
// log, the engine and the sound clock. Safe from any thread.
#pragma once
#include <cstdint>

namespace zem {

uint32_t TimeGetTime();
// Same counter with sub-millisecond precision.
double TimeGetTimeExact();
void SleepMs(uint32_t ms);

}  // namespace zem
