// Every operating-system service the tool needs. One implementation per
// system (Win32, POSIX) is linked into the program; the tests link a
// recording fake. Nothing else in the tool calls the operating system.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The arguments of this run. Word 0 is always the absolute path of the
// running executable, whole whatever its length (the settings file is named
// after it), whatever was typed; the rest are the typed arguments.
std::vector<std::string> arguments(int argc, char** argv);

// An argument or path, as the system handed it over, as Shift_JIS text for
// a notice; a character Shift_JIS lacks shows as "?". The words of
// arguments() stay in the system's own bytes, which are what open a file.
std::string shown_text(const std::string& system_text);

// Reads an integer key; the given default when the file, the section or the
// key is missing.
int profile_read_int(const char* section, const char* key, int fallback, const char* file);

// Reads a text key, at most size - 1 bytes of it; the given default when the
// key is missing.
std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file);

// Reads a text key that names a program or a file (the recorder command)
// in the encoding of the system's file names, so that any path that
// exists works: on Windows as profile_read_string; on POSIX in UTF-8, the
// file's own bytes where the file is UTF-8, at most size - 1 bytes.
std::string profile_read_path(const char* section, const char* key, const char* fallback,
                              std::size_t size, const char* file);

// Stores a text key, creating the file, section and key as needed. Returns
// false when the value could not be stored.
bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file);

// Enters each of the keys that the section lacks, with an empty value, in
// one write however many there are. Returns false when they could not be
// stored.
bool profile_add_keys(const char* section, const std::vector<std::string>& keys, const char* file);

// 0 when the settings file can be written; otherwise the line (from 1)
// that is in no encoding the rest of the file is in, for which the file is
// never written. Always 0 on Windows, whose functions take any bytes.
std::size_t profile_unwritable_line(const char* file);

// A file opened for reading; what it is belongs to the platform.
struct input_file;

// Opens the file at path for reading: the platform decides what a path is
// and what may be opened. Null when it cannot be opened.
input_file* open_input_file(const char* path);

// Reads up to size bytes into buffer; 0 at the end of the file or on an
// error.
std::size_t read_input_file(input_file* file, void* buffer, std::size_t size);

// Goes back to the file's first byte, so that a second pass reads the same
// file whatever has since been put in its place. False when it cannot.
bool rewind_input_file(input_file* file);

// Closes a file that open_input_file opened.
void close_input_file(input_file* file);

enum class mutex_result { created, already_exists, failed };

// Creates the named single-instance marker, which lives until the process
// ends, and tells whether another process already holds one.
mutex_result create_named_mutex(const char* name);

// The system's default alert sound.
void beep();

// A modal message box with the caption and the text; returns true exactly
// when the user answered OK. With ok_cancel false only OK is offered.
bool message_box(const char* caption, const char* text, bool ok_cancel);

// The answers to the question about one programme of a file of several.
enum class programme_answer { book, skip, stop };

// A modal box with the caption and the text offering three answers: book
// this programme (Yes), skip it (No), stop here (Cancel). A box that was
// closed, or could not be shown at all, answers stop: nothing more is asked.
programme_answer ask_programme(const char* caption, const char* text);

// Opens the trace console with its first line "OK"; false when no window
// could be made.
bool trace_window_open();

// Scrolls the console so that line top_index is first in view, then adds
// the line and repaints.
void trace_window_append(int top_index, const char* line);

// The tool's Shift_JIS text in the system's own encoding, as a started
// program expects its words: as it is on Windows (ANSI), UTF-8 on POSIX.
std::string system_text(const std::string& text);

// Sets a variable of the tool's environment, which every program that
// run_process starts inherits. Returns false when it could not be set.
bool set_environment(const char* name, const char* value);

struct process_result {
  bool started = false;
  unsigned long exit_status = 0;  // meaningful only when started
  // What it wrote to its standard output and error, in the tool's
  // character set, at most the run's limit of it.
  std::string output;
  bool timed_out = false;  // ended by us when its time limit passed
  bool cut = false;        // it wrote more than the limit: the rest was dropped
};

// What a registration's scheduler run keeps of its output: enough for any
// reason it gives.
inline constexpr std::size_t k_output_limit = 65536;

// The listing is read whole up to this (tens of thousands of reservations),
// and waited for this many seconds at most: the question must not wait on
// a scheduler held up by another process.
inline constexpr std::size_t k_listing_limit = std::size_t{16} * 1024 * 1024;
inline constexpr int k_listing_seconds = 5;

// Starts a command line, in the system's own encoding (system_text), with
// no console window of its own, collects what it writes, waits for it to
// end without a time limit, and reports whether it started and how it
// ended. The scheduler it starts only registers a job, so it runs at the
// lowest priority the system has (idle on Windows, the idle scheduling
// class on Linux).
process_result run_process(const char* command_line);

// Runs the scheduler with no arguments, which lists the reservations this
// install made (the seven fields end each line), and collects the listing
// as run_process does, up to k_listing_limit bytes; a scheduler still
// running after k_listing_seconds is ended (timed_out).
process_result scheduler_listing();

}  // namespace platform
