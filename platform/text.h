// Byte-string helpers for Shift_JIS text. Text is never decoded: these only
// need to know which bytes start a double-byte character.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// The output limit of the Windows formatter every shown text goes through:
// 1024 bytes with the terminator.
inline constexpr std::size_t k_text_limit = 1023;

// True for a byte that starts a double-byte Shift_JIS character
// (0x81-0x9F, 0xE0-0xFC).
bool is_sjis_lead(unsigned char byte);

// True for a byte that can follow a lead byte (0x40-0x7E, 0x80-0xFC).
bool is_sjis_trail(unsigned char byte);

// Shortens text to at most max_bytes bytes without leaving the lead byte of
// a double-byte character alone at the end.
void cut_text(std::string& text, std::size_t max_bytes);

// Shift_JIS text as a terminal may show it: line ends become "\n" and every
// other control byte (and 0x80, which decodes to one) becomes "?", so that a
// file cannot move the cursor, clear the screen or repaint what the user
// is asked to confirm. Double-byte characters are kept whole.
std::string visible_on_terminal(const std::string& text);

// printf-style formatting into a string, cut to k_text_limit as above.
std::string format_text(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same with the arguments already gathered.
std::string format_text_v(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// Reads a whole number of one to max_digits (at most 9) decimal digits and
// nothing else, no sign or blank; false for anything else.
bool read_decimal(const std::string& text, std::size_t max_digits, int& out);

// Text with the three characters markup reads (& < >) written as entities.
// Safe on Shift_JIS and UTF-8 alike: neither uses those bytes inside a
// character.
std::string escaped_for_markup(const std::string& text);

// Text that a program which guesses whether it is markup (kdialog) always
// reads as markup and shows as it is: escaped, line ends (LF) as <br>,
// inside <qt>...</qt>.
std::string as_rich_text(const std::string& text);
