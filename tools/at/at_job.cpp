#include "tools/at/at_job.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>

namespace {

constexpr int k_minutes_per_day = 24 * 60;
// The comment that starts a job AT made: the install and the listing line
// follow it ("# zoba AT job 1a2b3c4d: Y0001  ...").
constexpr char k_marker[] = "# zoba AT job ";
// How at's preamble in at -c ends, after the change into the folder at was
// run in; at writes a line end in an environment value or in that folder as
// a quoted one, so no line of the preamble before it starts with a tab.
constexpr char k_preamble_end[] =
    " || {\n\t echo 'Execution directory inaccessible' >&2\n\t exit 1\n}\n";
// Far enough to find every day 1 to 31 and any time of day.
constexpr int k_search_days = 400;
// file_holds reads this much at a time.
constexpr std::size_t k_search_chunk = std::size_t{64} * 1024;
// The months as atq writes them.
constexpr char k_months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

// A listing line kept on one line: a line end inside the command would end
// a comment and run the rest, or split a record.
std::string one_line(const std::string& listing) {
  std::string line = listing;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

// A whole number with an optional minus sign; false for anything else.
bool parse_number(const std::string& text, int& value) {
  std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (at == text.size() || text.size() - at > 9) return false;
  int total = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    total = total * 10 + (text[at] - '0');
  }
  value = text[0] == '-' ? -total : total;
  return true;
}

bool parse_time(const std::string& text, int& hour, int& minute) {
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  return parse_number(text.substr(0, colon), hour) && parse_number(text.substr(colon + 1), minute);
}

bool starts_without_case(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

bool is_time_span(const std::string& word) {
  std::size_t dash = word.find('-');
  int a = 0;
  int b = 0;
  return dash != std::string::npos && parse_time(word.substr(0, dash), a, b) && a >= 0 && b >= 0 &&
         parse_time(word.substr(dash + 1), a, b) && a >= 0 && b >= 0;
}

int days_in_month(int year, int month) {
  static const int k_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : k_days[month - 1];
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
long days_from_civil(const at_date& d) {
  long y = d.year - (d.month <= 2 ? 1 : 0);
  long era = (y >= 0 ? y : y - 399) / 400;
  long yoe = y - era * 400;
  long doy = (153 * (d.month + (d.month > 2 ? -3 : 9)) + 2) / 5 + d.day - 1;
  long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

at_date civil_from_days(long z) {
  z += 719468;
  long era = (z >= 0 ? z : z - 146096) / 146097;
  long doe = z - era * 146097;
  long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long mp = (5 * doy + 2) / 153;
  at_date d;
  d.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  d.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.year = static_cast<int>(era * 400 + yoe + (d.month <= 2 ? 1 : 0));
  return d;
}

// The first day from today on that has the wanted day of the month (any
// day when wanted is 0) and a launch still ahead.
at_date next_matching_day(const at_date& today, int wanted, int launch_minute, int now_minute) {
  long first = days_from_civil(today);
  for (long z = first; z < first + k_search_days; ++z) {
    at_date d = civil_from_days(z);
    bool ahead = z > first || launch_minute > now_minute;
    if (ahead && (wanted == 0 || d.day == wanted)) return d;
  }
  return today;
}

}  // namespace

std::string parse_at_arguments(const std::vector<std::string>& words, at_request& request) {
  if (words.empty() || !parse_time(words[0], request.hour, request.minute)) {
    return "the first argument is not a time HH:MM";
  }
  if (request.hour < 0 || request.hour > 23 || request.minute < 0 || request.minute > 59) {
    return std::string("the time ") + words[0] + " is not a time of day";
  }
  std::size_t at = 1;
  for (; at < words.size(); ++at) {
    if (starts_without_case(words[at], "/interactive") && words[at].size() == 12) continue;
    if (!starts_without_case(words[at], "/next:")) break;
    if (!parse_number(words[at].substr(6), request.next_day)) {
      return std::string("the day in ") + words[at] + " is not a number";
    }
    request.has_next = true;
  }
  request.command.assign(words.begin() + static_cast<long>(at), words.end());
  if (request.command.empty()) return "there is no command to run";
  return {};
}

namespace {

// The three numbers after the first HH:MM-HH:MM word followed by three
// numbers, real date or not. False when the command carries none.
bool programme_date_words(const std::vector<std::string>& command, at_date& date) {
  for (std::size_t i = 1; i + 3 < command.size(); ++i) {
    if (!is_time_span(command[i])) continue;
    if (parse_number(command[i + 1], date.year) && parse_number(command[i + 2], date.month) &&
        parse_number(command[i + 3], date.day)) {
      return true;
    }
  }
  return false;
}

bool is_real_date(const at_date& d) {
  return d.year >= 1 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
         d.day <= days_in_month(d.year, d.month);
}

}  // namespace

at_date add_days(const at_date& date, int days) {
  return civil_from_days(days_from_civil(date) + days);
}

std::string launch_day(const at_request& request, const at_date& today, int now_minute,
                       at_date& date) {
  int launch_minute = request.hour * 60 + request.minute;
  at_date programme;
  if (request.has_next && programme_date_words(request.command, programme)) {
    // A date that cannot be is never booked on some other date.
    if (!is_real_date(programme)) {
      char text[80];
      std::snprintf(text, sizeof text, "the programme date %04d-%02d-%02d is not a date",
                    programme.year, programme.month, programme.day);
      return text;
    }
    date = add_days(programme, request.next_day - programme.day);
  } else if (request.has_next && (request.next_day < 1 || request.next_day > 31)) {
    return std::string("day ") + std::to_string(request.next_day) +
           " is not a day of the month (1 to 31)";
  } else {
    date = next_matching_day(today, request.has_next ? request.next_day : 0, launch_minute,
                             now_minute);
  }
  return {};
}

std::string past_launch(const at_request& request, const at_date& today, int now_minute,
                        const at_date& date) {
  long launch = days_from_civil(date) * k_minutes_per_day + static_cast<long>(request.hour) * 60 +
                request.minute;
  long now = days_from_civil(today) * k_minutes_per_day + now_minute;
  if (launch > now) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d is in the past", date.year, date.month,
                date.day, request.hour, request.minute);
  return text;
}

std::string launch_date(const at_request& request, const at_date& today, int now_minute,
                        at_date& date) {
  std::string error = launch_day(request, today, now_minute, date);
  return error.empty() ? past_launch(request, today, now_minute, date) : error;
}

at_form at_form_of(const std::vector<std::string>& words, std::string& id) {
  if (words.empty()) return at_form::list;
  if (words.size() == 2 && words[1].size() == 7 && starts_without_case(words[1], "/delete")) {
    id = words[0];
    return at_form::remove;
  }
  return at_form::schedule;
}

std::string job_identifier(const std::vector<std::string>& command, const std::string& stamp) {
  for (std::size_t i = 1; i < command.size(); ++i) {
    const std::string& word = command[i];
    int number = 0;
    if (word.size() > 1 && word[0] == 'Y' && word[1] != '-' &&
        parse_number(word.substr(1), number)) {
      return word;
    }
  }
  return stamp;
}

std::string install_id(const std::string& settings_path, bool fold_case) {
  std::uint32_t hash = 2166136261u;
  for (char c : settings_path) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (fold_case && byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte + 32);
    hash = (hash ^ byte) * 16777619u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
  return text;
}

std::string listing_line(const std::string& id, const at_date& date, int hour, int minute,
                         const std::string& command_text) {
  char when[32];
  std::snprintf(when, sizeof when, "%04d/%02d/%02d %02d:%02d", date.year, date.month, date.day,
                hour, minute);
  return id + "  " + when + "  " + command_text;
}

std::string joined_words(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::string job_marker(const std::string& install, const std::string& listing) {
  return k_marker + install + ": " + one_line(listing) + "\n";
}

std::string job_text(const std::string& script) {
  std::size_t end = script.find(k_preamble_end);
  return end == std::string::npos ? std::string() : script.substr(end + sizeof k_preamble_end - 1);
}

std::vector<std::string> text_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

std::string listing_of_job(const std::string& script, const std::string& install) {
  // Only the first line AT handed to at counts: a marker's text further on
  // is the user's own.
  std::string text = job_text(script);
  std::string first = text.substr(0, text.find('\n'));
  std::string head = k_marker + install + ": ";
  return first.starts_with(head) ? first.substr(head.size()) : std::string();
}

std::string shell_quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string job_line(const std::vector<std::string>& command) {
  std::string line;
  for (const std::string& word : command) {
    if (!line.empty()) line += ' ';
    line += shell_quote(word);
  }
  return line + "\n";
}

std::string job_script(const std::string& install, const std::string& listing,
                       const std::string& folder, const std::vector<std::string>& command) {
  std::string log = shell_quote(k_job_log);
  std::string to_log = " >>" + log + "\n";
  std::string when = "\"$(date '+%Y-%m-%d %H:%M:%S')\" ";
  std::string id = shell_quote(listing.substr(0, listing.find(' ')));
  std::string program = shell_quote(command[0]);
  std::string line = job_line(command);
  line.pop_back();
  std::string script = job_marker(install, listing) + "cd " + shell_quote(folder) + " || exit 1\n";
  script += "printf '%s start %s\\n' " + when + shell_quote(listing) + to_log;
  script += "if [ -f " + program + " ] && [ -x " + program + " ]; then\n";
  script += line + " 2>>" + log + "\nstatus=$?\nelse\n";
  script += "printf '%s %s: the recorder %s is not an executable file\\n' " + when + id + " " +
            program + to_log + "status=127\nfi\n";
  return script + "printf '%s end %s: exit status %s\\n' " + when + id + " \"$status\"" + to_log;
}

std::string at_time_stamp(const at_date& date, int hour, int minute) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d", date.year, date.month, date.day, hour,
                minute);
  return stamp;
}

std::string job_record(const std::string& number, const std::string& install,
                       const std::string& stamp, const std::string& listing) {
  return number + "\t" + install + "\t" + stamp + "\t" + one_line(listing) + "\n";
}

bool queued_job(const std::string& line, std::string& number, std::string& stamp) {
  std::size_t tab = line.find('\t');
  if (tab == 0 || tab == std::string::npos) return false;
  number = line.substr(0, tab);
  if (number.find_first_not_of("0123456789") != std::string::npos) return false;
  char month[4] = {};
  int day = 0;
  int hour = 0;
  int minute = 0;
  int year = 0;
  // at's "%a %b %e %T %Y", in the C locale: atq sets none.
  if (std::sscanf(line.c_str() + tab + 1, "%*3s %3s %d %d:%d:%*d %d", month, &day, &hour, &minute,
                  &year) != 5) {
    return false;
  }
  const char* found = std::strstr(k_months, month);
  if (found == nullptr || (found - k_months) % 3 != 0 || std::strlen(month) != 3) return false;
  at_date date{year, static_cast<int>(found - k_months) / 3 + 1, day};
  stamp = at_time_stamp(date, hour, minute);
  return true;
}

std::vector<recorded_job> queued_records(const std::string& records, const std::string& atq_output,
                                         const std::string& install, std::string& kept) {
  std::set<std::string> queue;  // number and stamp
  for (const std::string& line : text_lines(atq_output)) {
    std::string number;
    std::string stamp;
    if (queued_job(line, number, stamp)) queue.insert(number + "\t" + stamp);
  }
  std::vector<recorded_job> jobs;
  kept.clear();
  for (const std::string& line : text_lines(records)) {
    std::size_t first = line.find('\t');
    std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    std::size_t third = second == std::string::npos ? second : line.find('\t', second + 1);
    if (third == std::string::npos) continue;
    std::string number = line.substr(0, first);
    if (queue.count(number + line.substr(second, third - second)) == 0) continue;
    kept += line + "\n";
    if (line.compare(first + 1, second - first - 1, install) == 0) {
      jobs.push_back({number, line.substr(third + 1)});
    }
  }
  return jobs;
}

bool chunk_holds(const std::string& needle, const char* bytes, std::size_t size,
                 std::string& carry) {
  std::string text = carry;
  text.append(bytes, size);
  bool found = text.find(needle) != std::string::npos;
  std::size_t keep = needle.empty() ? 0 : std::min(text.size(), needle.size() - 1);
  carry = text.substr(text.size() - keep);
  return found;
}

bool file_holds(const std::string& path, const std::string& needle, std::size_t limit) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<char> chunk(k_search_chunk);
  std::string carry;
  bool found = false;
  std::size_t total = 0;
  std::size_t got = 0;
  while (!found && total < limit &&
         (got = std::fread(chunk.data(), 1, std::min(chunk.size(), limit - total), file)) > 0) {
    total += got;
    found = chunk_holds(needle, chunk.data(), got, carry);
  }
  std::fclose(file);
  return found;
}
