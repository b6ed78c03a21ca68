#include "reservation/iepg_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"

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

TEST(CleanStationName, LeavesNoLineOrControlByteToShow) {
  struct Case {
    std::string name, expected;
  } cases[] = {
      {"\x83\x74\x83\x57", "\x83\x74\x83\x57"},
      {"NHK\r\n\x93\xFA\x8E\x9E: 2026/12/24", "NHK__\x93\xFA\x8E\x9E: 2026/12/24"},
      {"a\tb\x1B[2J\x7F", "a_b_[2J_"},
      // Signs stay: the question shows them, and markup escapes them.
      {"<br>&", "<br>&"},
      {"\x83\x5C\x83\x7C", "\x83\x5C\x83\x7C"},
      {std::string(300, 'n'), std::string(255, 'n')},
  };
  for (const Case& c : cases) {
    std::string name = c.name;
    clean_station_name(name);
    EXPECT_EQ(name, c.expected) << c.name;
  }
}

TEST(ScanIepgData, HandsBackTheStationsNamedAndNotesOnlyWhenAsked) {
  const std::string file =
      "version: 2\r\nstation: X\r\nstation: DFS00420\r\nstation-name: \x83t\x83W\r\n"
      "program-id: 1234\r\nstart: 21:00\r\nprogram-title: a b\r\n";
  for (bool with_notes : {false, true}) {
    scan_input input = scan_memory(file.data(), file.size());
    scanned_programme scanned;
    scan_iepg_data(input, scanned, with_notes);
    EXPECT_EQ(scanned.stations, (std::vector<std::string>{"X", "DFS00420"}));
    EXPECT_EQ(scanned.programme.station, "DFS00420");
    EXPECT_EQ(scanned.programme.station_name, "\x83t\x83W");
    EXPECT_EQ(scanned.programme.program_id, "1234");
    EXPECT_EQ(scanned.programme.title, "a_b");
    EXPECT_TRUE(scanned.programme.channel.empty());  // the caller looks it up
    std::size_t station_notes = 0;
    for (const scan_note& note : scanned.notes) {
      if (note.point == k_trace_station) ++station_notes;
    }
    EXPECT_EQ(station_notes, with_notes ? 2u : 0u);
    EXPECT_EQ(scanned.notes.empty(), !with_notes);
  }
}
