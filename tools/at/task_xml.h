// The pure part of the Windows AT: reading its whole command line, the task
// definition the Task Scheduler is given for one job, and the small record
// of the tasks AT registered. Text stays in the ANSI code page (Shift_JIS);
// AT converts the finished XML to UTF-16 in one place.
#pragma once

#include <string>
#include <vector>

#include "tools/at/at_job.h"

// Splits a whole command line as Windows hands it over ("AT 20:59 ... REC
// Y0001 ..."): word 0, AT's own name, is dropped; double quotes group blanks
// and are removed; backslashes are plain characters. The result are the
// words parse_at_arguments reads.
std::vector<std::string> split_task_command_line(const std::string& line);

// The arguments of the command parse_at_arguments found in the line's words:
// the text after the command's first word, exactly as written (blanks and
// quotes included) less the blanks that separate it. Empty when there are
// none.
std::string command_arguments(const std::string& line, const at_request& request);

// The command as written from its first word on: what the listing shows.
std::string command_text(const std::string& line, const at_request& request);

// The task's name: marks it as zoba's and carries the install (install_id)
// and the job identifier, so that no install's booking names another's task.
std::string task_name(const std::string& install, const std::string& id);

// The start of the names of one install's tasks: the record holds the
// names of every install AT serves from its folder.
std::string task_name_prefix(const std::string& install);

// The identifier of a second booking of a number the install already has
// (the number wrapped): "Y0001-2" for copy 2, which AT Y0001-2 /delete
// removes.
std::string copy_identifier(const std::string& id, int copy);

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

// The task XML for one job: a time trigger from the launch to the end, one
// Exec action at normal priority, the logged-on user's interactive token at
// least privilege, woken to run, started late when missed (until the end),
// never stopped for time or batteries, removed once expired.
std::string task_xml(const task_definition& task);

// What a registration's result means: done only for S_OK; a task that is
// registered but whose trigger or logon failed must be removed again; any
// failure code leaves nothing behind.
enum class registration { done, registered_unusable, refused };
registration registration_outcome(long result);

// Whether a Task Scheduler result says the task does not exist (the only
// reason a name leaves the record).
bool task_is_absent(long result);

// Whether a registration under TASK_CREATE failed because the name is taken.
bool task_name_taken(long result);

// A result code in hexadecimal, with what it means for the common codes
// (the scheduler not running, access denied, creation prohibited by
// policy, a task definition the scheduler calls malformed).
std::string result_text(long result);

// Whether the program a task starts is the recorder REC (its file name
// without folder and extension, in any case), which AT asks to check its
// settings before booking.
bool is_recorder(const std::string& program_path);

// The record of the tasks AT registered holds their names, one a line
// (text_lines reads them).

// The record with the name added once at its end (kept where it already is).
std::string record_with(const std::string& text, const std::string& name);

// The record without the name.
std::string record_without(const std::string& text, const std::string& name);
