// The words of a test's AT line: split at single spaces, each kept as
// written, so that a table can show a command as one line.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t end = line.find(' ', at);
    if (end == std::string::npos) end = line.size();
    out.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return out;
}
