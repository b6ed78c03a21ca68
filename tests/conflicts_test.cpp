#include "reservation/conflicts.h"

#include <gtest/gtest.h>

namespace {

// ※ 重なる予約: / ※ 予約済み: / 、 in Shift_JIS.
const std::string k_overlap =
    "\x81\xA6 \x8F"
    "d\x82\xC8\x82\xE9\x97\\\x96\xF1: ";
const std::string k_same = "\x81\xA6 \x97\\\x96\xF1\x8D\xCF\x82\xDD: ";
const std::string k_and =
    "\x81"
    "A";

reservation programme(const char* channel, int day, int start_hour, int start_minute, int end_hour,
                      int end_minute) {
  reservation r;
  r.channel = channel;
  r.title = "New";
  r.year = 2008;
  r.month = 3;
  r.date = day;
  r.start_hour = start_hour;
  r.start_minute = start_minute;
  r.end_hour = end_hour;
  r.end_minute = end_minute;
  return r;
}

}  // namespace

TEST(Conflicts, NamesWhatTheTunersCannotRecordToo) {
  // What AT lists, on either system, with a line that is no job of ours.
  const std::string listing =
      "Y0003  2008/03/29 20:59  REC Y0003 8 21:00-21:54 2008 03 29 Sample_Show\r\n"
      "Y0004  2008/03/29 23:29  /rec/x -q Y0004 6 23:30-25:30 2008 03 29 Late\n"
      "Y0005  2008/03/30 00:59  REC Y0005 4 25:00-25:30 2008 03 29 After_Midnight\n"
      "There are no entries in the list.\n"
      "Y0006  2008/03/31 23:29  REC Y0006 1 23:30-00:30 2008 03 31 Across\n"
      "Y0007  1970/01/01 00:00  REC Y0007 9 00:00-00:30 1970 01 01 Epoch\n";
  std::vector<booked_programme> booked = read_booking_listing(listing);
  ASSERT_EQ(booked.size(), 5u);
  reservation month_13 = programme("9", 1, 0, 0, 0, 30);
  month_13.month = 13;
  reservation minute_60 = programme("9", 1, 0, 60, 0, 30);
  minute_60.year = 1970;
  struct Case {
    const char* what;
    reservation fresh;
    int tuners;
    std::string line;
  } cases[] = {
      {"back to back", programme("5", 29, 21, 54, 22, 30), 1, ""},
      {"ends where it starts", programme("5", 29, 20, 0, 21, 0), 1, ""},
      {"one minute of overlap", programme("5", 29, 21, 53, 22, 30), 1,
       k_overlap + "Y0003 8 21:00-21:54 Sample_Show"},
      {"two tuners suffice", programme("5", 29, 21, 53, 22, 30), 2, ""},
      // 25:00 on the 29th is 01:00 on the 30th, inside 23:30-25:30.
      {"after midnight, written as 25:10", programme("5", 29, 25, 10, 25, 20), 2,
       k_overlap + "Y0004 6 23:30-25:30 Late" + k_and + "Y0005 4 25:00-25:30 After_Midnight"},
      {"the same instant written as the next day's 01:10", programme("5", 30, 1, 10, 1, 20), 1,
       k_overlap + "Y0004 6 23:30-25:30 Late" + k_and + "Y0005 4 25:00-25:30 After_Midnight"},
      // Two bookings overlap the new one but not each other: two tuners do.
      {"two apart", programme("5", 29, 21, 30, 23, 45), 2, ""},
      {"two apart, one tuner", programme("5", 29, 21, 30, 23, 45), 1,
       k_overlap + "Y0003 8 21:00-21:54 Sample_Show" + k_and + "Y0004 6 23:30-25:30 Late"},
      {"across midnight, two tuners", programme("5", 29, 23, 0, 1, 15), 2,
       k_overlap + "Y0004 6 23:30-25:30 Late" + k_and + "Y0005 4 25:00-25:30 After_Midnight"},
      {"a programme that ends at midnight of the month's last day",
       programme("5", 31, 23, 45, 0, 10), 1, k_overlap + "Y0006 1 23:30-00:30 Across"},
      {"the same programme, even with tuners to spare", programme("8", 29, 21, 0, 21, 54), 9,
       k_same + "Y0003 8 21:00-21:54 Sample_Show"},
      {"the same time on another channel", programme("6", 29, 21, 0, 21, 54), 2, ""},
      // Fields that do not read back as a job give no window to compare.
      {"a month 13", month_13, 1, ""},
      {"a start minute of 60", minute_60, 1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(conflict_line(booked_form(c.fresh, 7), booked, c.tuners), c.line);
  }
  // Two such bookings on one channel are not the same programme either.
  EXPECT_EQ(conflict_line(booked_form(month_13, 7), {booked_form(month_13, 8)}, 1), "");
}

TEST(Conflicts, TheLineGoesBeforeTheQuestionAndGivesWayToIt) {
  EXPECT_EQ(with_conflict_line("a\r\nb\r\nQ?", "!"), "a\r\nb\r\n!\r\nQ?");
  EXPECT_EQ(with_conflict_line("a\r\nQ?", ""), "a\r\nQ?");
  std::string shown = with_conflict_line("a\r\nQ?", std::string(2000, 'x'));
  EXPECT_EQ(shown.size(), 1023u);
  EXPECT_TRUE(shown.ends_with("x\r\nQ?"));
}
