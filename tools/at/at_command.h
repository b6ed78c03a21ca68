// AT's own words: the Windows-style scheduler command line zoba runs
// ("HH:MM [/interactive] [/NEXT:DD] command arguments..."), the list and
// delete forms, and the word and line helpers the listing and the records
// share.
#pragma once

#include <string>
#include <vector>

struct at_request {
  int hour = 0;
  int minute = 0;
  bool has_next = false;
  int next_day = 0;                  // /NEXT:DD
  std::vector<std::string> command;  // the command and its arguments
};

enum class at_form { list, remove, schedule };

// What AT's words (after its own name) ask for: none lists the jobs AT made,
// "ID /delete" removes one (id is set), anything else schedules a job.
at_form at_form_of(const std::vector<std::string>& words, std::string& id);

// Reads "HH:MM [/interactive] [/NEXT:DD] command arguments..." (the words
// after the program name). Returns an empty text, or what is wrong.
std::string parse_at_arguments(const std::vector<std::string>& words, at_request& request);

// The words joined by single blanks, as the listing shows a command.
std::string joined_words(const std::vector<std::string>& words);

// The lines of a text without their line ends (LF or CR LF), blank ones
// left out.
std::vector<std::string> text_lines(const std::string& text);
