// What the POSIX programs share: where the program is, finding and starting
// programs, and standard error. Not part of the seam: only the platform's
// own POSIX files and the Linux AT include it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The absolute path of the running executable; empty when it cannot be
// told.
std::string self_path();

// The folder part of a path ("." when it has none).
std::string folder_of(const std::string& path);

// True for a regular file the user may execute.
bool is_program(const std::string& path);

// The first executable of that name in the folders of PATH; empty when
// there is none.
std::string find_on_path(const std::string& program);

// The words as the argv (or envp) of a program to start: pointers into
// words, then a null. Valid while words is.
std::vector<char*> argument_vector(std::vector<std::string>& words);

// Reads fd to its end, appending at most limit bytes to bytes (the rest is
// read and dropped, so a writer never blocks). False on a read error.
bool read_to_end(int fd, std::string& bytes, std::size_t limit = std::string::npos);

// Waits for a started program to end and sets status (as waitpid gives
// it); false when it cannot be waited for.
bool wait_for_exit(pid_t pid, int& status);

// Writes text to standard error at once.
void put_error(const std::string& text);

}  // namespace platform
