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
    std::vector<std::string> words;
    at_form form;
    const char* id;
  } cases[] = {
      {words(""), at_form::list, ""},
      {words("Y0001 /delete"), at_form::remove, "Y0001"},
      {words("200803201300 /DELETE"), at_form::remove, "200803201300"},
      {words("Y0001 /deletex"), at_form::schedule, ""},
      {words("Y0001 /delete x"), at_form::schedule, ""},
      {words("20:59 /NEXT:29 REC"), at_form::schedule, ""},
      // The Windows AT's whole command line, its own name first.
      {split_task_command_line("AT"), at_form::list, ""},
      {split_task_command_line("\"C:\\my dir\\AT.exe\"  "), at_form::list, ""},
      {split_task_command_line("AT Y0001 /DELETE"), at_form::remove, "Y0001"},
      {split_task_command_line("AT 20:59 /delete REC"), at_form::schedule, ""},
  };
  for (const auto& c : cases) {
    std::string id;
    EXPECT_EQ(at_form_of(c.words, id), c.form) << joined_words(c.words);
    EXPECT_EQ(id, c.id) << joined_words(c.words);
  }
}

TEST(AtText, JoinsWordsAndSplitsLines) {
  EXPECT_EQ(joined_words({"REC", "Y0001", "8"}), "REC Y0001 8");
  EXPECT_EQ(text_lines("a\r\n\r\nb c\n"), (std::vector<std::string>{"a", "b c"}));
}
