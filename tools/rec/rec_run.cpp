#include "tools/rec/rec_run.h"

#include <algorithm>
#include <cstdio>

#include "tools/rec/rec_handover.h"
#include "tools/rec/rec_names.h"
#include "tools/rec/rec_system.h"

namespace rec {

namespace {

// Sleeps in short chunks and reads the wall clock after each: a suspend or
// a clock set by NTP moves the target, not the sleep.
void wait_until(long long target) {
  for (long long now = rec_system::now(); now < target; now = rec_system::now()) {
    rec_system::sleep_for(std::min(target - now, k_wait_chunk));
  }
}

void write_log(const job& work, const attempt_record& attempt) {
  std::string line = log_line(static_cast<std::time_t>(rec_system::now()), attempt);
  // A log that cannot be written must not cost the recording.
  if (!rec_system::append_line(work.log_path, line))
    std::fprintf(stderr, "REC: %s\n", line.c_str());
}

attempt_record record_of(const job& work, int number) {
  attempt_record attempt;
  attempt.id = work.show.id;
  attempt.window_start = work.start;
  attempt.window_end = work.end;
  attempt.number = number;
  attempt.verdict = "failed";
  return attempt;
}

// Waits for the end as the stop mode says, then makes sure it has ended.
void stop_at_end(rec_system::recorder* process, stop_mode stop, long long end) {
  long long deadline = stop == stop_mode::duration ? end + k_overrun : end;
  if (rec_system::wait_recorder(process, deadline)) return;
  if (stop == stop_mode::line_end) {
    rec_system::send_line_end(process);
    if (rec_system::wait_recorder(process, rec_system::now() + k_stop_grace)) return;
  }
  rec_system::terminate_recorder(process);
  if (rec_system::wait_recorder(process, rec_system::now() + k_stop_grace)) return;
  rec_system::kill_recorder(process);
}

// Judged by time and bytes: recpt1 exits 0 when stopped early, and curl's
// status 28 is its normal end at --max-time.
const char* verdict_of(const attempt_record& attempt, const job& work) {
  if (attempt.bytes <= 0) return "failed";
  bool whole = attempt.started <= work.start && attempt.ended >= work.end - k_end_slack;
  return whole ? "recorded" : "partial";
}

attempt_record attempt_recording(const job& work, int number, int& file_number) {
  attempt_record attempt = record_of(work, number);
  long long now = rec_system::now();
  values with = work.fixed;
  with.seconds = std::to_string(work.end - now);
  recording_file file;
  attempt.outcome = prepare_file(work, with, file_number, file);
  if (!attempt.outcome.empty()) return attempt;
  with.file = file.given;
  fill_template(work.setup.command, with, attempt.command);
  rec_system::recorder* process = rec_system::start_recorder(
      attempt.command, work.setup.stop == stop_mode::line_end, attempt.outcome);
  std::string note;
  if (process == nullptr) {
    settle_file(work, file, file_number, note);
    return attempt;
  }
  attempt.started = static_cast<std::time_t>(now);
  stop_at_end(process, work.setup.stop, work.end);
  attempt.ended = static_cast<std::time_t>(rec_system::now());
  // Read once it and all it started have ended: a killed one is not "running".
  rec_system::end_recorder(process, k_stop_grace);
  attempt.outcome = rec_system::recorder_outcome(process);
  attempt.errors = error_tail(rec_system::recorder_errors(process));
  rec_system::release_recorder(process);
  attempt.bytes = settle_file(work, file, file_number, note);
  if (!note.empty()) attempt.outcome += ", " + note;
  attempt.verdict = verdict_of(attempt, work);
  return attempt;
}

int status_of(const std::string& verdict) {
  if (verdict == "recorded") return k_status_recorded;
  return verdict == "partial" ? k_status_partial : k_status_failed;
}

void log_missed(const job& work) {
  attempt_record missed = record_of(work, 0);
  missed.verdict = "missed";
  long long left = work.end - rec_system::now();
  missed.outcome = left > 0 ? "only " + std::to_string(left) + " seconds were left"
                            : std::string("the programme had ended");
  write_log(work, missed);
}

}  // namespace

int run_recording(const job& work) {
  wait_until(work.start - work.setup.lead);
  int status = -1;
  int file_number = 1;
  for (int number = 1; number <= k_max_attempts; ++number) {
    if (number > 1 && work.end - rec_system::now() - k_retry_delay >= k_min_left) {
      wait_until(rec_system::now() + k_retry_delay);
    }
    if (work.end - rec_system::now() < k_min_left) break;
    attempt_record attempt = attempt_recording(work, number, file_number);
    write_log(work, attempt);
    status = status < 0 ? status_of(attempt.verdict) : std::min(status, status_of(attempt.verdict));
    bool no_name = attempt.started == 0 && attempt.command.empty();
    if (status == k_status_recorded || no_name) break;
  }
  if (status >= 0) return status;
  log_missed(work);
  return k_status_missed;
}

}  // namespace rec
