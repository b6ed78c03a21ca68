// Text conversion on POSIX, through iconv.
#include <iconv.h>

#include <cerrno>

#include "platform/convert.h"
#include "platform/text.h"

namespace {

// How many bytes to pass over at a character that could not be converted:
// one character of the source's encoding as far as it can be told.
std::size_t bad_character_length(const std::string& text, std::size_t at, const char* from,
                                 std::size_t left) {
  unsigned char byte = static_cast<unsigned char>(text[at]);
  std::string source = from;
  if (source == "CP932") return is_sjis_lead(byte) && left > 1 ? 2 : 1;
  if (source.starts_with("UTF-16")) return left > 1 ? 2 : 1;
  std::size_t length = utf8_char_length(text, at);
  return length == 0 ? 1 : length;
}

std::string convert(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  while (in_left > 0) {
    char buffer[1024];
    char* put = buffer;
    std::size_t put_left = sizeof buffer;
    std::size_t result = iconv(cd, &in, &in_left, &put, &put_left);
    out.append(buffer, static_cast<std::size_t>(put - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      std::size_t at = static_cast<std::size_t>(in - text.data());
      std::size_t skip = bad_character_length(text, at, from, in_left);
      out += '?';
      in += skip;
      in_left -= skip;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string convert_from_sjis(const std::string& text, const char* charset) {
  return convert(text, charset, "CP932");
}

std::string convert_to_sjis(const std::string& text, const char* charset) {
  return convert(text, "CP932", charset);
}

std::string convert_between(const std::string& text, const char* from, const char* to) {
  return convert(text, to, from);
}

std::string utf8_from_tool_text(const std::string& text) {
  return is_utf8(text) ? text : convert_from_sjis(text, "UTF-8");
}

std::string system_from_utf8(const std::string& utf8) { return utf8; }

std::string utf8_from_system(const std::string& text) { return text; }
