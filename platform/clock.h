// The wall clock and sleeping, for a program that waits for a time of day.
#pragma once

namespace platform {

// Seconds since the epoch by the wall clock (it may jump: suspend, NTP).
long long now();

// Milliseconds since the epoch by the same clock.
long long now_ms();

// Sleeps about that many seconds without using the CPU; may return early
// (a signal, a clock set back): the caller reads the clock again.
void sleep_for(long long seconds);

}  // namespace platform
