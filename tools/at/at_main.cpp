// AT: the scheduler zoba runs, standing in on Linux for the Windows command
// of that name. It takes the same command line and registers a real job
// with at(1), which atd starts at the launch time; with no arguments it
// lists the jobs it made, and "AT ID /delete" removes one. A program of its
// own, installed beside zoba; zoba tells the user when it ends with a failure.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/posix_shared.h"
#include "tools/at/at_job.h"

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
  int status = -1;
  std::string output;  // what the program wrote, standard output and error
};

// Runs a program found on PATH with the given input; collects its output.
run_result run(std::vector<std::string> argv, const std::string& input) {
  run_result result;
  int in[2];
  int err[2];
  if (pipe2(in, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<char*> args = platform::argument_vector(argv);
  pid_t pid = 0;
  int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(err[1]);
  if (spawned == 0) {
    ssize_t ignored = write(in[1], input.data(), input.size());
    (void)ignored;
  }
  close(in[1]);
  platform::read_to_end(err[0], result.output);
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

int submit(const std::string& stamp, const std::string& job) {
  run_result at = run({"at", "-M", "-t", stamp}, job);
  if (!at.started) return fail(k_no_at, k_status_no_at);
  std::string line = job_line_of(at.output);
  if (!WIFEXITED(at.status) || WEXITSTATUS(at.status) != 0 || line.empty()) {
    return fail(std::string("at did not take the job: ") + at.output, k_status_at_refused);
  }
  if (at.output.find(k_no_atd) != std::string::npos) {
    // The job would only run whenever atd next starts: take it back.
    std::string number = line.substr(4, line.find(' ', 4) - 4);
    run({"atrm", number}, "");
    return fail("atd is not running; nothing was registered", k_status_no_atd);
  }
  std::printf("%s\n", line.c_str());
  return k_status_done;
}

// Why the job's program could not be started at the launch time, found
// now: a bare name is looked for on PATH (the job keeps this environment),
// a relative path in the folder the job runs in. Empty when it can.
std::string program_problem(const std::string& program, const std::string& folder) {
  if (program.find('/') == std::string::npos) {
    if (!platform::find_on_path(program).empty()) return {};
    return "the recorder " + program + " is not a program on PATH";
  }
  std::string path = program[0] == '/' ? program : folder + "/" + program;
  if (platform::is_program(path)) return {};
  return "the recorder " + program + " is not an executable file (in " + folder + ")";
}

struct made_job {
  std::string number;   // at's job number
  std::string listing;  // the listing line its marker carries
};

// The queued jobs that AT made, found by the marker in their scripts.
bool made_jobs(std::vector<made_job>& jobs) {
  run_result queue = run({"atq"}, "");
  if (!queue.started) return false;
  for (const std::string& line : text_lines(queue.output)) {
    std::string number = line.substr(0, line.find('\t'));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string listing = listing_of_job(run({"at", "-c", number}, "").output);
    if (!listing.empty()) jobs.push_back({number, listing});
  }
  return true;
}

int list_jobs() {
  std::vector<made_job> jobs;
  if (!made_jobs(jobs)) return fail(k_no_at, k_status_no_at);
  for (const made_job& job : jobs) std::printf("%s\n", job.listing.c_str());
  if (jobs.empty()) std::printf("%s\n", k_no_entries);
  return k_status_done;
}

int delete_job(const std::string& id) {
  std::vector<made_job> jobs;
  if (!made_jobs(jobs)) return fail(k_no_at, k_status_no_at);
  bool deleted = false;
  for (const made_job& job : jobs) {
    if (job.listing.substr(0, job.listing.find(' ')) != id) continue;
    run_result removed = run({"atrm", job.number}, "");
    deleted = deleted ||
              (removed.started && WIFEXITED(removed.status) && WEXITSTATUS(removed.status) == 0);
  }
  if (!deleted) return fail("there is no job " + id, k_status_no_such_job);
  std::printf("Deleted the job with job ID = %s\n", id.c_str());
  return k_status_done;
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
  // AT lives beside zoba: the job runs in that folder.
  std::string folder = platform::folder_of(platform::self_path());
  error = program_problem(request.command[0], folder);
  if (!error.empty()) return fail(error, k_status_no_program);
  if (!atd_running()) return fail("atd is not running; nothing was registered", k_status_no_atd);
  std::string stamp = at_time_stamp(date, request.hour, request.minute);
  std::string listing = listing_line(job_identifier(request.command, stamp), date, request.hour,
                                     request.minute, joined_words(request.command));
  return submit(stamp, job_script(listing, folder, request.command));
}

}  // namespace

int main(int argc, char** argv) {
  // at may end before reading the job; its status says what went wrong.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(convert_from_sjis(argv[i], "UTF-8"));
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
