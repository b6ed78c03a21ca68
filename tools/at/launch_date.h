// The calendar of the AT stand-ins: the date a job launches on, from its
// /NEXT day and the programme's date in the command's last seven words
// (read with zoba's one rule for them, reservation/job_fields.h), and at's
// launch stamp.
#pragma once

#include <string>

#include "tools/at/at_command.h"

struct at_date {
  int year = 0;
  int month = 0;
  int day = 0;
};

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
// day, a programme date that is no date). The date may still be in the
// past.
std::string launch_day(const at_request& request, const at_date& today, int now_minute,
                       at_date& date);

// launch_date's second half: empty when the launch on date is after now,
// otherwise the text saying it is in the past.
std::string past_launch(const at_request& request, const at_date& today, int now_minute,
                        const at_date& date);

// at -t's time: YYYYMMDDhhmm.
std::string at_time_stamp(const at_date& date, int hour, int minute);
