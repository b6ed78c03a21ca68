#include "platform/windows_quoting.h"

#include <gtest/gtest.h>

TEST(RecWindowsArgs, QuotesAsTheRuntimeReadsBack) {
  struct {
    const char* argument;
    const char* quoted;
  } const cases[] = {
      {"plain", "plain"},
      {"", "\"\""},
      {"two words", "\"two words\""},
      {"tab\there", "\"tab\there\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"\"", "\"\\\"\""},
      // Backslashes are literal unless a quote follows them.
      {"C:\\rec\\a.ts", "C:\\rec\\a.ts"},
      {"C:\\My Videos\\", "\"C:\\My Videos\\\\\""},
      {"a\\\"b", "\"a\\\\\\\"b\""},
      {"a\\\\\" b", "\"a\\\\\\\\\\\" b\""},
      {"a\\\\ b\\c", "\"a\\\\ b\\c\""},
      // UTF-8 text (表示ポ テスト) passes through byte for byte.
      {"\xe8\xa1\xa8\xe7\xa4\xba\xe3\x83\x9d \xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88",
       "\"\xe8\xa1\xa8\xe7\xa4\xba\xe3\x83\x9d \xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(windows_quoted_argument(c.argument), c.quoted) << c.argument;
  }
}

TEST(RecWindowsArgs, JoinsTheWholeLine) {
  EXPECT_EQ(windows_command_line({"C:\\TV Test\\TVTest.exe", "/recduration", "3240", "/recfile",
                                  "D:\\rec\\x y.ts", ""}),
            "\"C:\\TV Test\\TVTest.exe\" /recduration 3240 /recfile \"D:\\rec\\x y.ts\" \"\"");
  EXPECT_EQ(windows_command_line({"", "a"}), "\"\" a");
}

TEST(RecWindowsArgs, ABatchFileIsToldAsWindowsOpensIt) {
  const std::pair<const char*, bool> cases[] = {
      {"C:\\t\\rec.bat", true},
      {"C:\\t\\rec.BAT", true},
      {"C:\\t\\rec.Cmd", true},
      {"C:\\t\\rec.bat.", true},
      {"C:\\t\\rec.bat ", true},
      {"C:\\t\\rec.bat. . ", true},
      {"C:\\t\\rec.exe", false},
      {"C:\\t\\rec.bat.exe", false},
      {"C:\\t\\rec.batch", false},
      {"C:\\t.bat\\rec", false},
      {"bat", false},
      {". .", false},
      {"C:\\t\\rec.exe.", false},
  };
  for (const auto& [path, batch] : cases) EXPECT_EQ(is_batch_file_name(path), batch) << path;
}
