// Message boxes and the trace console on POSIX: a question on the terminal,
// zenity on a desktop, and standard error for the trace lines.
#include <langinfo.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/convert.h"
#include "platform/platform.h"
#include "platform/posix_shared.h"

extern char** environ;

namespace platform {

namespace {

constexpr char k_not_registered[] =
    "zoba: no terminal to answer on and no desktop to ask on; nothing was registered.\n";

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
  return convert_from_sjis(without_cr(text), nl_langinfo(CODESET));
}

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
  put_error(std::string("\n") + for_terminal(caption) + "\n" + for_terminal(text) + "\n");
  if (!ok_cancel) return true;
  put_error("[y/N] ");
  return read_yes();
}

// zenity's answer: 0 for OK. -1 when it could not be started.
int zenity_box(const char* caption, const char* text, bool ok_cancel) {
  std::string zenity = find_on_path("zenity");
  if (zenity.empty()) return -1;
  std::string title = std::string("--title=") + convert_from_sjis(caption, "UTF-8");
  std::string message = std::string("--text=") + convert_from_sjis(without_cr(text), "UTF-8");
  const char* kind = ok_cancel ? "--question" : "--info";
  char* argv[] = {zenity.data(),  const_cast<char*>(kind),
                  title.data(),   const_cast<char*>("--no-markup"),
                  message.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, zenity.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
}  // namespace

void beep() {
  if (isatty(STDERR_FILENO) == 1) put_error("\a");
}

bool message_box(const char* caption, const char* text, bool ok_cancel) {
  if (on_terminal()) return terminal_box(caption, text, ok_cancel);
  if (has_display()) {
    int answer = zenity_box(caption, text, ok_cancel);
    if (answer >= 0) return answer == 0;
  }
  put_error(for_terminal(text) + "\n");
  if (ok_cancel) put_error(k_not_registered);
  return false;
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
