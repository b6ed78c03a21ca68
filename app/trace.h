// The trace console: a list of numbered diagnostic lines shown in debug mode.
#pragma once

#include <string>

// The plain trace line "%4d %s:%d" (sequence number, module name, point).
std::string format_trace_line(int seq, int point);

// The trace line with a message "%4d %s:%d >%s\n"; the line feed belongs to
// the line. Cut at the formatter's limit like every shown text.
std::string format_trace_line(int seq, int point, const std::string& message);

// Opens the console window once; later calls change nothing.
void open_trace_console();

// True once the console is open: callers may skip building messages
// nobody can see.
bool trace_enabled();

// Appends the line of a trace point to the console, if it is open.
void trace(int point);
void trace(int point, const std::string& message);

// Forgets the console and sets the sequence number back to 0 (tests only).
void reset_trace();
