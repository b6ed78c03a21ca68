#include "platform/command_line.h"

#include <gtest/gtest.h>

using words = std::vector<std::string>;

TEST(SplitCommandLine, FollowsTheToolsOwnRules) {
  struct Case {
    const char* line;
    words expected;
  } cases[] = {
      {"", {""}},
      {"zoba.exe", {"zoba.exe"}},
      {"zoba.exe a.tvpi", {"zoba.exe", "a.tvpi"}},
      {"\"C:\\Program Files\\zoba.exe\" x", {"C:\\Program Files\\zoba.exe", "x"}},
      {"zoba \"C:\\My Files\\a b.tvpi\" extra", {"zoba", "C:\\My Files\\a b.tvpi", "extra"}},
      {"zoba C:\\My Files\\a.tvpi", {"zoba", "C:\\My", "Files\\a.tvpi"}},
      {"zoba \t a\t\tb  ", {"zoba", "a", "b"}},
      {"zoba \"\"", {"zoba", ""}},
      {"zoba \"\" b", {"zoba", "", "b"}},
      {"zoba \"ab\"\"cd\"", {"zoba", "abcd"}},         // two quotes inside a run
      {"zoba \"a b\"c d", {"zoba", "a bc", "d"}},      // a run closes, the word goes on
      {"zoba a\\\"b", {"zoba", "a\"b"}},               // backslash-quote
      {"zoba a\\\\\"b c\"", {"zoba", "a\\\"b", "c"}},  // after one backslash
      {"zoba a\\\\b", {"zoba", "a\\\\b"}},             // two backslashes stay
      {"zoba \\\"a b\\\"", {"zoba", "\"a", "b\""}},    // a literal quote opens no run
      {"zoba C:\\dir\\", {"zoba", "C:\\dir\\"}},
      // Double-byte characters whose second byte is a backslash or a quote.
      {"zoba \x83\x5C\"x y\"", {"zoba", "\x83\x5Cx y"}},
      {"zoba \x95\x5C\" z", {"zoba", "\x95\x5C z"}},
      {"zoba \x81\x22 a", {"zoba", "\x81\x22", "a"}},
      {"zoba \x83", {"zoba", "\x83"}},  // a lead byte at the very end
      {"\"C:\\a b\\zoba.exe\"", {"C:\\a b\\zoba.exe"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split_command_line(c.line), c.expected) << c.line;
  }
}

TEST(SplitTaskCommandLine, DropsAtsNameAndGroupsQuotedBlanks) {
  struct Case {
    const char* line;
    words expected;
  } cases[] = {
      {"AT", {}},
      {"\"C:\\my dir\\AT.exe\"  ", {}},
      {"AT Y0001 /DELETE", {"Y0001", "/DELETE"}},
      {"AT\t20:59 /next:29\tREC", {"20:59", "/next:29", "REC"}},
      {"\"C:\\zoba\\AT.exe\" 20:59 \"C:\\Program Files\\rec.exe\" -q  \"a b\" a\\\"b",
       {"20:59", "C:\\Program Files\\rec.exe", "-q", "a b", "a\\b"}},
      {"AT 20:59 C:\\rec\\x.bat  a&b <c> \"d\"", {"20:59", "C:\\rec\\x.bat", "a&b", "<c>", "d"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split_task_command_line(c.line), c.expected) << c.line;
  }
}
