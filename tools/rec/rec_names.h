// REC's command template and file names: the template split into words and
// filled with a programme's values, and the recording's name made one that
// both systems can hold. Pure, so that both systems' rules are tested
// everywhere.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tools/rec/rec.h"

namespace rec {

// Splits a command template into words at blanks; "..." groups blanks into a
// word and the quotes are dropped. Empty on success, otherwise why not.
std::string split_template(const std::string& text, std::vector<std::string>& words);

// Fills {id} {channel} {type} {seconds} {file} {title} {date} {start} {end}
// into one word; "{{" and "}}" are braces. Empty on success, otherwise why
// not (an unknown name, a lone brace).
std::string fill_word(const std::string& word, const values& with, std::string& out);

// Fills every word of a split template; a value never makes a word more.
std::string fill_template(const std::vector<std::string>& words, const values& with,
                          std::vector<std::string>& out);

// A UTF-8 file name made one that both systems can hold: the characters
// < > : " / \ | ? * and control characters (C0, DEL and C1) become "_", "%" its full-width form
// (a recorder may expand %), a reserved device name (CON, NUL, COM1...) gets
// "_" after it, trailing dots and blanks become "_".
std::string mended_name(const std::string& name);

// The name with "-number" before its extension (none for number 1), at its
// end when it has none (a title's own dot, as in "Vol.2", is none: an
// extension is one to eight ASCII letters and digits), its stem cut by
// whole UTF-8 characters until fits accepts it. Empty when even a
// one-character stem does not fit.
std::string numbered_name(const std::string& name, int number,
                          bool (*fits)(const std::string& name));

// The longest file name, in bytes, that a Linux file system (where a
// recording server records) holds.
inline constexpr std::size_t k_longest_name = 255;

// The name a recording server records a programme into, made by the rules
// REC names its own recordings by: the pattern (name= in [REC]) filled,
// mended and cut whole to k_longest_name bytes, its extension kept. It is
// relative and names no folder. Empty on success, otherwise why not (an
// unknown placeholder, a lone brace).
std::string server_file_name(const std::string& pattern, const values& with, std::string& out);

// The words of a command as one text for the log: a word holding a blank, a
// quote, a backslash, a control byte or nothing is quoted and escaped as
// log_escaped does.
std::string shown_command(const std::vector<std::string>& words);

}  // namespace rec
