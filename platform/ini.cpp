#include "platform/ini.h"

#include <cstdint>
#include <set>

#include "platform/text.h"

namespace {

// GetPrivateProfileIntA reads the value into a buffer of 30 characters.
constexpr std::size_t k_int_buffer = 30;
// The line end of a text that has none yet, as Windows writes it.
constexpr char k_default_line_end[] = "\r\n";
constexpr char k_middle_dot[] = "\x81\x45";
constexpr unsigned k_middle_dot_code = 0x8145;

struct span {
  std::size_t begin = 0;
  std::size_t end = 0;
};

// One line of the text, with its section or key name and its value.
struct ini_line {
  bool blank = true;
  bool is_section = false;
  bool has_value = false;
  span name;
  span value;
  std::size_t begin = 0;      // the line's first byte
  std::size_t after_end = 0;  // just after the line's first line end
  std::size_t next = 0;       // the first byte of the next line
};

// A lead byte always takes the byte after it, whatever that byte is.
std::size_t char_width(std::string_view text, std::size_t at) {
  if (is_sjis_lead(static_cast<unsigned char>(text[at])) && at + 1 < text.size()) return 2;
  return 1;
}

// Where the last character starts, found from the end: a byte that is no
// lead byte always ends a character, so the lead bytes just before the last
// byte pair up from the first of them, and an odd count leaves the last one
// to take the last byte.
std::size_t last_char_at(std::string_view text) {
  if (text.size() < 2) return 0;
  std::size_t leads = 0;
  while (leads + 1 < text.size() &&
         is_sjis_lead(static_cast<unsigned char>(text[text.size() - 2 - leads]))) {
    ++leads;
  }
  return text.size() - 1 - leads % 2;
}

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// ASCII white space and the end-of-file byte 0x1A (not the full-width space).
bool is_blank_at(std::string_view text, std::size_t at) {
  auto c = static_cast<unsigned char>(text[at]);
  if (char_width(text, at) == 2) return false;
  return c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x1A;
}

// A lead byte with no byte after it is no character: the Windows functions
// drop it when they convert the text, so it is dropped here too.
std::string_view without_lone_lead(std::string_view text) {
  if (text.empty() || last_char_at(text) != text.size() - 1) return text;
  if (is_sjis_lead(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// A lead byte with a byte that cannot follow it converts to the middle dot.
bool is_broken_pair(std::string_view text, std::size_t at) {
  return char_width(text, at) == 2 && !is_sjis_trail(static_cast<unsigned char>(text[at + 1]));
}

span trim(std::string_view text, span s) {
  while (s.begin < s.end && is_blank_at(text, s.begin)) s.begin += char_width(text, s.begin);
  std::size_t end = s.begin;
  for (std::size_t at = s.begin; at < s.end; at += char_width(text, at)) {
    if (!is_blank_at(text, at)) end = at + char_width(text, at);
  }
  s.end = end;
  return s;
}

std::string_view part(std::string_view text, span s) {
  return text.substr(s.begin, s.end - s.begin);
}

std::string_view trim_name(const char* name) {
  std::string_view text = without_lone_lead(name);
  return part(text, trim(text, {0, text.size()}));
}

// The bytes the Windows functions hand back for a stored text.
std::string as_returned(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); at += char_width(text, at)) {
    if (is_broken_pair(text, at)) {
      out += k_middle_dot;
    } else {
      out.append(text.substr(at, char_width(text, at)));
    }
  }
  return out;
}

// The name or the name and value of a line whose blanks are already gone.
void split_line(std::string_view text, span content, std::size_t equals, std::size_t bracket,
                ini_line& line) {
  line.blank = false;
  if (text[content.begin] == '[' && bracket != std::string_view::npos) {
    line.is_section = true;
    line.name = trim(text, {content.begin + 1, bracket});
  } else if (equals != std::string_view::npos) {
    line.has_value = true;
    line.name = trim(text, {content.begin, equals});
    line.value = trim(text, {equals + 1, content.end});
  } else {
    line.name = content;
  }
}

ini_line parse_line(std::string_view text, std::size_t begin) {
  std::size_t equals = std::string_view::npos;
  std::size_t bracket = std::string_view::npos;
  std::size_t at = begin;
  while (at < text.size() && !is_line_end(text[at])) {
    std::size_t width = char_width(text, at);
    if (width == 1 && text[at] == '=' && equals == std::string_view::npos) equals = at;
    if (width == 1 && text[at] == ']' && at > begin) bracket = at;
    at += width;
  }
  ini_line line;
  line.begin = begin;
  span content = trim(text, {begin, at});
  bool crlf = at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n';
  line.after_end = at + (at < text.size() ? (crlf ? 2 : 1) : 0);
  while (at < text.size() && is_line_end(text[at])) ++at;
  line.next = at;
  if (content.begin < content.end) {
    if (bracket != std::string_view::npos && bracket <= content.begin) {
      bracket = std::string_view::npos;
    }
    split_line(text, content, equals, bracket, line);
  }
  return line;
}

// One character for comparison: ASCII letters and the full-width Latin,
// Greek and Cyrillic letters of Shift_JIS as capitals.
unsigned fold(std::string_view text, std::size_t at, std::size_t width) {
  unsigned c = static_cast<unsigned char>(text[at]);
  if (width == 1) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
  if (is_broken_pair(text, at)) return k_middle_dot_code;
  unsigned code = c << 8 | static_cast<unsigned char>(text[at + 1]);
  if (code >= 0x8281 && code <= 0x829A) return code - 0x21;  // a to z
  if (code >= 0x83BF && code <= 0x83D6) return code - 0x20;  // alpha to omega
  if (code >= 0x8470 && code <= 0x847E) return code - 0x30;  // Cyrillic a to en
  if (code >= 0x8480 && code <= 0x8491) return code - 0x31;  // Cyrillic o to ya
  return code;
}

bool same_name(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t wa = char_width(a, i);
    std::size_t wb = char_width(b, j);
    if (fold(a, i, wa) != fold(b, j, wb)) return false;
    i += wa;
    j += wb;
  }
  return i == a.size() && j == b.size();
}

// Where a key is, or where a new one would go. Only the first section of
// the name is looked at. Lines are parsed as the search reaches them and it
// stops at the key, so a look-up is one pass over the file at most and
// needs no memory for the lines.
struct ini_place {
  bool section_found = false;
  std::size_t insert_at = 0;
  bool key_found = false;
  ini_line key;
};

// Walks the key lines of a section's first occurrence, keeping where a new
// key would go, until on_key (given each key line) says to stop.
template <typename key_visitor>
ini_place walk_section(std::string_view text, std::string_view section, key_visitor on_key) {
  ini_place place;
  bool inside = section.empty();  // keys before the first section
  place.section_found = inside;
  for (std::size_t at = 0; at < text.size();) {
    ini_line line = parse_line(text, at);
    at = line.next;
    if (line.blank) continue;
    if (line.is_section) {
      if (inside) break;
      inside = same_name(part(text, line.name), section);
      place.section_found = inside;
      place.insert_at = line.after_end;
    } else if (inside) {
      place.insert_at = line.after_end;
      if (on_key(line, place)) break;
    }
  }
  return place;
}

ini_place find_place(std::string_view text, std::string_view section, std::string_view key) {
  text = without_lone_lead(text);
  return walk_section(text, section, [text, key](const ini_line& line, ini_place& place) {
    if (!same_name(part(text, line.name), key)) return false;
    place.key_found = true;
    place.key = line;
    return true;
  });
}

std::size_t count_characters(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t at = 0; at < text.size(); at += char_width(text, at)) ++count;
  return count;
}

