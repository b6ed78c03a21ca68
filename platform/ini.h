// Reading and writing INI text the way the Windows profile functions do, over
// a byte string in Shift_JIS. No file access: the platform layer reads the
// file, hands its bytes here and stores what comes back.
//
// The rules followed are those of the Windows functions as far as this tool
// stores and reads: lines end at CR or LF (a lead byte always takes the byte
// after it, so "\x83\n" is one character and ends no line); blanks around
// names and values are ignored (ASCII white space and 0x1A, not the
// full-width space); a line whose first character is "[" and that holds a
// later "]" is a section named by what lies between "[" and the last "]";
// any other line is a key, named up to its first "=", with no value when
// there is no "="; keys before the first section belong to a section with
// an empty name. Names compare without regard to case, for ASCII and for the
// full-width Latin, Greek and Cyrillic letters (as Windows does; Wine folds
// ASCII only). A lead byte with no byte after it is dropped; a lead byte
// with a byte that cannot follow it reads as the middle dot, as the Windows
// conversion makes it. Only the first section of a name is searched and the
// first key of a name in it decides, even one without a value. A comment
// line is an ordinary key line (";x=1" is the key ";x").
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// What GetPrivateProfileStringA gives: the value (or the fallback, trailing
// spaces removed, when missing) with surrounding quotes dropped, cut to
// size - 1 bytes without splitting a character. A missing file is an
// empty text.
std::string ini_read_string(std::string_view text, const char* section, const char* key,
                            const char* fallback, std::size_t size);

// What GetPrivateProfileIntA gives: the leading signed decimal number of the
// value's first 29 characters, wrapping around in 32 bits; the fallback when
// the value is missing or empty.
int ini_read_int(std::string_view text, const char* section, const char* key, int fallback);

// The text after storing a key: an existing value is replaced in place, a
// key without "=" gets one, a new key goes after the last line of its
// section and a new section at the end, their lines ended as the text's
// first line is (CR LF in a text with none). Every other byte stays as it
// was. Leading blanks of the value are not stored.
std::string ini_write_string(std::string_view text, const char* section, const char* key,
                             const char* value);

// The text after entering each key the section lacks, with an empty value,
// in one block where ini_write_string would put the first: keys already
// there (with a value or without "="), or named twice, are left alone. One
// pass over the text however many keys are entered.
std::string ini_add_keys(std::string_view text, const char* section,
                         const std::vector<std::string>& keys);

// A key's name in the form ini_key_lines files it under: two names are
// the same key exactly when their forms are equal.
std::string ini_key_name(const char* key);

// The line of each key of a section's first occurrence (the first of a
// name), by ini_key_name, in one pass over the text: for a caller that
// looks up many keys of one text. A key's line after the section's header
// reads as the key does in the whole text.
std::map<std::string, std::string> ini_key_lines(std::string_view text, const char* section);

// Where a key's value lies in the text (blanks and surrounding quotes left
// out, as ini_read_string drops them); false when the section or the key is
// missing or the key has no "=".
bool ini_find_value(std::string_view text, const char* section, const char* key, std::size_t& begin,
                    std::size_t& end);
