#include "tools/rec/rec.h"

#include <cstdio>
#include <cstring>

#include "platform/text.h"
#include "tools/rec/rec_names.h"

namespace rec {

namespace {

// Why the seven words cannot be read, or empty.
std::string read_fields(const std::vector<std::string>& words, programme& show) {
  const std::string* word = &words[words.size() - k_job_field_count];
  switch (read_job_fields(words, show)) {
    case job_field::none:
      // The clock's calendar starts in 1970.
      if (show.year >= 1970) return {};
      [[fallthrough]];
    case job_field::date:
      return "the date " + word[3] + " " + word[4] + " " + word[5] + " is not a date";
    case job_field::id:
      return "the reservation number is empty";
    case job_field::channel:
      return "the channel is empty";
    case job_field::span:
      return "the time " + word[2] + " is not HH:MM-HH:MM";
    case job_field::count:
      break;
  }
  return "expected the seven words";
}

}  // namespace

std::string parse_arguments(const std::vector<std::string>& words, request& out) {
  out = request();
  std::size_t options =
      words.size() >= k_job_field_count ? words.size() - k_job_field_count : words.size();
  const char* too_few = "expected the seven words: number channel HH:MM-HH:MM year month day title";
  for (std::size_t i = 0; i < options; ++i) {
    if (words[i] == k_check_option) {
      out.check = true;
    } else {
      return words.size() < k_job_field_count ? too_few : "unknown option " + words[i];
    }
  }
  if (words.size() < k_job_field_count) return out.check ? std::string() : too_few;
  std::string error = read_fields(words, out.show);
  if (!error.empty()) return error;
  std::time_t start = 0;
  std::time_t end = 0;
  if (!programme_window(out.show, start, end)) return "the programme's date or time does not exist";
  return {};
}

namespace {

bool read_stop(const std::string& text, stop_mode& stop) {
  if (text.empty() || text == "duration") {
    stop = stop_mode::duration;
  } else if (text == "terminate") {
    stop = stop_mode::terminate;
  } else if (text == "stdin") {
    stop = stop_mode::line_end;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string parse_settings(const settings_text& text, settings& out) {
  out = settings();
  out.folder = text.folder;
  if (!text.name.empty()) out.name = text.name;
  if (!read_stop(text.stop, out.stop)) {
    return "stop=" + text.stop + " is not duration, terminate or stdin";
  }
  if (!text.lead.empty() && (!read_decimal(text.lead, 3, out.lead) || out.lead > k_max_lead)) {
    return "lead=" + text.lead + " is not a number of seconds from 0 to 600";
  }
  if (text.command.find_first_not_of(" \t") == std::string::npos) {
    return "no recorder: set command= in [REC] of the settings file";
  }
  std::string error = split_template(text.command, out.command);
  std::vector<std::string> filled;
  if (error.empty()) error = fill_template(out.command, values(), filled);
  if (!error.empty()) return "command=: " + error;
  std::string name;
  error = fill_word(out.name, values(), name);
  if (!error.empty()) return "name=: " + error;
  return {};
}

namespace {

// The time of a clock reading on a day; mktime carries hours past 23 and
// days past the month's end over, by the calendar and the time zone.
std::time_t local_time(int year, int month, int day, int hour, int minute) {
  std::tm fields = {};
  fields.tm_year = year - 1900;
  fields.tm_mon = month - 1;
  fields.tm_mday = day;
  fields.tm_hour = hour;
  fields.tm_min = minute;
  fields.tm_isdst = -1;
  return std::mktime(&fields);
}

bool local_fields(std::time_t when, std::tm& out) {
#ifdef _WIN32
  return localtime_s(&out, &when) == 0;
#else
  return localtime_r(&when, &out) != nullptr;
#endif
}

bool date_exists(int year, int month, int day) {
  std::time_t noon = local_time(year, month, day, 12, 0);
  std::tm fields = {};
  if (noon == static_cast<std::time_t>(-1) || !local_fields(noon, fields)) return false;
  return fields.tm_year == year - 1900 && fields.tm_mon == month - 1 && fields.tm_mday == day;
}

}  // namespace

bool programme_window(const programme& show, std::time_t& start, std::time_t& end) {
  if (!date_exists(show.year, show.month, show.day)) return false;
  start = local_time(show.year, show.month, show.day, show.start_hour, show.start_minute);
  // The end is a clock time on the start's day or the next.
  for (int days = 0; days <= 2; ++days) {
    end = local_time(show.year, show.month, show.day + days, show.end_hour, show.end_minute);
    if (end > start) return start != static_cast<std::time_t>(-1);
  }
  return false;
}

std::string channel_type(const std::string& channel) {
  std::string head = channel.substr(0, 2);
  for (char& c : head) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return head == "BS" || head == "CS" ? head : "GR";
}

values values_of(const programme& show, const std::string& utf8_title, std::time_t start,
                 std::time_t end) {
  values with;
  with.id = show.id;
  with.channel = show.channel;
  with.type = channel_type(show.channel);
  with.title = utf8_title;
  char text[32];
  std::tm fields = {};
  local_fields(start, fields);
  std::strftime(text, sizeof text, "%Y%m%d", &fields);
  with.date = text;
  std::strftime(text, sizeof text, "%H%M", &fields);
  with.start = text;
  local_fields(end, fields);
  std::strftime(text, sizeof text, "%H%M", &fields);
  with.end = text;
  return with;
}

std::string clock_text(std::time_t when, bool with_date) {
  std::tm fields = {};
  char text[32] = {};
  if (!local_fields(when, fields)) return "?";
  std::strftime(text, sizeof text, with_date ? "%Y-%m-%d %H:%M:%S" : "%H:%M:%S", &fields);
  return text;
}

namespace {

// The two-character form of a byte that has one; null for the others.
const char* named_escape(char c, bool quoted) {
  switch (c) {
    case '\\':
      return "\\\\";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    case '"':
      return quoted ? "\\\"" : nullptr;
    default:
      return nullptr;
  }
}

}  // namespace

std::string log_escaped(const std::string& text, bool quoted) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (const char* named = named_escape(c, quoted)) {
      out += named;
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

std::string error_tail(const std::string& errors) {
  std::size_t end = errors.find_last_not_of("\r\n\t ");
  if (end == std::string::npos) return {};
  std::size_t from = end + 1 > k_error_tail ? end + 1 - k_error_tail : 0;
  std::size_t line = errors.find('\n', from);
  if (from > 0 && errors[from - 1] != '\n' && line != std::string::npos && line < end) {
    from = line + 1;
  }
  // Never half a UTF-8 character.
  while (from < end && (static_cast<unsigned char>(errors[from]) & 0xC0) == 0x80) ++from;
  return errors.substr(from, end + 1 - from);
}

std::string log_line(std::time_t now, const attempt_record& attempt) {
  std::string line = clock_text(now, true) + " " + log_escaped(attempt.id, false) + " " +
                     clock_text(attempt.window_start, true) + "-" +
                     clock_text(attempt.window_end, false) + " " + attempt.verdict;
  std::string outcome = log_escaped(attempt.outcome, false);
  if (attempt.number == 0) return outcome.empty() ? line : line + ": " + outcome;
  line += " attempt " + std::to_string(attempt.number);
  line += attempt.started != 0 ? " from " + clock_text(attempt.started, false) + " to " +
                                     clock_text(attempt.ended, false)
                               : std::string(" not started");
  line += ": " + outcome + ", " +
          (attempt.bytes < 0 ? std::string("no file") : std::to_string(attempt.bytes) + " bytes");
  if (!attempt.errors.empty()) line += ", errors \"" + log_escaped(attempt.errors, true) + "\"";
  return line + ": " + shown_command(attempt.command);
}

}  // namespace rec
