#include "platform/ini.h"

#include <gtest/gtest.h>

namespace {

struct read_case {
  const char* text;
  const char* section;
  const char* key;
  const char* expected;  // nullptr: not found, the fallback "FB" comes back
};

std::string read(const std::string& text, const char* section, const char* key,
                 std::size_t size = 64) {
  return ini_read_string(text, section, key, "FB", size);
}

}  // namespace

TEST(IniRead, FindsValuesByTheWindowsRules) {
  const read_case cases[] = {
      {"[ZOBA]\r\nno=0012\r\n", "ZOBA", "no", "0012"},
      {"[zoba]\nNO=7\n", "ZoBa", "nO", "7"},                             // ASCII case
      {"  [ZOBA]  \n \t no \t = \t 5 x \t\n", " ZOBA ", " no ", "5 x"},  // blanks
      {"[ZOBA]\rno=1\rdebug=2", "ZOBA", "debug", "2"},                   // CR-only, no final end
      {"[A]\nk=\"quoted\"\n", "A", "k", "quoted"},
      {"[A]\nk='single'\n", "A", "k", "single"},
      {"[A]\nk=\"open\n", "A", "k", "\"open"},
      {"[A]\nk=\"\n", "A", "k", "\""},
      {"[A]\nk=\"a\"b\"\n", "A", "k", "a\"b"},
      {"[A]\nk=\n", "A", "k", ""},
      {"[A]\nk\nk=2\n", "A", "k", nullptr},  // the first key has no value and decides
      {"[A]\nk=1\nk=2\n", "A", "k", "1"},
      {"[A]\nx=1\n[A]\nk=2\n", "A", "k", nullptr},  // only the first section counts
      {"[B]\nk=1\n[A]\nk=2\n", "A", "k", "2"},
      {";k=1\n[A]\n;k=2\n", "A", ";k", "2"},  // a comment is an ordinary key
      {"[A]\n;k=2\n", "A", "k", nullptr},
      {"k=0\n[A]\n", "", "k", "0"},        // keys before any section
      {"[A] tail\nk=1\n", "A", "k", "1"},  // the name ends at the last "]"
      {"[A]B]\nk=1\n", "A]B", "k", "1"},
      {"[ A ]\nk=1\n", "A", "k", "1"},   // blanks inside the brackets go too
      {"[A\nk=1\n", "A", "k", nullptr},  // no "]": a key line
      {"[A]\na=b=c\n", "A", "a", "b=c"},
      {"[A]\nk=1\x1A\n", "A", "k", "1"},
      {"[A]\n\x81\x40k=\x81\x40v\x81\x40\n", "A", "k",
       nullptr},  // the full-width space is no blank
      {"[A]\n\x81\x40k=\x81\x40v\x81\x40\n", "A", "\x81\x40k", "\x81\x40v\x81\x40"},
  };
  for (const read_case& c : cases) {
    EXPECT_EQ(read(c.text, c.section, c.key), c.expected ? c.expected : "FB")
        << c.text << " " << c.section << "/" << c.key;
  }
}

TEST(IniRead, ComparesFullWidthGreekAndCyrillicLettersWithoutCase) {
  const read_case cases[] = {
      {"[A]\n\x82\x60\x82\x79=1\n", "A", "\x82\x81\x82\x9A", "1"},  // full-width A Z / a z
      {"[A]\n\x83\x9F\x83\xB6=2\n", "A", "\x83\xBF\x83\xD6", "2"},  // Alpha Omega
      {"[A]\n\x84\x40\x84\x4E\x84\x4F\x84\x60=3\n", "A", "\x84\x70\x84\x7E\x84\x80\x84\x91", "3"},
      {"[A]\n\x82\x60=4\n", "A", "\x82\x61", nullptr},  // A is not B
      {"[A]\n\x82\x60=5\n", "A", "A", nullptr},         // full-width A is not ASCII A
  };
  for (const read_case& c : cases) {
    EXPECT_EQ(read(c.text, c.section, c.key), c.expected ? c.expected : "FB") << c.key;
  }
}

