#include "tools/at/file_search.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(AtSignature, FindsTheTextAcrossChunkBoundaries) {
  const std::string needle = "zoba-REC";
  struct {
    std::string bytes;
    std::size_t chunk;
    bool found;
  } cases[] = {
      {"zoba-REC", 8, true},
      {"..zoba-REC..", 1, true},
      {"..zoba-REC..", 5, true},
      {"....zoba-REC", 5, true},
      {"zoba-RE", 3, false},
      {"zoba-REzoba-REC", 4, true},
      {"zoba-RE.C zoba REC", 2, false},
      {std::string(100, 'x') + "zoba-REC", 7, true},
  };
  for (const auto& c : cases) {
    std::string carry;
    bool found = false;
    for (std::size_t at = 0; at < c.bytes.size(); at += c.chunk) {
      found =
          chunk_holds(needle, c.bytes.data() + at, std::min(c.chunk, c.bytes.size() - at), carry) ||
          found;
    }
    EXPECT_EQ(found, c.found) << c.bytes << " in chunks of " << c.chunk;
  }
}
