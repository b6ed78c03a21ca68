#include "reservation/job_fields.h"

#include "platform/text.h"

namespace {

constexpr int k_max_hour = 29;
constexpr int k_minutes_per_day = 24 * 60;

bool read_clock(const std::string& text, int& hour, int& minute) {
  std::size_t colon = text.find(':');
  return colon != std::string::npos && text.size() - colon == 3 &&
         read_decimal(text.substr(0, colon), 2, hour) &&
         read_decimal(text.substr(colon + 1), 2, minute) && hour <= k_max_hour && minute <= 59;
}

bool read_span(const std::string& span, job_fields& out) {
  std::size_t dash = span.find('-');
  return dash != std::string::npos &&
         read_clock(span.substr(0, dash), out.start_hour, out.start_minute) &&
         read_clock(span.substr(dash + 1), out.end_hour, out.end_minute);
}

bool read_date(const std::string* words, job_fields& out) {
  return words[0].size() == 4 && read_decimal(words[0], 4, out.year) &&
         read_decimal(words[1], 2, out.month) && read_decimal(words[2], 2, out.day) &&
         out.month >= 1 && out.month <= 12 && out.day >= 1 && out.day <= 31;
}

}  // namespace

job_field read_job_fields(const std::vector<std::string>& words, job_fields& out) {
  out = job_fields();
  if (words.size() < k_job_field_count) return job_field::count;
  const std::string* word = &words[words.size() - k_job_field_count];
  out.id = word[0];
  out.channel = word[1];
  out.span = word[2];
  out.title = word[6];
  if (out.id.empty()) return job_field::id;
  if (out.channel.empty()) return job_field::channel;
  if (!read_span(out.span, out)) return job_field::span;
  if (!read_date(word + 3, out)) return job_field::date;
  return job_field::none;
}

int job_start_minutes(const job_fields& fields) {
  return fields.start_hour * 60 + fields.start_minute;
}

int job_end_minutes(const job_fields& fields) {
  int start = job_start_minutes(fields);
  int end = start / k_minutes_per_day * k_minutes_per_day +
            (fields.end_hour * 60 + fields.end_minute) % k_minutes_per_day;
  return end > start ? end : end + k_minutes_per_day;
}

long long day_number(int year, int month, int day) {
  long long y = year - (month <= 2 ? 1 : 0);
  long long era = (y >= 0 ? y : y - 399) / 400;
  long long year_of_era = y - era * 400;
  long long day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}
