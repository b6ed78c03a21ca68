#include "reservation/register.h"

#include <gtest/gtest.h>

#include "app/booking.h"
#include "app/settings.h"
#include "platform/text.h"
#include "reservation/texts.h"
#include "tests/fake_platform.h"

namespace {

// テレビ東京
constexpr char k_station[] = "\x83\x65\x83\x8C\x83\x72\x93\x8C\x8B\x9E";

reservation example() {
  reservation r;
  r.station = k_station;
  r.channel = "8";
  r.title = "Sample_Show";
  r.year = 2008;
  r.month = 3;
  r.date = 29;
  r.start_hour = 21;
  r.start_minute = 0;
  r.end_hour = 21;
  r.end_minute = 54;
  r.launch_day = 29;
  r.launch_hour = 20;
  r.launch_minute = 59;
  return r;
}

// チャンネル:8 テレビ東京\r\n日時：2008/03/29 21:00-21:54\r\n
// 番組タイトル:Sample_Show\r\n起動時刻:03/29 20:59\r\n上記で予約しますか？
constexpr char k_example_confirmation[] =
    "\x83`\x83\x83\x83\x93\x83l\x83\x8B:8 \x83"
    "e\x83\x8C\x83r\x93\x8C\x8B\x9E\r\n"
    "\x93\xFA\x8E\x9E\x81"
    "F2008/03/29 21:00-21:54\r\n"
    "\x94\xD4\x91g\x83^\x83"
    "C\x83g\x83\x8B:Sample_Show\r\n"
    "\x8BN\x93\xAE\x8E\x9E\x8D\x8F:03/29 20:59\r\n"
    "\x8F\xE3\x8BL\x82\xC5\x97\\\x96\xF1\x82\xB5\x82\xDC\x82\xB7\x82\xA9\x81H";

constexpr char k_example_command[] =
    "AT 20:59 /interactive /NEXT:29 REC Y0001 8 21:00-21:54 2008 03 29 Sample_Show";

// 登録しました
constexpr char k_registered[] = "\x93o\x98^\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

constexpr char k_ini[] = "C:\\tv\\zoba.ini";

// The registration of one reservation, as the first of a run.
bool register_first(const reservation& r) {
  booking_run run;
  return register_reservation(run, r);
}

void prepare(int no) {
  reset_fake();
  g_settings.settings_path = k_ini;
  g_settings.reservation_number = no;
}

}  // namespace

TEST(Confirmation, ShowsTheFiveLines) {
  EXPECT_EQ(format_confirmation(example()), k_example_confirmation);
}

TEST(Confirmation, APositionInAFileOfSeveralIsTheFirstLine) {
  struct Case {
    programme_position position;
    std::string head;
  } cases[] = {
      {{0, 0}, ""},
      // 番組 2/5, 番組 10000/10000
      {{2, 5}, "\x94\xD4\x91g 2/5\r\n"},
      {{10000, 10000}, "\x94\xD4\x91g 10000/10000\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_confirmation(example(), c.position), c.head + k_example_confirmation);
  }
  // A long station and title: the whole still fits the formatter's limit.
  reservation r = example();
  r.station = std::string(255, 'S');
  r.title = std::string(255, 'T');
  std::string text = format_confirmation(r, {3, 4});
  EXPECT_EQ(text.substr(0, 10), "\x94\xD4\x91g 3/4\r\n");
  EXPECT_EQ(text.substr(10), format_confirmation(r));
}

TEST(Confirmation, PrintsAStartMinuteOf60AsIs) {
  reservation r = example();
  r.start_minute = 60;
  std::string text = format_confirmation(r);
  EXPECT_NE(text.find("2008/03/29 21:60-21:54"), std::string::npos);
  EXPECT_NE(format_scheduler_command(r, "REC", 1).find(" 21:60-21:54 "), std::string::npos);
}

TEST(SchedulerCommand, PlacesEveryFieldInOrder) {
  EXPECT_EQ(format_scheduler_command(example(), "REC", 1), k_example_command);
  reservation r = example();
  r.launch_day = 0;
  r.launch_hour = 23;
  r.launch_minute = 5;
  r.year = 12345;
  EXPECT_EQ(format_scheduler_command(r, "C:\\rec\\rec.bat -q --hd", 10000),
            "AT 23:05 /interactive /NEXT:00 C:\\rec\\rec.bat -q --hd Y10000 8 "
            "21:00-21:54 12345 03 29 Sample_Show");
}

TEST(RegistrationNotice, TellsSuccessFromEachFailure) {
  EXPECT_EQ(format_registration_notice("AT x", {true, 0, ""}),
            std::string("AT x\n") + k_registered);
  // 登録できませんでした（コマンドを起動できません）
  EXPECT_EQ(format_registration_notice("AT x", {false, 0, ""}),
            "AT x\n\x93o\x98^\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"
            "\x81i\x83R\x83}\x83\x93\x83h\x82\xF0\x8BN\x93\xAE\x82\xC5\x82\xAB\x82\xDC\x82\xB9"
            "\x82\xF1\x81j");
  // 登録できませんでした（終了コード 4294967295）
  EXPECT_EQ(format_registration_notice("AT x", {true, 4294967295UL, ""}),
            "AT x\n\x93o\x98^\x82\xC5\x82\xAB\x82\xDC\x82\xB9\x82\xF1\x82\xC5\x82\xB5\x82\xBD"
            "\x81i\x8FI\x97\xB9\x83R\x81[\x83h 4294967295\x81j");
}

TEST(RegistrationNotice, AFailureShowsTheFirstLinesTheSchedulerWrote) {
  std::string failed = format_registration_notice("AT x", {true, 5, ""});
  struct Case {
    scheduler_outcome result;
    std::string expected;
  } cases[] = {
      {{true, 5, "AT: atd is not running\n"}, failed + "\nAT: atd is not running"},
      {{true, 5, "\r\none\r\n\r\ntwo\nthree\nfour\n"}, failed + "\none\ntwo\nthree"},
      {{true, 0, "job 7 at Tue Dec  8 20:59:00 2026\n"},
       format_registration_notice("AT x", {true, 0, ""})},
      {{false, 0, "why"}, format_registration_notice("AT x", {false, 0, ""}) + "\nwhy"},
      {{true, 5, std::string(2000, 'x')}, (failed + "\n" + std::string(2000, 'x')).substr(0, 1023)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_registration_notice("AT x", c.result), c.expected) << c.result.output;
  }
}

TEST(RegisterReservation, OkStoresTheNumberThenRunsTheCommand) {
  prepare(0);
  register_first(example());
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_TRUE(g_fake.boxes[0].ok_cancel);
  EXPECT_EQ(g_fake.boxes[0].text, k_example_confirmation);
  EXPECT_EQ(g_fake.writes, (std::vector<std::string>{"ZOBA/no=0001"}));
  EXPECT_EQ(g_fake.commands, (std::vector<std::string>{k_example_command}));
  EXPECT_FALSE(g_fake.boxes[1].ok_cancel);
  EXPECT_EQ(g_fake.boxes[1].text, std::string(k_example_command) + "\n" + k_registered);
}

TEST(RegisterReservation, CancelWritesAndRunsNothing) {
  prepare(7);
  g_fake.answers = {false};
  register_first(example());
  EXPECT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_TRUE(g_fake.writes.empty());
  EXPECT_TRUE(g_fake.commands.empty());
  EXPECT_EQ(g_settings.reservation_number, 7);
}

TEST(RegisterReservation, UsesTheRecorderCommandOfTheSettings) {
  prepare(1);
  fake_set_profile(k_ini, "ZOBA", "rec_exec", "C:\\rec\\rec.bat /hd");
  // The scheduler gets the recorder as the settings hold it and the title
  // in the system's encoding; the user is shown the tool's own text.
  g_fake.system["Sample_Show"] = "SYSTEM_TITLE";
  g_fake.shown["C:\\rec\\rec.bat /hd"] = "SHOWN_REC";
  register_first(example());
  EXPECT_EQ(g_fake.commands,
            (std::vector<std::string>{"AT 20:59 /interactive /NEXT:29 C:\\rec\\rec.bat /hd "
                                      "Y0002 8 21:00-21:54 2008 03 29 SYSTEM_TITLE"}));
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.boxes[1].text.substr(0, 62),
            "AT 20:59 /interactive /NEXT:29 SHOWN_REC Y0002 8 21:00-21:54 2");
}

