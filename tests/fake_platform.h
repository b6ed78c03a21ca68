// A recording fake of the platform: scripted answers in, everything the
// tool did out. Tests reset it with reset_fake() before each run.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/http.h"
#include "platform/platform.h"

struct fake_box {
  std::string caption;
  std::string text;
  bool ok_cancel;
};

struct fake_state {
  std::vector<std::string> arguments;
  // shown_text's answers; a text not listed is shown as it is.
  std::map<std::string, std::string> shown;
  int input_opens = 0;  // programme files opened, whether or not they opened
  int rewinds = 0;
  // Run just before a programme file goes back to its start: a test changes
  // the file there, as another program might between the two passes.
  std::function<void()> before_rewind;
  // Profile files by path, as the text they hold; read and written by the
  // tool's own INI rules.
  std::map<std::string, std::string> files;
  std::vector<std::string> writes;  // "SECTION/key=value", in order
  std::set<std::string> failing_write_keys;
  int key_batches = 0;              // profile_add_keys calls
  std::size_t unwritable_line = 0;  // profile_unwritable_line's answer
  // system_text's answers; a text not listed is as it is.
  std::map<std::string, std::string> system;
  std::map<std::string, std::string> environment;
  platform::mutex_result mutex = platform::mutex_result::created;
  int beeps = 0;
  std::vector<fake_box> boxes;
  std::deque<bool> answers;  // for questions; OK when empty
  // For the questions about one programme of several; book when empty.
  std::deque<platform::programme_answer> programme_answers;
  bool console_fails = false;
  int console_opens = 0;
  std::vector<std::string> console_lines;
  std::vector<int> top_indexes;
  std::vector<std::string> commands;
  platform::process_result process = {true, 0, ""};
  // What the scheduler lists; by default it could not be started.
  platform::process_result listing = {false, 0, ""};
  int listings = 0;
  // The recording server: each request ("GET url" or "POST url body") is
  // recorded and answered by server(method, url, body); none is sent when
  // it is not set.
  std::vector<std::string> requests;
  std::function<platform::http_result(const std::string& method, const std::string& url,
                                      const std::string& body)>
      server;
};

extern fake_state g_fake;

// Empties the fake, the trace console and the settings of the tool.
void reset_fake();

// Sets a key in a fake profile file as a user editing it would.
void fake_set_profile(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value);

// The fake file's text (lines end in CRLF when the tool wrote them); empty
// when the file does not exist.
std::string fake_profile_text(const std::string& file);
