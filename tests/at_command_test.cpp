#include "tools/at/at_command.h"

#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "tests/at_words.h"

TEST(AtArguments, ReadsTimeOptionsAndCommand) {
  at_request r;
  ASSERT_EQ(parse_at_arguments(words("20:59 /interactive /NEXT:29 REC Y0001 8 21:00-21:54 2008 "
                                     "03 29 Sample_Show"),
                               r),
            "");
  EXPECT_EQ(r.hour, 20);
  EXPECT_EQ(r.minute, 59);
  EXPECT_TRUE(r.has_next);
  EXPECT_EQ(r.next_day, 29);
  EXPECT_EQ(r.command, words("REC Y0001 8 21:00-21:54 2008 03 29 Sample_Show"));

  at_request lower;
  ASSERT_EQ(parse_at_arguments(words("00:00 /next:5 /INTERACTIVE /usr/bin/rec -x"), lower), "");
  EXPECT_EQ(lower.next_day, 5);
  EXPECT_EQ(lower.command, words("/usr/bin/rec -x"));
}

TEST(AtArguments, RefusesWhatIsNotAJob) {
  const char* lines[] = {"",
                         "2059 /NEXT:29 REC",
                         "24:00 /NEXT:29 REC",
                         "20:60 /NEXT:29 REC",
                         "-1:00 /NEXT:29 REC",
                         "20:59 /NEXT:x REC",
                         "20:59 /NEXT:29,30 REC",
                         "20:59 /interactive /NEXT:29"};
  for (const char* line : lines) {
    at_request r;
    EXPECT_NE(parse_at_arguments(words(line), r), "") << line;
  }
}

TEST(AtForm, NoWordsListsAndIdDeleteRemoves) {
  struct {
    const char* line;
    at_form form;
    const char* id;
  } cases[] = {
      {"", at_form::list, ""},
      {"Y0001 /delete", at_form::remove, "Y0001"},
      {"200803201300 /DELETE", at_form::remove, "200803201300"},
      {"Y0001 /deletex", at_form::schedule, ""},
      {"Y0001 /delete x", at_form::schedule, ""},
      {"20:59 /NEXT:29 REC", at_form::schedule, ""},
  };
  for (const auto& c : cases) {
    std::string id;
    EXPECT_EQ(at_form_of(words(c.line), id), c.form) << c.line;
    EXPECT_EQ(id, c.id) << c.line;
  }
}

TEST(TaskCommandLine, FindsTheListAndDeleteForms) {
  std::string id;
  EXPECT_EQ(at_form_of(split_task_command_line("AT"), id), at_form::list);
  EXPECT_EQ(at_form_of(split_task_command_line("\"C:\\my dir\\AT.exe\"  "), id), at_form::list);
  EXPECT_EQ(at_form_of(split_task_command_line("AT Y0001 /DELETE"), id), at_form::remove);
  EXPECT_EQ(id, "Y0001");
  EXPECT_EQ(at_form_of(split_task_command_line("AT 20:59 /delete REC"), id), at_form::schedule);
}

TEST(AtText, JoinsWordsAndSplitsLines) {
  EXPECT_EQ(joined_words({"REC", "Y0001", "8"}), "REC Y0001 8");
  EXPECT_EQ(text_lines("a\r\n\r\nb c\n"), (std::vector<std::string>{"a", "b c"}));
}
