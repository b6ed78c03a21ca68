// Fuzz target: the INI reader and writer on any file bytes, one write of a
// section, key and value taken from the input, then reads.
//
// Input: the file's bytes, then NUL-separated section, key and value (a part
// that is missing is empty).
//
// Properties, for every input: no fault. For a write the tool could make (a
// key that is not blank, starts with no "[" and holds no "=" of its own, and
// a section, key and value with no line end of their own; the Windows rules
// read "[x]=" as a section, so such a key cannot be one):
// - the bytes the write removed hold no line end: every other line of the
//   file is kept byte for byte;
// - every other key the file names reads as before, in its own section and
//   in the written one;
// - the key reads back as after the same write to an empty file; for a value
//   the reader hands back as it stands (no blank at either end, no
//   surrounding quotes, no broken or unfinished double-byte character), that
//   is the value itself, and writing it again changes nothing.
// Whether two names are the same (case, blanks) is the reader's own rule,
// asked of it on a file the writer makes of the one name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace {

// Large enough that no read in the target is cut.
constexpr std::size_t k_read_size = 1 << 16;
constexpr std::size_t k_most_names = 48;
constexpr char k_missing[] = "\x01missing";

struct name_pair {
  std::string section;
  std::string key;
};

std::string_view next_part(std::string_view& input) {
  std::size_t nul = input.find('\0');
  std::string_view part = input.substr(0, nul);
  input = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);
  return part;
}

std::size_t width_at(std::string_view text, std::size_t at) {
  bool pair = is_sjis_lead(static_cast<unsigned char>(text[at])) && at + 1 < text.size();
  return pair ? 2 : 1;
}

// Whether text holds one of the bytes in set as a character of its own.
bool has_single(std::string_view text, std::string_view set) {
  for (std::size_t at = 0; at < text.size(); at += width_at(text, at)) {
    if (width_at(text, at) == 1 && set.find(text[at]) != std::string_view::npos) return true;
  }
  return false;
}

std::string read(std::string_view text, const std::string& section, const std::string& key) {
  return ini_read_string(text, section.c_str(), key.c_str(), k_missing, k_read_size);
}

// Whether the reader takes the names a for the names b, asked of it on a
// file that holds only b, written by the writer.
bool same_section(const std::string& a, const std::string& b) {
  std::string probe = ini_write_string("", b.c_str(), "k", "1");
  return ini_read_string(probe, a.c_str(), "k", "", 4) == "1";
}

bool same_key(const std::string& a, const std::string& b) {
  std::string probe = ini_write_string("", "P", b.c_str(), "1");
  return ini_read_string(probe, "P", a.c_str(), "", 4) == "1";
}

// The first "=" that is a character of its own, or the end.
std::size_t find_equals(std::string_view text) {
  for (std::size_t at = 0; at < text.size(); at += width_at(text, at)) {
    if (width_at(text, at) == 1 && text[at] == '=') return at;
  }
  return text.size();
}

// The section and key names of the file's lines, roughly as the reader
// sees them (the reader trims the names itself).
std::vector<name_pair> names_in(std::string_view text) {
  std::vector<name_pair> names;
  std::string section;
  std::size_t begin = 0;
  for (std::size_t at = 0; at <= text.size() && names.size() < k_most_names;) {
    if (at < text.size() && width_at(text, at) == 2) {
      at += 2;
    } else if (at == text.size() || text[at] == '\r' || text[at] == '\n') {
      std::string_view line = text.substr(begin, at - begin);
      std::size_t first = line.find_first_not_of(" \t");
      std::size_t close = line.rfind(']');
      if (first != std::string_view::npos && line[first] == '[' &&
          close != std::string_view::npos && close > first &&
          !has_single(line.substr(close), "\r\n")) {
        section = line.substr(first + 1, close - first - 1);
      } else if (first != std::string_view::npos) {
        names.push_back({section, std::string(line.substr(0, find_equals(line)))});
      }
      begin = ++at;
    } else {
      ++at;
    }
  }
  return names;
}

bool is_blank(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A; }

// A value the reader hands back exactly as it was written.
bool reads_as_written(std::string_view value) {
  if (value.empty()) return true;
  if (is_blank(value.front()) || is_blank(value.back())) return false;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    return false;
  }
  for (std::size_t at = 0; at < value.size(); at += width_at(value, at)) {
    auto byte = static_cast<unsigned char>(value[at]);
    if (!is_sjis_lead(byte)) continue;
    if (at + 1 == value.size()) return false;
    if (!is_sjis_trail(static_cast<unsigned char>(value[at + 1]))) return false;
  }
  return true;
}

bool is_tool_write(const std::string& section, const std::string& key, const std::string& value) {
  std::string trimmed = key;
  while (!trimmed.empty() && is_blank(static_cast<unsigned char>(trimmed.front()))) {
    trimmed.erase(0, 1);
  }
  if (trimmed.empty() || trimmed.front() == '[' || has_single(trimmed, "=")) return false;
  return !has_single(section, "\r\n") && !has_single(key, "\r\n") && !has_single(value, "\r\n");
}

// The write removed no line end: every other line is as it was.
void check_kept_lines(std::string_view before, std::string_view after) {
  std::size_t prefix = 0;
  while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix]) {
    ++prefix;
  }
  std::size_t suffix = 0;
  while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix]) {
    ++suffix;
  }
  // A line feed after a lead byte is part of its character, no line end.
  for (std::size_t at = 0; at < before.size() - suffix; at += width_at(before, at)) {
    bool line_end = width_at(before, at) == 1 && (before[at] == '\r' || before[at] == '\n');
    require(at < prefix || !line_end, "no other line is changed");
  }
}

void check_other_keys(std::string_view before, std::string_view after, const name_pair& written) {
  std::vector<name_pair> names = names_in(before);
  std::size_t listed = names.size();
  for (std::size_t i = 0; i < listed; ++i) names.push_back({written.section, names[i].key});
  for (const name_pair& name : names) {
    bool same = same_section(name.section, written.section) && same_key(name.key, written.key);
    if (same) continue;
    require(read(before, name.section, name.key) == read(after, name.section, name.key),
            "every other key reads as before");
    ini_read_int(after, name.section.c_str(), name.key.c_str(), -999);
  }
}

void check_written_key(std::string_view after, const name_pair& written, const std::string& value) {
  std::string got = read(after, written.section, written.key);
  std::string alone =
      ini_write_string("", written.section.c_str(), written.key.c_str(), value.c_str());
  require(got == read(alone, written.section, written.key), "reads as from a file of its own");
  if (!reads_as_written(value)) return;
  require(got == value, "the value reads back as written");
  std::string again =
      ini_write_string(after, written.section.c_str(), written.key.c_str(), value.c_str());
  require(again == after, "writing the same value again changes nothing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view before = next_part(input);
  name_pair written = {std::string(next_part(input)), std::string(next_part(input))};
  std::string value(next_part(input));
  std::string after =
      ini_write_string(before, written.section.c_str(), written.key.c_str(), value.c_str());
  if (!is_tool_write(written.section, written.key, value)) {
    read(after, written.section, written.key);
    return 0;
  }
  check_kept_lines(before, after);
  check_other_keys(before, after, written);
  check_written_key(after, written, value);
  return 0;
}
