#include "tools/rec/rec_names.h"

#include <cstdio>
#include <cstring>

namespace rec {

std::string split_template(const std::string& text, std::vector<std::string>& words) {
  words.clear();
  std::string word;
  bool in_word = false;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (quoted) return "a quote is not closed";
  if (in_word) words.push_back(word);
  if (words.empty()) return "no program named";
  return {};
}

namespace {

const std::string* value_named(const std::string& name, const values& with) {
  const std::pair<const char*, const std::string*> table[] = {
      {"id", &with.id},           {"channel", &with.channel}, {"type", &with.type},
      {"seconds", &with.seconds}, {"file", &with.file},       {"title", &with.title},
      {"date", &with.date},       {"start", &with.start},     {"end", &with.end}};
  for (const auto& [key, value] : table) {
    if (name == key) return value;
  }
  return nullptr;
}

}  // namespace

std::string fill_word(const std::string& word, const values& with, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < word.size(); ++i) {
    char c = word[i];
    bool doubled = i + 1 < word.size() && word[i + 1] == c;
    if ((c == '{' || c == '}') && doubled) {
      out += c;
      ++i;
    } else if (c == '}') {
      return "a lone } in " + word + " (write }} for a brace)";
    } else if (c == '{') {
      std::size_t close = word.find('}', i);
      std::string name = word.substr(i + 1, close == std::string::npos ? 0 : close - i - 1);
      const std::string* value = close == std::string::npos ? nullptr : value_named(name, with);
      if (value == nullptr) return "unknown placeholder in " + word + " (write {{ for a brace)";
      out += *value;
      i = close;
    } else {
      out += c;
    }
  }
  return {};
}

std::string fill_template(const std::vector<std::string>& words, const values& with,
                          std::vector<std::string>& out) {
  std::vector<std::string> filled(words.size());
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string error = fill_word(words[i], with, filled[i]);
    if (!error.empty()) return error;
  }
  out = filled;
  return {};
}

namespace {

bool is_reserved(const std::string& stem) {
  std::string upper = stem;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  for (const char* name : {"CON", "PRN", "AUX", "NUL"}) {
    if (upper == name) return true;
  }
  return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         upper[3] >= '1' && upper[3] <= '9';
}

}  // namespace

namespace {

// A C1 control (U+0080 to U+009F) in UTF-8: some converters make Shift_JIS
// 0x80 into U+0080.
bool is_c1_control(const std::string& name, std::size_t at) {
  return static_cast<unsigned char>(name[at]) == 0xC2 && at + 1 < name.size() &&
         static_cast<unsigned char>(name[at + 1]) >= 0x80 &&
         static_cast<unsigned char>(name[at + 1]) <= 0x9F;
}

}  // namespace

std::string mended_name(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || std::strchr("<>:\"/\\|?*", c) != nullptr) {
      out += '_';
    } else if (is_c1_control(name, i)) {
      out += '_';
      ++i;
    } else if (c == '%') {
      out += "\xEF\xBC\x85";  // U+FF05, the full-width percent sign
    } else {
      out += c;
    }
  }
  std::size_t keep = out.find_last_not_of(". ");
  keep = keep == std::string::npos ? 0 : keep + 1;
  out.replace(keep, std::string::npos, out.size() - keep, '_');
  std::size_t dot = out.find('.');
  if (is_reserved(out.substr(0, dot))) out.insert(dot == std::string::npos ? out.size() : dot, "_");
  return out.empty() ? "_" : out;
}

namespace {

// Where a name's extension starts: its last dot, when one to eight ASCII
// letters and digits, a letter among them, follow it ("a.ts", "a.m2ts"); a
// title's own dot ("Vol.2", "Mr. Bean") is no extension. The name's size
// when it has none.
std::size_t extension_at(const std::string& name) {
  std::size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string::npos || name.size() - dot - 1 > 8) return name.size();
  bool letter = false;
  for (std::size_t i = dot + 1; i < name.size(); ++i) {
    char c = static_cast<char>(name[i] | 0x20);
    bool digit = name[i] >= '0' && name[i] <= '9';
    if (!digit && (c < 'a' || c > 'z')) return name.size();
    letter = letter || !digit;
  }
  return letter ? dot : name.size();
}

}  // namespace

std::string numbered_name(const std::string& name, int number,
                          bool (*fits)(const std::string& name)) {
  std::size_t dot = extension_at(name);
  std::string stem = name.substr(0, dot);
  std::string tail = (number > 1 ? "-" + std::to_string(number) : "") + name.substr(dot);
  while (!stem.empty() && !fits(stem + tail)) {
    std::size_t cut = stem.size() - 1;
    // Back to the lead byte of the last character: never half a character.
    while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) --cut;
    stem.resize(cut);
  }
  return stem.empty() ? std::string() : stem + tail;
}

std::string server_file_name(const std::string& pattern, const values& with, std::string& out) {
  out.clear();
  std::string filled;
  std::string error = fill_word(pattern.empty() ? k_default_name : pattern, with, filled);
  if (!error.empty()) return error;
  out = numbered_name(mended_name(filled), 1,
                      [](const std::string& name) { return name.size() <= k_longest_name; });
  return {};
}

namespace {

bool needs_quotes(const std::string& word) {
  if (word.empty()) return true;
  for (char c : word) {
    auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F || c == '"' || c == '\\') return true;
  }
  return false;
}

}  // namespace

std::string shown_command(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) {
    if (!out.empty()) out += ' ';
    out += needs_quotes(word) ? '"' + log_escaped(word, true) + '"' : word;
  }
  return out;
}

}  // namespace rec