// The first count characters of a text.
void cut_characters(std::string& text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t n = 0; at < text.size() && n < count; ++n) at += char_width(text, at);
  text.resize(at);
}

// A value as the Windows functions copy it into a buffer of size
// characters: surrounding quotes go, but the closing one only when the
// whole value fits, and then the character before a quote that did not
// make it goes instead (so "abcdef" in 7 characters reads abcde).
std::string copy_entry(std::string_view value, std::size_t size) {
  bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                last_char_at(value) == value.size() - 1 && value.back() == value[0];
  if (quoted) value.remove_prefix(1);
  std::string buffer(value);
  cut_characters(buffer, size - 1);
  if (quoted && size >= count_characters(value) && !buffer.empty()) {
    buffer.resize(last_char_at(buffer));
  }
  return buffer;
}

std::string_view strip_trailing_spaces(std::string_view text) {
  while (text.size() > 1 && text.back() == ' ') text.remove_suffix(1);
  return text;
}

int leading_number(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && static_cast<unsigned char>(text[at]) <= ' ') ++at;
  bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
  std::uint32_t total = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    total = total * 10u + static_cast<std::uint32_t>(text[at] - '0');
  }
  return static_cast<int>(negative ? 0u - total : total);
}

// The raw value of a key; false when the section or the key is missing or
// the key has no "=".
bool find_value(std::string_view text, const char* section, const char* key, std::string& value) {
  ini_place place = find_place(text, trim_name(section), trim_name(key));
  if (!place.key_found || !place.key.has_value) return false;
  value = part(text, place.key.value);
  return true;
}

// A line added keeps the text's own line ends: its first one (CR and LF
// are never the second byte of a character, so a plain search finds it).
std::string line_end_of(std::string_view text) {
  std::size_t at = text.find_first_of("\r\n");
  if (at == std::string_view::npos) return k_default_line_end;
  if (text[at] == '\n') return "\n";
  return at + 1 < text.size() && text[at + 1] == '\n' ? "\r\n" : "\r";
}

