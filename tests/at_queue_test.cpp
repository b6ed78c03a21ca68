#include "tools/at/at_queue.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <unordered_map>

#include "tools/at/job_id.h"

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

namespace {

// Two settings paths whose install_id is the same, found by trying names
// of random letters: a 32-bit hash repeats after some 80,000 of them (names
// that differ in a digit or two hardly ever collide under FNV-1a).
bool colliding_paths(std::string& first, std::string& second) {
  std::unordered_map<std::string, std::string> seen;
  std::uint64_t state = 1;
  for (int n = 0; n < 2000000; ++n) {
    std::string path = "/home/tv/zoba-";
    for (int i = 0; i < 7; ++i) {
      state = state * 6364136223846793005u + 1442695040888963407u;
      path += static_cast<char>('a' + (state >> 33) % 26);
    }
    path += "/zoba.ini";
    auto [at, added] = seen.emplace(install_id(path, false), path);
    if (!added && at->second != path) {
      first = at->second;
      second = path;
      return true;
    }
  }
  return false;
}

}  // namespace

TEST(AtInstall, CarriesTheSettingsPathBesideItsHash) {
  struct {
    const char* path;
    const char* field;  // after the hash and its blank
  } cases[] = {
      {"/home/tv/zoba/zoba.ini", "/home/tv/zoba/zoba.ini"},
      // What would end a record's field or the marker's, and the escape itself.
      {"/home/tv/a: b/50%\tx\ny\r.ini", "/home/tv/a%3A b/50%25%09x%0Ay%0D.ini"},
      {"/home/ビデオ/zoba.ini", "/home/ビデオ/zoba.ini"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(install_field(c.path), install_id(c.path, false) + " " + c.field) << c.path;
  }
}

TEST(AtInstall, TellsTwoInstallsWithOneHashApart) {
  std::string first;
  std::string second;
  ASSERT_TRUE(colliding_paths(first, second));
  std::string mine = install_field(first);
  std::string hash = install_id(first, false);
  ASSERT_EQ(install_id(second, false), hash);
  struct {
    std::string field;
    bool is_mine;
  } cases[] = {
      {mine, true},
      {hash, true},  // a job booked before AT kept the path
      {install_field(second), false},
      {hash + " ", false},
      {"", false},
      {install_field("/home/tv/other/zoba.ini"), false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_install_field(c.field, mine), c.is_mine) << c.field;

  const std::string preamble =
      "#!/bin/sh\ncd /home/tv || {\n\t echo 'Execution directory inaccessible' >&2\n"
      "\t exit 1\n}\n";
  std::string listing = "Y0001  2008/03/29 20:59  REC Y0001";
  EXPECT_EQ(job_marker(mine, listing), "# zoba AT job " + mine + ": " + listing + "\n");
  EXPECT_EQ(listing_of_job(preamble + job_marker(mine, listing), mine), listing);
  EXPECT_EQ(listing_of_job(preamble + job_marker(hash, listing), mine), listing);
  EXPECT_EQ(listing_of_job(preamble + job_marker(install_field(second), listing), mine), "");
  // A path holding ": " ends no field early.
  std::string colon = install_field("/home/tv/a: b/zoba.ini");
  EXPECT_EQ(listing_of_job(preamble + job_marker(colon, listing), colon), listing);
  EXPECT_EQ(listing_of_job(preamble + job_marker(colon, listing), install_field("/home/tv/a")), "");

  std::string own = job_record("12", mine, "202612082059", "Y0001  own");
  std::string old = job_record("13", hash, "202612082059", "Y0002  old");
  std::string theirs = job_record("14", install_field(second), "202612082059", "Y0001  theirs");
  EXPECT_EQ(own, "12\t" + mine + "\t202612082059\tY0001  own\n");
  const std::string atq =
      "12\tTue Dec  8 20:59:00 2026 a tv\n13\tTue Dec  8 20:59:00 2026 a tv\n"
      "14\tTue Dec  8 20:59:00 2026 a tv\n";
  std::string kept;
  std::vector<recorded_job> jobs = queued_records(own + old + theirs, atq, mine, kept);
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].number + " " + jobs[1].number, "12 13");
  EXPECT_EQ(kept, own + old + theirs);  // the other install's job is still queued
}
