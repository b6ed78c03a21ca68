#include "tests/fake_platform.h"

#include <cstdio>

#include "app/settings.h"
#include "app/trace.h"
#include "platform/ini.h"

fake_state g_fake;

void reset_fake() {
  g_fake = fake_state{};
  g_settings = settings{};
  reset_trace();
}

void fake_set_profile(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) {
  std::string& text = g_fake.files[file];
  text = ini_write_string(text, section.c_str(), key.c_str(), value.c_str());
}

std::string fake_profile_text(const std::string& file) {
  auto found = g_fake.files.find(file);
  return found == g_fake.files.end() ? std::string() : found->second;
}

namespace platform {

std::vector<std::string> arguments(int, char**) { return g_fake.arguments; }

std::string shown_text(const std::string& system_text) {
  auto found = g_fake.shown.find(system_text);
  return found == g_fake.shown.end() ? system_text : found->second;
}

// Programme files are real files in the tests' temporary folders.
struct input_file {
  std::FILE* file;
};

input_file* open_input_file(const char* path) {
  ++g_fake.input_opens;
  std::FILE* file = std::fopen(path, "rb");
  return file == nullptr ? nullptr : new input_file{file};
}

std::size_t read_input_file(input_file* file, void* buffer, std::size_t size) {
  return std::fread(buffer, 1, size, file->file);
}

bool rewind_input_file(input_file* file) {
  ++g_fake.rewinds;
  if (g_fake.before_rewind) g_fake.before_rewind();
  return std::fseek(file->file, 0, SEEK_SET) == 0;
}

void close_input_file(input_file* file) {
  std::fclose(file->file);
  delete file;
}

int profile_read_int(const char* section, const char* key, int fallback, const char* file) {
  return ini_read_int(fake_profile_text(file), section, key, fallback);
}

std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file) {
  return ini_read_string(fake_profile_text(file), section, key, fallback, size);
}

std::string profile_read_path(const char* section, const char* key, const char* fallback,
                              std::size_t size, const char* file) {
  return profile_read_string(section, key, fallback, size, file);
}

bool profile_add_keys(const char* section, const std::vector<std::string>& keys, const char* file) {
  ++g_fake.key_batches;
  if (g_fake.unwritable_line != 0) return false;
  std::string& text = g_fake.files[file];
  text = ini_add_keys(text, section, keys);
  return true;
}

std::size_t profile_unwritable_line(const char*) { return g_fake.unwritable_line; }

std::string system_text(const std::string& text) {
  auto found = g_fake.system.find(text);
  return found == g_fake.system.end() ? text : found->second;
}

bool set_environment(const char* name, const char* value) {
  g_fake.environment[name] = value;
  return true;
}

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  g_fake.writes.push_back(std::string(section) + "/" + key + "=" + value);
  if (g_fake.failing_write_keys.count(key) != 0) return false;
  fake_set_profile(file, section, key, value);
  return true;
}

mutex_result create_named_mutex(const char*) { return g_fake.mutex; }

void beep() { ++g_fake.beeps; }

bool message_box(const char* caption, const char* text, bool ok_cancel) {
  g_fake.boxes.push_back({caption, text, ok_cancel});
  if (!ok_cancel || g_fake.answers.empty()) return true;
  bool answer = g_fake.answers.front();
  g_fake.answers.pop_front();
  return answer;
}

programme_answer ask_programme(const char* caption, const char* text) {
  g_fake.boxes.push_back({caption, text, true});
  if (g_fake.programme_answers.empty()) return programme_answer::book;
  programme_answer answer = g_fake.programme_answers.front();
  g_fake.programme_answers.pop_front();
  return answer;
}

bool trace_window_open() {
  ++g_fake.console_opens;
  if (g_fake.console_fails) return false;
  g_fake.console_lines.push_back("OK");
  return true;
}

void trace_window_append(int top_index, const char* line) {
  g_fake.top_indexes.push_back(top_index);
  g_fake.console_lines.push_back(line);
}

process_result run_process(const char* command_line) {
  g_fake.commands.push_back(command_line);
  return g_fake.process;
}

process_result scheduler_listing() {
  ++g_fake.listings;
  return g_fake.listing;
}

http_result send_request(const std::string& method, const std::string& url, const std::string& body,
                         long) {
  g_fake.requests.push_back(method + " " + url + (body.empty() ? "" : " " + body));
  if (!g_fake.server) return {false, 0, "", "Connection refused"};
  return g_fake.server(method, url, body);
}

}  // namespace platform

// The tests' texts are ASCII, or Shift_JIS compared as bytes: the fake
// converts nothing.
std::string convert_from_sjis(const std::string& text, const char*) { return text; }
std::string convert_to_sjis(const std::string& text, const char*) { return text; }
std::string utf8_from_system(const std::string& text) { return text; }
