// The operating-system services REC's run needs (rec_run, rec_handover):
// the wall clock, sleeping, starting, watching and stopping one recorder,
// and the few file operations around its recording. rec_system.cpp
// forwards each to the platform layer and is linked into REC; the tests
// link a fake. REC's main, which no test drives, reads its settings and
// checks its folder through the platform layer itself. Text
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

// The path separator of this system ("/" or "\\").
extern const char k_separator[];

// Appends a line (a line end is added) to the log file; false when it could
// not be written.
bool append_line(const std::string& path, const std::string& line);

// The longest file name the system takes, counted as it counts: bytes of
// UTF-8 on Linux (255), UTF-16 code units on Windows (255).
bool name_fits(const std::string& utf8_name);

}  // namespace rec_system
