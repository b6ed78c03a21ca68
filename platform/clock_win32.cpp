// The wall clock on Windows, from the system time.
#include <windows.h>

#include "platform/clock.h"

namespace platform {

namespace {

// 100-nanosecond ticks between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr long long k_epoch_ticks = 116444736000000000LL;
constexpr long long k_ticks_per_ms = 10000LL;

}  // namespace

long long now_ms() {
  FILETIME time = {};
  GetSystemTimeAsFileTime(&time);
  ULARGE_INTEGER ticks;
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return (static_cast<long long>(ticks.QuadPart) - k_epoch_ticks) / k_ticks_per_ms;
}

long long now() { return now_ms() / 1000; }

void sleep_for(long long seconds) {
  if (seconds <= 0) return;
  Sleep(static_cast<DWORD>(seconds * 1000));
}

}  // namespace platform
