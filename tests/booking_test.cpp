#include "app/booking.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/notice.h"
#include "app/settings.h"
#include "app/zoba.h"
#include "platform/text.h"
#include "reservation/texts.h"
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

// A one-programme file is opened once and read again from its first byte.
TEST_F(ReaderRun, TypicalFileWithARegisteredStationIsRegistered) {
  fake_set_profile(k_ini, "TVCH", k_station, "8");
  EXPECT_EQ(run(typical_file()), 0);
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{k_example_command}));
  EXPECT_EQ(g_fake.input_opens, 1);
  EXPECT_EQ(g_fake.rewinds, 1);
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
                        "tuners=1\r\n[TVCH]\r\n") +
                k_station + "=\r\n");
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, std::string(k_station) + k_no_channel_tail);
  EXPECT_TRUE(g_fake.commands.empty());

  // A settings file that is never written: the notice names its line.
  reset_fake();
  g_fake.unwritable_line = 4;
  run(typical_file());
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, std::string(k_station) + k_no_channel_tail + "\r\n" +
                                      format_text(k_format_settings_unwritable, k_ini, 4ul));
}

TEST_F(ReaderRun, NoStationLineGivesTheNoticeWithAnEmptyStation) {
  EXPECT_EQ(run(""), 0);
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, k_no_channel_tail);
}

TEST_F(ReaderRun, UnopenableFileIsReportedWithItsPathAsThePlatformShowsIt) {
  // ファイルがオープンできません, after the path.
  const std::string tail =
      "\x83t\x83@\x83"
      "C\x83\x8B\x82\xAA\x83I\x81[\x83v\x83\x93\x82\xC5\x82\xAB\x82\xDC"
      "\x82\xB9\x82\xF1";
  // A path in UTF-8 (番組.tvpi) is opened with its own bytes and shown in
  // Shift_JIS.
  std::string japanese = folder_.path("\xE7\x95\xAA\xE7\xB5\x84.tvpi");
  std::string missing = folder_.path("missing.tvpi");
  const std::pair<std::string, std::string> cases[] = {{missing, missing},
                                                       {japanese, "/tv/\x94\xD4\x91g.tvpi"}};
  for (const auto& [path, shown] : cases) {
    reset_fake();
    g_fake.shown[path] = shown;
    run_zoba({k_program, path});
    ASSERT_EQ(g_fake.boxes.size(), 1u);
    EXPECT_EQ(g_fake.boxes[0].text, shown + tail);
  }
}

// A file that names its station by a code shows the name people know
// beside it; the settings key stays the code. フジテレビ
TEST_F(ReaderRun, AStationNameIsShownBesideTheCode) {
  const std::string name =
      "\x83t\x83W\x83"
      "e\x83\x8C\x83r";
  const std::string file = "station: DFS00420\r\nstation-name: " + name +
                           "\r\nyear: 2008\r\nmonth: 3\r\ndate: 29\r\nstart: 21:00\r\n";
  run(file);
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, "DFS00420\x81i" + name + "\x81j" + k_no_channel_tail);
  EXPECT_NE(fake_profile_text(k_ini).find("[TVCH]\r\nDFS00420=\r\n"), std::string::npos);
  reset_fake();
  fake_set_profile(k_ini, "TVCH", "DFS00420", "8");
  run(file);
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  std::string head =
      std::string("\x83`\x83\x83\x83\x93\x83l\x83\x8B:8 DFS00420\x81i") + name + "\x81j\r\n";
  EXPECT_EQ(g_fake.boxes[0].text.substr(0, head.size()), head);
}

// Which names cannot be keys is the settings table's; here, what the run
// does with one.
TEST_F(ReaderRun, AStationThatCannotBeAKeyIsRefusedAndTheSettingsKept) {
  fake_set_profile(k_ini, "TVCH", "A", "1");
  for (const char* key : {"debug", "sch_start_offset", "rec_end_offset", "tuners"}) {
    fake_set_profile(k_ini, "ZOBA", key, "0");
  }
  fake_set_profile(k_ini, "ZOBA", "no", "0041");
  std::string before = fake_profile_text(k_ini);
  run("station: A\nstation: [ZOBA]\nstart: 10:00\n");
  EXPECT_EQ(fake_profile_text(k_ini), before);
  EXPECT_TRUE(g_fake.commands.empty());
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, format_text(k_format_station_refused, "[ZOBA]"));
  // A later station that can be kept decides, as any later station does.
  reset_fake();
  fake_set_profile(k_ini, "TVCH", "A", "1");
  run("station: [ZOBA]\nstation: A\nstart: 10:00\n");
  EXPECT_EQ(g_fake.commands.size(), 1u);
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