TEST(RegisterReservation, AControlByteInTheRecorderOrTheChannelIsRefused) {
  const std::pair<const char*, const char*> cases[] = {
      {"rec\x01x", "rec_exec"},
      {"rec", "[TVCH] \x83\x65\x83\x8C\x83\x72\x93\x8C\x8B\x9E"},
  };
  for (const auto& [recorder, setting] : cases) {
    prepare(0);
    fake_set_profile(k_ini, "ZOBA", "rec_exec", recorder);
    reservation r = example();
    if (std::string(setting) != "rec_exec") r.channel = "8\x1B[2J";
    register_first(r);
    EXPECT_TRUE(g_fake.writes.empty()) << setting;
    EXPECT_TRUE(g_fake.commands.empty()) << setting;
    ASSERT_EQ(g_fake.boxes.size(), 1u) << setting;
    EXPECT_EQ(g_fake.boxes[0].text, format_text(k_format_control_bytes, setting));
  }
}

TEST(RegisterReservation, AFailingSchedulerIsNotReportedAsSuccess) {
  prepare(0);
  g_fake.process = {true, 1, ""};
  register_first(example());
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.boxes[1].text.find(k_registered), std::string::npos);
  EXPECT_NE(g_fake.boxes[1].text.find(" 1\x81j"), std::string::npos);
  // The number stays used up.
  EXPECT_EQ(g_fake.writes, (std::vector<std::string>{"ZOBA/no=0001"}));

  prepare(0);
  g_fake.process = {false, 0, ""};
  register_first(example());
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.boxes[1].text, format_registration_notice(k_example_command, {false, 0, ""}));
}

TEST(RegisterReservation, AnUnstoredNumberStopsTheRegistration) {
  // ...に書き込めないため予約を中止しました, after the settings path as the
  // platform shows it.
  const std::string tail =
      "\x82\xC9\x8F\x91\x82\xAB\x8D\x9E\x82\xDF\x82\xC8\x82\xA2\x82\xBD"
      "\x82\xDF\x97\\\x96\xF1\x82\xF0\x92\x86\x8E~\x82\xB5\x82\xDC\x82\xB5\x82\xBD";
  for (const char* shown : {k_ini, "shown.ini"}) {
    prepare(0);
    g_fake.failing_write_keys = {"no"};
    g_fake.shown[k_ini] = shown;
    register_first(example());
    EXPECT_TRUE(g_fake.commands.empty());
    ASSERT_EQ(g_fake.boxes.size(), 2u);
    EXPECT_EQ(g_fake.boxes[1].text, shown + tail);
  }
  // A file the platform will not write names the line why.
  prepare(0);
  g_fake.failing_write_keys = {"no"};
  g_fake.unwritable_line = 3;
  register_first(example());
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.boxes[1].text,
            format_text(k_format_settings_unwritable, k_ini, 3ul) + "\n" + k_ini + tail);
}