bool ends_with_line_end(std::string_view text) {
  if (text.empty()) return true;
  std::size_t last = last_char_at(text);
  return last == text.size() - 1 && is_line_end(text[last]);
}

// Adds key_lines where place says, with the section's header when the
// section is new, in the text's own line ends.
std::string insert_lines(std::string& out, std::string_view body, ini_place place,
                         std::string_view section, const std::vector<std::string>& key_lines) {
  std::string end = line_end_of(body);
  if (!place.section_found) place.insert_at = body.size();
  std::string added;
  if (place.insert_at == body.size()) {
    out.resize(body.size());  // a lone lead byte at the end would take the line end
    if (!ends_with_line_end(body)) added += end;
  }
  if (!place.section_found) added.append("[").append(section).append("]").append(end);
  for (const std::string& line : key_lines) added.append(line).append(end);
  return out.insert(place.insert_at, added);
}

}  // namespace

std::string ini_read_string(std::string_view text, const char* section, const char* key,
                            const char* fallback, std::size_t size) {
  if (size == 0) return {};
  std::string value;
  if (!find_value(text, section, key, value)) {
    value = strip_trailing_spaces(without_lone_lead(fallback));
  }
  value = as_returned(copy_entry(value, size));
  cut_text(value, size - 1);
  return value;
}

int ini_read_int(std::string_view text, const char* section, const char* key, int fallback) {
  std::string value;
  if (!find_value(text, section, key, value)) return fallback;
  value = copy_entry(value, k_int_buffer);
  if (value.empty()) return fallback;
  return leading_number(value);
}

std::string ini_write_string(std::string_view text, const char* section, const char* key,
                             const char* value) {
  std::string_view body = without_lone_lead(text);
  std::string_view name = trim_name(key);
  std::string_view stored = without_lone_lead(value);
  while (!stored.empty() && is_blank_at(stored, 0)) stored.remove_prefix(char_width(stored, 0));
  ini_place place = find_place(body, trim_name(section), name);
  std::string out(text);
  if (place.key_found && place.key.has_value) {
    span old = place.key.value;
    out.replace(old.begin, old.end - old.begin, stored);
    return out;
  }
  if (place.key_found) {
    out.insert(place.key.name.end, 1, '=');
    return out.insert(place.key.name.end + 1, stored);
  }
  std::string key_line = std::string(name) + "=" + std::string(stored);
  return insert_lines(out, body, place, trim_name(section), {key_line});
}

namespace {

// A name as same_name compares it: each character folded, two bytes each.
std::string folded_name(std::string_view name) {
  std::string folded;
  for (std::size_t at = 0; at < name.size(); at += char_width(name, at)) {
    unsigned code = fold(name, at, char_width(name, at));
    folded.push_back(static_cast<char>(code >> 8));
    folded.push_back(static_cast<char>(code & 0xFF));
  }
  return folded;
}

// The names of the keys of a section's first occurrence, folded, and where
// a new key would go; one pass over the text.
ini_place section_keys(std::string_view text, std::string_view section,
                       std::set<std::string>& names) {
  return walk_section(text, section, [text, &names](const ini_line& line, ini_place&) {
    names.insert(folded_name(part(text, line.name)));
    return false;
  });
}

}  // namespace

std::string ini_key_name(const char* key) { return folded_name(trim_name(key)); }

std::map<std::string, std::string> ini_key_lines(std::string_view text, const char* section) {
  text = without_lone_lead(text);
  std::map<std::string, std::string> lines;
  walk_section(text, trim_name(section), [text, &lines](const ini_line& line, ini_place&) {
    lines.emplace(folded_name(part(text, line.name)),
                  text.substr(line.begin, line.next - line.begin));
    return false;
  });
  return lines;
}

std::string ini_add_keys(std::string_view text, const char* section,
                         const std::vector<std::string>& keys) {
  std::string_view body = without_lone_lead(text);
  std::set<std::string> names;
  ini_place place = section_keys(body, trim_name(section), names);
  std::vector<std::string> lines;
  for (const std::string& key : keys) {
    std::string_view name = trim_name(key.c_str());
    if (names.insert(folded_name(name)).second) lines.push_back(std::string(name) + "=");
  }
  std::string out(text);
  if (lines.empty()) return out;
  return insert_lines(out, body, place, trim_name(section), lines);
}

bool ini_find_value(std::string_view text, const char* section, const char* key, std::size_t& begin,
                    std::size_t& end) {
  text = without_lone_lead(text);
  ini_place place = find_place(text, trim_name(section), trim_name(key));
  if (!place.key_found || !place.key.has_value) return false;
  span value = place.key.value;
  std::string_view raw = part(text, value);
  bool quoted = raw.size() >= 2 && (raw[0] == '"' || raw[0] == '\'') &&
                last_char_at(raw) == raw.size() - 1 && raw.back() == raw[0];
  begin = value.begin + (quoted ? 1 : 0);
  end = value.end - (quoted ? 1 : 0);
  return true;
}
