// A watched program on Windows: started through CreateProcessW with the
// arguments quoted for the C runtime, so that a Japanese title or folder
// never passes through the ANSI code page, in a job object of its own, so
// that what it starts (cmd /c start /b) is ended with it.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/convert.h"
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

constexpr DWORD k_job_poll_ms = 50;  // while the job's last processes end

// What a watched program's standard handles are: the null device, a
// temporary file for its errors (deleted when its last handle closes), and
// the read end of a pipe for its input when asked; we keep the pipe's write
// end.
struct child_handles {
  HANDLE null = nullptr;
  HANDLE errors = nullptr;
  HANDLE input_read = nullptr;
  HANDLE input_write = nullptr;
};

// A file, not a pipe: a recorder writing while we wait never blocks on it.
HANDLE error_file(SECURITY_ATTRIBUTES& inherited) {
  wchar_t folder[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"rec", 0, name) == 0) {
    return nullptr;
  }
  HANDLE file = CreateFileW(
      name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      &inherited, TRUNCATE_EXISTING, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file != INVALID_HANDLE_VALUE) return file;
  DeleteFileW(name);
  return nullptr;
}

bool open_child_handles(bool stdin_pipe, child_handles& handles, std::string& error) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  handles.null =
      CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, OPEN_EXISTING, 0, nullptr);
  handles.errors = error_file(inherited);
  if (!stdin_pipe) return true;
  // A recorder stopped by a line end could not be stopped without it.
  if (!CreatePipe(&handles.input_read, &handles.input_write, &inherited, 0)) {
    error = "no pipe for the recorder's input: " + error_text(GetLastError());
    close_handle(handles.null);
    close_handle(handles.errors);
    return false;
  }
  SetHandleInformation(handles.input_write, HANDLE_FLAG_INHERIT, 0);
  return true;
}

// A job whose processes all end when its last handle closes, so that not
// even REC's own end leaves a recorder's children running.
HANDLE new_job() {
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    return job;
  }
  CloseHandle(job);
  return nullptr;
}

// Started suspended and put in the job before it runs a single instruction,
// so that nothing it starts is outside the job. A system that refuses the
// job (an older Windows inside another job) still records, as before jobs:
// the recorder alone is ended.
HANDLE into_job(const PROCESS_INFORMATION& process) {
  HANDLE job = new_job();
  if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) close_handle(job);
  ResumeThread(process.hThread);
  CloseHandle(process.hThread);
  return job;
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
  HANDLE input = nullptr;   // the write end of its standard input, if a pipe
  HANDLE job = nullptr;     // the job it and what it starts run in, if any
  HANDLE errors = nullptr;  // the file its standard error goes to, if any
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
  startup.hStdError = handles.errors != nullptr ? handles.errors : handles.null;
  PROCESS_INFORMATION process = {};
  // A console recorder gets a console of its own without a window; a
  // windowed one (TVTest) is not affected by the flag.
  BOOL started =
      CreateProcessW(wide_text(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                     CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process);
  DWORD code = GetLastError();
  close_handle(handles.null);
  close_handle(handles.input_read);
  if (!started) {
    close_handle(handles.input_write);
    close_handle(handles.errors);
    error = program + " cannot be started: " + error_text(code);
    return nullptr;
  }
  HANDLE job = into_job(process);
  return new watched_program{process.hProcess, handles.input_write, job, handles.errors, false};
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
  bool ended = program->job != nullptr ? TerminateJobObject(program->job, 1)
                                       : TerminateProcess(program->process, 1);
  if (ended) program->ended_by_us = true;
}

namespace {

DWORD processes_left(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts = {};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &counts, sizeof counts,
                                 nullptr)) {
    return 0;
  }
  return counts.ActiveProcesses;
}

}  // namespace

// Nothing to ask first (see terminate_watched): the job is ended at once,
// whatever became of the program itself, and waited for until it is empty.
void end_watched(watched_program* program, long long) {
  if (program->job != nullptr) {
    if (processes_left(program->job) > 0) {
      if (WaitForSingleObject(program->process, 0) != WAIT_OBJECT_0) program->ended_by_us = true;
      TerminateJobObject(program->job, 1);
    }
    while (processes_left(program->job) > 0) Sleep(k_job_poll_ms);
  } else {
    kill_watched(program);
  }
  WaitForSingleObject(program->process, INFINITE);
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

std::string watched_errors(const watched_program* program, std::size_t limit) {
  LARGE_INTEGER size = {};
  if (program->errors == nullptr || !GetFileSizeEx(program->errors, &size)) return {};
  auto total = static_cast<std::size_t>(size.QuadPart);
  std::size_t count = total > limit ? limit : total;
  LARGE_INTEGER from = {};
  from.QuadPart = static_cast<LONGLONG>(total - count);
  std::string bytes(count, '\0');
  DWORD got = 0;
  if (!SetFilePointerEx(program->errors, from, nullptr, FILE_BEGIN) ||
      !ReadFile(program->errors, bytes.data(), static_cast<DWORD>(count), &got, nullptr)) {
    return {};
  }
  bytes.resize(got);
  // A recorder writes the ANSI code page, as the console does.
  return is_utf8(bytes) ? bytes : utf8_from_system(bytes);
}

void release_watched(watched_program* program) {
  // Unlike a POSIX child, an ended Windows process needs no waiting for to
  // be reaped: closing its handle is all. Closing the job ends what is
  // left in it.
  close_handle(program->input);
  close_handle(program->process);
  close_handle(program->job);
  close_handle(program->errors);
  delete program;
}

}  // namespace platform
