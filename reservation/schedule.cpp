#include "reservation/schedule.h"

#include <cstdint>

namespace {

// Signed 32-bit arithmetic that wraps around, as the stored numbers always
// have, instead of being undefined on overflow.
int wrap_add(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

int wrap_mul(int a, int b) {
  return static_cast<int>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

}  // namespace

void compute_schedule(reservation& r, int sch_start_offset, int rec_end_offset) {
  int t = wrap_add(wrap_mul(wrap_add(wrap_mul(r.date, 24), r.start_hour), 60),
                   wrap_add(r.start_minute, sch_start_offset));
  if (t < 0) {
    r.launch_day = r.date;
    r.launch_hour = r.start_hour;
    r.launch_minute = r.start_minute;
    r.start_minute = wrap_add(r.start_minute, 1);
  } else {
    r.launch_minute = t % 60;
    r.launch_hour = (t / 60) % 24;
    r.launch_day = t / 1440;
  }
  int e = wrap_add(wrap_add(wrap_mul(r.end_hour, 60), r.end_minute), rec_end_offset);
  if (e >= 0) {
    r.end_minute = e % 60;
    r.end_hour = (e / 60) % 24;
  }
}
