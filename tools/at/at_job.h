// The pure part shared by the AT stand-ins (Linux and Windows): reading the
// Windows-style scheduler command line zoba runs, turning its day of the
// month into a full date, naming and listing a job, and writing the Linux
// job's shell lines.
#pragma once

#include <string>
#include <vector>

struct at_date {
  int year = 0;
  int month = 0;
  int day = 0;
};

struct at_request {
  int hour = 0;
  int minute = 0;
  bool has_next = false;
  int next_day = 0;                  // /NEXT:DD
  std::vector<std::string> command;  // the command and its arguments
};

enum class at_form { list, remove, schedule };

// What AT's words (after its own name) ask for: none lists the jobs AT made,
// "ID /delete" removes one (id is set), anything else schedules a job.
at_form at_form_of(const std::vector<std::string>& words, std::string& id);

// Reads "HH:MM [/interactive] [/NEXT:DD] command arguments..." (the words
// after the program name). Returns an empty text, or what is wrong.
std::string parse_at_arguments(const std::vector<std::string>& words, at_request& request);

// A date moved by a number of days, across months and years.
at_date add_days(const at_date& date, int days);

// The date the job runs on. With the programme's date: that date moved by
// (DD - its day), so DD may be 0 or past the month's end; a programme date
// that is no real date is refused, never moved elsewhere. Without it: the
// next date from today on whose day is DD (1 to 31) and whose launch time
// is still ahead. now_minute is the minute of the day now. Returns an empty
// text, or why there is no such date (a bad day, a launch in the past).
std::string launch_date(const at_request& request, const at_date& today, int now_minute,
                        at_date& date);

// launch_date's first half: the date alone, or why there is none (a bad
// day). The date may still be in the past.
std::string launch_day(const at_request& request, const at_date& today, int now_minute,
                       at_date& date);

// launch_date's second half: empty when the launch on date is after now,
// otherwise the text saying it is in the past.
std::string past_launch(const at_request& request, const at_date& today, int now_minute,
                        const at_date& date);

// The job's identifier, used to list and delete it: the reservation number
// (the first word after the program that is "Y" and digits, as zoba writes
// it), or else the launch stamp (at_time_stamp) when there is none.
std::string job_identifier(const std::vector<std::string>& command, const std::string& stamp);

// The install a job belongs to: eight hexadecimal digits (FNV-1a, 32 bits)
// of its settings file's path, ASCII letters folded to lower case when
// fold_case is set (Windows paths). Jobs of other installs are never
// listed, replaced or deleted.
std::string install_id(const std::string& settings_path, bool fold_case);

// What the listing shows for one job: identifier, launch date and time, and
// the command line, e.g. "Y0001  2008/03/29 20:59  REC Y0001 ...".
std::string listing_line(const std::string& id, const at_date& date, int hour, int minute,
                         const std::string& command_text);

// The words joined by single blanks, as the listing shows a command.
std::string joined_words(const std::vector<std::string>& words);

// The lines of a text without their line ends (LF or CR LF), blank ones
// left out.
std::vector<std::string> text_lines(const std::string& text);

// The first line of a Linux job: a shell comment that marks the job as the
// install's and carries its listing line.
std::string job_marker(const std::string& install, const std::string& listing);

// What a job script (at -c) holds after at's own preamble, which ends with
// the change into the folder at was run in: the job text as AT handed it
// to at. Empty when the script has no such preamble.
std::string job_text(const std::string& script);

// The listing line of a job script (at -c) whose job text starts with the
// install's marker (job_marker); empty for a job of another install or
// one AT did not make, whatever text its lines hold further on.
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

// at -t's time: YYYYMMDDhhmm.
std::string at_time_stamp(const at_date& date, int hour, int minute);

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

// The records of install whose number atq still lists at the same launch
// time (at reuses a number only after a wrap: the time tells the two jobs
// apart). kept is the record text without the lines of any install whose
// job atq no longer lists so, nor lines that are no record.
std::vector<recorded_job> queued_records(const std::string& records, const std::string& atq_output,
                                         const std::string& install, std::string& kept);

// Looks for needle in a stream handed over chunk by chunk: carry keeps the
// last bytes seen (fewer than the needle's), so a needle across a chunk
// boundary is found. True when the needle ends in this chunk.
bool chunk_holds(const std::string& needle, const char* bytes, std::size_t size,
                 std::string& carry);

// Whether the first limit bytes of the file at path hold needle; false for a
// file that cannot be read.
bool file_holds(const std::string& path, const std::string& needle, std::size_t limit);
