#include "reservation/line_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct scan_result {
  int n;
  std::string key;
  std::string value;
  bool operator==(const scan_result&) const = default;
};

std::ostream& operator<<(std::ostream& out, const scan_result& r) {
  return out << r.n << " [" << r.key << "] [" << r.value << "]";
}

// Scans the whole text, down to and including the first result <= 0.
std::vector<scan_result> scan_all(const std::string& text) {
  scan_input input = scan_memory(text.data(), text.size());
  std::vector<scan_result> results;
  static scanned_line line;
  for (;;) {
    int n = scan_line(input, line);
    results.push_back({n, line.key, line.value});
    if (n <= 0) return results;
  }
}

// The same through a file, whose buffer is refilled every
// k_scan_buffer_size bytes.
std::vector<scan_result> scan_all_from_file(const std::string& text) {
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  static unsigned char buffer[k_scan_buffer_size];
  scan_input input = scan_file(file, buffer);
  std::vector<scan_result> results;
  static scanned_line line;
  for (;;) {
    int n = scan_line(input, line);
    results.push_back({n, line.key, line.value});
    if (n <= 0) break;
  }
  std::fclose(file);
  return results;
}

// Ordinary lines of exactly size bytes, ending with a line end.
std::string padding(std::size_t size) {
  std::string text;
  while (text.size() + 7 <= size) text += "pad: x\n";
  return text + std::string(size - text.size(), '\n');
}

}  // namespace

TEST(LineScan, ScansEachShapeOfLine) {
  using r = std::vector<scan_result>;
  struct Case {
    const char* name;
    std::string text;
    r expected;
  } cases[] = {
      {"ordinary lines", "station: NHK\nstart: 21:00\n",
       r{{2, "station", "NHK"}, {2, "start", "21:00"}, {-1, "", ""}}},
      {"empty value", "program-title:\nyear: 2008\n",
       r{{1, "program-title", ""}, {2, "year", "2008"}, {-1, "", ""}}},
      {"leading separator", " x\nyear: 1\n", r{{1, "", "x"}, {2, "year", "1"}, {-1, "", ""}}},
      {"separators only, then more", "year: 1\n : :\nmonth: 2\n", r{{2, "year", "1"}, {0, "", ""}}},
      {"separators only, last line", "year: 1\n : ", r{{2, "year", "1"}, {-1, "", ""}}},
      {"run-on line", "description\nstation: X\n",
       r{{2, "description\nstation", "X"}, {-1, "", ""}}},
      {"no final line end", "date: 29", r{{2, "date", "29"}, {-1, "", ""}}},
      {"key alone at the end", "date", r{{1, "date", ""}, {-1, "", ""}}},
      {"separator takes spaces and colons", "station: : X\n", r{{2, "station", "X"}, {-1, "", ""}}},
      {"value keeps trailing blanks", "station:X  \t\n", r{{2, "station", "X  \t"}, {-1, "", ""}}},
      {"blank lines vanish", "a: 1\n\n\n\nb: 2\n", r{{2, "a", "1"}, {2, "b", "2"}, {-1, "", ""}}},
      {"leading blank line joins the first key", "\nyear: 1\n",
       r{{2, "\nyear", "1"}, {-1, "", ""}}},
      {"carriage returns vanish anywhere", "st\ratio\rn: N\rH\rK\r\n\r\nyear: 1\r\n",
       r{{2, "station", "NHK"}, {2, "year", "1"}, {-1, "", ""}}},
      {"0x1A ends the data", "year: 1\nmonth: 2\x1A\ndate: 3\n",
       r{{2, "year", "1"}, {2, "month", "2"}, {-1, "", ""}}},
      {"0x1A inside a key",
       "ye\x1A"
       "ar: 1\n",
       r{{1, "ye", ""}, {-1, "", ""}}},
      {"empty data", "", r{{-1, "", ""}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(scan_all(c.text), c.expected) << c.name;
  }
}

TEST(LineScan, CutsOverLongKeysAndValues) {
  std::string long_key(1030, 'k');
  std::vector<scan_result> keys = scan_all(long_key + ": v\n");
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_EQ(keys[0], (scan_result{2, std::string(1024, 'k'), "kkkkkk: v"}));

  std::string long_value(1030, 'v');
  std::vector<scan_result> values = scan_all("title: " + long_value + "\nyear: 1\n");
  // The rest of the value is scanned as a line of its own, and having no
  // separator it runs on into the next one.
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0], (scan_result{2, "title", std::string(1024, 'v')}));
  EXPECT_EQ(values[1], (scan_result{2, "vvvvvv\nyear", "1"}));
}

TEST(LineScan, ReadsAFileThroughItsBufferAcrossRefills) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "key" + std::to_string(i) + ": value\r\n";
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  static unsigned char buffer[k_scan_buffer_size];
  scan_input input = scan_file(file, buffer);
  static scanned_line line;
  int lines = 0;
  while (scan_line(input, line) == 2) {
    ASSERT_EQ(std::string(line.key), "key" + std::to_string(lines));
    ASSERT_EQ(std::string(line.value), "value");
    ++lines;
  }
  std::fclose(file);
  EXPECT_EQ(lines, 20000);
}

TEST(LineScan, ReadsTheSameWhereverTheBufferIsRefilled) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"carriage return and line feed", "a: b\r\n\r\nc: d\r\n"},
      {"carriage returns in every item", "st\rat\rion:\r \rN\rHK\r\n\r\nyear: 1\n"},
      {"0x1A", "year: 1\r\x1A\ndate: 2\n"},
      {"separators and blank lines", "k : :\r: v\n\n\r\n\nx:y\n : \n"},
      {"key at its limit", std::string(1023, 'k') + "\rkk: v\n"},
      {"value at its limit", "k: " + std::string(1023, 'v') + "\rvv\r\nx: y\n"},
      {"long lines", std::string(1500, 'k') + ": " + std::string(3000, 'v') + "\r\nx: y\r\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::size_t> shifts;
    for (std::size_t shift = 0; shift <= c.bytes.size(); ++shift) {
      // Every offset of a short text; around the limits in a long one.
      bool near_limit = shift % 1024 < 4 || shift % 1024 > 1020;
      if (c.bytes.size() < 64 || near_limit || shift == c.bytes.size()) shifts.push_back(shift);
    }
    std::vector<scan_result> alone = scan_all(c.bytes);
    for (std::size_t shift : shifts) {
      // The refill falls shift bytes into the case's bytes.
      std::string text = padding(k_scan_buffer_size - shift) + c.bytes;
      std::vector<scan_result> got = scan_all_from_file(text);
      ASSERT_EQ(got, scan_all(text)) << c.name << ", refilled at " << shift;
      // After the padding's lines come the lines of the bytes alone.
      ASSERT_GE(got.size(), alone.size());
      ASSERT_EQ(std::vector<scan_result>(got.end() - alone.size(), got.end()), alone)
          << c.name << ", refilled at " << shift;
    }
  }
}
