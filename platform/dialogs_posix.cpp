// Message boxes and the trace console on POSIX: a question on the terminal,
// zenity or kdialog on a desktop, a desktop notification when neither can
// show it, and standard error for the trace lines.
#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

namespace {

constexpr char k_not_registered[] =
    "zoba: no terminal to answer on and no desktop to ask on; nothing was registered.\n";
constexpr char k_no_dialog_program[] =
    "zoba could not show its question: install zenity (or kdialog). Nothing was registered.";
constexpr char k_no_dialog_program_notice[] =
    "zoba could not show this notice in a window: install zenity (or kdialog).";
constexpr char k_already_asking[] =
    "zoba is already asking about another programme. Answer it, then open this one again.";
// How long the notifications stay, in milliseconds: long enough to read.
constexpr char k_notification_time[] = "--expire-time=10000";
// The dialog programs' answers; any other status means no dialog was shown.
constexpr int k_status_ok = 0;
constexpr int k_status_cancel = 1;
// The question's width in pixels for each column of its caption (a
// double-byte character takes two), and for the window's own buttons.
constexpr int k_pixels_per_column = 9;
constexpr int k_pixels_beside_caption = 140;

enum class answer { ok, cancel, not_shown };

// Writes text to standard error at once.
void put_error(const std::string& text) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
}

bool on_terminal() { return isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1; }

bool has_display() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x != nullptr && *x != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Line ends become plain line feeds.
std::string without_cr(const std::string& text) {
  std::string shown;
  for (char c : text) {
    if (c != '\r') shown += c;
  }
  return shown;
}

std::string for_terminal(const std::string& text) {
  return convert_from_sjis(visible_on_terminal(text), nl_langinfo(CODESET));
}

std::string utf8(const std::string& text) { return convert_from_sjis(without_cr(text), "UTF-8"); }

// "y" or "yes" in any case is OK; anything else, an empty line or the end
// of the input too, is Cancel.
bool read_yes() {
  char line[256];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
  std::string answer = line;
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  for (char& c : answer) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return answer == "y" || answer == "yes";
}

bool terminal_box(const char* caption, const char* text, bool ok_cancel) {
  std::string shown = "\n";
  shown.append(for_terminal(caption)).append("\n").append(for_terminal(text)).append("\n");
  put_error(shown);
  if (!ok_cancel) return true;
  put_error("[y/N] ");
  return read_yes();
}

// The desktop programs are handed UTF-8 and must read it as such: a
// launcher may start the tool with no locale or the C one, and zenity then
// refuses the texts. C.UTF-8 is there on every current glibc.
std::vector<std::string> utf8_environment() {
  std::vector<std::string> variables;
  bool utf8_locale = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    if (utf8_locale || std::strncmp(*variable, "LC_ALL=", 7) != 0) variables.push_back(*variable);
  }
  if (!utf8_locale) variables.push_back("LC_ALL=C.UTF-8");
  return variables;
}

// Runs a desktop program found on PATH and waits for it: its exit status,
// -1 when it is not there, could not start or did not end by itself. With
// output, what it writes on standard output is collected there (the button
// a dialog with more than two was left by).
int run_desktop_program(std::vector<std::string> words, std::string* output = nullptr) {
  words[0] = find_on_path(words[0]);
  if (words[0].empty()) return -1;
  std::vector<std::string> variables = utf8_environment();
  run_options options;
  options.collect_output = output != nullptr;
  options.collect_errors = false;
  options.output_limit = k_output_limit;
  options.environment = &variables;
  run_result run = run_program(words, options);
  if (output != nullptr) *output = run.output;
  return run.started && run.exited ? static_cast<int>(run.status) : -1;
}

answer answer_of(int status) {
  if (status == k_status_ok) return answer::ok;
  return status == k_status_cancel ? answer::cancel : answer::not_shown;
}

// Wide enough that the window's title shows the whole caption.
int width_for(const char* caption) {
  int columns = 0;
  for (std::size_t i = 0; caption[i] != '\0'; ++i, ++columns) {
    if (is_sjis_lead(static_cast<unsigned char>(caption[i])) && caption[i + 1] != '\0') {
      ++i;
      ++columns;
    }
  }
  return columns * k_pixels_per_column + k_pixels_beside_caption;
}

answer zenity_box(const char* caption, const char* text, bool ok_cancel) {
  return answer_of(run_desktop_program(
      {"zenity", ok_cancel ? "--question" : "--info", "--title=" + utf8(caption), "--no-markup",
       "--width=" + std::to_string(width_for(caption)), "--text=" + utf8(text)}));
}

answer kdialog_box(const char* caption, const char* text, bool ok_cancel) {
  return answer_of(
      run_desktop_program({"kdialog", "--title", utf8(caption), ok_cancel ? "--yesno" : "--msgbox",
                           as_rich_text(utf8(text))}));
}

