// Shift_JIS shown where another character set is expected (a UTF-8
// terminal, zenity, the at queue, Windows' wide functions), and text from
// outside (paths, the settings file) made into the Shift_JIS the tool works
// in: the one place the tool decodes its text. iconv on POSIX, the code
// page functions on Windows (which know the names UTF-8 and CP932, and take
// their own replacement for a character that cannot be converted).
#pragma once

#include <string>

// Converts Shift_JIS text to the named character set (iconv's names); a
// character that cannot be converted becomes "?". Unchanged when the
// conversion is not available.
std::string convert_from_sjis(const std::string& text, const char* charset);

// Converts text in the named character set to Shift_JIS; a character
// Shift_JIS lacks, or a byte that is no character, becomes "?". Unchanged
// when the conversion is not available.
std::string convert_to_sjis(const std::string& text, const char* charset);

// Converts text between two character sets (iconv's names); what cannot be
// converted becomes "?". Unchanged when the conversion is not available.
std::string convert_between(const std::string& text, const char* from, const char* to);

// The tool's own text (Shift_JIS, from a command line or the settings file)
// as UTF-8. On POSIX, where the system hands arguments over in UTF-8, text
// that already is UTF-8 stays as it is.
std::string utf8_from_tool_text(const std::string& text);

// UTF-8 text in the system's narrow encoding, as an ANSI function or the
// reader of our standard error takes it: the ANSI code page on Windows;
// unchanged on POSIX.
std::string system_from_utf8(const std::string& utf8);

// Text in the system's narrow encoding as UTF-8: from the ANSI code page on
// Windows; unchanged on POSIX.
std::string utf8_from_system(const std::string& text);

// True when text is well-formed UTF-8 (plain ASCII is).
bool is_utf8(const std::string& text);

// The length of the UTF-8 character starting at text[at] (1 to 4); 0 when
// no well-formed one starts there.
std::size_t utf8_char_length(const std::string& text, std::size_t at);
