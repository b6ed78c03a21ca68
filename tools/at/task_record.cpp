#include "tools/at/task_record.h"

#include "tools/at/at_command.h"

std::string record_with(const std::string& text, const std::string& name) {
  std::string out;
  bool present = false;
  for (const std::string& kept : text_lines(text)) {
    out += kept + "\r\n";
    present = present || kept == name;
  }
  return present ? out : out + name + "\r\n";
}

std::string record_without(const std::string& text, const std::string& name) {
  std::string out;
  for (const std::string& kept : text_lines(text)) {
    if (kept != name) out += kept + "\r\n";
  }
  return out;
}
