#include "tools/at/at_job.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t end = line.find(' ', at);
    if (end == std::string::npos) end = line.size();
    out.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

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

TEST(AtArguments, ReadsTimeOptionsAndCommand) {
  at_request r;
  ASSERT_EQ(parse_at_arguments(words("20:59 /interactive /NEXT:29 REC Y0001 8 21:00-21:54 2008 "
                                     "03 29 Sample_Show"),
                               r),
            "");
  EXPECT_EQ(r.hour, 20);
  EXPECT_EQ(r.minute, 59);
  EXPECT_TRUE(r.has_next);
  EXPECT_EQ(r.next_day, 29);
  EXPECT_EQ(r.command, words("REC Y0001 8 21:00-21:54 2008 03 29 Sample_Show"));

  at_request lower;
  ASSERT_EQ(parse_at_arguments(words("00:00 /next:5 /INTERACTIVE /usr/bin/rec -x"), lower), "");
  EXPECT_EQ(lower.next_day, 5);
  EXPECT_EQ(lower.command, words("/usr/bin/rec -x"));
}

TEST(AtArguments, RefusesWhatIsNotAJob) {
  const char* lines[] = {"",
                         "2059 /NEXT:29 REC",
                         "24:00 /NEXT:29 REC",
                         "20:60 /NEXT:29 REC",
                         "-1:00 /NEXT:29 REC",
                         "20:59 /NEXT:x REC",
                         "20:59 /NEXT:29,30 REC",
                         "20:59 /interactive /NEXT:29"};
  for (const char* line : lines) {
    at_request r;
    EXPECT_NE(parse_at_arguments(words(line), r), "") << line;
  }
}

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
      {"11:00 /NEXT:30 cmd 21:00-21:54 2008 02 30 T", "200803301100"},  // no such date
      {"11:00 REC", "200803211100"},                                    // no /NEXT: tomorrow
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

TEST(AtJob, QuotesEveryWordForTheShell) {
  EXPECT_EQ(shell_quote("plain"), "'plain'");
  EXPECT_EQ(shell_quote(""), "''");
  EXPECT_EQ(shell_quote("it's"), "'it'\\''s'");
  EXPECT_EQ(job_line({"/opt/rec", "$(touch x)", "`id`;a&&b", "a\"b"}),
            "'/opt/rec' '$(touch x)' '`id`;a&&b' 'a\"b'\n");
}
