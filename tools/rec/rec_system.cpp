// REC's system services, the same on every system: each forwards to the
// platform layer, which holds the code for each system.
#include "tools/rec/rec_system.h"

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/self.h"
#include "tools/rec/rec.h"

namespace rec_system {

struct recorder {
  platform::watched_program* program;
};

const char k_separator[] = {platform::k_separator[0], '\0'};

long long now() { return platform::now(); }

void sleep_for(long long seconds) { platform::sleep_for(seconds); }

recorder* start_recorder(const std::vector<std::string>& arguments, bool stdin_pipe,
                         std::string& error) {
  platform::watched_program* program = platform::start_watched(arguments, stdin_pipe, error);
  return program == nullptr ? nullptr : new recorder{program};
}

bool wait_recorder(recorder* process, long long deadline) {
  return platform::wait_watched(process->program, deadline);
}

void send_line_end(recorder* process) { platform::send_line_end(process->program); }

void terminate_recorder(recorder* process) { platform::terminate_watched(process->program); }

void kill_recorder(recorder* process) { platform::kill_watched(process->program); }

void end_recorder(recorder* process, long long grace) {
  platform::end_watched(process->program, grace);
}

std::string recorder_outcome(const recorder* process) {
  return platform::watched_outcome(process->program);
}

std::string recorder_errors(const recorder* process) {
  // Twice what the log keeps, so that it can start at a line's start.
  return platform::watched_errors(process->program, 2 * rec::k_error_tail);
}

void release_recorder(recorder* process) {
  platform::release_watched(process->program);
  delete process;
}

long long file_size(const std::string& path) { return platform::file_size(path); }

entry make_new_file(const std::string& path, std::string& error) {
  return platform::create_new_file(path, error);
}

entry move_to_new_name(const std::string& from, const std::string& to, std::string& error) {
  return platform::move_to_new_name(from, to, error);
}

std::string make_private_folder(const std::string& folder, const std::string& prefix,
                                std::string& error) {
  return platform::make_private_folder(folder, prefix, error);
}

bool name_taken(const std::string& path) { return platform::name_taken(path); }

void remove_empty_file(const std::string& path) { platform::remove_empty_file(path); }

void remove_empty_folder(const std::string& path) { platform::remove_empty_folder(path); }

bool append_line(const std::string& path, const std::string& line) {
  return platform::append_line(path, line);
}

bool name_fits(const std::string& utf8_name) { return platform::name_fits(utf8_name); }

}  // namespace rec_system
