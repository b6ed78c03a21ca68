// Text as Windows' wide (UTF-16) functions take it. For the *_win32.cpp
// files only; convert_win32.cpp implements it.
#pragma once

#include <string>

namespace platform {

// The code pages the tool converts between.
inline constexpr unsigned k_ansi_code_page = 0;  // CP_ACP: the system's own
inline constexpr unsigned k_utf8_code_page = 65001;
inline constexpr unsigned k_shift_jis_code_page = 932;

// Text in a code page as UTF-16; a byte that is no character becomes the
// system's replacement.
std::wstring wide_text(const std::string& text, unsigned code_page = k_utf8_code_page);

// As wide_text, but false (and nothing in wide) when text is not whole in
// the code page.
bool wide_text_exactly(const std::string& text, unsigned code_page, std::wstring& wide);

// UTF-16 text in a code page; what the code page lacks becomes its default
// character.
std::string narrow_text(const wchar_t* text, std::size_t size,
                        unsigned code_page = k_utf8_code_page);
std::string narrow_text(const std::wstring& text, unsigned code_page = k_utf8_code_page);

// The system's words for an error code, with the code ("... (error 2)"),
// as UTF-8 for a log.
std::string error_text(unsigned long code);

}  // namespace platform
