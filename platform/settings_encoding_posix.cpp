#include "platform/settings_encoding_posix.h"

#include <vector>

#include "platform/convert.h"

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

}  // namespace

settings_text settings_text_of(const std::string& file_bytes) {
  const char* utf16 = file_bytes.starts_with(k_utf16le_mark)   ? "UTF-16LE"
                      : file_bytes.starts_with(k_utf16be_mark) ? "UTF-16BE"
                                                               : nullptr;
  if (utf16 != nullptr) {
    settings_text text =
        settings_text_of(convert_between(file_bytes.substr(k_utf16_mark_size), utf16, "UTF-8"));
    text.utf16 = utf16;
    return text;
  }
  settings_text text = {};
  text.from_sjis = !is_utf8(file_bytes);
  if (text.from_sjis) {
    text.sjis = file_bytes;
    return text;
  }
  text.bom = file_bytes.starts_with(k_bom);
  text.utf8 = file_bytes.substr(text.bom ? k_bom_size : 0);
  text.sjis = convert_to_sjis(text.utf8, "UTF-8");
  return text;
}

// The INI rules change one line or add whole lines: the old lines found
// unchanged at the start and at the end of the new text are kept as their
// UTF-8 bytes, and only what lies between is converted. Line ends convert
// to themselves and nothing else converts to one, so the file's lines and
// their Shift_JIS form pair up one to one.
std::string settings_file_bytes(const settings_text& text, const std::string& changed_sjis) {
  if (text.utf16 != nullptr) {
    settings_text as_utf8 = text;
    as_utf8.utf16 = nullptr;
    const char* mark = std::string(text.utf16) == "UTF-16LE" ? k_utf16le_mark : k_utf16be_mark;
    return std::string(mark, k_utf16_mark_size) +
           convert_between(settings_file_bytes(as_utf8, changed_sjis), "UTF-8", text.utf16);
  }
  if (text.from_sjis) return convert_from_sjis(changed_sjis, "UTF-8");
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
  std::string bytes = text.bom ? k_bom : "";
  for (std::size_t i = 0; i < first; ++i) bytes += utf8[i];
  bytes += convert_from_sjis(changed_sjis.substr(begin, end - begin), "UTF-8");
  for (std::size_t i = last; i < old.size(); ++i) bytes += utf8[i];
  return bytes;
}

}  // namespace platform
