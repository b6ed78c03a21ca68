// Shift_JIS text shown where another character set is expected (a UTF-8
// terminal, zenity, the at queue): the one place the tool decodes its text.
#pragma once

#include <string>

// Converts Shift_JIS text to the named character set (iconv's names); a
// character that cannot be converted becomes "?". Unchanged when the
// conversion is not available.
std::string convert_from_sjis(const std::string& text, const char* charset);
