#include "tools/at/task_record.h"

#include <gtest/gtest.h>

TEST(TaskRecord, AddsOnceAndRemoves) {
  struct {
    const char* before;
    const char* name;
    const char* with;
    const char* without;
  } cases[] = {
      {"", "zoba Y0001", "zoba Y0001\r\n", ""},
      {"zoba Y0001\r\n", "zoba Y0001", "zoba Y0001\r\n", ""},
      {"zoba Y0001\nzoba Y0002", "zoba Y0003", "zoba Y0001\r\nzoba Y0002\r\nzoba Y0003\r\n",
       "zoba Y0001\r\nzoba Y0002\r\n"},
      {"zoba Y0001\r\n\r\nzoba Y0002\r\n", "zoba Y0001", "zoba Y0001\r\nzoba Y0002\r\n",
       "zoba Y0002\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(record_with(c.before, c.name), c.with) << c.before;
    EXPECT_EQ(record_without(c.before, c.name), c.without) << c.before;
  }
}
