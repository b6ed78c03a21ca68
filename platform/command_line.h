// Splitting a Windows-style command line into words: the one zoba is
// started with, and the one the Windows AT is started with.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Splits a command line into its words. Word 0 is the typed program word
// (double quotes around it are honoured, backslashes are not special); the
// rest are split at blanks, where a double quote opens or closes a run that
// keeps its blanks, backslash-quote is a quote inside the word, any other
// backslash stays (a Windows path keeps its own), and a double-byte
// Shift_JIS character is copied whole, so that its trail byte is never taken
// for a quote or a backslash. An empty quoted word counts. The result
// always has at least one word.
std::vector<std::string> split_command_line(const char* line);

// One word of a command line as the Windows AT reads it, and where it
// stands in the line.
struct command_word {
  std::string text;       // the word, quotes removed
  std::size_t begin = 0;  // where it starts in the line
  std::size_t end = 0;    // the offset just past it
};

// Every word of a whole command line, word 0 included, split at blanks
// (space, tab); double quotes group blanks and are removed; backslashes are
// plain characters. None for a line of blanks.
std::vector<command_word> task_command_words(const std::string& line);

// Splits a whole command line as Windows hands it over ("AT 20:59 ... REC
// Y0001 ..."): word 0, AT's own name, is dropped, the rest are the words of
// task_command_words. The result are the words parse_at_arguments reads.
std::vector<std::string> split_task_command_line(const std::string& line);
