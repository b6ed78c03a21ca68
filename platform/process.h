// Starting programs, for zoba, AT and REC alike: finding a program, running
// one to its end (or its time limit) and collecting what it writes, and
// starting one that is watched and stopped later. Text crossing this header
// is UTF-8 on both systems (the system's own bytes on POSIX, UTF-8 in
// practice); Windows converts to UTF-16 at each call.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// True for a file that can be started as a program (on POSIX a regular file
// the user may execute).
bool is_program(const std::string& path);

// The first program of that name in the folders of PATH (".exe" added to a
// name without an extension on Windows); empty when there is none.
std::string find_on_path(const std::string& name);

// The program a command's first word names: a path (it holds a separator)
// is taken as it stands (".exe" added on Windows when it has no extension
// and only that file exists); a bare name is looked for beside the running
// program, then on PATH. Empty when no such program exists.
std::string find_program(const std::string& name);

// True for a program that only runs through the command interpreter (a
// batch file on Windows), whose quoting is not the C runtime's; never on
// POSIX.
bool runs_through_shell(const std::string& path);

// How run_program starts a program and what it collects.
struct run_options {
  // Written to its standard input through a pipe; its standard input is
  // inherited when null.
  const std::string* input = nullptr;
  bool collect_output = true;  // its standard output into the result
  bool collect_errors = true;  // its standard error too (else inherited)
  // At most this many bytes are kept; the rest is read and dropped, so the
  // program never blocks on a full pipe.
  std::size_t output_limit = std::string::npos;
  // It is ended (on POSIX with every program of its process group) when it
  // has not ended this many seconds after it started; 0: no limit.
  int limit_seconds = 0;
  bool idle = false;  // at the lowest priority the system has
  // The folder it starts in; empty: the caller's.
  std::string folder;
  // Its environment, "NAME=value" each; the caller's when null.
  const std::vector<std::string>* environment = nullptr;
};

// How a program run by run_program ended.
struct run_result {
  bool started = false;
  bool timed_out = false;  // ended by us when its time limit passed
  // Ended by itself with an exit status; false when a signal ended it (its
  // number is then in status). A status that cannot be read is -1.
  bool exited = false;
  unsigned long status = 0;
  std::string output;  // what it wrote, as bytes
};

// Starts words[0], a path (see find_program), with the rest as its
// arguments (on Windows each quoted by the C runtime's rules) and no
// console window of its own, and waits for it as the options say.
run_result run_program(const std::vector<std::string>& words, const run_options& options);

// Starts a command line as the system's own starting function does: on
// Windows the line goes to the program as it stands; on POSIX it is split
// by the tool's rules and its first word found by find_program.
run_result run_command_line(const std::string& line, const run_options& options);

// A started program that is watched and stopped later; what it is belongs
// to the system.
struct watched_program;

// Starts arguments[0], found by find_program, with the rest as its
// arguments, directly (never through a shell), with no console window,
// standard output to the null device, standard error to a temporary file
// gone once released (watched_errors reads its end), standard input a pipe
// when stdin_pipe is set (else the null device). Everything it starts is
// kept together so that end_watched ends it all: on POSIX a process group of
// its own, on Windows a job object (a program that leaves the group with
// setsid escapes; a job has no way out). Null when it could not be started;
// error then says why.
watched_program* start_watched(const std::vector<std::string>& arguments, bool stdin_pipe,
                               std::string& error);

// Waits until the program has ended or the wall clock (platform::now)
// reaches deadline. True when it has ended.
bool wait_watched(watched_program* program, long long deadline);

// Writes a line end to the program's standard input and closes it;
// nothing when it has no pipe.
void send_line_end(watched_program* program);

// Asks the program to end (SIGTERM to its group; on Windows it is ended).
void terminate_watched(watched_program* program);

// Ends the program without asking (SIGKILL to its group; TerminateProcess).
void kill_watched(watched_program* program);

// Ends whatever is left of the program and everything it started, whether
// or not the program itself has ended: on POSIX SIGTERM to its group, then
// SIGKILL after grace_seconds; on Windows its job is ended. Returns once no
// process of the group or job is left and the program is reaped.
void end_watched(watched_program* program, long long grace_seconds);

// How an ended program ended, for a log: "exit 0", "signal 15",
// "terminated"; "running" while it runs (read it after end_watched).
std::string watched_outcome(const watched_program* program);

// The last bytes (at most limit) that the program and what it started wrote
// to standard error, as UTF-8 (from the ANSI code page on Windows when they
// are not UTF-8 already); empty when none were kept.
std::string watched_errors(const watched_program* program, std::size_t limit);

// Waits for (if need be) and releases a program.
void release_watched(watched_program* program);

}  // namespace platform
