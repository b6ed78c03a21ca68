// REC, the recorder launcher zoba's job starts at the launch time: the pure
// part shared by both systems. It reads REC's words and its [REC] settings,
// works out the programme's clock times, fills the recorder's command
// template and names the recording. Nothing here touches the system.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "reservation/job_fields.h"

namespace rec {

// REC's exit statuses. 0 only when the whole programme was recorded.
inline constexpr int k_status_recorded = 0;
inline constexpr int k_status_partial = 1;
inline constexpr int k_status_missed = 2;
inline constexpr int k_status_failed = 3;
inline constexpr int k_status_unreadable = 4;  // the seven words cannot be read
// "REC --check <seven words>" exits 0 and writes nothing when REC could
// record with its settings; otherwise it writes one line "REC: <reason>" to
// standard error and exits with this status. A run whose settings are
// unusable exits with it too. AT refuses a booking of REC with that reason.
inline constexpr int k_status_settings = 9;

// The option word that asks only for the settings check.
inline constexpr char k_check_option[] = "--check";
// The log, one line per attempt, in REC's own folder.
inline constexpr char k_log_name[] = "REC.log";
inline constexpr char k_section[] = "REC";
inline constexpr char k_default_name[] = "{date}-{start}_{channel}_{title}.ts";
inline constexpr int k_default_lead = 5;
inline constexpr int k_max_lead = 600;

// The programme as zoba's job hands it over; its title as given: Shift_JIS,
// or UTF-8 where the system hands that over.
using programme = job_fields;

struct request {
  bool check = false;
  programme show;
};

// Reads REC's words (the program's own path left out): its options, then the
// last seven words (id, channel, HH:MM-HH:MM, year, month, day, title).
// Empty on success, otherwise why the words cannot be read.
std::string parse_arguments(const std::vector<std::string>& words, request& out);

enum class stop_mode { duration, terminate, line_end };

struct settings {
  std::vector<std::string> command;  // the recorder's command template in words, UTF-8
  std::string folder;                // empty: the user's videos folder
  std::string name = k_default_name;
  stop_mode stop = stop_mode::duration;
  int lead = k_default_lead;
};

// The [REC] keys as read (UTF-8; a missing key read as empty text).
struct settings_text {
  std::string command;
  std::string folder;
  std::string name;
  std::string stop;
  std::string lead;
};

// Checks the keys and fills out, an empty key taking its default. Empty on
// success, otherwise one line saying which key is wrong and why.
std::string parse_settings(const settings_text& text, settings& out);

// The programme's start and end as seconds since the epoch by the local
// clock (mktime), the start hour 24 to 29 being the next day's, the end the
// first such clock time after the start. False for an impossible date or time.
bool programme_window(const programme& show, std::time_t& start, std::time_t& end);

// The values the placeholders stand for.
struct values {
  std::string id, channel, type, seconds, file, title, date, start, end;
};

// The values of a programme whose window starts at start (date, start and
// end as clock times); seconds and file are left empty.
values values_of(const programme& show, const std::string& utf8_title, std::time_t start,
                 std::time_t end);

// "BS" or "CS" for a channel that starts so (either case), else "GR".
std::string channel_type(const std::string& channel);

// "HH:MM:SS" of a time by the local clock, with the date when with_date.
std::string clock_text(std::time_t when, bool with_date);

// What one attempt did, for its log line.
struct attempt_record {
  std::string id;
  std::time_t window_start = 0;
  std::time_t window_end = 0;
  int number = 0;           // 1 for the first attempt, 0 when none was made
  std::time_t started = 0;  // 0 when the recorder did not start
  std::time_t ended = 0;
  std::vector<std::string> command;
  std::string outcome;   // "exit 0", "signal 15", or why it did not start
  long long bytes = -1;  // -1: no file
  std::string verdict;   // recorded, partial, missed, failed
  std::string errors;    // the end of what the recorder wrote to standard error
};

// The log line of one attempt (no line end). Every text that comes from
// outside is escaped (log_escaped), so a line is always one attempt.
std::string log_line(std::time_t now, const attempt_record& attempt);

// Text made safe for one log line that reads back unambiguously: a
// backslash is written \\, a line feed \n, a carriage return \r, a tab \t,
// any other control byte \xHH; with quoted, a quote is written \".
std::string log_escaped(const std::string& text, bool quoted);

// How much of the end of a recorder's standard error its log line keeps.
inline constexpr std::size_t k_error_tail = 300;

// The last lines of a recorder's standard error, at most k_error_tail
// bytes, from the start of a line where one starts within them (else from a
// whole UTF-8 character), without the line ends and blanks at its end.
std::string error_tail(const std::string& errors);

}  // namespace rec
