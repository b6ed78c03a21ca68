// Fuzz target: the command-line splitters. Any line splits without a fault
// into at least one word and never into more bytes than it has. And words
// written the way the splitter reads them (the input cut at its NUL bytes)
// come back as the same words. The Windows AT's words lie in order within
// the line, each its stretch of the line without the double quotes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/command_line.h"
#include "platform/text.h"

namespace {

using words = std::vector<std::string>;

void check_any_line(const std::string& line) {
  words split = split_command_line(line.c_str());
  require(!split.empty(), "at least one word");
  std::size_t bytes = 0;
  for (const std::string& word : split) bytes += word.size();
  require(bytes <= line.size(), "no more bytes than the line");
}

// Writes one argument so that the splitter reads it back. The word is put in
// double quotes up to its last blank (the closing quote then follows a blank,
// never a backslash that would make it literal); a double quote is written
// as backslash-quote; a double-byte character is written whole.
std::string quote_argument(const std::string& word) {
  std::size_t last_blank = word.find_last_of(" \t");
  bool quoted = word.empty() || last_blank != std::string::npos;
  std::string out = quoted ? "\"" : "";
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (is_sjis_lead(static_cast<unsigned char>(word[i])) && i + 1 < word.size()) {
      out += word.substr(i++, 2);
    } else {
      out += word[i] == '"' ? "\\\"" : std::string(1, word[i]);
    }
    if (quoted && i == last_blank) out += '"';
  }
  if (word.empty()) out += '"';
  return out;
}

// A lead byte at the very end of a word would take the blank after it as
// its second byte, so words are made without one.
std::string without_lone_lead(std::string word) {
  std::size_t i = 0;
  while (i < word.size()) i += is_sjis_lead(static_cast<unsigned char>(word[i])) ? 2 : 1;
  if (i > word.size()) word.pop_back();
  return word;
}

void check_task_words(const std::string& line) {
  std::size_t after = 0;
  for (const command_word& word : task_command_words(line)) {
    require(after <= word.begin && word.begin < word.end && word.end <= line.size(),
            "words in order within the line");
    std::string stretch = line.substr(word.begin, word.end - word.begin);
    std::erase(stretch, '"');
    require(word.text == stretch, "a word is its stretch without quotes");
    after = word.end;
  }
}

void check_round_trip(const std::string& data) {
  words expected = {"zoba"};
  std::string line = "zoba";
  std::size_t start = 0;
  for (std::size_t nul = data.find('\0'); nul != std::string::npos; nul = data.find('\0', start)) {
    expected.push_back(without_lone_lead(data.substr(start, nul - start)));
    line += ' ' + quote_argument(expected.back());
    start = nul + 1;
  }
  require(split_command_line(line.c_str()) == expected, "quoted words split back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  check_any_line(bytes);
  check_task_words(bytes);
  check_round_trip(bytes);
  return 0;
}
