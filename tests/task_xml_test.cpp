#include "tools/at/task_xml.h"

#include <gtest/gtest.h>

#include "platform/command_line.h"

namespace {

constexpr char k_typical[] =
    "AT 20:59 /interactive /NEXT:29 REC Y0001 8 21:00-21:54 2008 03 29 Sample_Show";

// The task for a whole command line, today being 2008-03-20 12:00, the
// program found at the given path in the given folder.
task_definition task_of(const std::string& line, const std::string& path,
                        const std::string& folder) {
  at_request request;
  EXPECT_EQ(parse_at_arguments(split_task_command_line(line), request), "") << line;
  at_date date;
  EXPECT_EQ(launch_date(request, {2008, 3, 20}, 12 * 60, date), "") << line;
  return task_for(line, request, date, path, folder);
}

// The lines of a text that contain a needle.
std::string lines_with(const std::string& text, const std::string& needle) {
  std::string found;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at + 1);
    if (line.find(needle) != std::string::npos) found += line;
    at = end + 1;
  }
  return found;
}

}  // namespace

TEST(TaskCommandLine, SplitsAtsWordsAndKeepsTheArgumentsAsWritten) {
  struct {
    const char* line;
    std::vector<std::string> command;
    const char* arguments;
    const char* text;
  } cases[] = {
      {k_typical,
       {"REC", "Y0001", "8", "21:00-21:54", "2008", "03", "29", "Sample_Show"},
       "Y0001 8 21:00-21:54 2008 03 29 Sample_Show",
       "REC Y0001 8 21:00-21:54 2008 03 29 Sample_Show"},
      {"\"C:\\zoba\\AT.exe\" 20:59 /NEXT:29 \"C:\\Program Files\\rec\\rec.exe\" -q  \"a b\"",
       {"C:\\Program Files\\rec\\rec.exe", "-q", "a b"},
       "-q  \"a b\"",
       "\"C:\\Program Files\\rec\\rec.exe\" -q  \"a b\""},
      {"AT\t20:59 /next:29\tREC", {"REC"}, "", "REC"},
      {"AT 20:59 /NEXT:29 C:\\rec\\x.bat  a&b <c> \"d\"",
       {"C:\\rec\\x.bat", "a&b", "<c>", "d"},
       "a&b <c> \"d\"",
       "C:\\rec\\x.bat  a&b <c> \"d\""},
  };
  for (const auto& c : cases) {
    at_request request;
    ASSERT_EQ(parse_at_arguments(split_task_command_line(c.line), request), "") << c.line;
    EXPECT_EQ(request.command, c.command) << c.line;
    EXPECT_EQ(command_arguments(c.line, request), c.arguments) << c.line;
    EXPECT_EQ(command_text(c.line, request), c.text) << c.line;
  }
}

TEST(TaskXml, TheTypicalReservation) {
  task_definition task = task_of(k_typical, "C:\\zoba\\REC.exe", "C:\\zoba\\");
  task.settings = "C:\\zoba\\zoba.ini";
  EXPECT_EQ(task_xml(task),
            "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
            "<Task version=\"1.2\" "
            "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
            "  <RegistrationInfo>\n"
            "    <Description>Y0001  2008/03/29 20:59  REC Y0001 8 21:00-21:54 2008 03 29 "
            "Sample_Show</Description>\n"
            "    <Source>C:\\zoba\\zoba.ini</Source>\n"
            "  </RegistrationInfo>\n"
            "  <Triggers>\n"
            "    <TimeTrigger>\n"
            "      <Enabled>true</Enabled>\n"
            "      <StartBoundary>2008-03-29T20:59:00</StartBoundary>\n"
            "      <EndBoundary>2008-03-29T21:54:00</EndBoundary>\n"
            "    </TimeTrigger>\n"
            "  </Triggers>\n"
            "  <Principals>\n"
            "    <Principal id=\"Author\">\n"
            "      <LogonType>InteractiveToken</LogonType>\n"
            "      <RunLevel>LeastPrivilege</RunLevel>\n"
            "    </Principal>\n"
            "  </Principals>\n"
            "  <Settings>\n"
            "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\n"
            "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\n"
            "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\n"
            "    <StartWhenAvailable>true</StartWhenAvailable>\n"
            "    <WakeToRun>true</WakeToRun>\n"
            "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\n"
            "    <Priority>5</Priority>\n"
            "    <DeleteExpiredTaskAfter>P1D</DeleteExpiredTaskAfter>\n"
            "    <Enabled>true</Enabled>\n"
            "  </Settings>\n"
            "  <Actions Context=\"Author\">\n"
            "    <Exec>\n"
            "      <Command>C:\\zoba\\REC.exe</Command>\n"
            "      <Arguments>Y0001 8 21:00-21:54 2008 03 29 Sample_Show</Arguments>\n"
            "      <WorkingDirectory>C:\\zoba\\</WorkingDirectory>\n"
            "    </Exec>\n"
            "  </Actions>\n"
            "</Task>\n");
}

