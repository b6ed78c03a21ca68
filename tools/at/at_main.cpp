// AT: the scheduler zoba runs, standing in on Linux for the Windows command
// of that name. It takes the same command line and registers a real job
// with at(1), which atd starts at the launch time; with no arguments it
// lists the jobs it made, and "AT ID /delete" removes one. A program of its
// own, installed beside zoba; zoba tells the user when it ends with a failure.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
#include "platform/posix_shared.h"
#include "tools/at/at_command.h"
#include "tools/at/at_queue.h"
#include "tools/at/file_search.h"
#include "tools/at/job_id.h"
#include "tools/at/launch_date.h"
#include "tools/rec/rec_signature.h"

extern char** environ;

namespace {

// The exit statuses; zoba shows a non-zero one in its failure notice.
constexpr int k_status_done = 0;
constexpr int k_status_unreadable = 2;  // also a launch in the past
constexpr int k_status_no_at = 3;
constexpr int k_status_at_refused = 4;
constexpr int k_status_no_atd = 5;
constexpr int k_status_no_such_job = 7;  // the same value as AT.exe's
constexpr int k_status_no_program = 8;   // the recorder cannot be started

constexpr char k_atd_pid_file[] = "/run/atd.pid";
constexpr char k_no_atd[] = "No atd running";
constexpr char k_no_at[] = "the at command is not installed (Debian package at)";
constexpr char k_no_entries[] = "There are no entries in the list.";
// Our recorder launcher, asked before a booking whether it can record.
constexpr char k_rec_name[] = "REC";
constexpr int k_check_seconds = 5;
// How far into a program named REC its signature is looked for (our REC
// carries it within its first few MiB, sanitizers or not).
constexpr std::size_t k_signature_limit = std::size_t{8} * 1024 * 1024;

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

struct run_result {
  bool started = false;
  bool timed_out = false;  // killed when its time limit passed
  int status = -1;
  std::string output;  // what the program wrote, standard output and error
};

// Reads fd to its end, or until limit_seconds have passed (none when 0).
// False when the time ran out first.
bool read_within(int fd, std::string& bytes, int limit_seconds) {
  if (limit_seconds == 0) return platform::read_to_end(fd, bytes);
  std::time_t deadline = std::time(nullptr) + limit_seconds;
  char buffer[4096];
  for (std::time_t now = std::time(nullptr); now < deadline; now = std::time(nullptr)) {
    pollfd ready = {fd, POLLIN, 0};
    if (poll(&ready, 1, static_cast<int>(deadline - now) * 1000) <= 0) continue;
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return true;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return false;
}

// Starts a program (found on PATH when its name has no slash) reading
// input_fd and writing both outputs to output_fd; in a process group of its
// own when asked. 0 when it started, otherwise the error number.
int spawn(std::vector<std::string>& argv, int input_fd, int output_fd, bool own_group, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input_fd, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output_fd, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  if (own_group) posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  std::vector<char*> args = platform::argument_vector(argv);
  int spawned = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return spawned;
}

// Runs a program with the given input and collects its output. With a time
// limit it runs in a process group of its own, killed whole when the limit
// passes (a check that hangs must not hold up the booking).
run_result run(std::vector<std::string> argv, const std::string& input, int limit_seconds = 0) {
  run_result result;
  int in[2];
  int err[2];
  if (pipe2(in, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return result;
  }
  pid_t pid = 0;
  int spawned = spawn(argv, in[0], err[1], limit_seconds > 0, pid);
  close(in[0]);
  close(err[1]);
  if (spawned == 0) {
    ssize_t ignored = write(in[1], input.data(), input.size());
    (void)ignored;
  }
  close(in[1]);
  result.timed_out = spawned == 0 && !read_within(err[0], result.output, limit_seconds);
  if (result.timed_out) kill(-pid, SIGKILL);
  close(err[0]);
  if (spawned != 0) return result;
  result.started = true;
  platform::wait_for_exit(pid, result.status);
  return result;
}

// The job number from at's "job N at DATE" line; empty when there is none.
std::string job_line_of(const std::string& output) {
  std::size_t at = output.rfind("job ");
  if (at == std::string::npos) return {};
  std::size_t end = output.find('\n', at);
  return output.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

int submit(const std::string& stamp, const std::string& job, std::string& number) {
  run_result at = run({"at", "-M", "-t", stamp}, job);
  if (!at.started) return fail(k_no_at, k_status_no_at);
  std::string line = job_line_of(at.output);
  if (!WIFEXITED(at.status) || WEXITSTATUS(at.status) != 0 || line.empty()) {
    return fail(std::string("at did not take the job: ") + at.output, k_status_at_refused);
  }
  number = line.substr(4, line.find(' ', 4) - 4);
  if (at.output.find(k_no_atd) != std::string::npos) {
    // The job would only run whenever atd next starts: take it back.
    run({"atrm", number}, "");
    return fail("atd is not running; nothing was registered", k_status_no_atd);
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
  std::string found = folder + "/" + program;
  if (!platform::is_program(found)) found = platform::find_on_path(program);
  if (found.empty()) {
    why = "the recorder " + program + " is not a program in " + folder + " or on PATH";
  } else if (found[0] != '/') {
    char here[4096];
    if (getcwd(here, sizeof here) != nullptr) found = std::string(here) + "/" + found;
  }
  return found;
}

// When the job's program is our REC (named REC, its file carrying REC's
// signature), asks it whether its settings can record
// this command (REC --check and the command's arguments). Empty when they
// can; otherwise REC's reason.
std::string rec_refusal(const std::string& program, const std::vector<std::string>& command) {
  if (program.substr(program.rfind('/') + 1) != k_rec_name) return {};
  // A program of the user's that is named REC is never started now.
  if (!file_holds(program, k_rec_signature, k_signature_limit)) return {};
  std::vector<std::string> argv = {program, "--check"};
  argv.insert(argv.end(), command.begin() + 1, command.end());
  run_result check = run(argv, "", k_check_seconds);
  if (!check.started) return "the recorder " + program + " cannot be started";
  if (check.timed_out) {
    return program + " --check gave no answer in " + std::to_string(k_check_seconds) + " seconds";
  }
  if (WIFEXITED(check.status) && WEXITSTATUS(check.status) == 0) return {};
  std::vector<std::string> lines = text_lines(check.output);
  if (!lines.empty()) return lines[0];
  return program + " --check refused the booking without a reason";
}

// The settings file of the install this AT books for: the one zoba names in
// k_install_variable, or, typed by hand, the one beside AT.
std::string settings_file(const std::string& folder) {
  const char* settings = std::getenv(k_install_variable);
  bool named = settings != nullptr && settings[0] != '\0';
  return named ? std::string(settings) : folder + "/" + k_settings_file_name;
}

std::string this_install(const std::string& folder) {
  return install_id(settings_file(folder), false);
}

std::string own_folder() { return platform::folder_of(platform::self_path()); }

// The record of the jobs booked, beside the install's settings file (in
// zoba's folder, which zoba needs writable anyway; AT found on PATH may sit
// where the user cannot write).
std::string record_path() {
  std::string folder = platform::folder_of(settings_file(own_folder()));
  return (folder.empty() ? std::string(".") : folder) + "/" + k_job_record_file;
}

// The record opened and locked (flock), never through a link: to append to
// (made when missing), or to read, which needs no right to write the file
// (its rewrite is a rename in the folder). A listing may have renamed a new
// record over the path while this waited for the lock: then the path is
// opened again. -1 when it cannot be opened.
int open_record(const std::string& path, bool append) {
  int flags = O_CLOEXEC | O_NOFOLLOW | (append ? O_WRONLY | O_APPEND | O_CREAT : O_RDONLY);
  for (int tries = 0; tries < 100; ++tries) {
    int fd = open(path.c_str(), flags, 0600);
    if (fd < 0) return -1;
    struct stat locked = {};
    struct stat named = {};
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &locked) == 0 && stat(path.c_str(), &named) == 0 &&
        locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
      return fd;
    }
    close(fd);
  }
  return -1;
}

// Appends one record in one write, under the lock a listing takes to
// rewrite the file, so no booking's record is lost to a rewrite.
bool append_record(const std::string& line) {
  int fd = open_record(record_path(), true);
  if (fd < 0) return false;
  bool written = write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  return close(fd) == 0 && written;
}

// Puts text in the record's place: a new file renamed over it, so a crash
// leaves the old record or the new one whole. Called with the lock held.
void rewrite_record(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp-XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) return;
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  written = fsync(fd) == 0 && written;
  if (close(fd) == 0 && written && rename(temporary.c_str(), path.c_str()) == 0) return;
  unlink(temporary.c_str());
}

// The jobs AT booked for this install that atq still holds, from the
// record and one atq. The record is read before atq runs, under its lock:
// every record read is of a job at had queued, so one missing from atq has
// gone and is dropped from the file.
bool made_jobs(std::vector<recorded_job>& jobs) {
  std::string path = record_path();
  int fd = open_record(path, false);
  std::string records;
  if (fd >= 0) platform::read_to_end(fd, records);
  run_result queue = run({"atq"}, "");
  if (queue.started && WIFEXITED(queue.status) && WEXITSTATUS(queue.status) == 0) {
    std::string kept;
    jobs = queued_records(records, queue.output, this_install(own_folder()), kept);
    if (fd >= 0 && kept != records) rewrite_record(path, kept);
  }
  if (fd >= 0) close(fd);
  return queue.started;
}

int list_jobs() {
  std::vector<recorded_job> jobs;
  if (!made_jobs(jobs)) return fail(k_no_at, k_status_no_at);
  for (const recorded_job& job : jobs) std::printf("%s\n", job.listing.c_str());
  if (jobs.empty()) std::printf("%s\n", k_no_entries);
  return k_status_done;
}

// Removes every job of this install with that identifier: after the
// number wrapped past 9999 there may be two, and both go, each named.
int delete_job(const std::string& id) {
  std::vector<recorded_job> jobs;
  if (!made_jobs(jobs)) return fail(k_no_at, k_status_no_at);
  std::string install = this_install(own_folder());
  std::vector<std::string> deleted;
  int status = k_status_done;
  for (const recorded_job& job : jobs) {
    if (job.listing.substr(0, job.listing.find(' ')) != id) continue;
    // Only a job whose own text carries this install's marker and number
    // is removed, whatever the record says.
    std::string listing = listing_of_job(run({"at", "-c", job.number}, "").output, install);
    if (listing.substr(0, listing.find(' ')) != id) continue;
    run_result removed = run({"atrm", job.number}, "");
    if (removed.started && WIFEXITED(removed.status) && WEXITSTATUS(removed.status) == 0) {
      deleted.push_back(job.listing);
    } else {
      status =
          fail("atrm did not remove " + job.listing + ": " + removed.output, k_status_at_refused);
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
  std::string folder = own_folder();
  std::string why;
  std::string program = recorder_path(request.command[0], folder, why);
  if (program.empty()) return fail(why, k_status_no_program);
  if (chdir(folder.c_str()) != 0) {
    return fail("cannot change into " + folder + ": " + std::strerror(errno), k_status_at_refused);
  }
  why = rec_refusal(program, request.command);
  if (!why.empty()) return fail(why, k_status_no_program);
  if (!atd_running()) return fail("atd is not running; nothing was registered", k_status_no_atd);
  std::string stamp = at_time_stamp(date, request.hour, request.minute);
  std::string listing = listing_line(job_identifier(request.command, stamp), date, request.hour,
                                     request.minute, joined_words(request.command));
  std::vector<std::string> command = request.command;
  command[0] = program;
  std::string install = this_install(folder);
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
  at_date date;
  error = launch_date(request, today, local.tm_hour * 60 + local.tm_min, date);
  if (!error.empty()) return fail(error, k_status_unreadable);
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
    words.push_back(is_utf8(argv[i]) ? std::string(argv[i]) : convert_from_sjis(argv[i], "UTF-8"));
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
