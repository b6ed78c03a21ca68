// Shift_JIS shown where another character set is expected (a UTF-8
// terminal, zenity, the at queue), and text from outside (paths, the
// settings file) made into the Shift_JIS the tool works in: the one place
// the tool decodes its text.
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

// True when text is well-formed UTF-8 (plain ASCII is).
bool is_utf8(const std::string& text);

// The length of the UTF-8 character starting at text[at] (1 to 4); 0 when
// no well-formed one starts there.
std::size_t utf8_char_length(const std::string& text, std::size_t at);
