// The run sequence of one reservation, from start to exit.
#pragma once

#include <string>
#include <vector>

// Exit status when another instance is already running.
inline constexpr int k_exit_already_running = -1;
// Exit status of every other run.
inline constexpr int k_exit_done = 0;

// One whole run: settings, single-instance guard, the reservation of the
// file named by arguments[1]. arguments[0] is the program's own path.
// Returns the process's exit status.
int run_zoba(const std::vector<std::string>& arguments);
