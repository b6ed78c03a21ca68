// The operating-system services REC needs: the wall clock, sleeping,
// starting, watching and stopping one recorder, and the few file
// operations around its recording. rec_system.cpp forwards each to the
// platform layer and is linked into REC; the tests link a fake. Text
// crossing this seam is UTF-8 on both systems; the Windows side converts to
// UTF-16 at each call.
#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace rec_system {

// Seconds since the epoch by the wall clock (it may jump: suspend, NTP).
long long now();

// Sleeps about that many seconds without using the CPU; may return early.
void sleep_for(long long seconds);

// A started recorder; what it is belongs to the system.
struct recorder;

// Starts arguments[0] with the rest as its arguments, directly (never through a
// shell; on Windows each argument quoted by the C runtime's rules), with no
// console window, standard output to the null device, standard error kept
// for recorder_errors, standard input a pipe when stdin_pipe is set (else
// the null device), with whatever it starts kept together for end_recorder.
// Null when it could not be started; error then says why.
recorder* start_recorder(const std::vector<std::string>& arguments, bool stdin_pipe,
                         std::string& error);

// Waits until the recorder has ended or the wall clock reaches deadline.
// True when it has ended.
bool wait_recorder(recorder* process, long long deadline);

// Writes a line end to the recorder's standard input and closes it (a
// recorder that stops on Enter); nothing when it has no pipe.
void send_line_end(recorder* process);

// Asks the recorder to end (SIGTERM; on Windows the process is ended).
void terminate_recorder(recorder* process);

// Ends the recorder without asking (SIGKILL; TerminateProcess).
void kill_recorder(recorder* process);

// Ends every process the recorder started that is left, whether or not the
// recorder itself has ended (asked first, killed grace seconds later), and
// returns once none is left: no attempt starts beside an earlier one's.
void end_recorder(recorder* process, long long grace);

// How an ended recorder ended, for the log: "exit 0", "signal 15".
std::string recorder_outcome(const recorder* process);

// The end of what the recorder and its children wrote to standard error
// (some hundreds of bytes), UTF-8.
std::string recorder_errors(const recorder* process);

// Waits for (if need be) and releases a recorder.
void release_recorder(recorder* process);

// The size of a file in bytes; -1 when there is none.
long long file_size(const std::string& path);

// What came of making a new entry at a name: made (new and REC's own),
// taken (something holds the name, a link too), failed (error says why).
using entry = platform::new_entry;

// Makes a new empty file, never one that exists and never through a link.
entry make_new_file(const std::string& path, std::string& error);

// Gives a file a name no entry holds, never replacing one.
entry move_to_new_name(const std::string& from, const std::string& to, std::string& error);

// Makes a new folder inside folder that only this user may enter (0700 on
// POSIX), named prefix and a few characters; empty on failure (error).
std::string make_private_folder(const std::string& folder, const std::string& prefix,
                                std::string& error);

// True when some entry, a link too, holds the name.
bool name_taken(const std::string& path);

// Removes a file only while it is regular and empty; a folder only while
// it is empty.
void remove_empty_file(const std::string& path);
void remove_empty_folder(const std::string& path);

// The folder, or one above it, whose entries other users may rename or
// remove (POSIX; never on Windows); empty when none.
std::string open_to_others(const std::string& folder);

// The user's home folder; empty when none is known.
std::string home_folder();

// A folder setting with the system's variables put in (Windows' %NAME%).
std::string expand_variables(const std::string& text);

// True on Windows, whose paths and variables folder= follows.
bool windows_paths();

// Makes a folder and the folders above it that are missing; false when it
// does not exist afterwards.
bool make_folders(const std::string& path);

// True when a folder of that name exists, writable or not.
bool is_folder(const std::string& path);

// The user's videos folder (Windows' Videos known folder; on Linux
// XDG_VIDEOS_DIR from the user's dirs file or environment, else ~/Videos).
std::string videos_folder();

// The folder of the running program, without a separator at its end.
std::string program_folder();

// The settings file zoba keeps in REC's folder, in the bytes the settings
// functions take a path in: the ANSI code page on Windows, where the UTF-8
// of program_folder would not open a folder with a Japanese name.
std::string settings_path();

// A reason as whoever reads REC's standard error shows it: zoba, through
// AT, shows the ANSI code page on Windows; UTF-8 as it is elsewhere.
std::string shown_reason(const std::string& utf8);

// The path separator of this system ("/" or "\\").
extern const char k_separator[];

// Shift_JIS text from the command line or the settings file as UTF-8.
std::string utf8_from_sjis(const std::string& sjis);

// Appends a line (a line end is added) to the log file; false when it could
// not be written.
bool append_line(const std::string& path, const std::string& line);

// The program a command's first word names: a path (it holds a separator)
// is taken as it stands; a bare name is looked for in REC's own folder, then
// in the folders of PATH (with the system's program extensions on Windows).
// Empty when no such program exists.
std::string find_program(const std::string& name);

// The longest file name the system takes, counted as it counts: bytes of
// UTF-8 on Linux (255), UTF-16 code units on Windows (255).
bool name_fits(const std::string& utf8_name);

}  // namespace rec_system
