#include "app/zoba.h"

#include <gtest/gtest.h>

#include "app/notice.h"
#include "app/settings.h"
#include "reservation/texts.h"
#include "tests/fake_platform.h"

namespace {

constexpr char k_program[] = "C:\\tv\\zoba.exe";
constexpr char k_ini[] = "C:\\tv\\zoba.ini";

}  // namespace

TEST(RunZoba, ASecondInstanceBeepsAndLeavesSilently) {
  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  g_fake.mutex = platform::mutex_result::already_exists;
  EXPECT_EQ(run_zoba({k_program, "a.tvpi"}), -1);
  EXPECT_EQ(g_fake.beeps, 1);
  EXPECT_TRUE(g_fake.boxes.empty());
  // Settings were loaded (and the console opened) before the check, but no
  // trace line was added.
  EXPECT_EQ(g_fake.console_lines, (std::vector<std::string>{"OK"}));
  EXPECT_EQ(g_fake.writes.size(), 4u);
}

TEST(RunZoba, GoesOnWithoutAGuardWhenNoMutexCanBeMade) {
  reset_fake();
  g_fake.mutex = platform::mutex_result::failed;
  EXPECT_EQ(run_zoba({k_program}), 0);
  EXPECT_EQ(g_fake.beeps, 0);
  EXPECT_EQ(g_fake.boxes.size(), 1u);
}

TEST(RunZoba, NoArgumentIsReported) {
  reset_fake();
  EXPECT_EQ(run_zoba({k_program}), 0);
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].caption, k_caption);
  EXPECT_EQ(g_fake.boxes[0].text, k_text_no_argument);
  EXPECT_FALSE(g_fake.boxes[0].ok_cancel);
  EXPECT_EQ(g_settings.settings_path, k_ini);
  EXPECT_EQ(fake_profile_text(k_ini),
            "[ZOBA]\r\ndebug=0\r\nsch_start_offset=-1\r\nrec_end_offset=0\r\nno=0\r\ntuners=1\r\n");
}

TEST(RunZoba, TheSettingsFileIsBesideTheProgramWhateverItsPathLength) {
  for (std::size_t depth : {1u, 40u, 120u}) {
    reset_fake();
    std::string folder = "C:";
    for (std::size_t i = 0; i < depth; ++i) folder += "\\tv";
    run_zoba({folder + "\\zoba.exe"});
    EXPECT_EQ(g_settings.settings_path, folder + "\\zoba.ini") << folder.size();
    // The scheduler is told which install books.
    EXPECT_EQ(g_fake.environment["ZOBA_SETTINGS"], g_settings.settings_path);
  }
}

TEST(RunZoba, DebugModeShowsTheTraceAndTheEndNotice) {
  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  EXPECT_EQ(run_zoba({k_program}), 0);
  EXPECT_EQ(g_fake.console_lines,
            (std::vector<std::string>{"OK", "   0 zoba:242", "   1 zoba:247"}));
  // No argument ends the run at once: no 274, 281 or end notice.
  ASSERT_EQ(g_fake.boxes.size(), 1u);

  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "1");
  EXPECT_EQ(run_zoba({k_program, ""}), 0);
  ASSERT_EQ(g_fake.boxes.size(), 2u);
  EXPECT_EQ(g_fake.boxes[1].text, k_text_end);
  std::vector<std::string>& lines = g_fake.console_lines;
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 2], "   2 zoba:274");
  EXPECT_EQ(lines.back(), "   3 zoba:281");
}

TEST(RunZoba, DebugOtherThanOneEndsSilently) {
  reset_fake();
  fake_set_profile(k_ini, "ZOBA", "debug", "2");
  EXPECT_EQ(run_zoba({k_program, ""}), 0);
  EXPECT_EQ(g_fake.console_opens, 0);
  // Only the notice that the empty path cannot be opened.
  EXPECT_EQ(g_fake.boxes.size(), 1u);
}

TEST(RunZoba, LongTextsAreCutInTheBox) {
  reset_fake();
  show_notice(std::string(1022, 'x') + "\x83\x5C" + "more");
  ASSERT_EQ(g_fake.boxes.size(), 1u);
  EXPECT_EQ(g_fake.boxes[0].text, std::string(1022, 'x'));
}
