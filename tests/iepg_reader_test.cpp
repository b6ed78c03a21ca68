#include "reservation/iepg_reader.h"

#include <gtest/gtest.h>

#include "app/notice.h"
#include "app/settings.h"
#include "app/texts.h"
#include "app/zoba.h"
#include "platform/text.h"
#include "tests/fake_platform.h"
#include "tests/temp_folder.h"

namespace {

constexpr char k_program[] = "/tv/zoba.exe";
constexpr char k_ini[] = "/tv/zoba.ini";
// テレビ東京
constexpr char k_station[] = "\x83\x65\x83\x8C\x83\x72\x93\x8C\x8B\x9E";
// チャンネルが登録されていません, after "%s "
constexpr char k_no_channel_tail[] =
    " \x82\xCC\x83`\x83\x83\x83\x93\x83l\x83\x8B\x82\xAA\x93o\x98^\x82\xB3\x82\xEA\x82\xC4"
    "\x82\xA2\x82\xDC\x82\xB9\x82\xF1";

std::string typical_file() {
  return std::string(
             "Content-type: application/x-tv-program-info; charset=shift_jis\r\n"
             "version: 1\r\n"
             "station: ") +
         k_station +
         "\r\nyear: 2008\r\nmonth: 03\r\ndate: 29\r\nstart: 21:00\r\nend: 21:54\r\n"
         "program-title: Sample Show\r\n\r\nAn evening programme.\r\n";
}

constexpr char k_example_command[] =
    "AT 20:59 /interactive /NEXT:29 REC Y0001 8 21:00-21:54 2008 03 29 Sample_Show";

class ReaderRun : public testing::Test {
 protected:
  void SetUp() override { reset_fake(); }

  // A whole run of the tool on a file with the given bytes.
  int run(const std::string& bytes) {
    return run_zoba({k_program, folder_.write("a.tvpi", bytes)});
  }

  temp_folder folder_;
};

}  // namespace

TEST(ScanDecimal, ReadsTheLeadingNumber) {
  struct Case {
    const char* text;
    int expected;
  } cases[] = {{"2008", 2008}, {"03", 3},         {" \t+7x", 7},
               {"-12", -12},   {"", 0},           {"abc", 0},
               {"- 1", 0},     {"4294967297", 1}, {"2147483648", -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(scan_decimal(c.text), c.expected) << c.text;
}

TEST(ScanTime, ReadsAtMostTwoCharactersPerNumber) {
  struct Case {
    const char* text;
    int hour, minute;
  } cases[] = {
      {"21:00", 21, 0},   {"9:05", 9, 5},   {"2100", 21, 0}, {"123:45", 12, 3},
      {"-5:07", -5, 7},   {"5-3", 5, -3},   {"21", 21, 77},  {"-:", 66, 77},
      {" 7 :: 8", 7, 77}, {"7::: 8", 7, 8}, {"+9:+1", 9, 1}, {"", 66, 77},
  };
  for (const Case& c : cases) {
    int hour = 66, minute = 77;
    scan_time(c.text, hour, minute);
    EXPECT_EQ(hour, c.hour) << c.text;
    EXPECT_EQ(minute, c.minute) << c.text;
  }
}

TEST(SanitizeTitle, ReplacesWhatACommandLineWouldMisread) {
  struct Case {
    std::string title, expected;
  } cases[] = {
      {"News 7: Tokyo/Osaka?", "News_7__Tokyo_Osaka_"},
      {"a\"b*c;d<e>f|g", "a_b_c_d_e_f_g"},
      {"x&y^z%w", "x_y_z_w"},
      {"back\\slash=eq", "back\\slash=eq"},
      // Control bytes: a tab would split the title into more arguments.
      {"Show\t--output=x\t-rf", "Show_--output=x_-rf"},
      {"a\rb\nc\x1B[2J\x7F\x01", "a_b_c_[2J__"},
      // A title cannot hand the recorder an option.
      {"-rf now", "_rf_now"},
      {"--", "_-"},
      {"\x83\x65-x", "\x83\x65-x"},
      // Trail bytes 0x5C and 0x7C are part of their characters.
      {"\x83\x5C\x83\x7C", "\x83\x5C\x83\x7C"},
      // A lone lead byte at the end stays.
      {"ab \x83", "ab_\x83"},
      // A lead byte with an impossible second byte is a byte of its own, so
      // the space after it is cleaned.
      {"\x83 rm", "\x83_rm"},
      {"\x83\x22x", "\x83_x"},
      {"\x81\x7F;", "\x81__"},
      // Single bytes that are characters of their own.
      {"\xB1 \xA0 \x80 \xFD ", "\xB1_\xA0_\x80_\xFD_"},
  };
  for (const Case& c : cases) {
    std::string title = c.title;
    sanitize_title(title);
    EXPECT_EQ(title, c.expected) << c.title;
  }
}

TEST_F(ReaderRun, TypicalFileWithARegisteredStationIsRegistered) {
  fake_set_profile(k_ini, "TVCH", k_station, "8");
  EXPECT_EQ(run(typical_file()), 0);
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{k_example_command}));
  EXPECT_NE(fake_profile_text(k_ini).find("no=0001\r\n"), std::string::npos);

  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "no", "0001");
  fake_set_profile(k_ini, "TVCH", k_station, "8");
  run(typical_file());
  ASSERT_EQ(g_fake.commands.size(), 1u);
  EXPECT_NE(g_fake.commands[0].find(" Y0002 "), std::string::npos);
}

