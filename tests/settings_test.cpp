#include "app/settings.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"

namespace {

constexpr char k_ini[] = "C:\\tv\\zoba.ini";

void load_with_program(const char* program) {
  g_settings.program_path = program;
  load_settings();
}

}  // namespace

TEST(SettingsPath, ReplacesAThreeLetterExtensionOrAppends) {
  struct Case {
    const char* program;
    const char* expected;
  } cases[] = {
      {"C:\\tv\\reserve.exe", "C:\\tv\\reserve.ini"},
      {"C:\\tv\\zoba", "C:\\tv\\zoba.ini"},
      {"C:\\tv\\zoba.ex", "C:\\tv\\zoba.ex.ini"},
      {"/opt/zoba/bin/zoba", "/opt/zoba/bin/zoba.ini"},
      {".exe", ".exe.ini"},  // length must be greater than 4
      {"a.exe", "a.ini"},
      {"", ".ini"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(settings_path_for(c.program), c.expected) << c.program;
  }
}

TEST(LoadSettings, FreshFileGetsTheDefaultsInOrder) {
  reset_fake();
  load_with_program("C:\\tv\\zoba.exe");
  EXPECT_EQ(g_settings.settings_path, k_ini);
  EXPECT_EQ(g_fake.writes,
            (std::vector<std::string>{"ZOBA/debug=0", "ZOBA/sch_start_offset=-1",
                                      "ZOBA/rec_end_offset=0", "ZOBA/no=0", "ZOBA/tuners=1"}));
  EXPECT_EQ(fake_profile_text(k_ini),
            "[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0\r\ntuners=1\r\n");
  EXPECT_EQ(g_settings.debug, 0);
  EXPECT_EQ(g_settings.sch_start_offset, -1);
  EXPECT_EQ(g_settings.rec_end_offset, 0);
  EXPECT_EQ(g_settings.reservation_number, 0);
  EXPECT_EQ(g_fake.console_opens, 0);
}

TEST(LoadSettings, WritesOnlyMissingKeysAndTreatsMinus999AsMissing) {
  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "2");
  fake_set_profile(k_ini, "ZOBA", "sch_start_offset", "-999");
  fake_set_profile(k_ini, "ZOBA", "no", "41");
  fake_set_profile(k_ini, "ZOBA", "tuners", "2");
  load_with_program("C:\\tv\\zoba.exe");
  EXPECT_EQ(g_fake.writes,
            (std::vector<std::string>{"ZOBA/sch_start_offset=-1", "ZOBA/rec_end_offset=0"}));
  EXPECT_EQ(g_settings.tuners, 2);
  EXPECT_EQ(g_settings.debug, 2);
  EXPECT_EQ(g_settings.sch_start_offset, -1);
  EXPECT_EQ(g_settings.reservation_number, 41);
  EXPECT_EQ(g_fake.console_opens, 0);  // only 1 means debug
}

TEST(LoadSettings, DebugOneOpensTheConsoleBeforeTheOtherKeysAreRead) {
  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  load_with_program("C:\\tv\\zoba.exe");
  EXPECT_EQ(g_fake.console_opens, 1);
  EXPECT_EQ(g_fake.console_lines, (std::vector<std::string>{"OK"}));
}

TEST(LookupChannel, CutsToSevenBytesAndEntersNewStations) {
  reset_fake();
  g_settings.settings_path = k_ini;
  fake_set_profile(k_ini, "TVCH", "NHK", "1");
  fake_set_profile(k_ini, "TVCH", "LONG", "123456789");
  fake_set_profile(k_ini, "TVCH", "EMPTY", "");
  new_stations pending;
  EXPECT_EQ(lookup_channel("NHK", pending), "1");
  EXPECT_EQ(lookup_channel("nhk", pending), "1");
  EXPECT_EQ(lookup_channel("LONG", pending), "1234567");
  EXPECT_TRUE(g_fake.writes.empty());
  EXPECT_EQ(lookup_channel("EMPTY", pending), "");
  EXPECT_EQ(lookup_channel("\x83\x65\x83\x8C\x83\x72", pending), "");
  EXPECT_EQ(lookup_channel("\x83\x65\x83\x8C\x83\x72", pending), "");
  // Entered at once, in one write, each station once.
  EXPECT_EQ(g_fake.key_batches, 0);
  EXPECT_TRUE(store_new_stations(pending));
  EXPECT_TRUE(store_new_stations(pending));
  EXPECT_EQ(g_fake.key_batches, 2);
  EXPECT_EQ(fake_profile_text(k_ini),
            "[TVCH]\r\nNHK=1\r\nLONG=123456789\r\nEMPTY=\r\n\x83\x65\x83\x8C\x83\x72=\r\n");
}

TEST(LookupChannel, StationsThatCannotBeKeysAreNeitherReadNorWritten) {
  struct Case {
    const char* station;
    bool keepable;
  } cases[] = {
      {"NHK", true},         {"\x83\x65\x83\x8C\x83\x72", true},
      {"SPTV602", true},     {"a[b]", true},
      {"x;y", true},         {"", true},
      {"[ZOBA]", false},     {";comment", false},
      {"NEWST=1 -o", false}, {"=", false},
      {"a\tb", false},       {"\x1B[2JFAKE", false},
      {"del\x7F", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_keepable_station(c.station), c.keepable) << c.station;
    reset_fake();
    g_settings.settings_path = k_ini;
    fake_set_profile(k_ini, "ZOBA", "no", "0041");
    std::string before = fake_profile_text(k_ini);
    new_stations pending;
    lookup_channel(c.station, pending);
    store_new_stations(pending);
    EXPECT_EQ(fake_profile_text(k_ini) == before, !c.keepable) << c.station;
  }
}

TEST(ReservationNumber, IsFormattedWithFourDigitsAndStartsAgainAtOne) {
  struct Case {
    int before;
    int after;
    const char* stored;
  } cases[] = {
      {0, 1, "0001"},
      {9998, 9999, "9999"},
      {9999, 10000, "10000"},
      // A number no booking can write as "Y" and digits is never handed out.
      {-5, 1, "0001"},
      {2147483647, 1, "0001"},
  };
  for (const Case& c : cases) {
    reset_fake();
    g_settings.settings_path = k_ini;
    g_settings.reservation_number = c.before;
    EXPECT_TRUE(advance_reservation_number());
    EXPECT_EQ(g_settings.reservation_number, c.after);
    EXPECT_EQ(fake_profile_text(k_ini), std::string("[ZOBA]\r\nno=") + c.stored + "\r\n");
  }
}

TEST(ReservationNumber, ReportsAFailedWrite) {
  reset_fake();
  g_settings.settings_path = k_ini;
  g_fake.failing_write_keys = {"no"};
  EXPECT_FALSE(advance_reservation_number());
}

TEST(RecorderCommand, DefaultsToRecAndIsNeverWritten) {
  reset_fake();
  g_settings.settings_path = k_ini;
  EXPECT_EQ(read_recorder_command(), "REC");
  fake_set_profile(k_ini, "ZOBA", "rec_exec", "C:\\rec\\rec.bat -q");
  EXPECT_EQ(read_recorder_command(), "C:\\rec\\rec.bat -q");
  EXPECT_TRUE(g_fake.writes.empty());
}
