#include "tools/at/task_result.h"

#include <gtest/gtest.h>

TEST(TaskScheduler, ResultsOtherThanSuccessFail) {
  EXPECT_EQ(registration_outcome(0), registration::done);
  // SCHED_S_SOME_TRIGGERS_FAILED and SCHED_S_BATCH_LOGON_PROBLEM register a
  // task that will not run.
  EXPECT_EQ(registration_outcome(0x0004131B), registration::registered_unusable);
  EXPECT_EQ(registration_outcome(0x0004131C), registration::registered_unusable);
  EXPECT_EQ(registration_outcome(static_cast<long>(0x80070005)), registration::refused);
  EXPECT_TRUE(task_is_absent(static_cast<long>(0x80070002)));
  EXPECT_FALSE(task_is_absent(static_cast<long>(0x80070005)));
  EXPECT_EQ(result_text(static_cast<long>(0x80041315)),
            "the Task Scheduler service is not running, 0x80041315");
  EXPECT_EQ(result_text(static_cast<long>(0x8004131A)),
            "the Task Scheduler calls the task malformed, 0x8004131A");
  EXPECT_EQ(result_text(static_cast<long>(0x80004005)), "0x80004005");
}
