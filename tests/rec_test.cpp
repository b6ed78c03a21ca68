#include "tools/rec/rec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tests/fake_rec_system.h"
#include "tools/rec/rec_names.h"
#include "tools/rec/rec_paths.h"
#include "tools/rec/rec_run.h"

namespace {

// Japan's zone, which has no summer time: every time below is a JST clock.
class RecTest : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    _putenv_s("TZ", "JST-9");
    _tzset();
#else
    setenv("TZ", "JST-9", 1);
    tzset();
#endif
  }
};

std::vector<std::string> split(const std::string& line) {
  std::vector<std::string> words;
  rec::split_template(line, words);
  return words;
}

// The window of "Y M D HH:MM-HH:MM" as two local clock texts, or the error.
std::string window_of(const std::string& fields) {
  std::vector<std::string> words = split(fields);
  rec::request asked;
  std::string error =
      rec::parse_arguments({"Y1", "8", words[3], words[0], words[1], words[2], "T"}, asked);
  if (!error.empty()) return error;
  std::time_t start = 0;
  std::time_t end = 0;
  rec::programme_window(asked.show, start, end);
  return rec::clock_text(start, true) + " " + rec::clock_text(end, true);
}

bool fits_255(const std::string& name) { return name.size() <= 255; }

}  // namespace

TEST_F(RecTest, ClockTimes) {
  const std::pair<const char*, const char*> cases[] = {
      {"2008 03 29 21:00-21:54", "2008-03-29 21:00:00 2008-03-29 21:54:00"},
      {"2008 03 29 23:30-00:30", "2008-03-29 23:30:00 2008-03-30 00:30:00"},
      {"2008 03 29 25:30-02:00", "2008-03-30 01:30:00 2008-03-30 02:00:00"},
      {"2008 03 29 25:30-26:00", "2008-03-30 01:30:00 2008-03-30 02:00:00"},
      {"2008 03 31 24:00-24:30", "2008-04-01 00:00:00 2008-04-01 00:30:00"},
      {"2008 12 31 23:45-00:15", "2008-12-31 23:45:00 2009-01-01 00:15:00"},
      {"2008 12 31 29:59-05:00", "2009-01-01 05:59:00 2009-01-02 05:00:00"},
      {"2008 02 28 29:00-29:30", "2008-02-29 05:00:00 2008-02-29 05:30:00"},
      {"2007 02 28 25:00-26:00", "2007-03-01 01:00:00 2007-03-01 02:00:00"},
      {"2008 02 29 12:00-13:00", "2008-02-29 12:00:00 2008-02-29 13:00:00"},
      {"2007 02 29 12:00-13:00", "the programme's date or time does not exist"},
      {"2008 04 31 12:00-13:00", "the programme's date or time does not exist"},
      {"2008 03 29 30:00-31:00", "the time 30:00-31:00 is not HH:MM-HH:MM"},
      {"2008 03 29 21:60-22:00", "the time 21:60-22:00 is not HH:MM-HH:MM"},
      {"2008 13 29 21:00-22:00", "the date 2008 13 29 is not a date"},
      {"08x 03 29 21:00-22:00", "the date 08x 03 29 is not a date"},
  };
  for (const auto& [fields, expected] : cases) EXPECT_EQ(window_of(fields), expected) << fields;
}

TEST_F(RecTest, ReadsOptionsThenTheLastSevenWords) {
  rec::request asked;
  EXPECT_EQ(rec::parse_arguments(split("--check Y0001 8 21:00-21:54 2008 03 29 Title"), asked), "");
  EXPECT_TRUE(asked.check);
  EXPECT_EQ(asked.show.title, "Title");
  EXPECT_EQ(rec::parse_arguments({"--check"}, asked), "");
  EXPECT_TRUE(asked.check);
  EXPECT_EQ(rec::parse_arguments(split("-x Y0001 8 21:00-21:54 2008 03 29 T"), asked),
            "unknown option -x");
  EXPECT_EQ(rec::parse_arguments(split("Y0001 8 21:00-21:54 2008 03"), asked),
            "expected the seven words: number channel HH:MM-HH:MM year month day title");
}

