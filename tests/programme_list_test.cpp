#include "reservation/programme_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Bytes handed out a few at a time, so that every edge of a read is met.
struct trickle {
  std::string bytes;
  std::size_t at = 0;
  std::size_t step = 3;
};

std::size_t read_trickle(void* source, unsigned char* buffer, std::size_t size) {
  trickle& t = *static_cast<trickle*>(source);
  std::size_t n = std::min({size, t.step, t.bytes.size() - t.at});
  std::memcpy(buffer, t.bytes.data() + t.at, n);
  t.at += n;
  return n;
}

// Each block's bytes, read a few at a time, marked "-" when it holds no
// programme; or "one programme".
std::vector<std::string> blocks_of(const std::string& bytes, std::size_t step) {
  trickle t{bytes, 0, step};
  auto list = std::make_unique<programme_list>();
  if (!start_programme_list(*list, read_trickle, &t)) return {"one programme"};
  std::vector<std::string> blocks;
  unsigned char piece[5];
  while (next_programme_block(*list)) {
    std::string block;
    while (std::size_t n = read_programme_block(list.get(), piece, sizeof piece)) {
      block.append(reinterpret_cast<char*>(piece), n);
    }
    blocks.push_back(finish_programme_block(*list) ? block : "-" + block);
  }
  return blocks;
}

constexpr char k_head[] =
    "Content-type: application/x-multi-tv-program-info\r\nboundary: =B=\r\n\r\n";

}  // namespace

TEST(ProgrammeList, BlocksAreTheBytesBetweenBoundaryLines) {
  struct Case {
    std::string file;
    std::vector<std::string> blocks;
  } cases[] = {
      {std::string(k_head) + "preamble\r\n=B=\r\na: 1\r\n\r\n=B= \t\r\nb: 2\r\n=B=\r\n",
       {"a: 1\r\n\r\n", "b: 2\r\n", "-"}},
      {std::string(k_head) + "=B=\na\n=B=x\n =B=\n=B\n=B=", {"a\n=B=x\n =B=\n=B\n", "-"}},
      {std::string(k_head) + "=B=\r\n\r\n \t\r\n=B=\r\nlast", {"-\r\n \t\r\n", "last"}},
      // The header may end on the first boundary line.
      {"content-TYPE:APPLICATION/X-MULTI-TV-PROGRAM\nBoundary :: =B= \n=B=\nx\n", {"x\n"}},
      // 0x1A ends the data, in the header or in a block.
      {std::string(k_head) + "=B=\nx\x1Ay\n=B=\nz\n", {"x"}},
      {"Content-type: application/x-multi-tv-program\n\x1A"
       "boundary: =B=\n\n=B=\nx\n",
       {"one programme"}},
      {std::string(k_head), {}},
      {std::string(k_head) + "no boundary line\r\n", {}},
      // Files of one programme.
      {"Content-type: application/x-tv-program-info\r\nboundary: =B=\r\n\r\n=B=\r\nx\r\n",
       {"one programme"}},
      {"boundary: =B=\r\n\r\n=B=\r\nx\r\n", {"one programme"}},
      // The type is judged on the whole value, however far into its line.
      {"Content-type:" + std::string(2000, ' ') +
           "application/x-multi-tv-program-info\nboundary: =B=\n\n=B=\nx\n",
       {"x\n"}},
      {"Content-type" + std::string(1100, ':') +
           "application/x-tv-program-info\n"
           "boundary: =B=\n\n=B=\nx\n",
       {"one programme"}},
      {"Content-type: application/x-multi-tv-program\r\nboundary: \r\n\r\n=B=\r\n",
       {"one programme"}},
      {"Content-type: application/x-multi-tv-program\r\nboundary: " + std::string(257, 'b') +
           "\r\n\r\n",
       {"one programme"}},
      {"", {"one programme"}},
  };
  for (const Case& c : cases) {
    for (std::size_t step : {std::size_t{1}, std::size_t{3}, std::size_t{64 * 1024}}) {
      EXPECT_EQ(blocks_of(c.file, step), c.blocks) << c.file << " step " << step;
    }
    trickle t{c.file};
    auto list = std::make_unique<programme_list>();
    int programmes =
        static_cast<int>(std::count_if(c.blocks.begin(), c.blocks.end(), [](const std::string& b) {
          return b.empty() || b[0] != '-';
        }));
    if (c.blocks == std::vector<std::string>{"one programme"}) programmes = -1;
    EXPECT_EQ(count_programmes(*list, read_trickle, &t), programmes) << c.file;
  }
}

TEST(ProgrammeList, BoundaryLinesAllowTrailingBlanksOnly) {
  // Lines without their LF; a CR before it counts as a blank.
  struct Case {
    std::string line;
    bool is_boundary;
  } cases[] = {
      {"=B=", true},
      {"=B=\r", true},
      {"=B= \t \r", true},
      {"=B=\r\r", true},
      {"=B=" + std::string(k_boundary_line_limit - 3, ' '), true},
      {"=B=" + std::string(k_boundary_line_limit - 2, ' '), false},
      {" =B=", false},
      {"=B==", false},
      {"=b=", false},
      {"=B= --", false},
      {"=B", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_boundary_line(c.line.data(), c.line.size(), "=B=", 3), c.is_boundary) << c.line;
  }
}

TEST(ProgrammeList, AOneProgrammeFileIsReadNoFurtherThanItsType) {
  std::string file = "Content-type: application/x-tv-program-info\r\n";
  for (int i = 0; i < 100; ++i) file += "station: S" + std::to_string(i) + "\r\n";
  // The type is known within the first read of 50 bytes: the caller starts
  // the file again from its first byte and scans it whole.
  for (std::size_t read_size : {std::size_t{50}, std::size_t{20}}) {
    trickle t{file, 0, read_size};
    auto list = std::make_unique<programme_list>();
    ASSERT_FALSE(start_programme_list(*list, read_trickle, &t));
    EXPECT_LE(t.at, 60u) << read_size;
  }
}
