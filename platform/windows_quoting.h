// The command line handed to CreateProcessW: each argument quoted so
// that the C runtime's parsing (CommandLineToArgvW, the MSVCRT start-up
// code) gives back exactly that argument. Pure, so that it is tested on
// every system; the text is UTF-8 and passes through byte for byte.
#pragma once

#include <string>
#include <vector>

// One argument as the C runtime reads it back: as it stands when it is not
// empty and holds no blank, tab, line end or quote; otherwise in quotes, with
// each quote written \" and the backslashes before a quote or before the
// closing quote doubled (elsewhere backslashes stay single).
std::string windows_quoted_argument(const std::string& argument);

// The arguments quoted and joined by single blanks. The first (the program)
// is quoted by the same rule, which the runtime's own rule for the program
// name reads back alike for any path (a path holds no quote).
std::string windows_command_line(const std::vector<std::string>& arguments);

// True for a path Windows starts only through cmd.exe: its extension is
// .bat or .cmd (any case) once the trailing dots and blanks Windows drops
// from a file name are dropped ("rec.bat." and "rec.bat " are rec.bat).
bool is_batch_file_name(const std::string& path);
