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
      // A programme date that is no date is refused, not moved elsewhere.
      {"11:00 /NEXT:30 cmd 21:00-21:54 2008 02 30 T",
       "error: the programme date 2008-02-30 is not a date"},
      {"10:59 /NEXT:29 cmd 8 11:00-11:30 2027 02 29 T",
       "error: the programme date 2027-02-29 is not a date"},
      {"10:59 /NEXT:31 cmd 8 11:00-11:30 2026 11 31 T",
       "error: the programme date 2026-11-31 is not a date"},
      {"10:59 /NEXT:05 cmd 8 11:00-11:30 2026 13 05 T",
       "error: the programme date 2026-13-05 is not a date"},
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

TEST(AtJob, QuotesEveryWordForTheShell) {
  EXPECT_EQ(shell_quote("plain"), "'plain'");
  EXPECT_EQ(shell_quote(""), "''");
  EXPECT_EQ(shell_quote("it's"), "'it'\\''s'");
  EXPECT_EQ(job_line({"/opt/rec", "$(touch x)", "`id`;a&&b", "a\"b"}),
            "'/opt/rec' '$(touch x)' '`id`;a&&b' 'a\"b'\n");
}

TEST(AtJob, TheScriptRunsInZobasFolderAndLogsStartStatusAndErrors) {
  EXPECT_EQ(job_script("0badf00d", "Y0001  2008/03/29 20:59  ./rec Y0001", "/home/tv user/zoba",
                       {"./rec", "Y0001", "it's"}),
            "# zoba AT job 0badf00d: Y0001  2008/03/29 20:59  ./rec Y0001\n"
            "cd '/home/tv user/zoba' || exit 1\n"
            "printf '%s start %s\\n' \"$(date '+%Y-%m-%d %H:%M:%S')\" "
            "'Y0001  2008/03/29 20:59  ./rec Y0001' >>'zoba-jobs.log'\n"
            "if [ -f './rec' ] && [ -x './rec' ]; then\n"
            "'./rec' 'Y0001' 'it'\\''s' 2>>'zoba-jobs.log'\n"
            "status=$?\n"
            "else\n"
            "printf '%s %s: the recorder %s is not an executable file\\n' "
            "\"$(date '+%Y-%m-%d %H:%M:%S')\" 'Y0001' './rec' >>'zoba-jobs.log'\n"
            "status=127\n"
            "fi\n"
            "printf '%s end %s: exit status %s\\n' \"$(date '+%Y-%m-%d %H:%M:%S')\" 'Y0001' "
            "\"$status\" >>'zoba-jobs.log'\n");
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

TEST(AtForm, NoWordsListsAndIdDeleteRemoves) {
  struct {
    const char* line;
    at_form form;
    const char* id;
  } cases[] = {
      {"", at_form::list, ""},
      {"Y0001 /delete", at_form::remove, "Y0001"},
      {"200803201300 /DELETE", at_form::remove, "200803201300"},
      {"Y0001 /deletex", at_form::schedule, ""},
      {"Y0001 /delete x", at_form::schedule, ""},
      {"20:59 /NEXT:29 REC", at_form::schedule, ""},
  };
  for (const auto& c : cases) {
    std::string id;
    EXPECT_EQ(at_form_of(words(c.line), id), c.form) << c.line;
    EXPECT_EQ(id, c.id) << c.line;
  }
}

TEST(AtListing, NamesEachJobByItsReservationNumber) {
  struct {
    const char* command;
    const char* id;
  } cases[] = {
      {"REC Y0001 8 21:00-21:54 2008 03 29 T", "Y0001"},
      {"rec -q Y12 Y0002 8", "Y12"},  // the first such word after the program
      {"Y0001 8 21:00-21:54", "200803292059"},
      {"REC Y 8 Y-1 y0003 Y12a", "200803292059"},
      {"REC", "200803292059"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(job_identifier(words(c.command), "200803292059"), c.id) << c.command;
  }
  EXPECT_EQ(listing_line("Y0001", {2008, 3, 29}, 20, 59, "REC Y0001 8 x"),
            "Y0001  2008/03/29 20:59  REC Y0001 8 x");
  EXPECT_EQ(joined_words({"REC", "Y0001", "8"}), "REC Y0001 8");
}

TEST(AtListing, KnowsOnlyTheInstallsMarkerWhereAtWroteIt) {
  // What at -c prints before the job text: environment values and the
  // folder with a line end are quoted, so only at's own lines end the cd.
  const std::string preamble =
      "#!/bin/sh\n# atrun uid=0 gid=0\numask 22\nX=a\"\n\"}\"\n\"\\\t\\ exit\\ 1; export X\n"
      "cd /home/tv\\ user/zoba || {\n\t echo 'Execution directory inaccessible' >&2\n"
      "\t exit 1\n}\n";
  std::string marker = job_marker("0badf00d", "Y0001  2008/03/29 20:59  REC Y0001 a\nb");
  EXPECT_EQ(marker, "# zoba AT job 0badf00d: Y0001  2008/03/29 20:59  REC Y0001 a b\n");
  struct {
    std::string script;
    const char* listing;
  } cases[] = {
      {preamble + marker + "'REC' 'Y0001'\n", "Y0001  2008/03/29 20:59  REC Y0001 a b"},
      {preamble + "'REC' 'Y0001'\n", ""},
      {marker + "'REC' 'Y0001'\n", ""},  // no preamble: not a script at -c printed
      // A user's job holding the marker's text, on a later line or quoted.
      {preamble + "true\n" + marker, ""},
      {preamble + "echo '" + marker + "'\n", ""},
      {preamble + "cd x || {\n\t echo 'Execution directory inaccessible' >&2\n\t exit 1\n}\n" +
           marker,
       ""},
      // Another install's job.
      {preamble + job_marker("0badf00e", "Y0001  2008/03/29 20:59  REC") + "true\n", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(listing_of_job(c.script, "0badf00d"), c.listing) << c.script;
}

TEST(AtInstall, NamesAnInstallByItsSettingsPath) {
  // FNV-1a of the empty path is its offset basis; case folds only when asked.
  EXPECT_EQ(install_id("", false), "811c9dc5");
  EXPECT_EQ(install_id("C:\\zoba\\zoba.ini", true), install_id("c:\\ZOBA\\zoba.ini", true));
  EXPECT_NE(install_id("/a/zoba.ini", false), install_id("/A/zoba.ini", false));
  EXPECT_NE(install_id("/a/zoba.ini", false), install_id("/a/reserve.ini", false));
}

TEST(AtRecord, ListsTheInstallsRecordsStillQueuedAtTheirTime) {
  std::string mine =
      job_record("12", "0badf00d", "202612082059", "Y0001  2026/12/08 20:59  REC a\nb");
  EXPECT_EQ(mine, "12\t0badf00d\t202612082059\tY0001  2026/12/08 20:59  REC a b\n");
  std::string other = job_record("13", "0badf00e", "202612082059", "Y0001  x");
  std::string reused = job_record("14", "0badf00d", "202612082059", "Y0002  gone");
  std::string run = job_record("15", "0badf00d", "202612082059", "Y0003  run");
  const std::string atq =
      "12\tTue Dec  8 20:59:00 2026 a root\n13\tTue Dec  8 20:59:00 2026 a root\n"
      "14\tFri Jan  1 00:00:00 2038 a root\n16\tTue Dec  8 20:59:00 2026 = root\nno job\n";
  std::string kept;
  std::vector<recorded_job> jobs =
      queued_records(mine + other + reused + "garbage\n" + run, atq, "0badf00d", kept);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].number + "|" + jobs[0].listing, "12|Y0001  2026/12/08 20:59  REC a b");
  EXPECT_EQ(kept, mine + other);  // 14 is another job now, 15 has run
  std::string number;
  std::string stamp;
  EXPECT_TRUE(queued_job("7\tSat Feb 29 05:03:00 2028 b tv", number, stamp));
  EXPECT_EQ(number + " " + stamp, "7 202802290503");
  EXPECT_FALSE(queued_job("7\tSat Xyz 29 05:03:00 2028 b tv", number, stamp));
}

TEST(AtSignature, FindsTheTextAcrossChunkBoundaries) {
  const std::string needle = "zoba-REC";
  struct {
    std::string bytes;
    std::size_t chunk;
    bool found;
  } cases[] = {
      {"zoba-REC", 8, true},
      {"..zoba-REC..", 1, true},
      {"..zoba-REC..", 5, true},
      {"....zoba-REC", 5, true},
      {"zoba-RE", 3, false},
      {"zoba-REzoba-REC", 4, true},
      {"zoba-RE.C zoba REC", 2, false},
      {std::string(100, 'x') + "zoba-REC", 7, true},
  };
  for (const auto& c : cases) {
    std::string carry;
    bool found = false;
    for (std::size_t at = 0; at < c.bytes.size(); at += c.chunk) {
      found =
          chunk_holds(needle, c.bytes.data() + at, std::min(c.chunk, c.bytes.size() - at), carry) ||
          found;
    }
    EXPECT_EQ(found, c.found) << c.bytes << " in chunks of " << c.chunk;
  }
}