// A short notification on the desktop; false when none could be given.
// The texts follow "--", so that one starting with "-" is no option. The
// body is markup to the notification server: the text's own "&", "<" and
// ">" must show as themselves.
bool notify(const std::string& summary_utf8, const std::string& body_utf8) {
  if (!has_display()) return false;
  return run_desktop_program({"notify-send", "--app-name=zoba", k_notification_time, "--",
                              summary_utf8, escaped_for_markup(body_utf8)}) == 0;
}

// No way to ask was left: the user is told where they can see it, and
// nothing is booked.
void tell_not_shown(const char* caption, const char* text, bool ok_cancel) {
  const char* what = ok_cancel ? k_no_dialog_program : k_no_dialog_program_notice;
  notify(utf8(caption), utf8(text) + "\n\n" + what);
  put_error(for_terminal(text) + "\n");
  if (!has_display()) {
    if (ok_cancel) put_error(k_not_registered);
    return;
  }
  put_error(std::string("zoba: ") + what + "\n");
}

// The buttons of the question about one programme of several, named as
// the Windows box names them: はい, いいえ, キャンセル.
constexpr const char* k_programme_buttons[] = {"\x82\xCD\x82\xA2", "\x82\xA2\x82\xA2\x82\xA6",
                                               "\x83L\x83\x83\x83\x93\x83Z\x83\x8B"};
constexpr programme_answer k_programme_answers[] = {programme_answer::book, programme_answer::skip,
                                                    programme_answer::stop};

// "y" books, "q" stops, anything else skips; the end of the input stops.
programme_answer terminal_programme(const char* caption, const char* text) {
  terminal_box(caption, text, false);
  put_error("[y/n/q] ");
  char line[256];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return programme_answer::stop;
  char first = static_cast<char>(line[0] >= 'A' && line[0] <= 'Z' ? line[0] + 32 : line[0]);
  if (first == 'y') return programme_answer::book;
  return first == 'q' ? programme_answer::stop : programme_answer::skip;
}

// zenity with only our three buttons (--switch) prints the one chosen; a
// closed window prints none and stops. False when it showed nothing.
bool zenity_programme(const char* caption, const char* text, programme_answer& given) {
  std::vector<std::string> words = {"zenity",
                                    "--question",
                                    "--switch",
                                    "--title=" + utf8(caption),
                                    "--no-markup",
                                    "--width=" + std::to_string(width_for(caption)),
                                    "--text=" + utf8(text)};
  for (const char* button : k_programme_buttons) words.push_back("--extra-button=" + utf8(button));
  std::string chosen;
  int status = run_desktop_program(words, &chosen);
  if (status != k_status_ok && status != k_status_cancel) return false;
  given = programme_answer::stop;
  for (std::size_t i = 0; i < std::size(k_programme_buttons); ++i) {
    if (chosen == utf8(k_programme_buttons[i]) + "\n") given = k_programme_answers[i];
  }
  return true;
}

// kdialog's own three buttons: 0 yes, 1 no, 2 cancel.
bool kdialog_programme(const char* caption, const char* text, programme_answer& given) {
  int status = run_desktop_program(
      {"kdialog", "--title", utf8(caption), "--yesnocancel", as_rich_text(utf8(text))});
  if (status < 0 || status > 2) return false;
  given = k_programme_answers[status];
  return true;
}

}  // namespace

// A second run started from a desktop has no terminal to ring: the user is
// told instead why nothing seems to happen.
void beep() {
  if (isatty(STDERR_FILENO) == 1) {
    put_error("\a");
    return;
  }
  if (!notify("zoba", k_already_asking)) put_error(std::string("zoba: ") + k_already_asking + "\n");
}

bool message_box(const char* caption, const char* text, bool ok_cancel) {
  if (on_terminal()) return terminal_box(caption, text, ok_cancel);
  if (has_display()) {
    answer given = zenity_box(caption, text, ok_cancel);
    if (given == answer::not_shown) given = kdialog_box(caption, text, ok_cancel);
    if (given != answer::not_shown) return given == answer::ok;
  }
  tell_not_shown(caption, text, ok_cancel);
  return false;
}

programme_answer ask_programme(const char* caption, const char* text) {
  if (on_terminal()) return terminal_programme(caption, text);
  programme_answer given = programme_answer::stop;
  if (has_display() &&
      (zenity_programme(caption, text, given) || kdialog_programme(caption, text, given))) {
    return given;
  }
  tell_not_shown(caption, text, true);
  return programme_answer::stop;
}

bool trace_window_open() {
  put_error("OK\n");
  return true;
}

void trace_window_append(int, const char* line) {
  std::string shown = for_terminal(line);
  if (shown.empty() || shown.back() != '\n') shown += '\n';
  put_error(shown);
}

}  // namespace platform