TEST_F(ReaderRun, EveryStationLookedUpIsEnteredWhetherBookedOrCancelled) {
  for (bool ok : {true, false}) {
    reset_fake();
    fake_set_profile(k_ini, "TVCH", "X", "8");
    g_fake.answers = {ok};
    run("station: NEW\nstation: X\nstart: 10:00\nend: 11:00\n");
    EXPECT_EQ(g_fake.commands.size(), ok ? 1u : 0u);
    EXPECT_NE(fake_profile_text(k_ini).find("[TVCH]\r\nX=8\r\nNEW=\r\n"), std::string::npos) << ok;
  }
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
  scanned_programme scanned;
  scan_iepg_data(input, scanned, false);
  booking_run booking;
  reservation r = look_up_stations(booking, scanned);
  EXPECT_EQ(r.station, k_station);
  EXPECT_EQ(r.title, "Sample_Show");
  EXPECT_TRUE(g_fake.commands.empty());  // nothing happens before the finish
  finish_reservation(booking, r);
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{k_example_command}));
}

namespace {

// 番組, the head of the position line of a file of several programmes.
constexpr char k_programme_word[] = "\x94\xD4\x91g";
// チャンネル:, the head of the confirmation of a one-programme file.
constexpr char k_channel_word[] = "\x83`\x83\x83\x83\x93\x83l\x83\x8B:";

constexpr char k_list_header[] =
    "Content-type: application/x-multi-tv-program-info; charset=shift_jis\r\n"
    "version: 1\r\n"
    "boundary: XXXBOUNDARYXXX\r\n"
    "multi-program-title: my list\r\n"
    "\r\n";
constexpr char k_boundary_line[] = "XXXBOUNDARYXXX\r\n";

constexpr char k_listed_times[] = "start: 17:00\r\nend: 17:30\r\n";

// A block as a guide writes it: its own Content-type, a description with
// colons, and an empty line before the next boundary line.
std::string block(const std::string& station, const std::string& title,
                  const std::string& times = k_listed_times) {
  return "Content-type: application/x-tv-program-info; charset=shift_jis\r\nversion: 1\r\n"
         "station: " +
         station + "\r\nyear: 2026\r\nmonth: 12\r\ndate: 08\r\n" + times +
         "program-title: " + title + "\r\n\r\nLive: from the track.\r\n\r\n";
}

// The header, then each block after a boundary line, then a closing one.
std::string list_file(const std::vector<std::string>& blocks) {
  std::string file = k_list_header;
  for (const std::string& b : blocks) file += k_boundary_line + b;
  return file + k_boundary_line;
}

std::string listed_command(int no, const char* channel, const char* title) {
  return format_text("AT 16:59 /interactive /NEXT:08 REC Y%04d %s 17:00-17:30 2026 12 08 %s", no,
                     channel, title);
}

std::string position(int index, int count) {
  return format_text("%s %d/%d\r\n", k_programme_word, index, count);
}

class ListRun : public ReaderRun {
 protected:
  void SetUp() override {
    ReaderRun::SetUp();
    fake_set_profile(k_ini, "TVCH", "A", "1");
    fake_set_profile(k_ini, "TVCH", "B", "2");
    fake_set_profile(k_ini, "TVCH", "C", "3");
  }

  std::vector<std::string> texts() const {
    std::vector<std::string> all;
    for (const fake_box& box : g_fake.boxes) all.push_back(box.text);
    return all;
  }

  std::string abc_file() const {
    return list_file({block("A", "First"), block("B", "Second"), block("C", "Third")});
  }
};

}  // namespace

TEST_F(ListRun, EachProgrammeIsConfirmedWithItsPositionAndBooked) {
  run(abc_file());
  std::vector<std::string> commands = {listed_command(1, "1", "First"),
                                       listed_command(2, "2", "Second"),
                                       listed_command(3, "3", "Third")};
  EXPECT_EQ(g_fake.commands, commands);
  ASSERT_EQ(g_fake.boxes.size(), 6u);
  for (int k = 1; k <= 3; ++k) {
    const fake_box& question = g_fake.boxes[2 * (k - 1)];
    EXPECT_TRUE(question.ok_cancel);
    EXPECT_EQ(question.text.substr(0, position(k, 3).size()), position(k, 3));
    EXPECT_EQ(g_fake.boxes[2 * k - 1].text,
              format_text(k_format_registered, commands[k - 1].c_str()));
  }
  EXPECT_NE(fake_profile_text(k_ini).find("no=0003\r\n"), std::string::npos);
}

