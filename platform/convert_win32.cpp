// Text conversion on Windows, through the code page functions.
#include <windows.h>

#include <cstring>

#include "platform/convert.h"
#include "platform/wide.h"

namespace platform {

std::wstring wide_text(const std::string& text, unsigned code_page) {
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  if (length > 0) MultiByteToWideChar(code_page, 0, text.data(), size, out.data(), length);
  return out;
}

bool wide_text_exactly(const std::string& text, unsigned code_page, std::wstring& wide) {
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  wide.clear();
  if (length == 0) return size == 0;
  wide.resize(static_cast<std::size_t>(length));
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
  return true;
}

std::string narrow_text(const wchar_t* text, std::size_t size, unsigned code_page) {
  int count = static_cast<int>(size);
  int length = WideCharToMultiByte(code_page, 0, text, count, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  if (length > 0) {
    WideCharToMultiByte(code_page, 0, text, count, out.data(), length, nullptr, nullptr);
  }
  return out;
}

std::string narrow_text(const std::wstring& text, unsigned code_page) {
  return narrow_text(text.data(), text.size(), code_page);
}

}  // namespace platform

namespace {

// The code page of a character set's name; false for a name Windows has
// no code page for here.
bool code_page_of(const char* charset, unsigned& code_page) {
  if (std::strcmp(charset, "UTF-8") == 0) {
    code_page = platform::k_utf8_code_page;
  } else if (std::strcmp(charset, "CP932") == 0) {
    code_page = platform::k_shift_jis_code_page;
  } else {
    return false;
  }
  return true;
}

}  // namespace

std::string convert_between(const std::string& text, const char* from, const char* to) {
  unsigned from_page = 0;
  unsigned to_page = 0;
  if (!code_page_of(from, from_page) || !code_page_of(to, to_page)) return text;
  return platform::narrow_text(platform::wide_text(text, from_page), to_page);
}

std::string convert_from_sjis(const std::string& text, const char* charset) {
  return convert_between(text, "CP932", charset);
}

std::string convert_to_sjis(const std::string& text, const char* charset) {
  return convert_between(text, charset, "CP932");
}

// Windows hands arguments over in the ANSI code page: the tool's text is
// Shift_JIS whatever its bytes look like.
std::string utf8_from_tool_text(const std::string& text) {
  return convert_from_sjis(text, "UTF-8");
}

std::string system_from_utf8(const std::string& utf8) {
  return platform::narrow_text(platform::wide_text(utf8), platform::k_ansi_code_page);
}

std::string utf8_from_system(const std::string& text) {
  return platform::narrow_text(platform::wide_text(text, platform::k_ansi_code_page));
}
