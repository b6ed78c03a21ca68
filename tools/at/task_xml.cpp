#include "tools/at/task_xml.h"

#include <cstdio>

#include "platform/command_line.h"
#include "platform/text.h"
#include "reservation/job_fields.h"
#include "tools/at/job_id.h"

namespace {

// A command that names no programme (AT typed by hand) ends a day after its
// launch: the Task Scheduler only removes a task whose trigger has ended.
constexpr int k_trigger_days = 1;
constexpr int k_minutes_per_day = 24 * 60;

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string boundary(const at_date& date, int hour, int minute) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:00", date.year, date.month, date.day,
                hour, minute);
  return text;
}

std::string element(const char* indent, const char* name, const std::string& value) {
  return std::string(indent) + "<" + name + ">" + xml_escape(value) + "</" + name + ">\n";
}

std::string trigger_xml(const task_definition& task) {
  return "  <Triggers>\n"
         "    <TimeTrigger>\n"
         "      <Enabled>true</Enabled>\n" +
         element("      ", "StartBoundary", boundary(task.date, task.hour, task.minute)) +
         element("      ", "EndBoundary", task.end) +
         "    </TimeTrigger>\n"
         "  </Triggers>\n";
}

// Priority 5: normal process and I/O priority, where the default 7 is the
// background level that lets a recorder under disk load drop data.
std::string settings_xml() {
  return "  <Settings>\n"
         "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
         "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
         "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
         "    <StartWhenAvailable>true</StartWhenAvailable>\n"
         "    <WakeToRun>true</WakeToRun>\n"
         "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
         "    <Priority>5</Priority>\n"
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

// The command's first word in the line's words: the command is their tail.
bool command_span(const std::string& line, const at_request& request, command_word& first) {
  std::vector<command_word> spans = task_command_words(line);
  if (request.command.empty() || request.command.size() >= spans.size()) return false;
  first = spans[spans.size() - request.command.size()];
  return true;
}

}  // namespace

std::string command_arguments(const std::string& line, const at_request& request) {
  command_word first;
  if (!command_span(line, request, first)) return {};
  std::size_t at = first.end;
  while (at < line.size() && is_blank(line[at])) ++at;
  return line.substr(at);
}

std::string command_text(const std::string& line, const at_request& request) {
  command_word first;
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
  task.command = command_text(line, request);
  task.description = listing_line(task.id, date, request.hour, request.minute, task.command);
  std::string launch = boundary(date, request.hour, request.minute);
  task.end = programme_end(request.command);
  if (task.end.empty()) {
    task.end = boundary(add_days(date, k_trigger_days), request.hour, request.minute);
  } else if (task.end <= launch) {
    // A launch set after the programme's end still gets its moment to start.
    int minute = request.hour * 60 + request.minute + 1;
    task.end = boundary(add_days(date, minute / k_minutes_per_day), minute % k_minutes_per_day / 60,
                        minute % 60);
  }
  return task;
}

std::string programme_end(const std::vector<std::string>& command) {
  job_fields fields;
  // The program itself comes before the seven words.
  if (command.size() <= k_job_field_count || read_job_fields(command, fields) != job_field::none) {
    return {};
  }
  int end = job_end_minutes(fields);
  at_date date{fields.year, fields.month, fields.day};
  return boundary(add_days(date, end / k_minutes_per_day), end % k_minutes_per_day / 60, end % 60);
}

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
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

namespace {

std::string byte_text(unsigned char byte, std::size_t at) {
  char text[64];
  std::snprintf(text, sizeof text, "byte 0x%02X at position %zu", byte, at + 1);
  return text;
}

}  // namespace

std::string unwritable_byte(const std::string& value) {
  for (std::size_t at = 0; at < value.size(); ++at) {
    unsigned char byte = static_cast<unsigned char>(value[at]);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') {
      return "the control " + byte_text(byte, at) + " cannot be written into a task";
    }
    if (!is_sjis_lead(byte)) continue;
    if (at + 1 == value.size() || !is_sjis_trail(static_cast<unsigned char>(value[at + 1]))) {
      return "the Shift_JIS lead " + byte_text(byte, at) + " has no trail byte";
    }
    ++at;
  }
  return {};
}

std::vector<task_value> task_values(const task_definition& task) {
  return {{"program", &task.program},
          {"arguments", &task.arguments},
          {"working folder", &task.working_folder},
          {"command", &task.command},
          {"description", &task.description},
          {"settings file", &task.settings}};
}

std::string task_refusal(const task_definition& task) {
  for (const task_value& v : task_values(task)) {
    std::string why = unwritable_byte(*v.value);
    if (!why.empty()) return std::string("in the ") + v.name + ", " + why;
  }
  return {};
}

std::string task_xml(const task_definition& task) {
  return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
         "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
         "  <RegistrationInfo>\n" +
         element("    ", "Description", task.description) +
         (task.settings.empty() ? "" : element("    ", "Source", task.settings)) +
         "  </RegistrationInfo>\n" + trigger_xml(task) +
         "  <Principals>\n"
         "    <Principal id=\"Author\">\n"
         "      <LogonType>InteractiveToken</LogonType>\n"
         "      <RunLevel>LeastPrivilege</RunLevel>\n"
         "    </Principal>\n"
         "  </Principals>\n" +
         settings_xml() + exec_xml(task) + "</Task>\n";
}

bool is_recorder(const std::string& program_path) {
  std::size_t slash = program_path.find_last_of("\\/:");
  std::string name = program_path.substr(slash == std::string::npos ? 0 : slash + 1);
  std::size_t dot = name.rfind('.');
  name = name.substr(0, dot);
  return name.size() == 3 && (name[0] | 0x20) == 'r' && (name[1] | 0x20) == 'e' &&
         (name[2] | 0x20) == 'c';
}