TEST_F(RecTest, SettingsTakeDefaultsAndRefuseWhatCannotWork) {
  rec::settings setup;
  EXPECT_EQ(rec::parse_settings({"rec {file}", "", "", "", ""}, setup), "");
  EXPECT_EQ(setup.name, rec::k_default_name);
  EXPECT_EQ(setup.stop, rec::stop_mode::duration);
  EXPECT_EQ(setup.lead, rec::k_default_lead);
  EXPECT_EQ(rec::parse_settings({"rec", "", "", "stdin", "0"}, setup), "");
  EXPECT_EQ(setup.stop, rec::stop_mode::line_end);
  EXPECT_EQ(setup.lead, 0);
  const std::pair<rec::settings_text, const char*> refused[] = {
      {{" ", "", "", "", ""}, "no recorder: set command= in [REC] of the settings file"},
      {{"rec \"{file}", "", "", "", ""}, "command=: a quote is not closed"},
      {{"rec {size}", "", "", "", ""},
       "command=: unknown placeholder in {size} (write {{ for a brace)"},
      {{"rec", "", "{title}}.ts", "", ""}, "name=: a lone } in {title}}.ts (write }} for a brace)"},
      {{"rec", "", "", "kill", ""}, "stop=kill is not duration, terminate or stdin"},
      {{"rec", "", "", "", "-5"}, "lead=-5 is not a number of seconds from 0 to 600"},
      {{"rec", "", "", "", "601"}, "lead=601 is not a number of seconds from 0 to 600"},
  };
  for (const auto& [text, reason] : refused) EXPECT_EQ(rec::parse_settings(text, setup), reason);
}

TEST_F(RecTest, TemplateSplitThenFilled) {
  rec::values with{"Y1",       "BS15_0", "BS",  "3300", "/v/a b.ts", "Say \"hi\" {x}",
                   "20080329", "2100",   "2154"};
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"recpt1 --b25 --strip {channel} {seconds} {file}",
       {"recpt1", "--b25", "--strip", "BS15_0", "3300", "/v/a b.ts"}},
      {"curl -sS --max-time {seconds} -H \"X-Mirakurun-Priority: 2\" -o {file} "
       "http://127.0.0.1:40772/api/channels/{type}/{channel}/stream?decode=1",
       {"curl", "-sS", "--max-time", "3300", "-H", "X-Mirakurun-Priority: 2", "-o", "/v/a b.ts",
        "http://127.0.0.1:40772/api/channels/BS/BS15_0/stream?decode=1"}},
      {"  \"C:\\Program Files\\rec.exe\"\t{{x}} --t=\"{title} !\" {id}{date}{start}-{end} \"\"",
       {"C:\\Program Files\\rec.exe", "{x}", "--t=Say \"hi\" {x} !", "Y1200803292100-2154", ""}},
  };
  for (const auto& [line, expected] : cases) {
    std::vector<std::string> filled;
    EXPECT_EQ(rec::fill_template(split(line), with, filled), "");
    EXPECT_EQ(filled, expected) << line;
  }
  EXPECT_EQ(rec::channel_type("cs4"), "CS");
  EXPECT_EQ(rec::channel_type("27"), "GR");
}

