#include "tests/fake_platform.h"

#include <strings.h>

#include <cstdlib>

#include "app/settings.h"
#include "app/trace.h"

fake_state g_fake;

namespace {

bool same_name(const std::string& a, const std::string& b) {
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

fake_section* find_section(const std::string& file, const std::string& name) {
  auto found = g_fake.files.find(file);
  if (found == g_fake.files.end()) return nullptr;
  for (fake_section& section : found->second) {
    if (same_name(section.name, name)) return &section;
  }
  return nullptr;
}

const std::string* find_key(const std::string& file, const std::string& section,
                            const std::string& key) {
  fake_section* s = find_section(file, section);
  if (s == nullptr) return nullptr;
  for (auto& entry : s->keys) {
    if (same_name(entry.first, key)) return &entry.second;
  }
  return nullptr;
}

}  // namespace

void reset_fake() {
  g_fake = fake_state{};
  g_settings = settings{};
  reset_trace();
}

void fake_set_profile(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& value) {
  fake_section* s = find_section(file, section);
  if (s == nullptr) {
    g_fake.files[file].push_back({section, {}});
    s = &g_fake.files[file].back();
  }
  for (auto& entry : s->keys) {
    if (same_name(entry.first, key)) {
      entry.second = value;
      return;
    }
  }
  s->keys.emplace_back(key, value);
}

std::string fake_profile_text(const std::string& file) {
  std::string text;
  auto found = g_fake.files.find(file);
  if (found == g_fake.files.end()) return text;
  for (const fake_section& section : found->second) {
    text += "[" + section.name + "]\n";
    for (const auto& entry : section.keys) {
      text += entry.first + "=" + entry.second + "\n";
    }
  }
  return text;
}

namespace platform {

std::vector<std::string> arguments(int, char**) { return g_fake.arguments; }

int profile_read_int(const char* section, const char* key, int fallback, const char* file) {
  const std::string* value = find_key(file, section, key);
  if (value == nullptr) return fallback;
  return static_cast<int>(std::strtol(value->c_str(), nullptr, 10));
}

std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file) {
  const std::string* value = find_key(file, section, key);
  std::string text = value == nullptr ? fallback : *value;
  if (text.size() > size - 1) text.resize(size - 1);
  return text;
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

}  // namespace platform
