// Programs on POSIX: the arguments of this run, finding a program as
// CreateProcess would find it, and running one to its end through
// posix_spawn with its output collected (watched_posix.cpp starts the ones
// watched and stopped later).
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/clock.h"
#include "platform/command_line.h"
#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/self.h"

extern char** environ;

namespace platform {

namespace {

// The words as the argv (or envp) of a program to start: pointers into
// words, then a null. Valid while words is.
std::vector<char*> argument_vector(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  pointers.reserve(words.size() + 1);
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The ends of a run's pipes; -1 where there is none.
struct run_pipes {
  int output[2] = {-1, -1};
  int input[2] = {-1, -1};
};

void close_end(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

void close_run_pipes(run_pipes& pipes) {
  for (int& fd : pipes.output) close_end(fd);
  for (int& fd : pipes.input) close_end(fd);
}

bool open_run_pipes(const run_options& options, run_pipes& pipes) {
  bool output = options.collect_output || options.collect_errors;
  if (output && pipe2(pipes.output, O_CLOEXEC) != 0) return false;
  return options.input == nullptr || pipe2(pipes.input, O_CLOEXEC) == 0;
}

// Reads fd to its end, keeping at most limit bytes (the rest is read and
// dropped, so a writer never blocks), until deadline_ms by now_ms when it
// is not 0. False when the deadline came first.
bool collect(int fd, std::string& bytes, std::size_t limit, long long deadline_ms) {
  char chunk[65536];
  for (;;) {
    if (deadline_ms != 0) {
      long long left = deadline_ms - now_ms();
      if (left <= 0) return false;
      pollfd ready = {fd, POLLIN, 0};
      if (poll(&ready, 1, static_cast<int>(std::min<long long>(left, INT_MAX))) <= 0) continue;
    }
    ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return true;
    std::size_t room = limit - std::min(limit, bytes.size());
    bytes.append(chunk, std::min(room, static_cast<std::size_t>(got)));
  }
}

void set_attributes(posix_spawnattr_t& attributes, const run_options& options) {
  short flags = 0;
  if (options.idle) {
    // A program that only registers a job runs when nothing else wants the
    // processor, as on Windows.
    sched_param idle = {};
    posix_spawnattr_setschedpolicy(&attributes, SCHED_IDLE);
    posix_spawnattr_setschedparam(&attributes, &idle);
    flags |= POSIX_SPAWN_SETSCHEDULER;
  }
  // One with a time limit is ended whole, with what it started.
  if (options.limit_seconds > 0) flags |= POSIX_SPAWN_SETPGROUP;
  posix_spawnattr_setflags(&attributes, flags);
}

void set_streams(posix_spawn_file_actions_t& actions, const run_options& options,
                 const run_pipes& pipes) {
  if (options.input != nullptr) posix_spawn_file_actions_adddup2(&actions, pipes.input[0], 0);
  if (options.collect_output) {
    posix_spawn_file_actions_adddup2(&actions, pipes.output[1], STDOUT_FILENO);
  }
  if (options.collect_errors) {
    posix_spawn_file_actions_adddup2(&actions, pipes.output[1], STDERR_FILENO);
  }
}

pid_t spawn(const std::string& program, std::vector<std::string> words, const run_options& options,
            const run_pipes& pipes) {
  std::vector<char*> argv = argument_vector(words);
  std::vector<std::string> variables;
  if (options.environment != nullptr) variables = *options.environment;
  std::vector<char*> envp = argument_vector(variables);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  set_attributes(attributes, options);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  set_streams(actions, options, pipes);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(),
                            options.environment != nullptr ? envp.data() : environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? pid : -1;
}

void wait_for(pid_t pid, run_result& result) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno == EINTR) continue;
    result.exited = true;
    result.status = static_cast<unsigned long>(-1);
    return;
  }
  result.exited = WIFEXITED(status);
  result.status = static_cast<unsigned long>(result.exited         ? WEXITSTATUS(status)
                                             : WIFSIGNALED(status) ? WTERMSIG(status)
                                                                   : -1);
}

}  // namespace

std::vector<std::string> arguments(int argc, char** argv) {
  // The terminal's character set is the user's, for the boxes.
  std::setlocale(LC_CTYPE, "");
  std::vector<std::string> words = {self_path()};
  for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
  return words;
}

// Names on disk are UTF-8 in practice whatever the locale says (a launcher
// may start the tool with none); other bytes are taken to be in the
// locale's character set.
std::string shown_text(const std::string& system_text) {
  return convert_to_sjis(system_text, is_utf8(system_text) ? "UTF-8" : nl_langinfo(CODESET));
}

std::string system_text(const std::string& text) { return convert_from_sjis(text, "UTF-8"); }

bool set_environment(const char* name, const char* value) { return setenv(name, value, 1) == 0; }

bool is_program(const std::string& path) {
  struct stat info = {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string find_on_path(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t begin = 0;
  while (begin <= folders.size()) {
    std::size_t end = folders.find(':', begin);
    if (end == std::string::npos) end = folders.size();
    std::string folder = end > begin ? folders.substr(begin, end - begin) : ".";
    if (is_program(folder + "/" + name)) return folder + "/" + name;
    begin = end + 1;
  }
  return {};
}

std::string find_program(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return is_program(name) ? name : "";
  std::string beside = self_folder() + "/" + name;
  if (is_program(beside)) return beside;
  return find_on_path(name);
}

bool runs_through_shell(const std::string&) { return false; }

run_result run_program(const std::vector<std::string>& words, const run_options& options) {
  run_result result;
  std::string program = words[0].find('/') == std::string::npos ? find_on_path(words[0]) : words[0];
  run_pipes pipes;
  if (program.empty() || !open_run_pipes(options, pipes)) {
    close_run_pipes(pipes);
    return result;
  }
  pid_t pid = spawn(program, words, options, pipes);
  close_end(pipes.output[1]);
  close_end(pipes.input[0]);
  if (pid >= 0 && options.input != nullptr) {
    ssize_t ignored = write(pipes.input[1], options.input->data(), options.input->size());
    (void)ignored;  // a program that does not read its input says so itself
  }
  close_end(pipes.input[1]);
  long long deadline = options.limit_seconds > 0 ? now_ms() + options.limit_seconds * 1000LL : 0;
  if (pipes.output[0] >= 0 &&
      !collect(pipes.output[0], result.output, options.output_limit, deadline) && pid >= 0) {
    result.timed_out = true;
    kill(-pid, SIGKILL);
  }
  close_run_pipes(pipes);
  if (pid < 0) return result;
  result.started = true;
  wait_for(pid, result);
  return result;
}

run_result run_command_line(const std::string& line, const run_options& options) {
  std::vector<std::string> words = split_command_line(line.c_str());
  words[0] = find_program(words[0]);
  if (words[0].empty()) return {};
  return run_program(words, options);
}

}  // namespace platform
