// The names of a job AT books: its identifier, the install it belongs to,
// its listing line, and the Task Scheduler name that carries both.
#pragma once

#include <string>
#include <vector>

#include "tools/at/launch_date.h"

// The job's identifier, used to list and delete it: the reservation number
// (the first word after the program that is "Y" and digits, as zoba writes
// it), or else the launch stamp (at_time_stamp) when there is none.
std::string job_identifier(const std::vector<std::string>& command, const std::string& stamp);

// The install a job belongs to: eight hexadecimal digits (FNV-1a, 32 bits)
// of its settings file's path, ASCII letters folded to lower case when
// fold_case is set (Windows paths). Jobs of other installs are never
// listed, replaced or deleted.
std::string install_id(const std::string& settings_path, bool fold_case);

// Whether a task whose source names the settings file recorded belongs to
// the install of settings_path (ASCII letters folded, as Windows paths): an
// empty one, a task registered before AT named it, belongs to the install
// its name's hash says, as before.
bool is_install_settings(const std::string& recorded, const std::string& settings_path);

// What the listing shows for one job: identifier, launch date and time, and
// the command line, e.g. "Y0001  2008/03/29 20:59  REC Y0001 ...".
std::string listing_line(const std::string& id, const at_date& date, int hour, int minute,
                         const std::string& command_text);

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
