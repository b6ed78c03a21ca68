#include "tools/at/job_id.h"

#include <cstdint>
#include <cstdio>

#include "platform/text.h"

namespace {

constexpr char k_task_prefix[] = "zoba ";

char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

}  // namespace

std::string job_identifier(const std::vector<std::string>& command, const std::string& stamp) {
  for (std::size_t i = 1; i < command.size(); ++i) {
    const std::string& word = command[i];
    int number = 0;
    if (word.size() > 1 && word[0] == 'Y' && read_decimal(word.substr(1), 9, number)) return word;
  }
  return stamp;
}

std::string install_id(const std::string& settings_path, bool fold_case) {
  std::uint32_t hash = 2166136261u;
  for (char c : settings_path) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (fold_case && byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte + 32);
    hash = (hash ^ byte) * 16777619u;
  }
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(hash));
  return text;
}

bool is_install_settings(const std::string& recorded, const std::string& settings_path) {
  if (recorded.empty()) return true;
  if (recorded.size() != settings_path.size()) return false;
  for (std::size_t i = 0; i < recorded.size(); ++i) {
    if (ascii_lower(recorded[i]) != ascii_lower(settings_path[i])) return false;
  }
  return true;
}

std::string listing_line(const std::string& id, const at_date& date, int hour, int minute,
                         const std::string& command_text) {
  char when[32];
  std::snprintf(when, sizeof when, "%04d/%02d/%02d %02d:%02d", date.year, date.month, date.day,
                hour, minute);
  return id + "  " + when + "  " + command_text;
}

std::string task_name(const std::string& install, const std::string& id) {
  return task_name_prefix(install) + id;
}

std::string task_name_prefix(const std::string& install) { return k_task_prefix + install + " "; }

std::string copy_identifier(const std::string& id, int copy) {
  return id + "-" + std::to_string(copy);
}