TEST_F(RecTest, FileNamesAreMendedAndCutWhole) {
  const std::pair<std::string, const char*> cases[] = {
      {"a<b>c:d\"e/f\\g|h?i*j.ts", "a_b_c_d_e_f_g_h_i_j.ts"},
      {std::string("tab\tnl\n\x7f\x01.ts"), "tab_nl___.ts"},
      {"50% off.ts", "50\xEF\xBC\x85 off.ts"},
      {"CON.ts", "CON_.ts"},
      {"nul", "nul_"},
      {"Com9.x.ts", "Com9_.x.ts"},
      {"COM0.ts", "COM0.ts"},
      {"CONSOLE.ts", "CONSOLE.ts"},
      {"title. .", "title___"},
      {"", "_"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(rec::mended_name(name), expected) << name;
  // Shift_JIS 0x80 ("a\x80b") as a converter may give it: U+0080, a C1
  // control; U+00A0 next to it is no control.
  EXPECT_EQ(rec::mended_name("a\xC2\x80"
                             "b\xC2\x9F\xC2\xA0.ts"),
            "a_b_\xC2\xA0.ts");
  std::string japanese;
  for (int i = 0; i < 100; ++i) japanese += "\xE8\xA1\xA8";  // 表, 300 bytes
  std::string cut = rec::numbered_name(japanese + ".ts", 2, fits_255);
  EXPECT_EQ(cut, japanese.substr(0, 249) + "-2.ts");
  EXPECT_EQ(rec::numbered_name("a.b.ts", 1, fits_255), "a.b.ts");
  EXPECT_EQ(rec::numbered_name("a.b.ts", 3, fits_255), "a.b-3.ts");
}

// A recording server's file: REC's name, relative, in one file name.
TEST_F(RecTest, AServersFileIsNamedAsRecNamesOneAndStaysInItsFolder) {
  rec::values with{"327360102400003", "3273601024", "GR",   "3240", "",
                   "../a/b",          "20261208",   "2100", "2154"};
  std::string japanese;
  for (int i = 0; i < 100; ++i) japanese += "\xE8\xA1\xA8";  // 表, 300 bytes
  const std::pair<std::string, std::string> cases[] = {
      {"", "20261208-2100_3273601024_.._a_b.ts"},
      {"{id}_{type}_{seconds}s_{title}.m2ts", "327360102400003_GR_3240s_.._a_b.m2ts"},
      {"../{title}", ".._.._a_b"},
      {japanese + ".m2ts", japanese.substr(0, 249) + ".m2ts"},
  };
  for (const auto& [pattern, expected] : cases) {
    std::string name;
    EXPECT_EQ(rec::server_file_name(pattern, with, name), "") << pattern;
    EXPECT_EQ(name, expected) << pattern;
  }
  std::string name = "x";
  EXPECT_NE(rec::server_file_name("{no}.ts", with, name), "");
  EXPECT_EQ(name, "");
}

TEST_F(RecTest, TheNumberGoesBeforeAnExtensionElseAtTheEnd) {
  const std::pair<const char*, const char*> cases[] = {
      {"Show", "Show-2"},
      {"Show.ts", "Show-2.ts"},
      {"Show.M2TS", "Show-2.M2TS"},
      {".ts", ".ts-2"},
      {"Vol.2 Show", "Vol.2 Show-2"},
      {"News 7.30", "News 7.30-2"},
      {"Mr. Bean", "Mr. Bean-2"},
      {"a.averylongword", "a.averylongword-2"},
      {"\xE8\xA1\xA8.\xE7\xA4\xBA", "\xE8\xA1\xA8.\xE7\xA4\xBA-2"},  // 表.示
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(rec::numbered_name(name, 2, fits_255), expected) << name;
  }
  std::string long_title(300, 'x');
  EXPECT_EQ(rec::numbered_name(long_title, 12, fits_255), std::string(252, 'x') + "-12");
}

TEST_F(RecTest, LogTextIsEscapedToOneLine) {
  const std::pair<std::string, const char*> cases[] = {
      {"plain 表", "plain 表"},
      {"two\nlines\r", "two\\nlines\\r"},
      {"C:\\rec\\n", "C:\\\\rec\\\\n"},
      {std::string("tab\t\x01\x1b\x7f\0", 8), "tab\\t\\x01\\x1B\\x7F\\x00"},
      {"say \"hi\"", "say \"hi\""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(rec::log_escaped(text, false), expected);
  EXPECT_EQ(rec::log_escaped("say \"hi\"", true), "say \\\"hi\\\"");
  EXPECT_EQ(rec::shown_command({"rec", "Show\nFake 2008-03-29 line", "a\tb", "C:\\v"}),
            "rec \"Show\\nFake 2008-03-29 line\" \"a\\tb\" \"C:\\\\v\"");
}

TEST_F(RecTest, TheErrorTailKeepsTheLastLinesWhole) {
  std::string long_line(400, 'e');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"\r\n \n", ""},
      {"rec: cannot open tuner\n", "rec: cannot open tuner"},
      {"first\r\nsecond\r\n", "first\r\nsecond"},
      {long_line + "\nwrite: No space left on device\n", "write: No space left on device"},
      {"x" + long_line, long_line.substr(100)},
      // Cut inside 表 (three bytes): from the next whole character.
      {"\xE8\xA1\xA8" + std::string(298, 'y'), std::string(298, 'y')},
  };
  for (const auto& [errors, expected] : cases) EXPECT_EQ(rec::error_tail(errors), expected);
}

namespace {

// The folder REC records into for a folder= setting, or why not.
std::string folder_for(const std::string& setting, const std::string& home, bool windows) {
  std::string folder;
  std::string error = rec::full_folder(setting, home, windows, folder);
  return error.empty() ? folder : "refused: " + error;
}

}  // namespace

TEST_F(RecTest, FolderIsAFullPathWithTildeTheHomeFolderOnLinux) {
  const std::pair<const char*, const char*> posix[] = {
      {"/srv/tv", "/srv/tv"},
      {"~/Videos", "/home/u/Videos"},
      {"~", "/home/u"},
      {"~/", "/home/u/"},
      {"~/録画 x", "/home/u/録画 x"},
      {"Videos", "refused: folder=Videos is not a full path (one from / or ~/)"},
      {"./tv", "refused: folder=./tv is not a full path (one from / or ~/)"},
      {"~bob/tv", "refused: folder=~bob/tv is not a full path (one from / or ~/)"},
      {"~Videos", "refused: folder=~Videos is not a full path (one from / or ~/)"},
      {"C:\\tv", "refused: folder=C:\\tv is not a full path (one from / or ~/)"},
  };
  for (const auto& [setting, expected] : posix) {
    EXPECT_EQ(folder_for(setting, "/home/u", false), expected) << setting;
  }
  EXPECT_EQ(folder_for("~/tv", "", false), "refused: folder=~/tv: no home folder is known for ~");
  EXPECT_EQ(folder_for("~/tv", "home", false),
            "refused: folder=~/tv is not a full path (one from / or ~/)");
}

TEST_F(RecTest, FolderOnWindowsIsFromADriveOrAShareWithItsVariablesSet) {
  const std::string relative =
      " is not a full path (one from a drive, C:\\, or a share, \\\\server\\share; "
      "%USERPROFILE% and other variables are put in)";
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\Users\\u\\Videos", "C:\\Users\\u\\Videos"},
      {"d:/tv", "d:/tv"},
      {"\\\\nas\\tv", "\\\\nas\\tv"},
      {"\\\\?\\C:\\tv", "\\\\?\\C:\\tv"},
      {"C:\\50%\\x", "C:\\50%\\x"},
      {"C:tv", "refused: folder=C:tv" + relative},
      {"\\tv", "refused: folder=\\tv" + relative},
      {"tv\\x", "refused: folder=tv\\x" + relative},
      {"~\\Videos", "refused: folder=~\\Videos" + relative},
      {"/srv/tv", "refused: folder=/srv/tv" + relative},
      {"%VIDEOS%\\tv", "refused: folder=%VIDEOS%\\tv: %VIDEOS% is not set"},
      {"C:\\a\\%NOPE%", "refused: folder=C:\\a\\%NOPE%: %NOPE% is not set"},
  };
  for (const auto& [setting, expected] : cases) {
    EXPECT_EQ(folder_for(setting, "", true), expected) << setting;
  }
}

TEST_F(RecTest, FileModeIsMadeUnlessFresh) {
  rec::file_mode mode = rec::file_mode::fresh;
  EXPECT_EQ(rec::parse_file_mode("", mode), "");
  EXPECT_EQ(mode, rec::file_mode::made);
  EXPECT_EQ(rec::parse_file_mode("fresh", mode), "");
  EXPECT_EQ(mode, rec::file_mode::fresh);
  EXPECT_EQ(rec::parse_file_mode("made", mode), "");
  EXPECT_EQ(mode, rec::file_mode::made);
  EXPECT_EQ(rec::parse_file_mode("new", mode), "file=new is not made or fresh");
}

namespace {

constexpr long long k_start = 1206792000;  // 2008-03-29 21:00 JST
constexpr long long k_end = k_start + 54 * 60;

rec::job sample_job(const char* command, rec::stop_mode stop) {
  rec::job work;
  rec::request asked;
  rec::parse_arguments(split("Y0001 8 21:00-21:54 2008 03 29 Show"), asked);
  work.show = asked.show;
  work.setup.stop = stop;
  rec::programme_window(work.show, work.start, work.end);
  work.fixed = rec::values_of(work.show, "Show", work.start, work.end);
  work.setup.command = split(command);
  work.folder = "/v";
  return work;
}

int run_at(long long clock, rec::stop_mode stop = rec::stop_mode::duration) {
  reset_rec_fake(clock);
  return rec::run_recording(sample_job("rec {seconds} {file}", stop));
}

}  // namespace

TEST_F(RecTest, WholeRecordingWaitsInChunksAndStartsAtTheLead) {
  reset_rec_fake(k_start - 3600);
  g_rec.recorders = {{true, 54 * 60 + 5}};
  g_rec.files["/v/20080329-2100_8_Show.ts"] = 0;  // never overwritten
  EXPECT_EQ(rec::run_recording(sample_job("rec {seconds} {file}", rec::stop_mode::duration)), 0);
  EXPECT_EQ(g_rec.clock, k_end);
  for (long long slept : g_rec.sleeps) EXPECT_LE(slept, rec::k_wait_chunk);
  EXPECT_EQ(g_rec.log, std::vector<std::string>{
                           "2008-03-29 21:54:00 Y0001 2008-03-29 21:00:00-21:54:00 recorded "
                           "attempt 1 from 20:59:55 to 21:54:00: exit 0, 3245000 bytes: rec 3245 "
                           "/v/20080329-2100_8_Show-2.ts"});
}

TEST_F(RecTest, LateStartRecordsWhatIsLeft) {
  EXPECT_EQ(run_at(k_start + 600), rec::k_status_partial);
  EXPECT_EQ(g_rec.started,
            (std::vector<std::vector<std::string>>{{"rec", "2640", "/v/20080329-2100_8_Show.ts"}}));
  EXPECT_EQ(g_rec.signals, std::vector<std::string>{"terminate"});  // past the overrun grace
  EXPECT_EQ(g_rec.clock, k_end + rec::k_overrun);
}

TEST_F(RecTest, BusyTunerIsRetriedWithANewName) {
  reset_rec_fake(k_start - 60);
  g_rec.recorders = {{false}, {true, 54 * 60}};
  EXPECT_EQ(rec::run_recording(sample_job("rec {seconds} {file}", rec::stop_mode::duration)), 0);
  EXPECT_EQ(g_rec.started, (std::vector<std::vector<std::string>>{
                               {"rec", "3245", "/v/20080329-2100_8_Show.ts"},
                               {"rec", "3240", "/v/20080329-2100_8_Show-2.ts"}}));
  ASSERT_EQ(g_rec.log.size(), 2u);
  EXPECT_EQ(g_rec.log[0],
            "2008-03-29 20:59:55 Y0001 2008-03-29 21:00:00-21:54:00 failed attempt 1 not "
            "started: busy, no file: rec 3245 /v/20080329-2100_8_Show.ts");
}

TEST_F(RecTest, MissedWhenLessThanAMinuteIsLeft) {
  EXPECT_EQ(run_at(k_end - 59), rec::k_status_missed);
  EXPECT_TRUE(g_rec.started.empty());
  EXPECT_EQ(g_rec.log,
            std::vector<std::string>{"2008-03-29 21:53:01 Y0001 2008-03-29 "
                                     "21:00:00-21:54:00 missed: only 59 seconds were left"});
}

TEST_F(RecTest, EarlyExitWithStatusZeroIsJudgedByTime) {
  reset_rec_fake(k_start - 5);
  g_rec.recorders = {{true, 600}, {true, 6000}};
  rec::job work = sample_job("rec {seconds} {file}", rec::stop_mode::terminate);
  EXPECT_EQ(rec::run_recording(work), rec::k_status_partial);
  ASSERT_EQ(g_rec.log.size(), 2u);
  EXPECT_NE(g_rec.log[0].find(" partial attempt 1 from 20:59:55 to 21:09:55: exit 0"),
            std::string::npos);
  EXPECT_EQ(g_rec.started[1][1], "2640");  // 21:10:00 to 21:54
  EXPECT_EQ(g_rec.signals, std::vector<std::string>{"terminate"});
  EXPECT_EQ(g_rec.clock, k_end);
}

TEST_F(RecTest, LineEndStopsAStdinRecorder) {
  reset_rec_fake(k_start - 5);
  g_rec.recorders = {{true, -1, 1000, true}};
  EXPECT_EQ(rec::run_recording(sample_job("rec {file}", rec::stop_mode::line_end)), 0);
  EXPECT_EQ(g_rec.signals, std::vector<std::string>{"line end"});
}

namespace {

constexpr char k_name[] = "/v/20080329-2100_8_Show.ts";

std::string numbered(const char* suffix) {
  return std::string("/v/20080329-2100_8_Show") + suffix + ".ts";
}

}  // namespace

TEST_F(RecTest, RecMakesTheFileBeforeTheRecorderStartsAndPassesOverLinks) {
  reset_rec_fake(k_start - 5);
  g_rec.recorders = {{true, 54 * 60 + 5}};
  g_rec.links = {k_name, numbered("-2")};  // one to a file, one dangling: both hold the name
  EXPECT_EQ(rec::run_recording(sample_job("rec {seconds} {file}", rec::stop_mode::duration)), 0);
  EXPECT_EQ(g_rec.made, std::vector<std::string>{numbered("-3")});
  ASSERT_EQ(g_rec.started.size(), 1u);
  EXPECT_EQ(g_rec.started[0].back(), numbered("-3"));
  EXPECT_EQ(g_rec.files, (std::map<std::string, long long>{{numbered("-3"), 3245000}}));
}

TEST_F(RecTest, AFileThatCannotBeMadeIsNeverGivenToARecorder) {
  reset_rec_fake(k_start - 5);
  g_rec.unmakable = {k_name};
  EXPECT_EQ(rec::run_recording(sample_job("rec {seconds} {file}", rec::stop_mode::duration)),
            rec::k_status_failed);
  EXPECT_TRUE(g_rec.started.empty());
  EXPECT_EQ(g_rec.log, std::vector<std::string>{
                           "2008-03-29 20:59:55 Y0001 2008-03-29 21:00:00-21:54:00 failed attempt "
                           "1 not started: the file /v/20080329-2100_8_Show.ts cannot be made: "
                           "Permission denied, no file: "});
}

TEST_F(RecTest, AnAttemptThatRecordedNothingLeavesNoEmptyFile) {
  reset_rec_fake(k_start - 60);
  g_rec.recorders = {{false}, {true, 0}, {true, 54 * 60}};
  EXPECT_EQ(rec::run_recording(sample_job("rec {seconds} {file}", rec::stop_mode::duration)),
            rec::k_status_partial);
  EXPECT_EQ(g_rec.made, (std::vector<std::string>{k_name, numbered("-2"), numbered("-3")}));
  EXPECT_EQ(g_rec.files, (std::map<std::string, long long>{{numbered("-3"), 3240000}}));
  ASSERT_EQ(g_rec.log.size(), 3u);
  EXPECT_NE(g_rec.log[1].find(" failed attempt 2 from 21:00:00 to 21:00:00: exit 0, no file: "),
            std::string::npos)
      << g_rec.log[1];
}

TEST_F(RecTest, AFreshRecordingIsMadeInAFolderOfItsOwnAndMovedOut) {
  reset_rec_fake(k_start - 5);
  g_rec.recorders = {{true, 54 * 60 + 5}};
  rec::job work = sample_job("rec {seconds} {file}", rec::stop_mode::duration);
  work.handover = rec::file_mode::fresh;
  g_rec.links = {k_name};
  EXPECT_EQ(rec::run_recording(work), 0);
  EXPECT_EQ(g_rec.made, std::vector<std::string>{"/v/.REC-1/"});
  EXPECT_EQ(g_rec.started[0].back(), "/v/.REC-1/20080329-2100_8_Show-2.ts");
  EXPECT_EQ(g_rec.files, (std::map<std::string, long long>{{numbered("-2"), 3245000}}));
  EXPECT_TRUE(g_rec.folders.empty());
  EXPECT_EQ(g_rec.log, std::vector<std::string>{
                           "2008-03-29 21:54:00 Y0001 2008-03-29 21:00:00-21:54:00 recorded "
                           "attempt 1 from 20:59:55 to 21:54:00: exit 0, kept as "
                           "/v/20080329-2100_8_Show-2.ts, 3245000 bytes: rec 3245 "
                           "/v/.REC-1/20080329-2100_8_Show-2.ts"});
}

TEST_F(RecTest, AFreshRecordingNeverReplacesAFileMadeWhileItRan) {
  reset_rec_fake(k_start - 5);
  g_rec.recorders = {{true, 54 * 60 + 5}};
  g_rec.planted = k_name;
  rec::job work = sample_job("rec {seconds} {file}", rec::stop_mode::duration);
  work.handover = rec::file_mode::fresh;
  EXPECT_EQ(rec::run_recording(work), 0);
  EXPECT_EQ(g_rec.started[0].back(), "/v/.REC-1/20080329-2100_8_Show.ts");
  EXPECT_EQ(g_rec.files,
            (std::map<std::string, long long>{{k_name, 7}, {numbered("-2"), 3245000}}));
  EXPECT_NE(g_rec.log[0].find(": exit 0, kept as /v/20080329-2100_8_Show-2.ts, 3245000 bytes"),
            std::string::npos)
      << g_rec.log[0];
}

TEST_F(RecTest, AFreshAttemptThatRecordedNothingLeavesNoFolder) {
  reset_rec_fake(k_start - 60);
  g_rec.recorders = {{false}, {true, 54 * 60}};
  rec::job work = sample_job("rec {seconds} {file}", rec::stop_mode::duration);
  work.handover = rec::file_mode::fresh;
  EXPECT_EQ(rec::run_recording(work), 0);
  EXPECT_EQ(g_rec.started[0].back(), "/v/.REC-1/20080329-2100_8_Show.ts");
  EXPECT_EQ(g_rec.started[1].back(), "/v/.REC-2/20080329-2100_8_Show-2.ts");
  EXPECT_EQ(g_rec.files, (std::map<std::string, long long>{{numbered("-2"), 3240000}}));
  EXPECT_TRUE(g_rec.folders.empty());
}

TEST_F(RecTest, AKilledRecorderIsLoggedAsKilledWithItsErrors) {
  reset_rec_fake(k_start - 5);
  fake_recorder_script stubborn;
  stubborn.ignores_terminate = true;
  stubborn.errors = "rec: tuner busy\nrec: disk \"D:\\\" full\n";
  g_rec.recorders = {stubborn};
  rec::job work = sample_job("rec {file}", rec::stop_mode::terminate);
  work.fixed.title = "Show\n2008-03-29 21:00:00 Y0002 forged";
  work.setup.command = split("rec {title} {file}");
  EXPECT_EQ(rec::run_recording(work), rec::k_status_recorded);
  EXPECT_EQ(g_rec.signals, (std::vector<std::string>{"terminate", "kill"}));
  EXPECT_EQ(g_rec.log, std::vector<std::string>{
                           "2008-03-29 21:54:05 Y0001 2008-03-29 21:00:00-21:54:00 recorded "
                           "attempt 1 from 20:59:55 to 21:54:05: signal 9, 3250000 bytes, errors "
                           "\"rec: tuner busy\\nrec: disk \\\"D:\\\\\\\" full\": rec "
                           "\"Show\\n2008-03-29 21:00:00 Y0002 forged\" "
                           "\"/v/20080329-2100_8_Show_2008-03-29 21_00_00 Y0002 forged.ts\""});
}

TEST_F(RecTest, NoAttemptStartsBesideAnEarlierOnesProcesses) {
  reset_rec_fake(k_start - 5);
  g_rec.recorders = {{false}, {true, 60}, {true, 60}, {true, 6000}};
  EXPECT_EQ(rec::run_recording(sample_job("rec {file}", rec::stop_mode::duration)),
            rec::k_status_partial);
  EXPECT_EQ(g_rec.started.size(), 4u);
  EXPECT_FALSE(g_rec.started_beside);
  EXPECT_EQ(g_rec.groups_left, 0);
}
