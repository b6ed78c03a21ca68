// AT: the scheduler zoba runs, standing in on Linux for the Windows command
// of that name. It takes the same command line and registers a real job
// with at(1), which atd starts at the launch time. A program of its own,
// installed beside zoba; zoba tells the user when it ends with a failure.
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
#include "tools/at/at_job.h"

extern char** environ;

namespace {

constexpr char k_atd_pid_file[] = "/run/atd.pid";
constexpr char k_no_atd[] = "No atd running";

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
  std::string output;  // what the program wrote to standard error
};

// Runs a program found on PATH with the given input; collects its errors.
run_result run(std::vector<std::string> argv, const std::string& input) {
  run_result result;
  int in[2];
  int err[2];
  if (pipe2(in, O_CLOEXEC) != 0) return result;
  if (pipe2(err, O_CLOEXEC) != 0) return result;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<char*> args;
  for (std::string& word : argv) args.push_back(word.data());
  args.push_back(nullptr);
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
  char chunk[4096];
  ssize_t got = 0;
  while ((got = read(err[0], chunk, sizeof chunk)) > 0) result.output.append(chunk, got);
  close(err[0]);
  if (spawned != 0) return result;
  result.started = true;
  while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
  }
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
  if (!at.started) return fail("the at command is not installed (Debian package at)", 3);
  std::string line = job_line_of(at.output);
  if (!WIFEXITED(at.status) || WEXITSTATUS(at.status) != 0 || line.empty()) {
    return fail(std::string("at did not take the job: ") + at.output, 4);
  }
  if (at.output.find(k_no_atd) != std::string::npos) {
    // The job would only run whenever atd next starts: take it back.
    std::string number = line.substr(4, line.find(' ', 4) - 4);
    run({"atrm", number}, "");
    return fail("atd is not running; nothing was registered", 5);
  }
  std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // at may end before reading the job; its status says what went wrong.
  signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(convert_from_sjis(argv[i], "UTF-8"));
  at_request request;
  std::string error = parse_at_arguments(words, request);
  if (!error.empty()) return fail(error, 2);
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  at_date today{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
  at_date date;
  error = launch_date(request, today, local.tm_hour * 60 + local.tm_min, date);
  if (!error.empty()) return fail(error, 2);
  if (!atd_running()) return fail("atd is not running; nothing was registered", 5);
  return submit(at_time_stamp(date, request.hour, request.minute), job_line(request.command));
}
