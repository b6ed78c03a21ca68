// Programs on POSIX: the arguments of this run, and the scheduler started
// and waited for as CreateProcessA would find and run it.
#include <fcntl.h>
#include <langinfo.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "platform/command_line.h"
#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/posix_shared.h"

extern char** environ;

namespace platform {

namespace {

// As CreateProcessA searches: a name with a path as it stands, otherwise
// the tool's own folder first, then PATH.
std::string find_program(const std::string& program) {
  if (program.empty()) return {};
  if (program.find('/') != std::string::npos) return is_program(program) ? program : "";
  std::string beside = folder_of(self_path()) + "/" + program;
  if (is_program(beside)) return beside;
  return find_on_path(program);
}

unsigned long wait_status(pid_t pid) {
  int status = 0;
  if (!wait_for_exit(pid, status)) return static_cast<unsigned long>(-1);
  if (WIFEXITED(status)) return static_cast<unsigned long>(WEXITSTATUS(status));
  return 128ul + static_cast<unsigned long>(WTERMSIG(status));
}

// The scheduler only registers a job: it runs when nothing else wants the
// processor, as on Windows, with its output to us.
pid_t spawn_idle(const std::string& program, std::vector<char*>& argv, int output) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sched_param idle = {};
  posix_spawnattr_setschedpolicy(&attributes, SCHED_IDLE);
  posix_spawnattr_setschedparam(&attributes, &idle);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSCHEDULER);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? pid : -1;
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

process_result run_process(const char* command_line) {
  std::vector<std::string> words = split_command_line(command_line);
  std::string program = find_program(words[0]);
  process_result result;
  if (program.empty()) return result;
  std::vector<char*> argv = argument_vector(words);
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) return result;
  pid_t pid = spawn_idle(program, argv, pipe_ends[1]);
  close(pipe_ends[1]);
  // Read to its end (its first k_output_limit bytes kept), so the
  // scheduler never blocks on a full pipe.
  std::string output;
  read_to_end(pipe_ends[0], output, k_output_limit);
  close(pipe_ends[0]);
  result.output = shown_text(output);
  if (pid < 0) return result;
  result.started = true;
  result.exit_status = wait_status(pid);
  return result;
}

process_result scheduler_listing() { return run_process("AT"); }

}  // namespace platform
