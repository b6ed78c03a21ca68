// A fake of REC's system seam: a clock that moves only when REC sleeps or
// waits, and scripted recorders that write bytes while they run.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

struct fake_recorder_script {
  bool starts = true;
  long long runs_for = -1;  // ends by itself after this many seconds; -1: until stopped
  long long bytes_per_second = 1000;
  bool stops_on_line_end = false;
  std::string outcome = "exit 0";  // how it reports its end
  std::string errors = "";         // what it wrote to standard error
  bool ignores_terminate = false;  // only a kill ends it
};

struct fake_rec_state {
  long long clock = 0;
  std::vector<long long> sleeps;
  std::deque<fake_recorder_script> recorders;  // one per start; a default when empty
  std::vector<std::vector<std::string>> started;
  std::vector<std::string> signals;        // "line end", "terminate", "kill", in order
  std::map<std::string, long long> files;  // path: size
  std::set<std::string> links;             // names a link holds (a dangling one too)
  std::set<std::string> folders;           // folders REC made for fresh attempts
  std::set<std::string> unmakable;         // files whose making fails
  std::vector<std::string> made;           // files and folders REC made, in order
  int private_folders = 0;
  std::string planted;  // a file another program makes as a recorder starts
  std::vector<std::string> log;
  int groups_left = 0;          // recorders whose every process has not been ended yet
  bool started_beside = false;  // a recorder started while an earlier one's processes lived
};

extern fake_rec_state g_rec;

// Empties the fake and sets its clock.
void reset_rec_fake(long long clock);