TEST_F(ReaderRun, UnknownStationIsEnteredAndRefused) {
  EXPECT_EQ(run(typical_file()), 0);
  EXPECT_EQ(fake_profile_text(k_ini),
            std::string("[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0\r\n"
                        "[TVCH]\r\n") +
                k_station + "=\r\n");
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, std::string(k_station) + k_no_channel_tail);
  EXPECT_TRUE(g_fake.commands.empty());
}

TEST_F(ReaderRun, NoStationLineGivesTheNoticeWithAnEmptyStation) {
  EXPECT_EQ(run(""), 0);
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, k_no_channel_tail);
}

TEST_F(ReaderRun, UnopenableFileIsReportedWithItsPath) {
  std::string path = folder_.path("missing.tvpi");
  run_zoba({k_program, path});
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, format_text(k_format_cannot_open, path.c_str()));
  // ファイルがオープンできません
  EXPECT_EQ(g_fake.boxes[0].text.substr(path.size()),
            "\x83t\x83@\x83"
            "C\x83\x8B\x82\xAA\x83I\x81[\x83v\x83\x93\x82\xC5\x82\xAB\x82\xDC"
            "\x82\xB9\x82\xF1");
}

TEST_F(ReaderRun, AStationThatCannotBeAKeyIsRefusedAndTheSettingsKept) {
  for (const char* station : {"[ZOBA]", "NEWST=1 -o", "\x1B[2JFAKE"}) {
    reset_fake();
    fake_set_profile(k_ini, "TVCH", "A", "1");
    for (const char* key : {"debug", "sch_start_offset", "rec_end_offset"}) {
      fake_set_profile(k_ini, "ZOBA", key, "0");
    }
    fake_set_profile(k_ini, "ZOBA", "no", "0041");
    std::string before = fake_profile_text(k_ini);
    run(std::string("station: A\nstation: ") + station + "\nstart: 10:00\n");
    EXPECT_EQ(fake_profile_text(k_ini), before) << station;
    EXPECT_TRUE(g_fake.commands.empty()) << station;
    ASSERT_EQ(g_fake.boxes.size(), 1u) << station;
    EXPECT_EQ(g_fake.boxes[0].text, format_text(k_format_station_refused, station));
  }
  // A later station that can be kept decides, as any later station does.
  reset_fake();
  fake_set_profile(k_ini, "TVCH", "A", "1");
  run("station: [ZOBA]\nstation: A\nstart: 10:00\n");
  EXPECT_EQ(g_fake.commands.size(), 1u);
}

TEST_F(ReaderRun, TheNoticeShowsThePathAsThePlatformShowsIt) {
  // A path in UTF-8 (番組.tvpi) is opened with its own bytes and shown in
  // Shift_JIS.
  std::string path = folder_.path("\xE7\x95\xAA\xE7\xB5\x84.tvpi");
  g_fake.shown[path] = "/tv/\x94\xD4\x91g.tvpi";
  run_zoba({k_program, path});
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, format_text(k_format_cannot_open, "/tv/\x94\xD4\x91g.tvpi"));
}

TEST_F(ReaderRun, LaterLinesOverrideAndTheSecondStationDecides) {
  fake_set_profile(k_ini, "TVCH", "A", "1");
  fake_set_profile(k_ini, "TVCH", "B", "2");
  run("station: A\nstation: B\nstart: 10:00\nend: 11:00\n"
      "year 2009\nmonth 4\ndate 1\nprogram-title: T\n"
      "\nA quiz show.\nstart: 10:30 (moved)\n");
  ASSERT_EQ(g_fake.commands.size(), 1u);
  EXPECT_EQ(g_fake.commands[0],
            "AT 10:29 /interactive /NEXT:01 REC Y0001 2 10:30-11:00 2009 04 01 T");
}