TEST_F(ListRun, SkipOrAFailureStopsOnlyThatProgramme) {
  using platform::programme_answer;
  g_fake.programme_answers = {programme_answer::book, programme_answer::skip,
                              programme_answer::book};
  g_fake.process = {true, 3, ""};
  run(abc_file());
  std::vector<std::string> commands = {listed_command(1, "1", "First"),
                                       listed_command(2, "3", "Third")};
  EXPECT_EQ(g_fake.commands, commands);
  ASSERT_EQ(g_fake.boxes.size(), 5u);
  // The question names its three answers; a failure tells which programme.
  EXPECT_TRUE(g_fake.boxes[0].text.ends_with(k_text_programme_answers));
  EXPECT_EQ(g_fake.boxes[1].text,
            position(1, 3) + format_registration_notice(commands[0], {true, 3, ""}));
  EXPECT_EQ(g_fake.boxes[2].text.substr(0, position(2, 3).size()), position(2, 3));
  EXPECT_EQ(g_fake.boxes[3].text.substr(0, position(3, 3).size()), position(3, 3));
  EXPECT_EQ(g_fake.boxes[4].text,
            position(3, 3) + format_registration_notice(commands[1], {true, 3, ""}));
  EXPECT_NE(fake_profile_text(k_ini).find("no=0002\r\n"), std::string::npos);
}

TEST_F(ListRun, StopHereAsksAndBooksNothingAfter) {
  using platform::programme_answer;
  g_fake.programme_answers = {programme_answer::skip, programme_answer::stop};
  run(abc_file());
  EXPECT_TRUE(g_fake.commands.empty());
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.boxes[1].text.substr(0, position(2, 3).size()), position(2, 3));
}

// The overlap rule is the conflicts table's; here, that a run reads the
// listing once, counts what it booked itself, and shows the line.
TEST_F(ListRun, TheQuestionNamesWhatTheBookingCollidesWith) {
  // ※ 重なる予約: / ※ 予約済み:
  const std::string overlap =
      "\x81\xA6 \x8F"
      "d\x82\xC8\x82\xE9\x97\\\x96\xF1: ";
  const std::string same = "\x81\xA6 \x97\\\x96\xF1\x8D\xCF\x82\xDD: ";
  g_fake.listing = {true, 0, "Y0040  2026/12/08 16:29  REC Y0040 9 16:30-17:10 2026 12 08 Old\n"};
  run(list_file({block("A", "First"), block("A", "First"), block("B", "Second")}));
  EXPECT_EQ(g_fake.listings, 1);
  ASSERT_EQ(g_fake.boxes.size(), 6u);
  EXPECT_NE(g_fake.boxes[0].text.find("\r\n" + overlap + "Y0040 9 16:30-17:10 Old\r\n"),
            std::string::npos);
  EXPECT_NE(g_fake.boxes[2].text.find("\r\n" + same + "Y0001 1 17:00-17:30 First\r\n"),
            std::string::npos);
  EXPECT_NE(g_fake.boxes[4].text.find(overlap + "Y0040 9 16:30-17:10 Old"), std::string::npos);
  EXPECT_EQ(g_fake.commands.size(), 3u);
}

TEST_F(ListRun, AListingNotReadWholeIsSaidBeforeEveryQuestion) {
  const std::string overlap = "Y0040 9 16:30-17:10 Old";
  const std::string listed = "Y0040  2026/12/08 16:29  REC Y0040 9 16:30-17:10 2026 12 08 Old\n";
  struct Case {
    bool timed_out;
    bool cut;
    std::string note;  // the last line before the question
    bool compared;     // whether the listed reservation was compared at all
  } cases[] = {
      {true, false, format_text(k_format_listing_timed_out, 5L), false},
      {false, true, k_text_listing_cut, true},
  };
  for (const Case& c : cases) {
    reset_fake();
    SetUp();
    g_fake.listing = {true, 0, listed, c.timed_out, c.cut};
    run(list_file({block("A", "First"), block("B", "Second")}));
    ASSERT_EQ(g_fake.boxes.size(), 4u);
    for (std::size_t box : {0u, 2u}) {
      const std::string& text = g_fake.boxes[box].text;
      EXPECT_NE(text.find("\r\n" + c.note + "\r\n"), std::string::npos) << box;
      EXPECT_EQ(text.find(overlap) != std::string::npos, c.compared) << box;
    }
    EXPECT_EQ(g_fake.listings, 1);
    EXPECT_EQ(g_fake.commands.size(), 2u);
  }
}

