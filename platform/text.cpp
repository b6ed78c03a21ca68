#include "platform/text.h"

#include <cstdarg>
#include <cstdio>

bool is_sjis_lead(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool is_sjis_trail(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

void cut_text(std::string& text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return;
  std::size_t i = 0;
  while (i < max_bytes) {
    std::size_t width = is_sjis_lead(static_cast<unsigned char>(text[i])) ? 2 : 1;
    if (i + width > max_bytes) break;
    i += width;
  }
  text.resize(i);
}

std::string visible_on_terminal(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    bool pair = is_sjis_lead(byte) && i + 1 < text.size() &&
                is_sjis_trail(static_cast<unsigned char>(text[i + 1]));
    if (pair) {
      shown.append(text, i, 2);
      ++i;
    } else if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      continue;  // the CR of a CR LF line end
    } else if (byte == '\n') {
      shown += '\n';
    } else {
      shown += (byte < 0x20 || byte == 0x7F || byte == 0x80) ? '?' : text[i];
    }
  }
  return shown;
}

std::string format_text_v(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  std::string text;
  if (length > 0) {
    text.resize(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<std::size_t>(length));
  }
  va_end(again);
  cut_text(text, k_text_limit);
  return text;
}

std::string format_text(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = format_text_v(format, args);
  va_end(args);
  return text;
}

bool read_decimal(const std::string& text, std::size_t max_digits, int& out) {
  if (text.empty() || text.size() > max_digits || max_digits > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  out = value;
  return true;
}

std::string escaped_for_markup(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '&') {
      escaped += "&amp;";
    } else if (c == '<') {
      escaped += "&lt;";
    } else if (c == '>') {
      escaped += "&gt;";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

std::string as_rich_text(const std::string& text) {
  std::string rich = "<qt>";
  for (char c : escaped_for_markup(text)) {
    if (c == '\n') {
      rich += "<br>";
    } else {
      rich += c;
    }
  }
  return rich + "</qt>";
}
