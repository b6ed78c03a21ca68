// AT.exe: the scheduler zoba runs, standing in on Windows for the system
// command of that name, which on current Windows takes jobs only from an
// elevated administrator and runs them away from the user's desktop. It
// takes the same command line and registers a one-time task with the Task
// Scheduler as the logged-on user, on their desktop, with no elevation. A
// console program of its own, shipped beside zoba.exe.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/command_line.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/self.h"
#include "tools/at/at_command.h"
#include "tools/at/at_status.h"
#include "tools/at/job_id.h"
#include "tools/at/launch_date.h"
#include "tools/at/rec_check.h"
#include "tools/at/task_record.h"
#include "tools/at/task_result.h"
#include "tools/at/task_scheduler.h"
#include "tools/at/task_xml.h"

namespace {

// A booked number already taken in this install (it wrapped) gets a copy
// number up to this.
constexpr int k_copies = 99;

// The names of the tasks AT registered, beside AT.exe: the listing reads it,
// as not every Task Scheduler can enumerate its tasks.
constexpr char k_record_file[] = "AT.tasks";
constexpr char k_no_entries[] = "There are no entries in the list.";

// The install this run serves (install_id) and its settings file, which a
// task names as its source: its tasks are the only ones AT lists, replaces
// or deletes, as two settings files may share the hash.
std::string g_install;
std::string g_settings;

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "AT: %s\n", message.c_str());
  return status;
}

// Why a value of the task cannot go into its XML: the pure rule, then each
// value converted on its own in the real code page, so that no byte of a
// value is ever read together with the markup after it.
std::string unconvertible_value(const task_definition& task) {
  std::string why = task_refusal(task);
  if (!why.empty()) return why;
  for (const task_value& v : task_values(task)) {
    if (!is_system_text(*v.value)) {
      return std::string("the ") + v.name + " is not text of the system's code page";
    }
  }
  return {};
}

// The record beside AT.exe, named in UTF-8 for the file functions.
std::string record_path() {
  std::string folder = platform::self_folder_utf8();
  return folder.empty() ? std::string(k_record_file) : folder + "\\" + k_record_file;
}

std::string read_record() {
  std::string text;
  platform::read_file(record_path(), text);
  return text;
}

// Replaced whole, so that AT ended half way through leaves the old record
// or the new one.
bool write_record(const std::string& text) { return platform::replace_file(record_path(), text); }

// The settings file of the install that runs AT: zoba names it in the
// environment; AT typed by hand serves the zoba.ini beside itself.
std::string settings_path() {
  char path[MAX_PATH * 2] = {};
  DWORD length = GetEnvironmentVariableA(k_install_variable, path, sizeof path);
  if (length > 0 && length < sizeof path) return std::string(path, length);
  return platform::settings_path();
}

// The program as the system would find it for a command line: AT's own
// folder (zoba's) first, then PATH, ".exe" added to a name without an
// extension. The task gets the full path, so it starts the same program
// whatever folder it starts in; both in the ANSI code page.
bool find_program(const std::string& program, std::string& path, std::string& folder) {
  std::string found = platform::find_program(utf8_from_system(program));
  if (found.empty()) return false;
  found = platform::absolute_path(found);
  path = system_from_utf8(found);
  folder = system_from_utf8(platform::folder_of(found) + "\\");
  return true;
}

// Lists this install's tasks of the record that still exist and forgets
// those the Task Scheduler says are gone (run, expired and removed, or
// deleted by hand); one it cannot read now stays.
int list_tasks(task_scheduler* s) {
  std::string record = read_record();
  std::string kept = record;
  std::string prefix = task_name_prefix(g_install);
  int shown = 0;
  for (const std::string& name : text_lines(record)) {
    if (!name.starts_with(prefix)) continue;
    std::string description;
    std::string source;
    long result = task_registration(s, name, description, source);
    if (task_is_absent(result)) {
      kept = record_without(kept, name);
      continue;
    }
    if (!is_install_settings(source, g_settings)) continue;
    if (FAILED(result))
      description = name.substr(prefix.size()) + "  (" + result_text(result) + ")";
    std::printf("%s\n", description.empty() ? name.c_str() : description.c_str());
    ++shown;
  }
  if (shown == 0) std::printf("%s\n", k_no_entries);
  if (kept != record) write_record(kept);
  return k_status_done;
}

int delete_task(task_scheduler* s, const std::string& id) {
  std::string name = task_name(g_install, id);
  std::string description;
  std::string source;
  long result = task_registration(s, name, description, source);
  // A task of another install whose hash is the same is not this one's.
  if (SUCCEEDED(result) && !is_install_settings(source, g_settings)) {
    return fail("there is no job " + id, k_status_no_such_job);
  }
  result = remove_task(s, name);
  if (FAILED(result) && !task_is_absent(result)) {
    return fail(
        "the job " + id + " cannot be deleted (" + result_text(result) + "); it stays booked",
        k_status_refused);
  }
  write_record(record_without(read_record(), name));
  if (FAILED(result)) {
    return fail("there is no job " + id + " (" + result_text(result) + ")", k_status_no_such_job);
  }
  std::printf("Deleted the job with job ID = %s\n", id.c_str());
  return k_status_done;
}

