#include "tools/at/file_search.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// file_holds reads this much at a time.
constexpr std::size_t k_search_chunk = std::size_t{64} * 1024;

}  // namespace

bool chunk_holds(const std::string& needle, const char* bytes, std::size_t size,
                 std::string& carry) {
  std::string text = carry;
  text.append(bytes, size);
  bool found = text.find(needle) != std::string::npos;
  std::size_t keep = needle.empty() ? 0 : std::min(text.size(), needle.size() - 1);
  carry = text.substr(text.size() - keep);
  return found;
}

bool file_holds(const std::string& path, const std::string& needle, std::size_t limit) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::vector<char> chunk(k_search_chunk);
  std::string carry;
  bool found = false;
  std::size_t total = 0;
  std::size_t got = 0;
  while (!found && total < limit &&
         (got = std::fread(chunk.data(), 1, std::min(chunk.size(), limit - total), file)) > 0) {
    total += got;
    found = chunk_holds(needle, chunk.data(), got, carry);
  }
  std::fclose(file);
  return found;
}
