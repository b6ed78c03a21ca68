// REC's system services on POSIX: the recorder is a child in a process
// group of its own (so that a script's own children end with it), watched
// through a pidfd where the kernel has one.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "app/settings.h"
#include "platform/convert.h"
#include "platform/posix_shared.h"
#include "tools/rec/rec_system.h"

extern char** environ;

namespace rec_system {

namespace {

constexpr long long k_poll_chunk_ms = 30000;   // the wall clock is read again at least this often
constexpr long long k_fallback_poll_ms = 200;  // without a pidfd
constexpr std::size_t k_name_max = 255;

}  // namespace

struct recorder {
  pid_t pid = 0;
  int input = -1;  // the write end of its standard input, or -1
  int pidfd = -1;  // readable when it has ended, or -1
  bool ended = false;
  int status = 0;
};

const char k_separator[] = "/";

long long now() { return static_cast<long long>(std::time(nullptr)); }

namespace {

long long now_ms() {
  timespec clock = {};
  clock_gettime(CLOCK_REALTIME, &clock);
  return static_cast<long long>(clock.tv_sec) * 1000 + clock.tv_nsec / 1000000;
}

}  // namespace

void sleep_for(long long seconds) {
  if (seconds <= 0) return;
  // Up to the whole second that now() will then read, not a second past it;
  // a signal or a clock set back may end it early: the caller reads again.
  timespec until = {static_cast<time_t>(now() + seconds), 0};
  clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &until, nullptr);
}

namespace {

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

}  // namespace

recorder* start_recorder(const std::vector<std::string>& arguments, bool stdin_pipe,
                         std::string& error) {
  std::string program = find_program(arguments[0]);
  if (program.empty()) {
    error = "no program " + arguments[0];
    return nullptr;
  }
  std::vector<std::string> words = arguments;
  std::vector<char*> argv = platform::argument_vector(words);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A recorder that has closed its input must not end REC with SIGPIPE at
  // the line end; the recorder itself gets the default back.
  signal(SIGPIPE, SIG_IGN);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  auto* process = new recorder;
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

bool reap(recorder* process, bool block) {
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

bool wait_recorder(recorder* process, long long deadline) {
  while (!reap(process, false)) {
    long long left = deadline * 1000 - now_ms();
    if (left <= 0) return false;
    if (process->pidfd < 0) {
      timespec span = {0, std::min(left, k_fallback_poll_ms) * 1000000};
      nanosleep(&span, nullptr);
      continue;
    }
    pollfd watch = {process->pidfd, POLLIN, 0};
    poll(&watch, 1, static_cast<int>(std::min(left, k_poll_chunk_ms)));
  }
  return true;
}

void send_line_end(recorder* process) {
  if (process->input < 0) return;
  ssize_t written = write(process->input, "\n", 1);
  (void)written;  // a recorder that closed its input is ended next
  close(process->input);
  process->input = -1;
}

void terminate_recorder(recorder* process) {
  if (!process->ended) kill(-process->pid, SIGTERM);
}

void kill_recorder(recorder* process) {
  if (!process->ended) kill(-process->pid, SIGKILL);
}

std::string recorder_outcome(const recorder* process) {
  if (!process->ended) return "running";
  if (WIFSIGNALED(process->status)) return "signal " + std::to_string(WTERMSIG(process->status));
  return "exit " + std::to_string(WEXITSTATUS(process->status));
}

void release_recorder(recorder* process) {
  reap(process, true);
  if (process->input >= 0) close(process->input);
  if (process->pidfd >= 0) close(process->pidfd);
  delete process;
}

long long file_size(const std::string& path) {
  struct stat info = {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<long long>(info.st_size);
}

bool make_folders(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0777);
  }
  mkdir(path.c_str(), 0777);
  struct stat info = {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         access(path.c_str(), W_OK | X_OK) == 0;
}

namespace {

std::string home_folder() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

// XDG_VIDEOS_DIR="$HOME/Videos" from the user's dirs file; empty when none.
std::string videos_from_dirs_file(const std::string& home) {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base = config != nullptr && config[0] == '/' ? config : home + "/.config";
  std::ifstream file(base + "/user-dirs.dirs");
  const std::string key = "XDG_VIDEOS_DIR=\"";
  for (std::string line; std::getline(file, line);) {
    if (!line.starts_with(key) || line.back() != '"') continue;
    std::string value = line.substr(key.size(), line.size() - key.size() - 1);
    if (value.starts_with("$HOME")) value = home + value.substr(5);
    if (value.starts_with("/")) return value;
  }
  return {};
}

}  // namespace

std::string videos_folder() {
  const char* set = std::getenv("XDG_VIDEOS_DIR");
  if (set != nullptr && set[0] == '/') return set;
  std::string home = home_folder();
  if (home.empty()) return {};
  std::string listed = videos_from_dirs_file(home);
  return listed.empty() ? home + "/Videos" : listed;
}

std::string program_folder() { return platform::folder_of(platform::self_path()); }

std::string settings_path() { return program_folder() + "/" + k_settings_file_name; }

std::string shown_reason(const std::string& utf8) { return utf8; }

// Linux hands arguments over as UTF-8 (AT converts the job's words), so text
// that already is UTF-8 stays as it is; anything else is Shift_JIS.
std::string utf8_from_sjis(const std::string& sjis) {
  return is_utf8(sjis) ? sjis : convert_from_sjis(sjis, "UTF-8");
}

bool append_line(const std::string& path, const std::string& line) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::string text = line + "\n";
  // One write: lines of REC runs side by side do not interleave.
  bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return close(fd) == 0 && written;
}

std::string find_program(const std::string& name) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return platform::is_program(name) ? name : "";
  std::string beside = program_folder() + "/" + name;
  if (platform::is_program(beside)) return beside;
  return platform::find_on_path(name);
}

bool name_fits(const std::string& utf8_name) { return utf8_name.size() <= k_name_max; }

}  // namespace rec_system
