// The run sequence of one reservation, and the two message boxes through
// which the tool talks to the user.
#pragma once

#include <string>
#include <vector>

// Exit status when another instance is already running.
inline constexpr int k_exit_already_running = -1;
// Exit status of every other run.
inline constexpr int k_exit_done = 0;

// A notice with only OK; returns when the user has dismissed it. The text is
// cut at the formatter's limit.
void show_notice(const std::string& text);

// A question with OK and Cancel; true exactly when the user chose OK.
bool ask_ok_cancel(const std::string& text);

// One whole run: settings, single-instance guard, the reservation of the
// file named by arguments[1]. arguments[0] is the program's own path.
// Returns the process's exit status.
int run_zoba(const std::vector<std::string>& arguments);
