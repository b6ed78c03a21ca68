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

// The task's name: marks it as zoba's and carries the job identifier, so a
// second registration for the same reservation replaces the first.
std::string task_name(const std::string& id);

// Text with XML's special characters (& < > " ') written as references.
// Shift_JIS trail bytes are never one of them, so bytes are safe to scan.
std::string xml_escape(const std::string& text);

struct task_definition {
  at_date date;  // the launch, local time
  int hour = 0;
  int minute = 0;
  std::string program;         // as the Task Scheduler will start it
  std::string arguments;       // as the program will get them
  std::string working_folder;  // empty: the Task Scheduler's default
  std::string id;              // the job identifier, which names the task
  std::string description;     // the listing line
};

// The task for a command line whose words parse_at_arguments read, launched
// on date: the program as found (program_path, in working_folder), the
// arguments exactly as written, and the listing line as its description.
task_definition task_for(const std::string& line, const at_request& request, const at_date& date,
                         const std::string& program_path, const std::string& working_folder);

// The task XML for one job: a time trigger at the launch, one Exec action, the
// logged-on user's interactive token at least privilege, woken to run, started
// late when missed, never stopped for time or batteries, removed once expired.
std::string task_xml(const task_definition& task);

// The record of the tasks AT registered holds their names, one a line
// (text_lines reads them).

// The record with the name added once at its end (kept where it already is).
std::string record_with(const std::string& text, const std::string& name);

// The record without the name.
std::string record_without(const std::string& text, const std::string& name);
