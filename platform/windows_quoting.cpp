#include "platform/windows_quoting.h"

namespace {

// Characters that end an unquoted argument, or make the runtime read a quote.
constexpr char k_needs_quotes[] = " \t\n\v\"";

}  // namespace

std::string windows_quoted_argument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(k_needs_quotes) == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // 2n backslashes then \" read back as n backslashes and a quote.
    std::size_t kept = c == '"' ? backslashes * 2 + 1 : backslashes;
    quoted.append(kept, '\\');
    quoted += c;
    backslashes = 0;
  }
  // Doubled so that the closing quote is not taken as one of the argument's.
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

std::string windows_command_line(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) line += ' ';
    line += windows_quoted_argument(arguments[i]);
  }
  return line;
}

bool is_batch_file_name(const std::string& path) {
  std::size_t end = path.find_last_not_of(". ");
  if (end == std::string::npos || end < 3) return false;
  std::string extension = path.substr(end - 3, 4);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension == ".bat" || extension == ".cmd";
}