TEST(IniRead, KeepsDoubleByteCharactersWhole) {
  // 0x83 0x5B, 0x83 0x5D and 0x95 0x5C hold "[", "]" and a backslash as
  // second bytes; 0x83 "=" and 0x83 "\n" are one character each.
  const read_case cases[] = {
      {"[\x83\x5B]\nk=1\n", "\x83\x5B", "k", "1"},
      {"[A]\n\x83\x5D=2\n", "A", "\x83\x5D", "2"},
      {"[A]\n\x95\x5C=3\n", "A", "\x95\x5C", "3"},
      {"[A]\nx\x83=y=4\n", "A", "x\x83=y", "4"},
      {"[A]\nk=\x83\nj=5\n", "A", "j", nullptr},   // the line feed belongs to 0x83
      {"[A\x83]\nk=6\n", "A\x83]", "k", nullptr},  // "]" taken by the lead byte: a key line
      {"[A]\nk=7\x83", "A", "k", "7"},             // a lone lead byte at the end is nothing
      {"[A]\nab=8\n", "A", "ab\x83", "8"},
      {"[A]\n\x83=x=9\n", "A", "\x84=x", "9"},  // broken pairs are all the middle dot
      {"[A]\nk=a\x83=b\n", "A", "k",
       "a\x81\x45"
       "b"},
  };
  for (const read_case& c : cases) {
    EXPECT_EQ(read(c.text, c.section, c.key), c.expected ? c.expected : "FB") << c.text;
  }
}

TEST(IniRead, PairsTheLeadBytesAtTheEndFromTheFirst) {
  // Whether the last byte is a lead byte left alone depends on every lead
  // byte before it: they pair up from the first of the run.
  const read_case cases[] = {
      {"[A]\nk=\x83\x83", "A", "k", "\x83\x83"},
      {"[A]\nk=\x83\x83\x83", "A", "k", "\x83\x83"},
      {"[A]\nk=a\x83\x83\x83\x83", "A", "k", "a\x83\x83\x83\x83"},
      {"[A]\nk=\x83"
       "a\x83",
       "A", "k",
       "\x83"
       "a"},
      {"\x83", "", "\x83", nullptr},
  };
  for (const read_case& c : cases) {
    EXPECT_EQ(read(c.text, c.section, c.key), c.expected ? c.expected : "FB") << c.text;
  }
  EXPECT_EQ(ini_write_string("[A]\nk=\x83\x83\x83", "A", "j", "1"), "[A]\nk=\x83\x83\nj=1\n");
  EXPECT_EQ(ini_write_string("[A]\nk=\x83\x83", "A", "j", "1"), "[A]\nk=\x83\x83\nj=1\n");
}

TEST(IniRead, CutsToTheBufferWithoutSplittingACharacter) {
  EXPECT_EQ(read("[A]\nk=123456789\n", "A", "k", 8), "1234567");
  EXPECT_EQ(read("[A]\nk=123456\x82\xA0\n", "A", "k", 8), "123456");
  EXPECT_EQ(read("[A]\nk=12345\x82\xA0\n", "A", "k", 8), "12345\x82\xA0");
  // A quoted value that only just fits loses its last character, not the
  // closing quote, as the Windows functions do it.
  EXPECT_EQ(read("[A]\nk=\"1234567\"\n", "A", "k", 8), "123456");
  EXPECT_EQ(read("[A]\nk=\"1234567\"\n", "A", "k", 9), "1234567");
  EXPECT_EQ(read("[A]\nk=\"123456789\"\n", "A", "k", 8), "1234567");
  EXPECT_EQ(read("[A]\nk=\"\"\n", "A", "k", 1), "");
  EXPECT_EQ(read("[A]\nk=1\n", "A", "k", 1), "");
}

TEST(IniRead, FallbackLosesTrailingSpacesAndQuotes) {
  EXPECT_EQ(ini_read_string("", "A", "k", "REC  ", 64), "REC");
  EXPECT_EQ(ini_read_string("", "A", "k", "\"q\"  ", 64), "q");
  EXPECT_EQ(ini_read_string("[A]\nk\n", "A", "k", "\"q\"", 2), "");
  EXPECT_EQ(ini_read_string("", "A", "k", " ", 64), " ");
}

TEST(IniReadInt, TakesTheLeadingSignedDecimalNumber) {
  struct {
    const char* value;
    int expected;
  } cases[] = {
      {"-1", -1},
      {"+7", 7},
      {"0012", 12},
      {"12abc", 12},
      {"abc", 0},
      {"- 5", 0},
      {"\"-3\"", -3},
      {"\x01\x02 9", 9},
      {"2147483648", -2147483647 - 1},
      {"4294967297", 1},
      {"0x10", 0},
      {"00000000000000000000000000000012", 0},  // only 29 characters are read
      {"\x82\x4F", 0},                          // a full-width digit is no digit
  };
  for (const auto& c : cases) {
    std::string text = std::string("[A]\nk=") + c.value + "\n";
    EXPECT_EQ(ini_read_int(text, "A", "k", -999), c.expected) << c.value;
  }
  EXPECT_EQ(ini_read_int("[A]\nk=\n", "A", "k", -999), -999);
  EXPECT_EQ(ini_read_int("[A]\nk=\"\"\n", "A", "k", -999), -999);
  EXPECT_EQ(ini_read_int("[A]\nk\n", "A", "k", -999), -999);
  EXPECT_EQ(ini_read_int("", "A", "k", 4), 4);
}

