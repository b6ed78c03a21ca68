// A watched program on Windows: started through CreateProcessW with the
// arguments quoted for the C runtime, so that a Japanese title or folder
// never passes through the ANSI code page.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/wide.h"
#include "platform/windows_quoting.h"

namespace platform {

namespace {

// The longest single wait: timeouts on Windows do not count the time the
// PC was suspended, so the wall clock is read again this often (the waits
// for the programme are cut as short by their caller).
constexpr long long k_chunk_seconds = 30;

void close_handle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// What a watched program's standard handles are: the null device, and the
// read end of a pipe for its input when asked; we keep the pipe's write end.
struct child_handles {
  HANDLE null = nullptr;
  HANDLE input_read = nullptr;
  HANDLE input_write = nullptr;
};

bool open_child_handles(bool stdin_pipe, child_handles& handles, std::string& error) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  handles.null =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, OPEN_EXISTING, 0, nullptr);
  if (!stdin_pipe) return true;
  // A recorder stopped by a line end could not be stopped without it.
  if (!CreatePipe(&handles.input_read, &handles.input_write, &inherited, 0)) {
    error = "no pipe for the recorder's input: " + error_text(GetLastError());
    close_handle(handles.null);
    return false;
  }
  SetHandleInformation(handles.input_write, HANDLE_FLAG_INHERIT, 0);
  return true;
}

// The program arguments[0] names, never a batch file; empty (error set)
// when there is none.
std::string watched_program_path(const std::vector<std::string>& arguments, std::string& error) {
  std::string program = arguments.empty() ? std::string() : find_program(arguments[0]);
  if (!program.empty() && !runs_through_shell(program)) return program;
  error = "the program " + (arguments.empty() ? std::string() : arguments[0]) +
          " cannot be found (a batch file is not started)";
  return {};
}

}  // namespace

struct watched_program {
  HANDLE process = nullptr;
  HANDLE input = nullptr;  // the write end of its standard input, if a pipe
  bool ended_by_us = false;
};

watched_program* start_watched(const std::vector<std::string>& arguments, bool stdin_pipe,
                               std::string& error) {
  std::string program = watched_program_path(arguments, error);
  if (program.empty()) return nullptr;
  std::vector<std::string> words = arguments;
  words[0] = program;
  std::wstring line = wide_text(windows_command_line(words));
  child_handles handles;
  if (!open_child_handles(stdin_pipe, handles, error)) return nullptr;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = stdin_pipe ? handles.input_read : handles.null;
  startup.hStdOutput = handles.null;
  startup.hStdError = handles.null;
  PROCESS_INFORMATION process = {};
  // A console recorder gets a console of its own without a window; a
  // windowed one (TVTest) is not affected by the flag.
  BOOL started = CreateProcessW(wide_text(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  DWORD code = GetLastError();
  close_handle(handles.null);
  close_handle(handles.input_read);
  if (!started) {
    close_handle(handles.input_write);
    error = program + " cannot be started: " + error_text(code);
    return nullptr;
  }
  CloseHandle(process.hThread);
  return new watched_program{process.hProcess, handles.input_write, false};
}

bool wait_watched(watched_program* program, long long deadline) {
  for (;;) {
    long long left = deadline - now();
    if (left > k_chunk_seconds) left = k_chunk_seconds;
    DWORD milliseconds = left > 0 ? static_cast<DWORD>(left * 1000) : 0;
    DWORD result = WaitForSingleObject(program->process, milliseconds);
    if (result == WAIT_OBJECT_0) return true;
    // A handle that cannot be waited on would make this loop spin.
    if (left <= 0 || result == WAIT_FAILED) return false;
  }
}

void send_line_end(watched_program* program) {
  if (program->input == nullptr) return;
  DWORD written = 0;
  // A program that has already gone leaves a broken pipe: nothing to do.
  WriteFile(program->input, "\r\n", 2, &written, nullptr);
  close_handle(program->input);
}

// Windows has no request to end that every program hears (a console
// program in a console of its own gets no Ctrl+C from us, and a windowed
// one may ask before closing), so asking is ending: TerminateProcess.
void terminate_watched(watched_program* program) { kill_watched(program); }

void kill_watched(watched_program* program) {
  if (WaitForSingleObject(program->process, 0) == WAIT_OBJECT_0) return;
  if (TerminateProcess(program->process, 1)) program->ended_by_us = true;
}

std::string watched_outcome(const watched_program* program) {
  DWORD code = 0;
  if (!GetExitCodeProcess(program->process, &code)) return "unknown";
  if (code == STILL_ACTIVE && WaitForSingleObject(program->process, 0) != WAIT_OBJECT_0) {
    return "running";
  }
  if (program->ended_by_us) return "terminated";
  char text[32];
  // NTSTATUS codes (a crash) read better in hexadecimal.
  std::snprintf(text, sizeof text, code >= 0x10000 ? "exit 0x%08lX" : "exit %lu",
                static_cast<unsigned long>(code));
  return text;
}

void release_watched(watched_program* program) {
  // Unlike a POSIX child, an ended Windows process needs no waiting for to
  // be reaped: closing its handle is all.
  close_handle(program->input);
  close_handle(program->process);
  delete program;
}

}  // namespace platform
