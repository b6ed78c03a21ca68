#include "tools/at/at_command.h"

namespace {

// A whole number with an optional minus sign; false for anything else.
bool parse_number(const std::string& text, int& value) {
  std::size_t at = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (at == text.size() || text.size() - at > 9) return false;
  int total = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    total = total * 10 + (text[at] - '0');
  }
  value = text[0] == '-' ? -total : total;
  return true;
}

bool parse_time(const std::string& text, int& hour, int& minute) {
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  return parse_number(text.substr(0, colon), hour) && parse_number(text.substr(colon + 1), minute);
}

bool starts_without_case(const std::string& text, const char* prefix) {
  std::size_t i = 0;
  for (; prefix[i] != '\0'; ++i) {
    if (i >= text.size()) return false;
    char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (c != prefix[i]) return false;
  }
  return true;
}

}  // namespace

std::string parse_at_arguments(const std::vector<std::string>& words, at_request& request) {
  if (words.empty() || !parse_time(words[0], request.hour, request.minute)) {
    return "the first argument is not a time HH:MM";
  }
  if (request.hour < 0 || request.hour > 23 || request.minute < 0 || request.minute > 59) {
    return std::string("the time ") + words[0] + " is not a time of day";
  }
  std::size_t at = 1;
  for (; at < words.size(); ++at) {
    if (starts_without_case(words[at], "/interactive") && words[at].size() == 12) continue;
    if (!starts_without_case(words[at], "/next:")) break;
    if (!parse_number(words[at].substr(6), request.next_day)) {
      return std::string("the day in ") + words[at] + " is not a number";
    }
    request.has_next = true;
  }
  request.command.assign(words.begin() + static_cast<long>(at), words.end());
  if (request.command.empty()) return "there is no command to run";
  return {};
}

at_form at_form_of(const std::vector<std::string>& words, std::string& id) {
  if (words.empty()) return at_form::list;
  if (words.size() == 2 && words[1].size() == 7 && starts_without_case(words[1], "/delete")) {
    id = words[0];
    return at_form::remove;
  }
  return at_form::schedule;
}

std::string joined_words(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::vector<std::string> text_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
    at = end + 1;
  }
  return lines;
}
