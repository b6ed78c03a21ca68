// The seven words every job zoba books ends with, which its recorder is
// given: reservation number, channel, "HH:MM-HH:MM", year, month, day and
// title. zoba writes them; AT, the conflict check and REC read them back
// with the one rule here, so that what one of them accepts the others do.
#pragma once

#include <string>
#include <vector>

inline constexpr std::size_t k_job_field_count = 7;

struct job_fields {
  std::string id;       // "Y0003"
  std::string channel;  // as booked
  std::string span;     // "21:00-21:54", as booked
  std::string title;
  int year = 0;
  int month = 0;
  int day = 0;
  int start_hour = 0;  // 0 to 29: 24 and later are the next day's early hours
  int start_minute = 0;
  int end_hour = 0;
  int end_minute = 0;
};

// The first of the seven words that cannot be read, or none.
enum class job_field { none, count, id, channel, span, date };

// Reads the last seven of words: a number and a channel that are not empty,
// hours of one or two digits up to 29 with minutes of two digits up to 59,
// a year of four digits and a month and day of one or two (1 to 12, 1 to
// 31; whether the day exists in its month is for the caller's calendar).
job_field read_job_fields(const std::vector<std::string>& words, job_fields& out);

// Minutes from the start's date at 00:00 to the start (past a day for
// hours 24 and later) and to the end, which is the end's clock time on the
// start's day or, when that is not after the start, on the next.
int job_start_minutes(const job_fields& fields);
int job_end_minutes(const job_fields& fields);

// Days from 1970-01-01 of a date in the proleptic Gregorian calendar: a
// plain count, so that dates of different months and years compare and
// subtract.
long long day_number(int year, int month, int day);
