// AT's exit statuses, one meaning each on both systems; zoba shows a
// non-zero one in its failure notice.
#pragma once

inline constexpr int k_status_done = 0;
// The command line cannot be read (no time, a bad day, a value the
// scheduler cannot hold).
inline constexpr int k_status_unreadable = 2;
// The launch time has passed; nothing was registered.
inline constexpr int k_status_past = 3;
// The program the job starts cannot be found.
inline constexpr int k_status_no_program = 4;
// No scheduler to register with: no Task Scheduler, at not installed, no
// atd running.
inline constexpr int k_status_no_scheduler = 5;
// The scheduler did not do what was asked (register, delete), or AT could
// not prepare the job for it.
inline constexpr int k_status_refused = 6;
// There is no job of that identifier to delete.
inline constexpr int k_status_no_such_job = 7;
// The recorder cannot record: REC --check said no, gave no answer, or
// could not be started.
inline constexpr int k_status_recorder = 8;
