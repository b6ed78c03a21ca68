// Splitting a Windows-style command line into words.
#pragma once

#include <string>
#include <vector>

// Splits a command line into its words. Word 0 is the typed program word
// (double quotes around it are honoured, backslashes are not special); the
// rest are split at blanks with double-quoted runs, backslash-quote and
// double-byte Shift_JIS characters handled as the tool has always done.
// An empty quoted word counts. The result always has at least one word.
std::vector<std::string> split_command_line(const char* line);
