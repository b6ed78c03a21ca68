#include "app/trace.h"

#include <gtest/gtest.h>

#include "tests/fake_platform.h"

TEST(TraceLine, HasThePlainAndTheMessageForm) {
  EXPECT_EQ(format_trace_line(0, 242), "   0 zoba:242");
  EXPECT_EQ(format_trace_line(12345, 7), "12345 zoba:7");
  EXPECT_EQ(format_trace_line(3, 384, "s1,s2=a,b"), "   3 zoba:384 >s1,s2=a,b\n");
}

TEST(TraceLine, IsCutAtTheLimitWithoutSplittingACharacter) {
  std::string message = std::string(1005, 'x') + "\x83\x5C" + "tail";
  std::string line = format_trace_line(1, 384, message);
  // "   1 zoba:384 >" is 15 bytes; 15 + 1005 + 2 would pass 1023.
  EXPECT_EQ(line, "   1 zoba:384 >" + std::string(1005, 'x') + "\x83\x5C" + "t");
  EXPECT_EQ(format_trace_line(1, 384, std::string(1007, 'x') + "\x83\x5C").size(), 1022u);
}

TEST(TraceConsole, CountsOnlyLinesThatWereAdded) {
  reset_fake();
  trace(242);  // console not open: nothing, and no sequence number used
  open_trace_console();
  open_trace_console();  // a second open changes nothing
  trace(242);
  trace(393, "ch=8 <= X");
  EXPECT_EQ(g_fake.console_opens, 1);
  EXPECT_EQ(g_fake.console_lines,
            (std::vector<std::string>{"OK", "   0 zoba:242", "   1 zoba:393 >ch=8 <= X\n"}));
  EXPECT_EQ(g_fake.top_indexes, (std::vector<int>{0, 1}));
}

TEST(TraceConsole, StaysClosedWhenNoWindowCanBeMade) {
  reset_fake();
  g_fake.console_fails = true;
  open_trace_console();
  trace(242);
  EXPECT_FALSE(trace_enabled());
  EXPECT_TRUE(g_fake.console_lines.empty());
}