// The lines of the XML that vary with the command line and the date.
TEST(TaskXml, TriggerActionAndDescriptionFollowTheCommandLine) {
  struct {
    const char* line;
    const char* path;
    const char* expected;  // the Boundary, Command, Arguments and Description lines
  } cases[] = {
      {"AT 20:59 /NEXT:29 \"C:\\Program Files\\rec\\rec.exe\" -q Y0002 8 21:00-21:54 2008 03 29 T",
       "C:\\Program Files\\rec\\rec.exe",
       "    <Description>Y0002  2008/03/29 20:59  &quot;C:\\Program Files\\rec\\rec.exe&quot; -q "
       "Y0002 8 "
       "21:00-21:54 2008 03 29 T</Description>\n"
       "      <StartBoundary>2008-03-29T20:59:00</StartBoundary>\n"
       "      <EndBoundary>2008-03-29T21:54:00</EndBoundary>\n"
       "      <Command>C:\\Program Files\\rec\\rec.exe</Command>\n"
       "      <Arguments>-q Y0002 8 21:00-21:54 2008 03 29 T</Arguments>\n"},
      {"AT 20:59 /NEXT:29 REC Y0003 \"8\" 21:00-21:54 2008 03 29 A&B<C>'D'", "C:\\R&D\\REC.exe",
       "    <Description>Y0003  2008/03/29 20:59  REC Y0003 &quot;8&quot; 21:00-21:54 2008 03 29 "
       "A&amp;B&lt;C&gt;&apos;D&apos;</Description>\n"
       "      <StartBoundary>2008-03-29T20:59:00</StartBoundary>\n"
       "      <EndBoundary>2008-03-29T21:54:00</EndBoundary>\n"
       "      <Command>C:\\R&amp;D\\REC.exe</Command>\n"
       "      <Arguments>Y0003 &quot;8&quot; 21:00-21:54 2008 03 29 "
       "A&amp;B&lt;C&gt;&apos;D&apos;</Arguments>\n"},
      // Shift_JIS whose trail bytes are "\" (0x5C) and "|" (0x7C) passes unchanged.
      {"AT 20:59 /NEXT:29 REC Y0004 8 21:00-21:54 2008 03 29 \x95\x5c\x83\x5c\x83\x7c",
       "C:\\\x83\x5c\\REC.exe",
       "    <Description>Y0004  2008/03/29 20:59  REC Y0004 8 21:00-21:54 2008 03 29 "
       "\x95\x5c\x83\x5c\x83\x7c</Description>\n"
       "      <StartBoundary>2008-03-29T20:59:00</StartBoundary>\n"
       "      <EndBoundary>2008-03-29T21:54:00</EndBoundary>\n"
       "      <Command>C:\\\x83\x5c\\REC.exe</Command>\n"
       "      <Arguments>Y0004 8 21:00-21:54 2008 03 29 \x95\x5c\x83\x5c\x83\x7c</Arguments>\n"},
      // 00:00 on the 1st of a month and of a year launches the day before;
      // the trigger ends with the programme, on the next month's and year's day.
      {"AT 23:59 /NEXT:00 REC Y0005 8 00:00-00:30 2008 04 01 T", "REC.exe",
       "    <Description>Y0005  2008/03/31 23:59  REC Y0005 8 00:00-00:30 2008 04 01 "
       "T</Description>\n"
       "      <StartBoundary>2008-03-31T23:59:00</StartBoundary>\n"
       "      <EndBoundary>2008-04-01T00:30:00</EndBoundary>\n"
       "      <Command>REC.exe</Command>\n"
       "      <Arguments>Y0005 8 00:00-00:30 2008 04 01 T</Arguments>\n"},
      {"AT 23:59 /NEXT:00 REC Y0006 8 00:00-00:30 2009 01 01 T", "REC.exe",
       "    <Description>Y0006  2008/12/31 23:59  REC Y0006 8 00:00-00:30 2009 01 01 "
       "T</Description>\n"
       "      <StartBoundary>2008-12-31T23:59:00</StartBoundary>\n"
       "      <EndBoundary>2009-01-01T00:30:00</EndBoundary>\n"
       "      <Command>REC.exe</Command>\n"
       "      <Arguments>Y0006 8 00:00-00:30 2009 01 01 T</Arguments>\n"},
      // A programme past midnight ends the next day; a start hour of 25 is
      // the next day's 1 o'clock, and CR in the title is kept as a reference.
      {"AT 23:29 /NEXT:29 REC Y0007 8 23:30-00:30 2008 03 29 T", "REC.exe",
       "    <Description>Y0007  2008/03/29 23:29  REC Y0007 8 23:30-00:30 2008 03 29 "
       "T</Description>\n"
       "      <StartBoundary>2008-03-29T23:29:00</StartBoundary>\n"
       "      <EndBoundary>2008-03-30T00:30:00</EndBoundary>\n"
       "      <Command>REC.exe</Command>\n"
       "      <Arguments>Y0007 8 23:30-00:30 2008 03 29 T</Arguments>\n"},
      {"AT 00:59 /NEXT:30 REC Y0008 8 25:00-01:30 2008 03 29 a\rb", "REC.exe",
       "    <Description>Y0008  2008/03/30 00:59  REC Y0008 8 25:00-01:30 2008 03 29 "
       "a&#13;b</Description>\n"
       "      <StartBoundary>2008-03-30T00:59:00</StartBoundary>\n"
       "      <EndBoundary>2008-03-30T01:30:00</EndBoundary>\n"
       "      <Command>REC.exe</Command>\n"
       "      <Arguments>Y0008 8 25:00-01:30 2008 03 29 a&#13;b</Arguments>\n"},
      // No reservation number: the launch names the job; no arguments, no element.
      {"AT 13:00 /NEXT:20 notepad", "C:\\Windows\\notepad.exe",
       "    <Description>200803201300  2008/03/20 13:00  notepad</Description>\n"
       "      <StartBoundary>2008-03-20T13:00:00</StartBoundary>\n"
       "      <EndBoundary>2008-03-21T13:00:00</EndBoundary>\n"
       "      <Command>C:\\Windows\\notepad.exe</Command>\n"},
  };
  for (const auto& c : cases) {
    std::string xml = task_xml(task_of(c.line, c.path, ""));
    EXPECT_EQ(lines_with(xml, "Boundary>") + lines_with(xml, "<Command>") +
                  lines_with(xml, "<Arguments>"),
              std::string(c.expected).substr(std::string(c.expected).find('\n') + 1))
        << c.line;
    EXPECT_EQ(lines_with(xml, "<Description>"),
              std::string(c.expected).substr(0, std::string(c.expected).find('\n') + 1))
        << c.line;
    EXPECT_EQ(lines_with(xml, "WorkingDirectory"), "") << c.line;
  }
}

TEST(TaskXml, RefusesValuesXmlCannotHold) {
  struct {
    const char* line;
    const char* path;
    const char* refusal;
  } cases[] = {
      {k_typical, "C:\\zoba\\REC.exe", ""},
      {"AT 20:59 /NEXT:29 REC Y0001 8 21:00-21:54 2008 03 29 a\x01"
       "b",
       "REC.exe",
       "in the arguments, the control byte 0x01 at position 33 cannot be written into a task"},
      {"AT 20:59 /NEXT:29 REC Y0001 8 21:00-21:54 2008 03 29 \x95\x5c\x82", "REC.exe",
       "in the arguments, the Shift_JIS lead byte 0x82 at position 34 has no trail byte"},
      {k_typical, "C:\\\x1b\\REC.exe",
       "in the program, the control byte 0x1B at position 4 cannot be written into a task"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(task_refusal(task_of(c.line, c.path, "")), c.refusal) << c.line;
  }
}

TEST(TaskXml, KnowsTheRecorderByItsName) {
  EXPECT_TRUE(is_recorder("C:\\zoba\\rec.EXE"));
  EXPECT_FALSE(is_recorder("C:\\rec\\recorder.exe"));
}
