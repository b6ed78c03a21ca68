#include "tools/at/at_queue.h"

#include <gtest/gtest.h>

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
