#include "tools/at/at_queue.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "tools/at/at_command.h"
#include "tools/at/job_id.h"
#include "tools/at/launch_date.h"

namespace {

// The comment that starts a job AT made: the install and the listing line
// follow it ("# zoba AT job 1a2b3c4d: Y0001  ...").
constexpr char k_marker[] = "# zoba AT job ";
// How at's preamble in at -c ends, after the change into the folder at was
// run in; at writes a line end in an environment value or in that folder as
// a quoted one, so no line of the preamble before it starts with a tab.
constexpr char k_preamble_end[] =
    " || {\n\t echo 'Execution directory inaccessible' >&2\n\t exit 1\n}\n";
// The months as atq writes them.
constexpr char k_months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";

// A listing line kept on one line: a line end inside the command would end
// a comment and run the rest, or split a record.
std::string one_line(const std::string& listing) {
  std::string line = listing;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

}  // namespace

std::string install_field(const std::string& settings_path) {
  std::string field = install_id(settings_path, false) + " ";
  for (char c : settings_path) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f || c == '%' || c == ':') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
      field += escaped;
    } else {
      field += c;
    }
  }
  return field;
}

bool is_install_field(const std::string& field, const std::string& install) {
  return field == install || field == install.substr(0, install.find(' '));
}

std::string job_marker(const std::string& install, const std::string& listing) {
  return k_marker + install + ": " + one_line(listing) + "\n";
}

std::string job_text(const std::string& script) {
  std::size_t end = script.find(k_preamble_end);
  return end == std::string::npos ? std::string() : script.substr(end + sizeof k_preamble_end - 1);
}

std::string listing_of_job(const std::string& script, const std::string& install) {
  // Only the first line AT handed to at counts: a marker's text further on
  // is the user's own.
  std::string text = job_text(script);
  std::string first = text.substr(0, text.find('\n'));
  // No install field holds ": ", so the first one ends it.
  std::size_t end = first.find(": ");
  if (!first.starts_with(k_marker) || end == std::string::npos) return {};
  std::string field = first.substr(sizeof k_marker - 1, end - (sizeof k_marker - 1));
  return is_install_field(field, install) ? first.substr(end + 2) : std::string();
}

std::string shell_quote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string job_line(const std::vector<std::string>& command) {
  std::string line;
  for (const std::string& word : command) {
    if (!line.empty()) line += ' ';
    line += shell_quote(word);
  }
  return line + "\n";
}

std::string job_script(const std::string& install, const std::string& listing,
                       const std::string& folder, const std::vector<std::string>& command) {
  std::string log = shell_quote(k_job_log);
  std::string to_log = " >>" + log + "\n";
  std::string when = "\"$(date '+%Y-%m-%d %H:%M:%S')\" ";
  std::string id = shell_quote(listing.substr(0, listing.find(' ')));
  std::string program = shell_quote(command[0]);
  std::string line = job_line(command);
  line.pop_back();
  std::string script = job_marker(install, listing) + "cd " + shell_quote(folder) + " || exit 1\n";
  script += "printf '%s start %s\\n' " + when + shell_quote(listing) + to_log;
  script += "if [ -f " + program + " ] && [ -x " + program + " ]; then\n";
  script += line + " 2>>" + log + "\nstatus=$?\nelse\n";
  script += "printf '%s %s: the recorder %s is not an executable file\\n' " + when + id + " " +
            program + to_log + "status=127\nfi\n";
  return script + "printf '%s end %s: exit status %s\\n' " + when + id + " \"$status\"" + to_log;
}

std::string job_record(const std::string& number, const std::string& install,
                       const std::string& stamp, const std::string& listing) {
  return number + "\t" + install + "\t" + stamp + "\t" + one_line(listing) + "\n";
}

bool queued_job(const std::string& line, std::string& number, std::string& stamp) {
  std::size_t tab = line.find('\t');
  if (tab == 0 || tab == std::string::npos) return false;
  number = line.substr(0, tab);
  if (number.find_first_not_of("0123456789") != std::string::npos) return false;
  char month[4] = {};
  int day = 0;
  int hour = 0;
  int minute = 0;
  int year = 0;
  // at's "%a %b %e %T %Y", in the C locale: atq sets none.
  if (std::sscanf(line.c_str() + tab + 1, "%*3s %3s %d %d:%d:%*d %d", month, &day, &hour, &minute,
                  &year) != 5) {
    return false;
  }
  const char* found = std::strstr(k_months, month);
  if (found == nullptr || (found - k_months) % 3 != 0 || std::strlen(month) != 3) return false;
  at_date date{year, static_cast<int>(found - k_months) / 3 + 1, day};
  stamp = at_time_stamp(date, hour, minute);
  return true;
}

std::vector<recorded_job> queued_records(const std::string& records, const std::string& atq_output,
                                         const std::string& install, std::string& kept) {
  std::set<std::string> queue;  // number and stamp
  for (const std::string& line : text_lines(atq_output)) {
    std::string number;
    std::string stamp;
    if (queued_job(line, number, stamp)) queue.insert(number + "\t" + stamp);
  }
  std::vector<recorded_job> jobs;
  kept.clear();
  for (const std::string& line : text_lines(records)) {
    std::size_t first = line.find('\t');
    std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    std::size_t third = second == std::string::npos ? second : line.find('\t', second + 1);
    if (third == std::string::npos) continue;
    std::string number = line.substr(0, first);
    if (queue.count(number + line.substr(second, third - second)) == 0) continue;
    kept += line + "\n";
    if (is_install_field(line.substr(first + 1, second - first - 1), install)) {
      jobs.push_back({number, line.substr(third + 1)});
    }
  }
  return jobs;
}
