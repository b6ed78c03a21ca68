#include "tools/at/launch_date.h"

#include <cstdio>

#include "platform/text.h"
#include "reservation/job_fields.h"

namespace {

constexpr int k_minutes_per_day = 24 * 60;
// Far enough to find every day 1 to 31 and any time of day.
constexpr int k_search_days = 400;

int days_in_month(int year, int month) {
  static const int k_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : k_days[month - 1];
}

// Days since 1970-01-01, by the one count of days the seven words use.
long days_from_civil(const at_date& d) {
  return static_cast<long>(day_number(d.year, d.month, d.day));
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

enum class programme_date { none, real, no_date };

// The refusal of a programme date that is no date, naming it by its three
// words: as numbers where they are (a month or day of at most two digits),
// else as written, so that "003" is never shown as a real month.
std::string no_date_text(const std::vector<std::string>& command) {
  const std::string* word = &command[command.size() - k_job_field_count + 3];
  int year = 0;
  int month = 0;
  int day = 0;
  std::string date = word[0] + "-" + word[1] + "-" + word[2];
  if (read_decimal(word[0], 9, year) && read_decimal(word[1], 2, month) &&
      read_decimal(word[2], 2, day)) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    date = text;
  }
  return "the programme date " + date + " is not a date";
}

// The programme's date in the command's last seven words: none when they
// are no booking (the date words are then not looked at), no_date when a
// booking's date cannot be or is not a day of its month.
programme_date read_programme_date(const std::vector<std::string>& command, at_date& date) {
  job_fields fields;
  job_field failed = read_job_fields(command, fields);
  if (failed == job_field::date) return programme_date::no_date;
  if (failed != job_field::none) return programme_date::none;
  date = {fields.year, fields.month, fields.day};
  bool real = fields.year >= 1 && fields.day <= days_in_month(fields.year, fields.month);
  return real ? programme_date::real : programme_date::no_date;
}

}  // namespace

at_date add_days(const at_date& date, int days) {
  return civil_from_days(days_from_civil(date) + days);
}

std::string launch_day(const at_request& request, const at_date& today, int now_minute,
                       at_date& date) {
  at_date programme;
  programme_date found =
      request.has_next ? read_programme_date(request.command, programme) : programme_date::none;
  // A date that cannot be is never booked on some other date.
  if (found == programme_date::no_date) return no_date_text(request.command);
  if (found == programme_date::real) {
    date = add_days(programme, request.next_day - programme.day);
  } else if (request.has_next && (request.next_day < 1 || request.next_day > 31)) {
    return std::string("day ") + std::to_string(request.next_day) +
           " is not a day of the month (1 to 31)";
  } else {
    int launch_minute = request.hour * 60 + request.minute;
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

std::string at_time_stamp(const at_date& date, int hour, int minute) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d%02d%02d", date.year, date.month, date.day, hour,
                minute);
  return stamp;
}