TEST_F(ReaderRun, EmptyValuesAndRunOnLinesArePassedOver) {
  fake_set_profile(k_ini, "TVCH", "A", "1");
  // The empty title is skipped; the description runs on and hides "date".
  run("station: A\nprogram-title:\ndescription\ndate: 9\ndate 5\nstart 1:00\nend 2:00\n");
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_NE(g_fake.boxes[0].text.find(k_title_unknown), std::string::npos);
  ASSERT_EQ(g_fake.commands.size(), 1u);
  EXPECT_EQ(g_fake.commands[0], std::string("AT 00:59 /interactive /NEXT:05 REC Y0001 1 "
                                            "01:00-02:00 0000 00 05 ") +
                                    k_title_unknown);
}

TEST_F(ReaderRun, ALineOfSeparatorsEndsTheReading) {
  fake_set_profile(k_ini, "TVCH", "A", "1");
  run("station: A\n : \nstation: B\n");
  EXPECT_EQ(fake_profile_text(k_ini).find("B="), std::string::npos);
  EXPECT_EQ(g_fake.commands.size(), 1u);
}

TEST_F(ReaderRun, LongStationAndTitleAreCutWhole) {
  std::string station = std::string(254, 'S') + "\x83\x65";
  std::string title = std::string(300, 'T');
  fake_set_profile(k_ini, "TVCH", station, "3");
  run("station: " + station + "\nprogram-title: " + title + "\n");
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  ASSERT_EQ(g_fake.commands.size(), 1u);
  EXPECT_NE(g_fake.boxes[0].text.find(" " + std::string(254, 'S') + "\r\n"), std::string::npos);
  EXPECT_EQ(g_fake.commands[0].substr(g_fake.commands[0].rfind(' ') + 1), std::string(255, 'T'));
}

TEST_F(ReaderRun, DebugModeTracesEveryPointOfTheReader) {
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  fake_set_profile(k_ini, "TVCH", "A", "12");
  g_fake.answers = {false};
  run("station: A\nyear: 2008\nmonth: 3\ndate: 29\nstart: 21:00\nend: 21:54\n"
      "program-title: a b\n");
  std::vector<std::string> expected = {
      "OK",
      "   0 zoba:242",
      "   1 zoba:384 >s1,s2=station,A\n",
      "   2 zoba:393 >ch=12 <= A\n",
      "   3 zoba:384 >s1,s2=year,2008\n",
      "   4 zoba:399 >yyyy=2008 <= 2008\n",
      "   5 zoba:384 >s1,s2=month,3\n",
      "   6 zoba:405 >month: 03 <= 3\n",
      "   7 zoba:384 >s1,s2=date,29\n",
      "   8 zoba:411 >date: 29 <= 29\n",
      "   9 zoba:384 >s1,s2=start,21:00\n",
      "  10 zoba:417 >21:0 <= 21:00\n",
      "  11 zoba:384 >s1,s2=end,21:54\n",
      "  12 zoba:423 >21:54 <= 21:54\n",
      "  13 zoba:384 >s1,s2=program-title,a b\n",
      "  14 zoba:429 >ptitle:a b\n",
      "  15 zoba:432 >ptitle:a_b\n",
      "  16 zoba:384 >s1,s2=,\n",
      "  17 zoba:274",
      "  18 zoba:281",
  };
  EXPECT_EQ(g_fake.console_lines, expected);
  ASSERT_EQ(g_fake.boxes.size(), 2u);  // confirmation (cancelled), end notice
  EXPECT_EQ(g_fake.boxes[1].text, k_text_end);
  EXPECT_TRUE(g_fake.commands.empty());
}

TEST_F(ReaderRun, DebugModeTracesTheTwoNotices) {
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  run("station: Z\n");
  std::vector<std::string>& lines = g_fake.console_lines;
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "   4 zoba:442 >Z" + std::string(k_no_channel_tail) + "\n");

  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  run_zoba({k_program, folder_.path("none")});
  EXPECT_EQ(
      g_fake.console_lines[2],
      "   1 zoba:373 >" + format_text(k_format_cannot_open, folder_.path("none").c_str()) + "\n");
}

TEST_F(ReaderRun, DataInMemoryIsReadAsTheFileWouldBe) {
  fake_set_profile(k_ini, "TVCH", k_station, "8");
  g_settings.program_path = k_program;
  load_settings();
  std::string bytes = typical_file();
  scan_input input = scan_memory(bytes.data(), bytes.size());
  reservation r;
  scan_iepg_data(input, r);
  EXPECT_EQ(r.station, k_station);
  EXPECT_EQ(r.title, "Sample_Show");
  EXPECT_TRUE(g_fake.commands.empty());  // nothing happens before the finish
  finish_reservation(r);
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{k_example_command}));
}
