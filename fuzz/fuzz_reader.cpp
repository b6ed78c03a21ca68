// Fuzz target: one whole reading of an iEPG file on the fake platform, from
// the settings file and the iEPG file's bytes, both taken from the input.
// The file is written to a temporary file and read as the tool reads it, so
// that files of several programmes are counted and read in two passes.
//
// Input: the settings file's text, a NUL byte, then the iEPG file's bytes.
// Without a NUL the whole input is the iEPG file and there is no settings
// file. The settings text is INI lines: "[SECTION]" switches the section
// ("ZOBA" at first) and "key=value" sets a key. Section "FUZZ" holds the
// user: "answer=cancel" cancels the first confirmation.
//
// Properties: no fault; no more commands are run than confirmations were
// answered OK, each a scheduler command whose last word, the title, holds
// no byte a command line or a shell would misread; a run asks once at most
// unless every question tells the programme's position, and then the
// positions count up within one total; the settings file is written only
// with the integer settings and empty new stations; every text shown fits
// the formatter's limit.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/booking.h"
#include "app/settings.h"
#include "app/trace.h"
#include "fuzz/fuzz_check.h"
#include "platform/text.h"
#include "reservation/line_scan.h"
#include "tests/fake_platform.h"

namespace {

constexpr char k_program[] = "/fuzz/zoba.exe";
constexpr char k_ini[] = "/fuzz/zoba.ini";
constexpr char k_unsafe_in_command[] = " \"&|;<>^%";
// 番組, the head of a question's position line.
constexpr char k_programme_word[] = "\x94\xD4\x91g ";

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
  // The first question declined, whether it is the one of a single
  // programme or the book/skip/stop of one of several.
  if (cancel) {
    g_fake.answers.push_back(false);
    g_fake.programme_answers.push_back(platform::programme_answer::skip);
  }
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
  for (std::string_view key :
       {"debug=", "sch_start_offset=", "rec_end_offset=", "no=", "tuners="}) {
    std::string_view prefix = write.substr(0, 5 + key.size());
    if (prefix.substr(0, 5) == "ZOBA/" && prefix.substr(5) == key) {
      return is_integer_text(write.substr(prefix.size()));
    }
  }
  return false;
}

void check_command(const std::string& command) {
  require(command.substr(0, 3) == "AT ", "a scheduler command");
  std::string title = command.substr(command.rfind(' ') + 1);
  require(!has_single_byte_of(title, k_unsafe_in_command), "the title is one safe word");
}

// Checks the questions' position lines; returns how many questions there were.
std::size_t check_questions() {
  std::size_t questions = 0, positioned = 0;
  long last = 0, total = 0;
  for (const fake_box& box : g_fake.boxes) {
    if (!box.ok_cancel) continue;
    ++questions;
    if (box.text.compare(0, sizeof k_programme_word - 1, k_programme_word) != 0) continue;
    ++positioned;
    long index = 0, count = 0;
    int read =
        std::sscanf(box.text.c_str() + sizeof k_programme_word - 1, "%ld/%ld", &index, &count);
    require(read == 2 && index > last && index <= count, "positions count up");
    require(total == 0 || count == total, "one total");
    last = index;
    total = count;
  }
  require(questions <= 1 || positioned == questions, "several questions all tell the position");
  return questions;
}

void check_run(bool cancel) {
  std::size_t questions = check_questions();
  std::size_t said_ok = questions - (cancel && questions > 0 ? 1 : 0);
  require(g_fake.commands.size() <= said_ok, "a command only after an OK");
  for (const std::string& command : g_fake.commands) check_command(command);
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

// The programme file of every run: written afresh, read by the tool.
const std::string& file_path() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder != nullptr ? folder : "/tmp") + "/zoba_fuzz_XXXXXX";
    int fd = mkstemp(pattern.data());
    require(fd >= 0, "a temporary file");
    close(fd);
    return pattern;
  }();
  static const bool removed_at_exit = std::atexit([] { std::remove(file_path().c_str()); }) == 0;
  (void)removed_at_exit;
  return path;
}

void write_file(std::string_view bytes) {
  std::FILE* out = std::fopen(file_path().c_str(), "wb");
  require(out != nullptr, "the temporary file opens");
  require(std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size(), "the file is written");
  std::fclose(out);
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
  write_file(file);
  read_iepg_file(file_path());
  check_run(cancel);
  return 0;
}
