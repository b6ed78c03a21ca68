#include "platform/text.h"

#include <gtest/gtest.h>

#include "reservation/reservation.h"
#include "reservation/texts.h"

TEST(CutText, NeverLeavesALeadByteAlone) {
  struct Case {
    std::string text;
    std::size_t max;
    std::string expected;
  } cases[] = {
      {"abcdef", 4, "abcd"},
      {"abc", 10, "abc"},
      {"ab\x83\x5C", 3, "ab"},          // would split the double-byte character
      {"ab\x83\x5C", 4, "ab\x83\x5C"},  // fits whole
      {"\x83\x5C\x83\x5C", 3, "\x83\x5C"},
      {"a\xB1\xB2", 2, "a\xB1"},  // single-byte katakana are whole characters
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    cut_text(text, c.max);
    EXPECT_EQ(text, c.expected) << c.text << " cut to " << c.max;
  }
}

TEST(FormatText, CutsAtTheFormatterLimit) {
  std::string long_text(2000, 'x');
  EXPECT_EQ(format_text("%s", long_text.c_str()).size(), 1023u);
  // A double-byte character across the limit goes whole.
  std::string sjis = std::string(1022, 'x') + "\x95\x5C";
  EXPECT_EQ(format_text("%s", sjis.c_str()), std::string(1022, 'x'));
  EXPECT_EQ(format_text("%04d|%ld", 7, -5L), "0007|-5");
}

TEST(Texts, AreShiftJisBytes) {
  // Written out independently of the header: the caption and two notices.
  EXPECT_STREQ(k_caption,
               "ZOBA iepg\x97\x5C\x96\xF1\x83\x63\x81\x5B\x83\x8B 2008/03/29"
               "\x94\xC5 by Pelmoro");
  EXPECT_STREQ(k_text_end, "\x8F\x49\x97\xB9");
  EXPECT_STREQ(k_title_unknown, "(\x83\x5E\x83\x43\x83\x67\x83\x8B\x95\x73\x96\xBE)");
}

TEST(VisibleOnTerminal, ShowsControlBytesAndKeepsLineEnds) {
  struct Case {
    std::string text, expected;
  } cases[] = {
      {"a\r\nb\nc", "a\nb\nc"},
      {"\x1B[2J\x1B[HFAKE", "?[2J?[HFAKE"},
      {"bell\a tab\t del\x7F cr\r", "bell? tab? del? cr?"},
      // Trail bytes are never control bytes; 0x80 as a trail stays.
      {"\x83\x80\x80", "\x83\x80?"},
      {"\x83\x1B", "\x83?"},
      {"\x83\x65\x83\x8C", "\x83\x65\x83\x8C"},
  };
  for (const Case& c : cases) EXPECT_EQ(visible_on_terminal(c.text), c.expected) << c.text;
}

TEST(Markup, ShowsTheTextAsItIsWhateverItHolds) {
  struct Case {
    std::string text, escaped, rich;
  } cases[] = {
      {"plain", "plain", "<qt>plain</qt>"},
      {"a & b", "a &amp; b", "<qt>a &amp; b</qt>"},
      // A station name that would otherwise draw a fake programme.
      {"X<br>2026/12/24 21:00<!--", "X&lt;br&gt;2026/12/24 21:00&lt;!--",
       "<qt>X&lt;br&gt;2026/12/24 21:00&lt;!--</qt>"},
      {"one\ntwo\n", "one\ntwo\n", "<qt>one<br>two<br></qt>"},
      {"&amp;", "&amp;amp;", "<qt>&amp;amp;</qt>"},
      // Shift_JIS trail bytes are never one of the three.
      {"\x83\x5C\x83\x7C>", "\x83\x5C\x83\x7C&gt;", "<qt>\x83\x5C\x83\x7C&gt;</qt>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(escaped_for_markup(c.text), c.escaped) << c.text;
    EXPECT_EQ(as_rich_text(c.text), c.rich) << c.text;
  }
}
