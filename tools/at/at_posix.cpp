// AT: the scheduler zoba runs, standing in on Linux for the Windows command
// of that name. It takes the same command line and registers a real job
// with at(1), which atd starts at the launch time; with no arguments it
// lists the jobs it made, and "AT ID /delete" removes one. A program of its
// own, installed beside zoba; zoba tells the user when it ends with a failure.
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/settings.h"
#include "platform/convert.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/self.h"
#include "tools/at/at_command.h"
#include "tools/at/at_queue.h"
#include "tools/at/at_status.h"
#include "tools/at/job_id.h"
#include "tools/at/launch_date.h"
#include "tools/at/rec_check.h"

namespace {

constexpr char k_atd_pid_file[] = "/run/atd.pid";
constexpr char k_no_atd[] = "No atd running";
constexpr char k_no_at[] = "the at command is not installed (Debian package at)";
constexpr char k_no_entries[] = "There are no entries in the list.";
// Our recorder launcher, asked before a booking whether it can record.
constexpr char k_rec_name[] = "REC";

int fail(const std::string& message, int status) {
  std::fprintf(stderr, "AT: %s\n", message.c_str());
  return status;
}

bool atd_running() {
  FILE* file = std::fopen(k_atd_pid_file, "r");
  if (file == nullptr) return false;
  long pid = 0;
  bool read = std::fscanf(file, "%ld", &pid) == 1;
  std::fclose(file);
  return read && pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// Runs a program (found on PATH when its name has no slash) with the given
// input and collects what it writes.
platform::run_result run(const std::vector<std::string>& words, const std::string& input) {
  platform::run_options options;
  options.input = &input;
  return platform::run_program(words, options);
}

bool succeeded(const platform::run_result& run) { return run.exited && run.status == 0; }

// The job number from at's "job N at DATE" line; empty when there is none.
std::string job_line_of(const std::string& output) {
  std::size_t at = output.rfind("job ");
  if (at == std::string::npos) return {};
  std::size_t end = output.find('\n', at);
  return output.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

int submit(const std::string& stamp, const std::string& job, std::string& number) {
  platform::run_result at = run({"at", "-M", "-t", stamp}, job);
  if (!at.started) return fail(k_no_at, k_status_no_scheduler);
  std::string line = job_line_of(at.output);
  if (!succeeded(at) || line.empty()) {
    return fail(std::string("at did not take the job: ") + at.output, k_status_refused);
  }
  number = line.substr(4, line.find(' ', 4) - 4);
  if (at.output.find(k_no_atd) != std::string::npos) {
    // The job would only run whenever atd next starts: take it back.
    run({"atrm", number}, "");
    return fail("atd is not running; nothing was registered", k_status_no_scheduler);
  }
  std::printf("%s\n", line.c_str());
  return k_status_done;
}

// The recorder the job starts. A bare name is looked for in AT's own
// folder, then on PATH, and the full path found is taken, so that the job
// depends on neither this PATH nor atd's; a path is taken as it stands (a
// relative one is meant in folder, where the job runs). Empty when there is
// no such program; why then says so.
std::string recorder_path(const std::string& program, const std::string& folder, std::string& why) {
  if (program.find('/') != std::string::npos) {
    if (platform::is_program(program[0] == '/' ? program : folder + "/" + program)) return program;
    why = "the recorder " + program + " is not an executable file (in " + folder + ")";
    return {};
  }
  // Beside AT (folder is AT's own), then on PATH.
  std::string found = platform::find_program(program);
  if (found.empty()) {
    why = "the recorder " + program + " is not a program in " + folder + " or on PATH";
    return {};
  }
  return platform::absolute_path(found);
}

// When the job's program is our REC (named REC, its file carrying REC's
// signature), asks it whether its settings can record this command (REC
// --check and the command's arguments). Empty when they can; otherwise
// REC's reason.
std::string rec_refusal(const std::string& program, const std::vector<std::string>& command) {
  if (program.substr(program.rfind('/') + 1) != k_rec_name) return {};
  std::vector<std::string> words = {program, "--check"};
  words.insert(words.end(), command.begin() + 1, command.end());
  rec_check_result check = check_rec(words, "", "");
  switch (check.outcome) {
    case rec_check_outcome::not_ours:
    case rec_check_outcome::can_record:
      return {};
    case rec_check_outcome::not_started:
      return "the recorder " + program + " cannot be started";
    case rec_check_outcome::timed_out:
      return program + " --check gave no answer in " + std::to_string(k_rec_check_seconds) +
             " seconds";
    case rec_check_outcome::refused:
      break;
  }
  if (!check.reason.empty()) return check.reason;
  return program + " --check refused the booking without a reason";
}

// The settings file of the install this AT books for: the one zoba names in
// k_install_variable, or, typed by hand, the one beside AT.
std::string settings_file() {
  const char* settings = std::getenv(k_install_variable);
  bool named = settings != nullptr && settings[0] != '\0';
  return named ? std::string(settings) : platform::settings_path();
}

std::string this_install() { return install_field(settings_file()); }

// The record of the jobs booked, beside the install's settings file (in
// zoba's folder, which zoba needs writable anyway; AT found on PATH may sit
// where the user cannot write).
std::string record_path() {
  std::string folder = platform::folder_of(settings_file());
  return (folder.empty() ? std::string(".") : folder) + "/" + k_job_record_file;
}

// Appends one record in one write, under the lock a listing takes to
// rewrite the file, so no booking's record is lost to a rewrite.
bool append_record(const std::string& line) {
  platform::locked_file* record = platform::open_locked(record_path(), true);
  if (record == nullptr) return false;
  bool written = platform::append_locked(record, line);
  return platform::close_locked(record) && written;
}

// The jobs AT booked for this install that atq still holds, from the
// record and one atq. The record is read before atq runs, under its lock:
// every record read is of a job at had queued, so one missing from atq has
// gone and is dropped from the file.
bool made_jobs(std::vector<recorded_job>& jobs) {
  std::string path = record_path();
  // Read under its lock, which needs no right to write the file: its
  // rewrite is a new file renamed over it.
  platform::locked_file* record = platform::open_locked(path, false);
  std::string records;
  if (record != nullptr) platform::read_locked(record, records);
  platform::run_result queue = run({"atq"}, "");
  if (succeeded(queue)) {
    std::string kept;
    jobs = queued_records(records, queue.output, this_install(), kept);
    if (record != nullptr && kept != records) platform::replace_file(path, kept);
  }
  if (record != nullptr) platform::close_locked(record);
  return queue.started;
}

int list_jobs() {
  std::vector<recorded_job> jobs;
  if (!made_jobs(jobs)) return fail(k_no_at, k_status_no_scheduler);
  for (const recorded_job& job : jobs) std::printf("%s\n", job.listing.c_str());
  if (jobs.empty()) std::printf("%s\n", k_no_entries);
  return k_status_done;
}

// Removes every job of this install with that identifier: after the
// number wrapped past 9999 there may be two, and both go, each named.
int delete_job(const std::string& id) {
  std::vector<recorded_job> jobs;
  if (!made_jobs(jobs)) return fail(k_no_at, k_status_no_scheduler);
  std::string install = this_install();
  std::vector<std::string> deleted;
  int status = k_status_done;
  for (const recorded_job& job : jobs) {
    if (job.listing.substr(0, job.listing.find(' ')) != id) continue;
    // Only a job whose own text carries this install's marker and number
    // is removed, whatever the record says.
    std::string listing = listing_of_job(run({"at", "-c", job.number}, "").output, install);
    if (listing.substr(0, listing.find(' ')) != id) continue;
    platform::run_result removed = run({"atrm", job.number}, "");
    if (succeeded(removed)) {
      deleted.push_back(job.listing);
    } else {
      status = fail("atrm did not remove " + job.listing + ": " + removed.output, k_status_refused);
    }
  }
  if (deleted.empty() && status == k_status_done) {
    return fail("there is no job " + id, k_status_no_such_job);
  }
  if (deleted.size() == 1) std::printf("Deleted the job with job ID = %s\n", id.c_str());
  if (deleted.size() > 1) {
    std::printf("Deleted %zu jobs with job ID = %s:\n", deleted.size(), id.c_str());
    for (const std::string& listing : deleted) std::printf("  %s\n", listing.c_str());
  }
  return status;
}

// Checks the recorder and books the job from AT's own folder: at records
// the folder it runs in, and a job whose folder is gone dies unheard.
int book(const at_request& request, const at_date& date) {
  std::string folder = platform::self_folder();
  std::string why;
  std::string program = recorder_path(request.command[0], folder, why);
  if (program.empty()) return fail(why, k_status_no_program);
  if (chdir(folder.c_str()) != 0) {
    return fail("cannot change into " + folder + ": " + std::strerror(errno), k_status_refused);
  }
  why = rec_refusal(program, request.command);
  if (!why.empty()) return fail(why, k_status_recorder);
  if (!atd_running()) {
    return fail("atd is not running; nothing was registered", k_status_no_scheduler);
  }
  std::string stamp = at_time_stamp(date, request.hour, request.minute);
  std::string listing = listing_line(job_identifier(request.command, stamp), date, request.hour,
                                     request.minute, joined_words(request.command));
  std::vector<std::string> command = request.command;
  command[0] = program;
  std::string install = this_install();
  std::string number;
  int status = submit(stamp, job_script(install, listing, folder, command), number);
  if (status == k_status_done && !append_record(job_record(number, install, stamp, listing))) {
    std::fprintf(stderr, "AT: %s cannot be written; AT will not list this job\n",
                 record_path().c_str());
  }
  return status;
}

int schedule(const std::vector<std::string>& words) {
  at_request request;
  std::string error = parse_at_arguments(words, request);
  if (!error.empty()) return fail(error, k_status_unreadable);
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  at_date today{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  int now_minute = local.tm_hour * 60 + local.tm_min;
  at_date date;
  error = launch_day(request, today, now_minute, date);
  if (!error.empty()) return fail(error, k_status_unreadable);
  error = past_launch(request, today, now_minute, date);
  if (!error.empty()) return fail(error, k_status_past);
  return book(request, date);
}

}  // namespace

int main(int argc, char** argv) {
  // at may end before reading the job; its status says what went wrong.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> words;
  // zoba hands its words in the file names' encoding (UTF-8); a word that
  // is not UTF-8 was typed in Shift_JIS or comes from an older zoba.
  for (int i = 1; i < argc; ++i) {
    words.emplace_back(utf8_from_tool_text(argv[i]));
  }
  std::string id;
  switch (at_form_of(words, id)) {
    case at_form::list:
      return list_jobs();
    case at_form::remove:
      return delete_job(id);
    case at_form::schedule:
      break;
  }
  return schedule(words);
}
