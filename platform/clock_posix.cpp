// The wall clock on POSIX: CLOCK_REALTIME, slept against as an absolute
// time so that a suspend does not lengthen the sleep.
#include <time.h>

#include <ctime>

#include "platform/clock.h"

namespace platform {

long long now() { return static_cast<long long>(std::time(nullptr)); }

long long now_ms() {
  timespec clock = {};
  clock_gettime(CLOCK_REALTIME, &clock);
  return static_cast<long long>(clock.tv_sec) * 1000 + clock.tv_nsec / 1000000;
}

void sleep_for(long long seconds) {
  if (seconds <= 0) return;
  // Up to the whole second that now() will then read, not a second past it.
  timespec until = {static_cast<time_t>(now() + seconds), 0};
  clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr);
}

}  // namespace platform
