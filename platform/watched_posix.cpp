// A watched program on POSIX: a child in a process group of its own (so
// that a script's own children end with it), watched through a pidfd where
// the kernel has one, its standard error kept in an unlinked temporary file.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/process.h"

extern char** environ;

namespace platform {

namespace {

constexpr long long k_poll_chunk_ms = 30000;   // the wall clock is read again at least this often
constexpr long long k_fallback_poll_ms = 200;  // without a pidfd
constexpr long long k_group_poll_ms = 50;      // while a group's last members end

// A file for the recorder's standard error that no one else can see and
// that goes with its last descriptor: a file, not a pipe, so a recorder
// that writes while we sleep never blocks on it. -1 when none can be made.
int error_file() {
  const char* folder = std::getenv("TMPDIR");
  std::string name = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") +
                     "/zoba-rec-errors-XXXXXX";
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) unlink(name.c_str());
  return fd;
}

// Standard input from a new pipe (both ends handed back: the parent closes
// the read end once the child has it) or the null device; output to the
// null device, errors to the error file when there is one.
bool set_streams(posix_spawn_file_actions_t& actions, bool stdin_pipe, int errors, int& read_end,
                 int& keep) {
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, errors >= 0 ? errors : STDOUT_FILENO, STDERR_FILENO);
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
// We become the parent of its orphans, so that a member whose parent has
// ended is reaped by us even where the system's first process reaps none
// (a container's), and the group can be seen to empty.
void set_attributes(posix_spawnattr_t& attributes) {
  signal(SIGPIPE, SIG_IGN);
#ifdef PR_SET_CHILD_SUBREAPER
  prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0);
#endif
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
  int input = -1;   // the write end of its standard input, or -1
  int pidfd = -1;   // readable when it has ended, or -1
  int errors = -1;  // the file its standard error goes to, or -1
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
  process->errors = error_file();
  if (set_streams(actions, stdin_pipe, process->errors, read_end, process->input)) {
    spawned =
        posix_spawn(&process->pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (read_end >= 0) close(read_end);
  if (spawned != 0) {
    error = program + ": " + std::strerror(spawned);
    if (process->input >= 0) close(process->input);
    if (process->errors >= 0) close(process->errors);
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

namespace {

// True while a process of the program's group is left. Once the program
// itself is reaped, the orphans of the group that are ours (see
// set_attributes) are reaped too: a zombie still counts as a member.
bool group_left(watched_program* program) {
  if (reap(program, false)) {
    while (waitpid(-program->pid, nullptr, WNOHANG) > 0) {
    }
  }
  return kill(-program->pid, 0) == 0;
}

bool wait_group(watched_program* program, long long deadline_ms) {
  while (group_left(program)) {
    if (now_ms() >= deadline_ms) return false;
    timespec span = {0, k_group_poll_ms * 1000000};
    nanosleep(&span, nullptr);
  }
  return true;
}

}  // namespace

// The group's id stays the program's while any member is left (the system
// hands out no process or group id still in use), so signalling it never
// reaches another program's group.
void end_watched(watched_program* program, long long grace_seconds) {
  if (!wait_group(program, now_ms())) {
    kill(-program->pid, SIGTERM);
    // Until none is left: a member forked while we signalled is signalled next time.
    for (long long deadline = now_ms() + grace_seconds * 1000; !wait_group(program, deadline);
         deadline = now_ms() + 1000) {
      kill(-program->pid, SIGKILL);
    }
  }
  reap(program, true);
}

std::string watched_outcome(const watched_program* program) {
  if (!program->ended) return "running";
  if (WIFSIGNALED(program->status)) return "signal " + std::to_string(WTERMSIG(program->status));
  return "exit " + std::to_string(WEXITSTATUS(program->status));
}

std::string watched_errors(const watched_program* program, std::size_t limit) {
  struct stat info = {};
  if (program->errors < 0 || fstat(program->errors, &info) != 0) return {};
  auto size = static_cast<std::size_t>(info.st_size);
  std::size_t from = size > limit ? size - limit : 0;
  std::string bytes(size - from, '\0');
  ssize_t got = pread(program->errors, bytes.data(), bytes.size(), static_cast<off_t>(from));
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

void release_watched(watched_program* program) {
  reap(program, true);
  if (program->input >= 0) close(program->input);
  if (program->pidfd >= 0) close(program->pidfd);
  if (program->errors >= 0) close(program->errors);
  delete program;
}

}  // namespace platform