TEST_F(ListRun, ANumberBelowZeroStillNamesTheSameProgramme) {
  const std::string same = "\x81\xA6 \x97\\\x96\xF1\x8D\xCF\x82\xDD: ";
  for (const char* no : {"-5", "2147483647"}) {
    reset_fake();
    SetUp();
    fake_set_profile(k_ini, "ZOBA", "no", no);
    g_fake.listing = {true, 0, "Y0040  2026/12/08 16:59  REC Y0040 1 17:00-17:30 2026 12 08 Old\n"};
    run(list_file({block("A", "First")}));
    ASSERT_FALSE(g_fake.boxes.empty());
    EXPECT_NE(g_fake.boxes[0].text.find(same + "Y0040 1 17:00-17:30 Old"), std::string::npos) << no;
    ASSERT_EQ(g_fake.commands.size(), 1u);
    EXPECT_EQ(g_fake.commands[0], listed_command(1, "1", "First")) << no;
  }
}

TEST_F(ListRun, UnknownStationsAreToldOnceAtTheEndAndTheOthersBooked) {
  run(list_file({block("A", "First"), block("Z", "Second"), block("C", "Third"),
                 block("Y", "Fourth"), block("Z", "Fifth")}));
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{listed_command(1, "1", "First"),
                                                       listed_command(2, "3", "Third")}));
  ASSERT_EQ(g_fake.boxes.size(), 5u);
  EXPECT_EQ(g_fake.boxes[2].text.substr(0, position(3, 5).size()), position(3, 5));
  EXPECT_EQ(g_fake.boxes[4].text, format_text(k_format_no_channels, "Z\r\nY"));
  // Only those stations are entered, each once, in one write.
  EXPECT_NE(fake_profile_text(k_ini).find("[TVCH]\r\nA=1\r\nB=2\r\nC=3\r\nZ=\r\nY=\r\n[ZOBA]"),
            std::string::npos);
  EXPECT_EQ(g_fake.key_batches, 1);
}

TEST_F(ListRun, AFileChangedBetweenItsTwoPassesIsToldAndNeverBookedPastItsCount) {
  const std::string path = folder_.write("list.tvpi", abc_file());
  struct change_case {
    const char* name;
    std::string then;  // what the file holds once it has been counted
    std::size_t booked;
  } cases[] = {
      {"grown", abc_file() + block("B", "Fourth"), 3},
      {"changed in place", list_file({block("A", "Other"), block("B", "Second")}), 2},
  };
  for (const change_case& c : cases) {
    reset_fake();
    SetUp();
    folder_.write("list.tvpi", abc_file());
    g_fake.before_rewind = [&] { folder_.write("list.tvpi", c.then); };
    run_zoba({k_program, path});
    EXPECT_EQ(g_fake.rewinds, 1) << c.name;
    EXPECT_EQ(g_fake.commands.size(), c.booked) << c.name;
    for (const fake_box& box : g_fake.boxes) {
      EXPECT_EQ(box.text.find(position(4, 3)), std::string::npos) << c.name;
    }
    EXPECT_EQ(texts().back(), k_text_list_changed) << c.name;
  }
}

TEST_F(ListRun, EveryFieldStartsAfreshInEachBlock) {
  // The second block gives no end, no date and no title.
  run(list_file({block("A", "First", "start: 08:00\r\nend: 09:45\r\n"),
                 "station: B\r\nyear: 2027\r\nmonth: 1\r\nstart: 08:30\r\n"}));
  ASSERT_EQ(g_fake.commands.size(), 2u);
  EXPECT_EQ(g_fake.commands[1], std::string("AT 08:29 /interactive /NEXT:00 REC Y0002 2 "
                                            "08:30-00:00 2027 01 00 ") +
                                    k_title_unknown);
}

