// Monotonic high-resolution clock and sleep: the stand-in for the performance counter,
// the time-stamp counter and Sleep.
#pragma once

#include <cstdint>

namespace host {

// Seconds since an arbitrary fixed point, from the monotonic clock.
double clock_seconds();
// Nanoseconds since an arbitrary fixed point, from the monotonic clock.
uint64_t clock_nanoseconds();
// Sleeps the calling thread for the given number of milliseconds.
void sleep_ms(uint32_t ms);

}  // namespace host