// REC is asked, with the job's own arguments, whether its settings can
// record: a booking it would fail at the launch time is refused now. Only
// our REC, whose file carries its signature: a user's own REC.bat or
// program of that name is never started at booking.
int check_recorder(const task_definition& task) {
  if (!is_recorder(task.program)) return k_status_done;
  std::string line = "\"" + task.program + "\" --check";
  if (!task.arguments.empty()) line += " " + task.arguments;
  rec_check_result check = check_rec({task.program, "--check"}, utf8_from_system(line),
                                     utf8_from_system(task.working_folder));
  switch (check.outcome) {
    case rec_check_outcome::not_ours:
    case rec_check_outcome::can_record:
      return k_status_done;
    case rec_check_outcome::not_started:
      return fail("the recorder " + task.program + " cannot be started for its check",
                  k_status_recorder);
    case rec_check_outcome::timed_out:
      return fail("the recorder " + task.program + " did not answer its check within " +
                      std::to_string(k_rec_check_seconds) + " seconds",
                  k_status_recorder);
    case rec_check_outcome::refused:
      break;
  }
  if (check.reason.empty()) {
    return fail(
        "the recorder's check ended with status " + std::to_string(static_cast<long>(check.status)),
        k_status_recorder);
  }
  return fail("the recorder cannot record: " + check.reason, k_status_recorder);
}

// Reads the command line (and its words) and finds the launch and the
// program; a status other than done when one of them is wrong.
int read_job(const std::string& line, const std::vector<std::string>& words,
             task_definition& task) {
  at_request request;
  std::string error = parse_at_arguments(words, request);
  if (!error.empty()) return fail(error, k_status_unreadable);
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  at_date today{now.wYear, now.wMonth, now.wDay};
  int now_minute = now.wHour * 60 + now.wMinute;
  at_date date;
  error = launch_day(request, today, now_minute, date);
  if (!error.empty()) return fail(error, k_status_unreadable);
  error = past_launch(request, today, now_minute, date);
  if (!error.empty()) return fail(error + "; nothing was registered", k_status_past);
  std::string path;
  std::string folder;
  if (!find_program(request.command[0], path, folder)) {
    return fail("the program " + request.command[0] + " cannot be found", k_status_no_program);
  }
  task = task_for(line, request, date, path, folder);
  task.settings = g_settings;
  error = unconvertible_value(task);
  if (!error.empty()) return fail(error + "; nothing was registered", k_status_unreadable);
  return check_recorder(task);
}

// Registers the task under its name, or, when this install already has a
// task of that number (it wrapped), under the first free copy number.
long register_new(task_scheduler* s, task_definition& task) {
  std::string id = task.id;
  long result = E_FAIL;
  for (int copy = 1; copy <= k_copies; ++copy) {
    if (copy > 1) {
      task.id = copy_identifier(id, copy);
      task.description = listing_line(task.id, task.date, task.hour, task.minute, task.command);
    }
    result = register_task(s, task_name(g_install, task.id), task_xml(task));
    if (!task_name_taken(result)) return result;
  }
  return result;
}

int schedule(task_scheduler* s, task_definition task) {
  long result = register_new(s, task);
  std::string name = task_name(g_install, task.id);
  registration outcome = registration_outcome(result);
  if (outcome == registration::registered_unusable) {
    long removed = remove_task(s, name);
    // Kept in the record while it exists, so that AT lists it and can delete it.
    if (FAILED(removed)) write_record(record_with(read_record(), name));
    std::string what = SUCCEEDED(removed) ? "it was removed again"
                                          : "it could not be removed (" + result_text(removed) +
                                                "): delete " + name + " in the Task Scheduler";
    return fail("the Task Scheduler registered the job but cannot run it (" + result_text(result) +
                    "); " + what,
                k_status_refused);
  }
  if (outcome == registration::refused) {
    return fail("the Task Scheduler did not take the job (" + result_text(result) + ")",
                k_status_refused);
  }
  if (!write_record(record_with(read_record(), name))) {
    std::fprintf(stderr, "AT: %s cannot be written; AT will not list this job\n", k_record_file);
  }
  std::printf("Added a new job with job ID = %s\n", task.id.c_str());
  return k_status_done;
}

// Everything after the command line is read: connect, then do what it asks.
int run(const std::string& line) {
  g_settings = settings_path();
  g_install = install_id(g_settings, true);
  std::vector<std::string> words = split_task_command_line(line);
  std::string id;
  at_form form = at_form_of(words, id);
  task_definition task;
  if (form == at_form::schedule) {
    int status = read_job(line, words, task);
    if (status != k_status_done) return status;
  }
  long result = 0;
  task_scheduler* s = connect_scheduler(result);
  int status = k_status_no_scheduler;
  if (s == nullptr) {
    fail("the Task Scheduler is not available (" + result_text(result) + ")", status);
    return status;
  } else if (form == at_form::list) {
    status = list_tasks(s);
  } else if (form == at_form::remove) {
    status = delete_task(s, id);
  } else {
    status = schedule(s, task);
  }
  disconnect_scheduler(s);
  return status;
}

}  // namespace

int main() {
  if (!start_com()) return fail("COM cannot be started", k_status_no_scheduler);
  int status = run(GetCommandLineA());
  stop_com();
  return status;
}
