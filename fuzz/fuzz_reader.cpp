// Fuzz target: one whole reservation on the fake platform, from the settings
// file and the iEPG file's bytes, both taken from the input.
//
// Input: the settings file's text, a NUL byte, then the iEPG file's bytes.
// Without a NUL the whole input is the iEPG file and there is no settings
// file. The settings text is INI lines: "[SECTION]" switches the section
// ("ZOBA" at first) and "key=value" sets a key. Section "FUZZ" holds the
// user: "answer=cancel" cancels the confirmation.
//
// Properties: no fault; at most one command is run, only after the user
// said OK, it is a scheduler command, and its last word, the title, holds
// no byte a command line or a shell would misread; the settings file is
// written only with the integer settings and empty new stations; every
// text shown fits the formatter's limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/settings.h"
#include "app/trace.h"
#include "fuzz/fuzz_check.h"
#include "platform/text.h"
#include "reservation/iepg_reader.h"
#include "reservation/line_scan.h"
#include "tests/fake_platform.h"

namespace {

constexpr char k_program[] = "/fuzz/zoba.exe";
constexpr char k_ini[] = "/fuzz/zoba.ini";
constexpr char k_unsafe_in_command[] = " \"&|;<>^%";

std::string_view next_line(std::string_view& text) {
  std::size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

// Fills the fake settings file; returns whether the user will cancel.
bool set_up_settings(std::string_view text) {
  std::string section = "ZOBA";
  bool cancel = false;
  while (!text.empty()) {
    std::string_view line = next_line(text);
    std::size_t equals = line.find('=');
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
    } else if (equals != std::string_view::npos && section == "FUZZ") {
      cancel = cancel || line == "answer=cancel";
    } else if (equals != std::string_view::npos) {
      fake_set_profile(k_ini, section, std::string(line.substr(0, equals)),
                       std::string(line.substr(equals + 1)));
    }
  }
  if (cancel) g_fake.answers.push_back(false);
  return cancel;
}

bool is_integer_text(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A write the tool may make: a default or a new number in [ZOBA], or a new
// station with an empty channel in [TVCH].
bool is_expected_write(std::string_view write) {
  if (write.substr(0, 5) == "TVCH/") return write.back() == '=';
  for (std::string_view key : {"debug=", "sch_start_offset=", "rec_end_offset=", "no="}) {
    std::string_view prefix = write.substr(0, 5 + key.size());
    if (prefix.substr(0, 5) == "ZOBA/" && prefix.substr(5) == key) {
      return is_integer_text(write.substr(prefix.size()));
    }
  }
  return false;
}

void check_command(const std::string& command, bool cancel) {
  require(!cancel, "no command after a cancel");
  require(!g_fake.boxes.empty() && g_fake.boxes[0].ok_cancel, "the user was asked first");
  require(command.substr(0, 3) == "AT ", "a scheduler command");
  std::string title = command.substr(command.rfind(' ') + 1);
  require(!has_single_byte_of(title, k_unsafe_in_command), "the title is one safe word");
}

void check_run(bool cancel) {
  require(g_fake.commands.size() <= 1, "at most one command");
  if (!g_fake.commands.empty()) check_command(g_fake.commands[0], cancel);
  for (const std::string& write : g_fake.writes) {
    require(is_expected_write(write), "only expected settings writes");
  }
  for (const fake_box& box : g_fake.boxes) {
    require(box.text.size() <= k_text_limit, "shown texts fit");
  }
  for (const std::string& line : g_fake.console_lines) {
    require(line.size() <= k_text_limit, "trace lines fit");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t nul = input.find('\0');
  std::string_view settings_text = nul == std::string_view::npos ? "" : input.substr(0, nul);
  std::string_view file = nul == std::string_view::npos ? input : input.substr(nul + 1);
  reset_fake();
  bool cancel = set_up_settings(settings_text);
  g_settings.program_path = k_program;
  load_settings();
  scan_input scan = scan_memory(file.data(), file.size());
  reservation r;
  scan_iepg_data(scan, r);
  finish_reservation(r);
  check_run(cancel);
  return 0;
}
