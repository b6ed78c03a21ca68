#include <iconv.h>

#include <cerrno>

#include "platform/convert.h"
#include "platform/text.h"

namespace {

// The length of the UTF-8 sequence starting at text[i] (1 to 4); 0 when no
// well-formed sequence starts there (overlong forms, surrogates and code
// points past U+10FFFF are not well formed).
std::size_t utf8_length(const std::string& text, std::size_t i) {
  unsigned char lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || i + length > text.size()) return 0;
  unsigned char second = static_cast<unsigned char>(text[i + 1]);
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// How many bytes to pass over at a character that could not be converted:
// one character of the source's encoding as far as it can be told.
std::size_t bad_character_length(const std::string& text, std::size_t at, const char* from,
                                 std::size_t left) {
  unsigned char byte = static_cast<unsigned char>(text[at]);
  std::string source = from;
  if (source == "CP932") return is_sjis_lead(byte) && left > 1 ? 2 : 1;
  if (source.starts_with("UTF-16")) return left > 1 ? 2 : 1;
  std::size_t length = utf8_length(text, at);
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

bool is_utf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = utf8_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::size_t utf8_char_length(const std::string& text, std::size_t at) {
  return utf8_length(text, at);
}
