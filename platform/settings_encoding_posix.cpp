#include "platform/settings_encoding_posix.h"

#include <algorithm>
#include <vector>

#include "platform/convert.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr char k_bom[] = "\xEF\xBB\xBF";
constexpr std::size_t k_bom_size = 3;
constexpr char k_utf16le_mark[] = "\xFF\xFE";
constexpr char k_utf16be_mark[] = "\xFE\xFF";
constexpr std::size_t k_utf16_mark_size = 2;

// Cuts text after each line end (LF, CR LF or a lone CR), as the INI rules
// end lines; the last piece may have none.
std::vector<std::string> line_pieces(const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t begin = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if ((text[i] == '\n' || text[i] == '\r') && !crlf) {
      pieces.push_back(text.substr(begin, i + 1 - begin));
      begin = i + 1;
    }
  }
  if (begin < text.size()) pieces.push_back(text.substr(begin));
  return pieces;
}

bool is_line_start(const std::string& text, std::size_t at) {
  return at == 0 || text[at - 1] == '\n' || text[at - 1] == '\r';
}

bool has_non_ascii(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; });
}

// Shift_JIS as bytes go: single bytes 0x00-0x7F and 0xA1-0xDF, and lead
// bytes each with a byte that can follow it.
bool is_sjis_text(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if (is_sjis_lead(byte)) {
      if (i + 1 == text.size() || !is_sjis_trail(static_cast<unsigned char>(text[++i]))) {
        return false;
      }
    } else if (byte >= 0x80 && (byte < 0xA1 || byte > 0xDF)) {
      return false;
    }
  }
  return true;
}

// Where each character of a line starts, in its Shift_JIS form and in the
// file: a UTF-8 line is converted a character at a time (one that
// Shift_JIS lacks becomes one "?"), any other line is its own Shift_JIS.
struct offsets {
  std::vector<std::size_t> sjis = {0};
  std::vector<std::size_t> file = {0};
};

void add_line(const std::string& line, offsets& map) {
  bool utf8 = is_utf8(line);
  for (std::size_t at = 0; at < line.size();) {
    std::size_t length = utf8 ? utf8_char_length(line, at) : 1;
    std::size_t sjis_length = utf8 ? convert_to_sjis(line.substr(at, length), "UTF-8").size() : 1;
    at += length;
    map.sjis.push_back(map.sjis.back() + sjis_length);
    map.file.push_back(map.file.back() + length);
  }
}

// A file that is not UTF-8 as a whole: Shift_JIS unless it holds lines of
// UTF-8 beyond ASCII, and then mixed, each line in its own encoding.
settings_text text_of_other(const std::string& bytes) {
  settings_text text = {};
  std::vector<std::string> lines = line_pieces(bytes);
  bool utf8_lines = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return has_non_ascii(line) && is_utf8(line);
  });
  for (std::size_t i = 0; i < lines.size(); ++i) {
    bool readable = utf8_lines ? is_utf8(lines[i]) : is_sjis_text(lines[i]);
    if (!readable && text.unreadable_line == 0) text.unreadable_line = i + 1;
    if (utf8_lines) text.sjis += is_utf8(lines[i]) ? convert_to_sjis(lines[i], "UTF-8") : lines[i];
  }
  text.sjis_file = !utf8_lines;
  if (text.sjis_file) text.sjis = bytes;
  if (utf8_lines) text.utf8 = bytes;
  return text;
}

// A UTF-16 file whose text does not come back whole from UTF-8 holds a
// lone surrogate or a cut-off last unit: the line of the first such.
std::size_t bad_utf16_line(const std::string& body, const std::string& utf8, const char* utf16) {
  std::string back = convert_between(utf8, "UTF-8", utf16);
  if (back == body) return 0;
  std::size_t at = 0;
  while (at < body.size() && at < back.size() && body[at] == back[at]) ++at;
  std::size_t line = 1;
  bool little = std::string(utf16) == "UTF-16LE";
  for (std::size_t i = 0; i + 1 < at; i += 2) {
    if (body[i + (little ? 0 : 1)] == '\n' && body[i + (little ? 1 : 0)] == '\0') ++line;
  }
  return line;
}

}  // namespace

settings_text settings_text_of(const std::string& file_bytes) {
  const char* utf16 = file_bytes.starts_with(k_utf16le_mark)   ? "UTF-16LE"
                      : file_bytes.starts_with(k_utf16be_mark) ? "UTF-16BE"
                                                               : nullptr;
  if (utf16 != nullptr) {
    std::string body = file_bytes.substr(k_utf16_mark_size);
    std::string utf8 = convert_between(body, utf16, "UTF-8");
    settings_text text = settings_text_of(utf8);
    text.utf16 = utf16;
    if (text.unreadable_line == 0) text.unreadable_line = bad_utf16_line(body, utf8, utf16);
    return text;
  }
  if (!is_utf8(file_bytes)) return text_of_other(file_bytes);
  settings_text text = {};
  text.bom = file_bytes.starts_with(k_bom);
  text.utf8 = file_bytes.substr(text.bom ? k_bom_size : 0);
  text.sjis = convert_to_sjis(text.utf8, "UTF-8");
  return text;
}

