// REC asked before a booking whether its settings can record the job
// ("REC --check" and the job's arguments), by both ATs: a booking it would
// fail at the launch time is refused now.
#pragma once

#include <string>
#include <vector>

// How long REC --check may take (it reads its settings and looks for its
// recorder) before it is ended and the booking refused.
inline constexpr int k_rec_check_seconds = 30;

enum class rec_check_outcome {
  not_ours,     // not our REC: nothing was asked
  can_record,   // REC said yes
  not_started,  // REC could not be started
  timed_out,    // REC gave no answer within k_rec_check_seconds
  refused,      // REC said no
};

struct rec_check_result {
  rec_check_outcome outcome = rec_check_outcome::not_ours;
  unsigned long status = 0;  // REC's exit status when it refused
  std::string reason;        // the first line REC wrote; empty when none
};

// Only a program that carries REC's signature (named REC by the caller's
// rule, which it checked) is started: a user's own program of that name
// never is at booking. words is the check's whole command, the program
// first, "--check" second; line, when not empty, is the same command as the
// system's command line (Windows passes the job's arguments as written).
// Runs in folder (empty: the current one).
rec_check_result check_rec(const std::vector<std::string>& words, const std::string& line,
                           const std::string& folder);
