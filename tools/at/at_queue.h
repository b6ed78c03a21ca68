// The Linux AT's queue over at(1): the job script it hands to at, the
// marker by which it knows its own jobs in at -c, the lines of atq, and the
// AT.jobs record of the jobs it booked.
#pragma once

#include <string>
#include <vector>

// The install as a job's marker and record carry it: install_id of the
// settings file's path, a blank and the path itself with "%", ":" and
// control bytes written as %XX, so that it holds no tab, line end or ": ".
// The hash alone could name two installs; the path tells them apart.
std::string install_field(const std::string& settings_path);

// Whether the install field of a marker or a record is install's (an
// install_field): the same field, or the hash alone, which a job booked
// before AT kept the path carries and which its own install still serves.
bool is_install_field(const std::string& field, const std::string& install);

// The first line of a Linux job: a shell comment that marks the job as the
// install's (an install_field) and carries its listing line.
std::string job_marker(const std::string& install, const std::string& listing);

// What a job script (at -c) holds after at's own preamble, which ends with
// the change into the folder at was run in: the job text as AT handed it
// to at. Empty when the script has no such preamble.
std::string job_text(const std::string& script);

// The listing line of a job script (at -c) whose job text starts with the
// marker (job_marker) of install (is_install_field); empty for a job of
// another install or one AT did not make, whatever text its lines hold
// further on.
std::string listing_of_job(const std::string& script, const std::string& install);

// A word quoted for the shell: nothing in it is special any more.
std::string shell_quote(const std::string& word);

// The job: the command with every word quoted, and a line end.
std::string job_line(const std::vector<std::string>& command);

// The log every job appends to, in the folder it runs in.
inline constexpr char k_job_log[] = "zoba-jobs.log";

// The whole Linux job: its marker, a change into folder (zoba's own, where
// a relative recorder path is meant), and the command, its start, its error
// output and its exit status appended to k_job_log there: with mail off, a
// recorder that fails at the launch time must still leave a trace, and one
// that is not an executable file by then leaves a line saying so. The
// command's program is a path (AT resolves a bare name before).
std::string job_script(const std::string& install, const std::string& listing,
                       const std::string& folder, const std::vector<std::string>& command);

// The file, beside the settings file, in which the Linux AT records each job
// it books, so that its listing needs one atq and no at -c per job.
inline constexpr char k_job_record_file[] = "AT.jobs";

// One record line: at's job number, the install, the launch stamp
// (at_time_stamp) and the listing line, tab-separated, with a line end (a
// line end in the listing becomes a blank).
std::string job_record(const std::string& number, const std::string& install,
                       const std::string& stamp, const std::string& listing);

// The job number and the launch stamp (at_time_stamp) of a line of atq
// ("12\tTue Dec  8 20:59:00 2026 a root"); false for any other line.
bool queued_job(const std::string& line, std::string& number, std::string& stamp);

struct recorded_job {
  std::string number;   // at's job number
  std::string listing;  // the listing line
};

// The records of install (is_install_field) whose number atq still lists
// at the same launch time (at reuses a number only after a wrap: the time tells the two jobs
// apart). kept is the record text without the lines of any install whose
// job atq no longer lists so, nor lines that are no record.
std::vector<recorded_job> queued_records(const std::string& records, const std::string& atq_output,
                                         const std::string& install, std::string& kept);
