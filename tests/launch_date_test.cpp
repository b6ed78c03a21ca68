#include "tools/at/launch_date.h"

#include <gtest/gtest.h>

#include "tests/at_words.h"

namespace {

// The date of a command line, or its error, today being 2008-03-20 12:00.
std::string date_of(const std::string& line) {
  at_request request;
  std::string error = parse_at_arguments(words(line), request);
  if (!error.empty()) return "error: " + error;
  at_date date;
  error = launch_date(request, {2008, 3, 20}, 12 * 60, date);
  if (!error.empty()) return "error: " + error;
  return at_time_stamp(date, request.hour, request.minute);
}

}  // namespace

TEST(AtDate, MovesTheProgrammeDateByTheLaunchDay) {
  struct {
    const char* line;
    const char* expected;
  } cases[] = {
      {"20:59 /NEXT:29 REC Y0001 8 21:00-21:54 2008 03 29 T", "200803292059"},
      // 00:00 on the 1st launches on day 0: the last day of the month before.
      {"23:59 /NEXT:00 REC Y0001 8 00:00-00:30 2008 04 01 T", "200803312359"},
      {"23:59 /NEXT:00 REC Y0001 8 00:00-00:30 2009 01 01 T", "200812312359"},
      // Past the month's end, and past a leap day.
      {"00:04 /NEXT:32 REC Y0001 8 23:59-00:30 2010 03 31 T", "201004010004"},
      {"00:04 /NEXT:30 REC Y0001 8 23:59-00:30 2012 02 29 T", "201203010004"},
      {"00:04 /NEXT:31 REC Y0001 8 23:59-00:30 2008 04 30 T", "200805010004"},
      // A recorder command with words of its own and a channel with a space.
      {"20:59 /NEXT:29 rec -q 2 Y0002 8 x 21:00-21:54 2008 03 29 T", "200803292059"},
  };
  for (const auto& c : cases) EXPECT_EQ(date_of(c.line), c.expected) << c.line;
}

TEST(AtDate, WithoutTheProgrammeDateTakesTheNextMatchingDay) {
  struct {
    const char* line;
    const char* expected;
  } cases[] = {
      {"13:00 /NEXT:20 REC", "200803201300"},  // later today
      {"11:00 /NEXT:20 REC", "200804201100"},  // today has passed
      {"11:00 /NEXT:31 REC", "200803311100"},
      // A programme date that is no date is refused, not moved elsewhere.
      {"11:00 /NEXT:30 cmd 8 21:00-21:54 2008 02 30 T",
       "error: the programme date 2008-02-30 is not a date"},
      {"10:59 /NEXT:29 cmd 8 11:00-11:30 2027 02 29 T",
       "error: the programme date 2027-02-29 is not a date"},
      {"10:59 /NEXT:31 cmd 8 11:00-11:30 2026 11 31 T",
       "error: the programme date 2026-11-31 is not a date"},
      {"10:59 /NEXT:05 cmd 8 11:00-11:30 2026 13 05 T",
       "error: the programme date 2026-13-05 is not a date"},
      {"10:59 /NEXT:01 cmd 8 11:00-11:30 20261 01 01 T",
       "error: the programme date 20261-01-01 is not a date"},
      {"10:59 /NEXT:01 cmd 8 11:00-11:30 2026 O1 01 T",
       "error: the programme date 2026-O1-01 is not a date"},
      // Words that are no booking (six words, a span with a one-digit
      // minute) carry no programme date: the day is taken as it stands.
      {"11:00 /NEXT:30 cmd 21:00-21:54 2008 02 30 T", "200803301100"},
      {"11:00 /NEXT:30 cmd 8 21:00-21:5 2008 02 30 T", "200803301100"},
      {"11:00 REC", "200803211100"},  // no /NEXT: tomorrow
      {"11:00 /NEXT:0 REC", "error: day 0 is not a day of the month (1 to 31)"},
      {"11:00 /NEXT:32 REC", "error: day 32 is not a day of the month (1 to 31)"},
      {"11:00 /NEXT:19 REC Y1 8 11:00-12:00 2008 03 19 T",
       "error: 2008-03-19 11:00 is in the past"},
      {"11:59 /NEXT:20 REC Y1 8 12:00-12:30 2008 03 20 T",
       "error: 2008-03-20 11:59 is in the past"},
      {"12:00 /NEXT:20 REC Y1 8 12:01-12:30 2008 03 20 T",
       "error: 2008-03-20 12:00 is in the past"},
  };
  for (const auto& c : cases) EXPECT_EQ(date_of(c.line), c.expected) << c.line;
}

TEST(AtDate, TellsABadDayFromAPastLaunch) {
  struct {
    const char* line;
    const char* day_error;
    const char* past_error;
  } cases[] = {
      {"20:59 /NEXT:29 REC Y1 8 21:00-21:54 2008 03 29 T", "", ""},
      {"11:00 /NEXT:32 REC", "day 32 is not a day of the month (1 to 31)", nullptr},
      {"11:00 /NEXT:19 REC Y1 8 11:00-12:00 2008 03 19 T", "", "2008-03-19 11:00 is in the past"},
  };
  for (const auto& c : cases) {
    at_request request;
    ASSERT_EQ(parse_at_arguments(words(c.line), request), "") << c.line;
    at_date date;
    EXPECT_EQ(launch_day(request, {2008, 3, 20}, 12 * 60, date), c.day_error) << c.line;
    if (c.past_error != nullptr) {
      EXPECT_EQ(past_launch(request, {2008, 3, 20}, 12 * 60, date), c.past_error) << c.line;
    }
  }
}
