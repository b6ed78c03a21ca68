#include "platform/command_line.h"

#include "platform/text.h"

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Copies one byte, or a lead byte with the byte after it, so that a trail
// byte equal to a quote or a backslash is never taken for one.
const char* copy_character(const char* p, std::string& word) {
  word += *p;
  if (is_sjis_lead(static_cast<unsigned char>(*p)) && p[1] != '\0') {
    word += p[1];
    return p + 2;
  }
  return p + 1;
}

const char* skip_blanks(const char* p) {
  while (is_blank(*p)) ++p;
  return p;
}

const char* read_program_word(const char* p, std::string& word) {
  bool quoted = false;
  while (*p != '\0' && (quoted || !is_blank(*p))) {
    if (*p == '"') {
      quoted = !quoted;
      ++p;
    } else {
      p = copy_character(p, word);
    }
  }
  return p;
}

const char* read_argument(const char* p, std::string& word) {
  bool quoted = false;
  while (*p != '\0' && (quoted || !is_blank(*p))) {
    if (p[0] == '\\' && p[1] == '"') {
      word += '"';
      p += 2;
    } else if (*p == '"') {
      // A closing quote does not end the word: "a""b" and "a"b are one word.
      quoted = !quoted;
      ++p;
    } else {
      p = copy_character(p, word);
    }
  }
  return p;
}

}  // namespace

std::vector<std::string> split_command_line(const char* line) {
  std::vector<std::string> words(1);
  const char* p = read_program_word(skip_blanks(line), words[0]);
  for (p = skip_blanks(p); *p != '\0'; p = skip_blanks(p)) {
    words.emplace_back();
    p = read_argument(p, words.back());
  }
  return words;
}

std::vector<command_word> task_command_words(const std::string& line) {
  std::vector<command_word> words;
  std::size_t at = 0;
  while (true) {
    while (at < line.size() && is_blank(line[at])) ++at;
    if (at == line.size()) return words;
    command_word word{"", at, at};
    bool quoted = false;
    for (; at < line.size() && (quoted || !is_blank(line[at])); ++at) {
      if (line[at] == '"') {
        quoted = !quoted;
      } else {
        word.text += line[at];
      }
    }
    word.end = at;
    words.push_back(word);
  }
}

std::vector<std::string> split_task_command_line(const std::string& line) {
  std::vector<std::string> words;
  std::vector<command_word> spans = task_command_words(line);
  for (std::size_t i = 1; i < spans.size(); ++i) words.push_back(spans[i].text);
  return words;
}
