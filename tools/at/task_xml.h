// The task definition the Windows AT gives the Task Scheduler for one job,
// and its XML. Text stays in the ANSI code page (Shift_JIS); AT converts
// the finished XML to UTF-16 in one place.
#pragma once

#include <string>
#include <vector>

#include "tools/at/at_command.h"
#include "tools/at/launch_date.h"

// The arguments of the command parse_at_arguments found in the line's words:
// the text after the command's first word, exactly as written (blanks and
// quotes included) less the blanks that separate it. Empty when there are
// none.
std::string command_arguments(const std::string& line, const at_request& request);

// The command as written from its first word on: what the listing shows.
std::string command_text(const std::string& line, const at_request& request);

// Text with XML's special characters (& < > " ') and CR written as
// references (a parser turns a bare CR into LF). Shift_JIS trail bytes are
// never one of them, so bytes are safe to scan.
std::string xml_escape(const std::string& text);

// Empty when XML 1.0 can hold the value and it is whole Shift_JIS; else why
// not, naming the byte and its place: a control byte other than tab, LF and
// CR, or a lead byte without its trail byte.
std::string unwritable_byte(const std::string& value);

struct task_definition {
  at_date date;  // the launch, local time
  int hour = 0;
  int minute = 0;
  std::string program;         // as the Task Scheduler will start it
  std::string arguments;       // as the program will get them
  std::string working_folder;  // empty: the Task Scheduler's default
  std::string id;              // the job identifier, which names the task
  std::string command;         // the command as written, which the listing shows
  std::string description;     // the listing line
  std::string settings;        // the install's settings file, which tells it from another
  std::string end;             // the trigger's end, YYYY-MM-DDThh:mm:00
};

// The end of the programme a zoba command books, YYYY-MM-DDThh:mm:00: its
// last seven words are number, channel, HH:MM-HH:MM, year, month, day and
// title; a start hour of 24 to 29 is the next day, and the end is on the
// start's day or, when not after the start, the next. Empty when the
// command carries no such words.
std::string programme_end(const std::vector<std::string>& command);

// The task for a command line whose words parse_at_arguments read, launched
// on date: the program as found (program_path, in working_folder), the
// arguments exactly as written, the listing line as its description, and
// the trigger ending with the programme (a day after the launch for a
// command without one; never before the launch).
task_definition task_for(const std::string& line, const at_request& request, const at_date& date,
                         const std::string& program_path, const std::string& working_folder);

// A text of the task that goes into its XML, with the name a refusal gives
// it.
struct task_value {
  const char* name;
  const std::string* value;
};

// The task's texts, each checked and converted on its own.
std::vector<task_value> task_values(const task_definition& task);

// Empty when every value of the task can go into its XML; else which value
// cannot and why (unwritable_byte).
std::string task_refusal(const task_definition& task);

// The task XML for one job: its listing line as the description and the
// install's settings file as its source, a time trigger from the launch to the end, one
// Exec action at normal priority, the logged-on user's interactive token at
// least privilege, woken to run, started late when missed (until the end),
// never stopped for time or batteries, removed once expired.
std::string task_xml(const task_definition& task);

// Whether the program a task starts is the recorder REC (its file name
// without folder and extension, in any case), which AT asks to check its
// settings before booking.
bool is_recorder(const std::string& program_path);
