#include "reservation/schedule.h"

#include <gtest/gtest.h>

TEST(ComputeSchedule, GivesTheWorkedValues) {
  struct Case {
    int date, start_hour, start_minute, end_hour, end_minute, start_offset, end_offset;
    int launch_day, launch_hour, launch_minute;
    int new_start_minute, new_end_hour, new_end_minute;
  } cases[] = {
      {29, 21, 0, 21, 54, -1, 0, 29, 20, 59, 0, 21, 54},
      {1, 0, 0, 0, 30, -1, 0, 0, 23, 59, 0, 0, 30},
      {29, 23, 59, 0, 30, 5, 0, 30, 0, 4, 59, 0, 30},
      {29, 23, 30, 23, 50, -1, 15, 29, 23, 29, 30, 0, 5},
      {29, 0, 10, 0, 10, -1, -20, 29, 0, 9, 10, 0, 10},
      {5, 20, 0, 21, 0, -10000, 0, 5, 20, 0, 1, 21, 0},
      // A start minute of 59 moves to 60 when the launch falls back.
      {0, 0, 59, 1, 0, -100, 0, 0, 0, 59, 60, 1, 0},
      // Past the end of the month the day just grows.
      {31, 23, 59, 0, 20, 2, 0, 32, 0, 1, 59, 0, 20},
      // Numbers near the limit wrap around instead of trapping.
      {2147483647, 0, 0, 0, 0, 0, 2147483647, 2147483647, 0, 0, 1, 2, 7},
  };
  for (const Case& c : cases) {
    reservation r;
    r.date = c.date;
    r.start_hour = c.start_hour;
    r.start_minute = c.start_minute;
    r.end_hour = c.end_hour;
    r.end_minute = c.end_minute;
    r.year = 2008;
    r.month = 3;
    compute_schedule(r, c.start_offset, c.end_offset);
    SCOPED_TRACE(testing::Message()
                 << "date " << c.date << " " << c.start_hour << ":" << c.start_minute << " offsets "
                 << c.start_offset << "," << c.end_offset);
    EXPECT_EQ(r.launch_day, c.launch_day);
    EXPECT_EQ(r.launch_hour, c.launch_hour);
    EXPECT_EQ(r.launch_minute, c.launch_minute);
    EXPECT_EQ(r.start_hour, c.start_hour);
    EXPECT_EQ(r.start_minute, c.new_start_minute);
    EXPECT_EQ(r.end_hour, c.new_end_hour);
    EXPECT_EQ(r.end_minute, c.new_end_minute);
    EXPECT_EQ(r.year, 2008);
    EXPECT_EQ(r.month, 3);
  }
}