std::string settings_key(const settings_text& text, const char* key) {
  if (text.sjis_file) return key;
  return convert_to_sjis(convert_from_sjis(key, "UTF-8"), "UTF-8");
}

namespace {

// The INI rules change one line or add whole lines: the old lines found
// unchanged at the start and at the end of the new text keep their bytes;
// in the lines between, the characters unchanged at their start and end
// keep theirs too, and only what lies between is converted. Line ends
// convert to themselves and nothing else converts to one, so the file's
// lines and their Shift_JIS form pair up one to one.
std::string utf8_file_bytes(const settings_text& text, const std::string& changed_sjis) {
  std::vector<std::string> utf8 = line_pieces(text.utf8);
  std::vector<std::string> old = line_pieces(text.sjis);
  if (utf8.size() != old.size()) return convert_from_sjis(changed_sjis, "UTF-8");
  std::size_t first = 0;
  std::size_t begin = 0;
  while (first < old.size() && changed_sjis.compare(begin, old[first].size(), old[first]) == 0) {
    begin += old[first++].size();
  }
  std::size_t last = old.size();
  std::size_t end = changed_sjis.size();
  while (last > first && end - begin >= old[last - 1].size() &&
         changed_sjis.compare(end - old[last - 1].size(), old[last - 1].size(), old[last - 1]) ==
             0 &&
         is_line_start(changed_sjis, end - old[last - 1].size())) {
    end -= old[--last].size();
  }
  std::string was_sjis;
  std::string was_file;
  offsets map;
  for (std::size_t i = first; i < last; ++i) {
    was_sjis += old[i];
    was_file += utf8[i];
    add_line(utf8[i], map);
  }
  std::string now = changed_sjis.substr(begin, end - begin);
  std::size_t same = 0;
  while (same < was_sjis.size() && same < now.size() && was_sjis[same] == now[same]) ++same;
  std::size_t same_end = 0;
  while (same + same_end < std::min(was_sjis.size(), now.size()) &&
         was_sjis[was_sjis.size() - 1 - same_end] == now[now.size() - 1 - same_end]) {
    ++same_end;
  }
  // Character boundaries: the last at or before the change, the first at or
  // after its end.
  auto head = std::upper_bound(map.sjis.begin(), map.sjis.end(), same) - 1;
  auto tail = std::lower_bound(map.sjis.begin(), map.sjis.end(), was_sjis.size() - same_end);
  std::size_t kept_head = *head;
  std::size_t kept_tail = was_sjis.size() - *tail;
  std::string bytes = text.bom ? k_bom : "";
  for (std::size_t i = 0; i < first; ++i) bytes += utf8[i];
  bytes += was_file.substr(0, map.file[head - map.sjis.begin()]);
  bytes += convert_from_sjis(now.substr(kept_head, now.size() - kept_tail - kept_head), "UTF-8");
  bytes += was_file.substr(map.file[tail - map.sjis.begin()]);
  for (std::size_t i = last; i < old.size(); ++i) bytes += utf8[i];
  return bytes;
}

}  // namespace

bool settings_file_bytes(const settings_text& text, const std::string& changed_sjis,
                         std::string& bytes) {
  if (text.unreadable_line != 0) return false;
  if (text.sjis_file) {
    bytes = changed_sjis;
    return true;
  }
  if (text.utf16 == nullptr) {
    bytes = utf8_file_bytes(text, changed_sjis);
    return true;
  }
  settings_text as_utf8 = text;
  as_utf8.utf16 = nullptr;
  const char* mark = std::string(text.utf16) == "UTF-16LE" ? k_utf16le_mark : k_utf16be_mark;
  bytes = std::string(mark, k_utf16_mark_size) +
          convert_between(utf8_file_bytes(as_utf8, changed_sjis), "UTF-8", text.utf16);
  return true;
}

std::string settings_utf8_of(const settings_text& text, std::size_t begin, std::size_t end) {
  if (text.sjis_file) return convert_from_sjis(text.sjis.substr(begin, end - begin), "UTF-8");
  std::vector<std::string> utf8 = line_pieces(text.utf8);
  std::vector<std::string> sjis = line_pieces(text.sjis);
  std::size_t line_start = 0;
  std::size_t line = 0;
  while (line + 1 < sjis.size() && line_start + sjis[line].size() <= begin) {
    line_start += sjis[line++].size();
  }
  if (line >= utf8.size()) return {};
  if (!is_utf8(utf8[line])) {
    return convert_from_sjis(text.sjis.substr(begin, end - begin), "UTF-8");
  }
  offsets map;
  add_line(utf8[line], map);
  auto from = std::lower_bound(map.sjis.begin(), map.sjis.end(), begin - line_start);
  auto to = std::lower_bound(map.sjis.begin(), map.sjis.end(), end - line_start);
  if (to == map.sjis.end()) --to;
  if (from > to) from = to;
  std::size_t file_from = map.file[from - map.sjis.begin()];
  return utf8[line].substr(file_from, map.file[to - map.sjis.begin()] - file_from);
}

}  // namespace platform
