// The UTF-8 rules, the same on every system.
#include "platform/convert.h"

std::size_t utf8_char_length(const std::string& text, std::size_t at) {
  unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  // Overlong forms, surrogates and code points past U+10FFFF are not well
  // formed.
  unsigned char second = static_cast<unsigned char>(text[at + 1]);
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

bool is_utf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    std::size_t length = utf8_char_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}