// As before: the last value of every key, no position line.
TEST_F(ListRun, AListHeaderWithoutABoundaryIsReadAsOneProgramme) {
  std::string header = k_list_header;
  header.erase(header.find("boundary: "), std::strlen("boundary: XXXBOUNDARYXXX\r\n"));
  struct Case {
    std::string file, command, head;
  } cases[] = {
      {header + k_boundary_line + block("A", "First") + k_boundary_line + block("B", "Second"),
       listed_command(1, "2", "Second"), "2 B\r\n"},
      // A boundary given after the header's empty line is no boundary either.
      {header + "boundary: XXXBOUNDARYXXX\r\n" + k_boundary_line + block("A", "First"),
       listed_command(1, "1", "First"), "1 A\r\n"},
  };
  for (const Case& c : cases) {
    reset_fake();
    SetUp();
    run(c.file);
    EXPECT_EQ(g_fake.commands, (std::vector<std::string>{c.command}));
    ASSERT_EQ(g_fake.boxes.size(), 2u);
    std::string head = k_channel_word + c.head;
    EXPECT_EQ(g_fake.boxes[0].text.substr(0, head.size()), head);
  }
}

// Which files hold no block is the block table's; here, that such a file
// books nothing and says so.
TEST_F(ListRun, NoBlocksBookNothing) {
  EXPECT_EQ(run(std::string(k_list_header) + k_boundary_line + " \r\n\t\r\n" + k_boundary_line), 0);
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text,
            format_text(k_format_no_programmes, folder_.path("a.tvpi").c_str()));
  EXPECT_TRUE(g_fake.commands.empty());
  EXPECT_NE(fake_profile_text(k_ini).find("no=0\r\n"), std::string::npos);
}

TEST_F(ListRun, DebugModeTracesEachBlockAsAFileAndEndsOnce) {
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  g_fake.programme_answers = {platform::programme_answer::skip};
  run(list_file({"station: A\r\nend: 9\r\n", "station: Z\r\n"}));
  std::vector<std::string> expected = {
      "OK",
      "   0 zoba:242",
      "   1 zoba:384 >s1,s2=station,A\n",
      "   2 zoba:393 >ch=1 <= A\n",
      "   3 zoba:384 >s1,s2=end,9\n",
      "   4 zoba:423 >9:0 <= 9\n",
      "   5 zoba:384 >s1,s2=,\n",
      "   6 zoba:384 >s1,s2=station,Z\n",
      "   7 zoba:393 >ch= <= Z\n",
      "   8 zoba:384 >s1,s2=,\n",
      // The empty block after the closing boundary line.
      "   9 zoba:384 >s1,s2=,\n",
      "  10 zoba:442 >" + format_text(k_format_no_channels, "Z") + "\n",
      "  11 zoba:274",
      "  12 zoba:281",
  };
  EXPECT_EQ(g_fake.console_lines, expected);
  ASSERT_EQ(texts().size(), 3u);
  EXPECT_EQ(texts()[0].substr(0, position(1, 2).size()), position(1, 2));
  EXPECT_EQ(texts()[1], format_text(k_format_no_channels, "Z"));
  EXPECT_EQ(texts()[2], k_text_end);
}

TEST_F(ListRun, LongBlocksAreReadAcrossTheBuffer) {
  // A description line longer than the read buffer, and a boundary line
  // that straddles the end of the second buffer's worth.
  std::string first = block("A", "First") + std::string(70000, 'd') + "\r\n";
  std::string head = std::string(k_list_header) + k_boundary_line + first;
  first += std::string(2 * k_scan_buffer_size - head.size() - 5, 'e') + "\r\n";
  run(list_file({first, block("B", "Second")}));
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{listed_command(1, "1", "First"),
                                                       listed_command(2, "2", "Second")}));
}

TEST_F(ListRun, ALongOneProgrammeFileIsOpenedOnceAndReadAgainFromItsFirstByte) {
  // No empty line before a long description: the look for a header takes
  // more than one read, and the file is read again from its start all the
  // same.
  run("station: A\nyear: 2026\nmonth: 12\ndate: 08\nstart: 17:00\nend: 17:30\n"
      "program-title: First\n" +
      std::string(70000, 'd') + "\n");
  EXPECT_EQ(g_fake.input_opens, 1);
  EXPECT_EQ(g_fake.rewinds, 1);
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{listed_command(1, "1", "First")}));
}
