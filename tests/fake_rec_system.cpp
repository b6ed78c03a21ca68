#include "tests/fake_rec_system.h"

#include <algorithm>

#include "tools/rec/rec_system.h"

fake_rec_state g_rec;

void reset_rec_fake(long long clock) {
  g_rec = fake_rec_state();
  g_rec.clock = clock;
}

namespace rec_system {

struct recorder {
  fake_recorder_script script;
  std::string file;
  long long started = 0;
  long long ended = -1;
  bool killed = false;  // a kill is seen in its outcome only once it is reaped
};

namespace {

void end_at(recorder* process, long long when, const std::string& outcome) {
  process->ended = when;
  process->script.outcome = outcome;
  g_rec.files[process->file] = (when - process->started) * process->script.bytes_per_second;
}

}  // namespace

const char k_separator[] = "/";

long long now() { return g_rec.clock; }

void sleep_for(long long seconds) {
  g_rec.sleeps.push_back(seconds);
  g_rec.clock += seconds;
}

recorder* start_recorder(const std::vector<std::string>& arguments, bool, std::string& error) {
  fake_recorder_script script;
  if (!g_rec.recorders.empty()) {
    script = g_rec.recorders.front();
    g_rec.recorders.pop_front();
  }
  g_rec.started.push_back(arguments);
  if (!script.starts) {
    error = "busy";
    return nullptr;
  }
  if (!g_rec.planted.empty()) g_rec.files[g_rec.planted] = 7;
  // The fake recorders take the file as their last argument.
  auto* process = new recorder{script, arguments.back(), g_rec.clock, -1, false};
  if (g_rec.groups_left > 0) g_rec.started_beside = true;
  ++g_rec.groups_left;
  if (script.runs_for == 0) end_at(process, g_rec.clock, script.outcome);
  return process;
}

bool wait_recorder(recorder* process, long long deadline) {
  if (process->ended >= 0) return true;
  long long natural =
      process->script.runs_for < 0 ? -1 : process->started + process->script.runs_for;
  if (natural >= 0 && natural <= deadline) {
    g_rec.clock = std::max(g_rec.clock, natural);
    end_at(process, natural, process->script.outcome);
    return true;
  }
  g_rec.clock = std::max(g_rec.clock, deadline);
  return false;
}

void send_line_end(recorder* process) {
  g_rec.signals.push_back("line end");
  if (process->script.stops_on_line_end) end_at(process, g_rec.clock, "exit 0");
}

void terminate_recorder(recorder* process) {
  g_rec.signals.push_back("terminate");
  if (!process->script.ignores_terminate) end_at(process, g_rec.clock, process->script.outcome);
}

void kill_recorder(recorder* process) {
  g_rec.signals.push_back("kill");
  end_at(process, g_rec.clock, "signal 9");
  process->killed = true;
}

void end_recorder(recorder* process, long long) {
  if (process->ended < 0) end_at(process, g_rec.clock, "signal 15");
  process->killed = false;
  --g_rec.groups_left;
}

std::string recorder_outcome(const recorder* process) {
  return process->ended < 0 || process->killed ? "running" : process->script.outcome;
}

std::string recorder_errors(const recorder* process) { return process->script.errors; }

void release_recorder(recorder* process) { delete process; }

long long file_size(const std::string& path) {
  auto found = g_rec.files.find(path);
  return found == g_rec.files.end() ? -1 : found->second;
}

namespace {

bool taken(const std::string& path) {
  return g_rec.files.count(path) > 0 || g_rec.links.count(path) > 0 ||
         g_rec.folders.count(path) > 0;
}

}  // namespace

entry make_new_file(const std::string& path, std::string& error) {
  if (taken(path)) return entry::taken;
  if (g_rec.unmakable.count(path) > 0) {
    error = "Permission denied";
    return entry::failed;
  }
  g_rec.files[path] = 0;
  g_rec.made.push_back(path);
  return entry::made;
}

entry move_to_new_name(const std::string& from, const std::string& to, std::string& error) {
  if (taken(to)) return entry::taken;
  auto found = g_rec.files.find(from);
  if (found == g_rec.files.end()) {
    error = "No such file or directory";
    return entry::failed;
  }
  g_rec.files[to] = found->second;
  g_rec.files.erase(found);
  return entry::made;
}

std::string make_private_folder(const std::string& folder, const std::string& prefix,
                                std::string&) {
  std::string path = folder + "/" + prefix + std::to_string(++g_rec.private_folders);
  g_rec.folders.insert(path);
  g_rec.made.push_back(path + "/");
  return path;
}

bool name_taken(const std::string& path) { return taken(path); }

void remove_empty_file(const std::string& path) {
  auto found = g_rec.files.find(path);
  if (found != g_rec.files.end() && found->second == 0) g_rec.files.erase(found);
}

// A folder is empty when no file's path starts with it.
void remove_empty_folder(const std::string& path) {
  auto after = g_rec.files.lower_bound(path + "/");
  if (after == g_rec.files.end() || !after->first.starts_with(path + "/")) {
    g_rec.folders.erase(path);
  }
}

bool append_line(const std::string&, const std::string& line) {
  g_rec.log.push_back(line);
  return true;
}

bool name_fits(const std::string& utf8_name) { return utf8_name.size() <= 255; }

}  // namespace rec_system
