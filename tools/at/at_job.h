// The pure part of the AT stand-in: reading the Windows-style scheduler
// command line zoba runs, turning its day of the month into a full date
// for at(1), and writing the job's shell line.
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

// Reads "HH:MM [/interactive] [/NEXT:DD] command arguments..." (the words
// after the program name). Returns an empty text, or what is wrong.
std::string parse_at_arguments(const std::vector<std::string>& words, at_request& request);

// The programme's date: the three numbers (year, month, day) after the
// first HH:MM-HH:MM word of the command. False when they are not there or
// do not make a date.
bool find_programme_date(const std::vector<std::string>& command, at_date& date);

// A date moved by a number of days, across months and years.
at_date add_days(const at_date& date, int days);

// The date the job runs on. With the programme's date: that date moved by
// (DD - its day), so DD may be 0 or past the month's end. Without it: the
// next date from today on whose day is DD (1 to 31) and whose launch time
// is still ahead. now_minute is the minute of the day now. Returns an empty
// text, or why there is no such date (a bad day, a launch in the past).
std::string launch_date(const at_request& request, const at_date& today, int now_minute,
                        at_date& date);

// A word quoted for the shell: nothing in it is special any more.
std::string shell_quote(const std::string& word);

// The job: the command with every word quoted, and a line end.
std::string job_line(const std::vector<std::string>& command);

// at -t's time: YYYYMMDDhhmm.
std::string at_time_stamp(const at_date& date, int hour, int minute);
