// REC's run: waiting for the programme, starting the recorder, stopping it
// and starting it again when it fails, over the system seam rec_system.h.
// Portable: both systems and the tests' fake run the same steps.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "tools/rec/rec.h"
#include "tools/rec/rec_paths.h"

namespace rec {

// How long things take; named so that the README and the tests agree.
inline constexpr long long k_min_left = 60;    // less left than this: not started
inline constexpr long long k_wait_chunk = 30;  // longest sleep before the clock is read again
inline constexpr long long k_retry_delay = 5;  // before a failed recorder is started again
inline constexpr int k_max_attempts = 4;
inline constexpr long long k_overrun = 30;    // a self-stopping recorder's grace past the end
inline constexpr long long k_stop_grace = 5;  // between asking a recorder to end and killing it
inline constexpr long long k_end_slack = 5;   // an attempt ending this close to the end is whole

struct job {
  programme show;
  settings setup;
  std::time_t start = 0;
  std::time_t end = 0;
  values fixed;        // every value but seconds and file
  std::string folder;  // where the recording goes, made already
  file_mode handover = file_mode::made;
  std::string log_path;
};

// Waits for the programme, records it, writes one log line per attempt (or
// one "missed" line) and returns REC's exit status.
int run_recording(const job& work);

}  // namespace rec
