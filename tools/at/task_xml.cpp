#include "tools/at/task_xml.h"

#include <cstdio>

namespace {

constexpr char k_task_prefix[] = "zoba ";
// The trigger ends a day after the launch: a recording started later than
// that is of no use, and the Task Scheduler only removes a task whose
// trigger has ended.
constexpr int k_trigger_days = 1;

struct word_span {
  std::string text;   // the word, quotes removed
  std::size_t begin;  // where it starts in the line
  std::size_t end;    // the offset just past it
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::vector<word_span> word_spans(const std::string& line) {
  std::vector<word_span> spans;
  std::size_t at = 0;
  while (true) {
    while (at < line.size() && is_blank(line[at])) ++at;
    if (at == line.size()) return spans;
    word_span span{"", at, at};
    bool quoted = false;
    for (; at < line.size() && (quoted || !is_blank(line[at])); ++at) {
      if (line[at] == '"') {
        quoted = !quoted;
      } else {
        span.text += line[at];
      }
    }
    span.end = at;
    spans.push_back(span);
  }
}

std::string boundary(const at_date& date, int hour, int minute) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:00", date.year, date.month, date.day,
                hour, minute);
  return text;
}

std::string element(const char* indent, const char* name, const std::string& value) {
  return std::string(indent) + "<" + name + ">" + xml_escape(value) + "</" + name + ">\n";
}

std::string settings_xml() {
  return "  <Settings>\n"
         "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
         "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
         "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
         "    <StartWhenAvailable>true</StartWhenAvailable>\n"
         "    <WakeToRun>true</WakeToRun>\n"
         "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
         "    <DeleteExpiredTaskAfter>P1D</DeleteExpiredTaskAfter>\n"
         "    <Enabled>true</Enabled>\n"
         "  </Settings>\n";
}

std::string exec_xml(const task_definition& task) {
  std::string xml = "  <Actions Context=\"Author\">\n    <Exec>\n";
  xml += element("      ", "Command", task.program);
  if (!task.arguments.empty()) xml += element("      ", "Arguments", task.arguments);
  if (!task.working_folder.empty()) {
    xml += element("      ", "WorkingDirectory", task.working_folder);
  }
  return xml + "    </Exec>\n  </Actions>\n";
}

}  // namespace

std::vector<std::string> split_task_command_line(const std::string& line) {
  std::vector<std::string> words;
  std::vector<word_span> spans = word_spans(line);
  for (std::size_t i = 1; i < spans.size(); ++i) words.push_back(spans[i].text);
  return words;
}

namespace {

// The command's first word in the line's words: the command is their tail.
bool command_span(const std::string& line, const at_request& request, word_span& first) {
  std::vector<word_span> spans = word_spans(line);
  if (request.command.empty() || request.command.size() >= spans.size()) return false;
  first = spans[spans.size() - request.command.size()];
  return true;
}

}  // namespace

std::string command_arguments(const std::string& line, const at_request& request) {
  word_span first;
  if (!command_span(line, request, first)) return {};
  std::size_t at = first.end;
  while (at < line.size() && is_blank(line[at])) ++at;
  return line.substr(at);
}

std::string command_text(const std::string& line, const at_request& request) {
  word_span first;
  return command_span(line, request, first) ? line.substr(first.begin) : std::string();
}

task_definition task_for(const std::string& line, const at_request& request, const at_date& date,
                         const std::string& program_path, const std::string& working_folder) {
  task_definition task;
  task.date = date;
  task.hour = request.hour;
  task.minute = request.minute;
  task.program = program_path;
  task.arguments = command_arguments(line, request);
  task.working_folder = working_folder;
  task.id = job_identifier(request.command, at_time_stamp(date, request.hour, request.minute));
  task.description =
      listing_line(task.id, date, request.hour, request.minute, command_text(line, request));
  return task;
}

std::string task_name(const std::string& id) { return k_task_prefix + id; }

std::string xml_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string task_xml(const task_definition& task) {
  at_date end = add_days(task.date, k_trigger_days);
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo>\n" +
         element("    ", "Description", task.description) +
         "  </RegistrationInfo>\n"
         "  <Triggers>\n"
         "    <TimeTrigger>\n" +
         element("      ", "StartBoundary", boundary(task.date, task.hour, task.minute)) +
         element("      ", "EndBoundary", boundary(end, task.hour, task.minute)) +
         "      <Enabled>true</Enabled>\n"
         "    </TimeTrigger>\n"
         "  </Triggers>\n"
         "  <Principals>\n"
         "    <Principal id=\"Author\">\n"
         "      <LogonType>InteractiveToken</LogonType>\n"
         "      <RunLevel>LeastPrivilege</RunLevel>\n"
         "    </Principal>\n"
         "  </Principals>\n" +
         settings_xml() + exec_xml(task) + "</Task>\n";
}

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
