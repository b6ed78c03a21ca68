// A watched program on POSIX: a child in a process group of its own (so
// that a script's own children end with it), watched through a pidfd where
// the kernel has one.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

namespace {

constexpr long long k_poll_chunk_ms = 30000;   // the wall clock is read again at least this often
constexpr long long k_fallback_poll_ms = 200;  // without a pidfd

// Standard input from a new pipe (both ends handed back: the parent closes
// the read end once the child has it) or the null device; output and errors
// to the null device.
bool set_streams(posix_spawn_file_actions_t& actions, bool stdin_pipe, int& read_end, int& keep) {
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (!stdin_pipe) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    return true;
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_adddup2(&actions, ends[0], STDIN_FILENO);
  read_end = ends[0];
  keep = ends[1];
  return true;
}

// In a group of its own, with SIGPIPE back to its default: we ignore it
// (a program that has closed its input must not end us at the line end).
void set_attributes(posix_spawnattr_t& attributes) {
  signal(SIGPIPE, SIG_IGN);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
}

std::vector<char*> argument_vector(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

struct watched_program {
  pid_t pid = 0;
  int input = -1;  // the write end of its standard input, or -1
  int pidfd = -1;  // readable when it has ended, or -1
  bool ended = false;
  int status = 0;
};

watched_program* start_watched(const std::vector<std::string>& arguments, bool stdin_pipe,
                               std::string& error) {
  std::string program = find_program(arguments[0]);
  if (program.empty()) {
    error = "no program " + arguments[0];
    return nullptr;
  }
  std::vector<std::string> words = arguments;
  std::vector<char*> argv = argument_vector(words);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  set_attributes(attributes);
  auto* process = new watched_program;
  int read_end = -1;
  int spawned = EPIPE;
  if (set_streams(actions, stdin_pipe, read_end, process->input)) {
    spawned =
        posix_spawn(&process->pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (read_end >= 0) close(read_end);
  if (spawned != 0) {
    error = program + ": " + std::strerror(spawned);
    if (process->input >= 0) close(process->input);
    delete process;
    return nullptr;
  }
  process->pidfd = static_cast<int>(syscall(SYS_pidfd_open, process->pid, 0));
  return process;
}

namespace {

bool reap(watched_program* process, bool block) {
  if (process->ended) return true;
  for (;;) {
    pid_t got = waitpid(process->pid, &process->status, block ? 0 : WNOHANG);
    if (got == process->pid) return process->ended = true;
    if (got < 0 && errno == EINTR) continue;
    // Not ended, or not ours to wait for (then it will never be reaped).
    if (got < 0) return process->ended = true;
    return false;
  }
}

}  // namespace

bool wait_watched(watched_program* program, long long deadline) {
  while (!reap(program, false)) {
    long long left = deadline * 1000 - now_ms();
    if (left <= 0) return false;
    if (program->pidfd < 0) {
      timespec span = {0, std::min(left, k_fallback_poll_ms) * 1000000};
      nanosleep(&span, nullptr);
      continue;
    }
    pollfd watch = {program->pidfd, POLLIN, 0};
    poll(&watch, 1, static_cast<int>(std::min(left, k_poll_chunk_ms)));
  }
  return true;
}

void send_line_end(watched_program* program) {
  if (program->input < 0) return;
  ssize_t written = write(program->input, "\n", 1);
  (void)written;  // a program that closed its input is ended next
  close(program->input);
  program->input = -1;
}

void terminate_watched(watched_program* program) {
  if (!program->ended) kill(-program->pid, SIGTERM);
}

void kill_watched(watched_program* program) {
  if (!program->ended) kill(-program->pid, SIGKILL);
}

std::string watched_outcome(const watched_program* program) {
  if (!program->ended) return "running";
  if (WIFSIGNALED(program->status)) return "signal " + std::to_string(WTERMSIG(program->status));
  return "exit " + std::to_string(WEXITSTATUS(program->status));
}

void release_watched(watched_program* program) {
  reap(program, true);
  if (program->input >= 0) close(program->input);
  if (program->pidfd >= 0) close(program->pidfd);
  delete program;
}

}  // namespace platform