TEST(IniWrite, ChangesOnlyWhatItMust) {
  struct {
    const char* text;
    const char* section;
    const char* key;
    const char* value;
    const char* expected;
  } cases[] = {
      {"", "ZOBA", "debug", "0", "[ZOBA]\r\ndebug=0\r\n"},
      {"[ZOBA]\r\ndebug=0\r\n", "ZOBA", "no", "0", "[ZOBA]\r\ndebug=0\r\nno=0\r\n"},
      {"; top\n[zoba] ; c\n  NO = 41  \n[TVCH]\n", "ZOBA", "no", "0042",
       "; top\n[zoba] ; c\n  NO = 0042  \n[TVCH]\n"},
      {"[A]\nk=1\n\n\n[B]\n", "A", "j", "2", "[A]\nk=1\nj=2\n\n\n[B]\n"},
      {"[A]\r\n[B]\r\n", "A", "j", "2", "[A]\r\nj=2\r\n[B]\r\n"},
      {"[A]\nk=1", "A", "j", "2", "[A]\nk=1\nj=2\n"},
      {"[A]\rk=1\r", "B", "j", "2", "[A]\rk=1\r[B]\rj=2\r"},
      {"[A]\nk=\x83", "B", "j", "2", "[A]\nk=\n[B]\nj=2\n"},  // a lone lead byte goes
      {"[A]\nk=1\x83", "A", "k", "2", "[A]\nk=2\x83"},
      {"[A]\n  k  \n", "A", "k", "v", "[A]\n  k=v  \n"},
      {"[A]\nk=\n", "A", "k", " \t v ", "[A]\nk=v \n"},
      {"[A]\nk=\"1\"\n", "A", "k", "1", "[A]\nk=1\n"},
      {"[A]\nk=1\n", "A", "k", "", "[A]\nk=\n"},
      {"[A]\nk=1\n[A]\nj=1\n", "A", "j", "2", "[A]\nk=1\nj=2\n[A]\nj=1\n"},
      {"x=1\n[A]\n", "", "y", "2", "x=1\ny=2\n[A]\n"},
      {"[TVCH]\n", "TVCH", " \x83\x65\x83\x8C\x83\x72 ", "", "[TVCH]\n\x83\x65\x83\x8C\x83\x72=\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini_write_string(c.text, c.section, c.key, c.value), c.expected)
        << c.text << " " << c.section << "/" << c.key << "=" << c.value;
  }
}

TEST(IniWrite, WhatIsWrittenReadsBack) {
  std::string text = "[ZOBA]\ndebug=1\n";
  text = ini_write_string(text, "TVCH", "\x83\x65\x83\x8C\x83\x72", "");
  text = ini_write_string(text, "ZOBA", "no", "0001");
  text = ini_write_string(text, "tvch", "\x83\x65\x83\x8C\x83\x72", "8");
  EXPECT_EQ(text, "[ZOBA]\ndebug=1\nno=0001\n[TVCH]\n\x83\x65\x83\x8C\x83\x72=8\n");
  EXPECT_EQ(ini_read_int(text, "zoba", "NO", -999), 1);
  EXPECT_EQ(read(text, "TVCH", "\x83\x65\x83\x8C\x83\x72", 8), "8");
}

TEST(IniAddKeys, EntersOnlyWhatTheSectionLacksInOneBlock) {
  const std::vector<std::string> keys = {"NEW", "nhk", "\x83\x65\x83\x8C\x83\x72", "new", "Bare"};
  struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", "[TVCH]\r\nNEW=\r\nnhk=\r\n\x83\x65\x83\x8C\x83\x72=\r\nBare=\r\n"},
      {"[TVCH]\nNHK=1\nBARE\n[ZOBA]\nno=1\n",
       "[TVCH]\nNHK=1\nBARE\nNEW=\n\x83\x65\x83\x8C\x83\x72=\n[ZOBA]\nno=1\n"},
      {"[ZOBA]\r\nno=1",
       "[ZOBA]\r\nno=1\r\n[TVCH]\r\nNEW=\r\nnhk=\r\n\x83\x65\x83\x8C\x83\x72=\r\n"
       "Bare=\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ini_add_keys(c.text, "TVCH", keys), c.expected) << c.text;
}
