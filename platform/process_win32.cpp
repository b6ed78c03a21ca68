// Programs on Windows: the arguments of this run, finding a program, and
// running one to its end through CreateProcessW with its output collected
// (watched_win32.cpp starts the ones watched and stopped later).
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/self.h"
#include "platform/wide.h"
#include "platform/windows_quoting.h"

namespace platform {

namespace {

// Windows counts the longest path in UTF-16 units.
constexpr DWORD k_path_size = 32768;
// How often a program with a time limit is looked at, its output read.
constexpr DWORD k_poll_ms = 50;

void close_handle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

bool is_file(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The first program of that name in the folders (";" between them), ".exe"
// added to a name without an extension.
std::string search_folders(const std::wstring& folders, const std::wstring& program) {
  std::vector<wchar_t> result(k_path_size);
  DWORD got =
      SearchPathW(folders.c_str(), program.c_str(), L".exe", k_path_size, result.data(), nullptr);
  if (got == 0 || got >= k_path_size || !is_file(result.data())) return {};
  return narrow_text(std::wstring(result.data()));
}

std::wstring path_variable() {
  std::vector<wchar_t> path(k_path_size);
  DWORD length = GetEnvironmentVariableW(L"PATH", path.data(), k_path_size);
  return length > 0 && length < k_path_size ? std::wstring(path.data(), length) : std::wstring();
}

}  // namespace

std::string error_text(unsigned long code) {
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
                        message[length - 1] == L' ' || message[length - 1] == L'.')) {
    --length;
  }
  std::string text = narrow_text(message, length);
  if (message != nullptr) LocalFree(message);
  char number[32];
  std::snprintf(number, sizeof number, "error %lu", code);
  return text.empty() ? number : text + " (" + number + ")";
}

std::vector<std::string> arguments(int, char**) {
  // The C runtime's own splitting differs from the tool's, so the raw
  // command line is split here; word 0 is always the module's own path.
  std::vector<std::string> words = split_command_line(GetCommandLineA());
  words[0] = self_path();
  return words;
}

// The ANSI functions hand paths over in the code page the tool's texts are
// written in.
std::string shown_text(const std::string& system_text) { return system_text; }

std::string system_text(const std::string& text) { return text; }

bool set_environment(const char* name, const char* value) {
  return SetEnvironmentVariableA(name, value) != FALSE;
}

bool is_program(const std::string& path) { return is_file(wide_text(path)); }

std::string find_on_path(const std::string& name) {
  std::wstring program = wide_text(name);
  return program.empty() ? std::string() : search_folders(path_variable(), program);
}

std::string find_program(const std::string& name) {
  std::wstring program = wide_text(name);
  if (program.empty()) return {};
  if (program.find_first_of(L"\\/:") == std::wstring::npos) {
    std::wstring folders = wide_text(self_folder_utf8());
    std::wstring path = path_variable();
    if (!path.empty()) folders += L";" + path;
    return search_folders(folders, program);
  }
  // As CreateProcess does, a path without an extension may name an .exe.
  if (is_file(program)) return name;
  bool bare = program.find(L'.', program.find_last_of(L"\\/:")) == std::wstring::npos;
  return bare && is_file(program + L".exe") ? name + ".exe" : std::string();
}

// A batch file runs only through cmd.exe, whose quoting is not the C
// runtime's: a title holding "&" would become a second command. The name is
// judged as Windows opens it, so REC's check and its run agree.
bool runs_through_shell(const std::string& path) { return is_batch_file_name(path); }

namespace {

// The pipes a run's program gets: its output's write end (ours is
// read_output), its input's read end (ours is write_input).
struct run_pipes {
  HANDLE read_output = nullptr;
  HANDLE write_output = nullptr;
  HANDLE read_input = nullptr;
  HANDLE write_input = nullptr;
};

bool open_run_pipes(const run_options& options, run_pipes& pipes) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  if (options.collect_output || options.collect_errors) {
    if (!CreatePipe(&pipes.read_output, &pipes.write_output, &inherited, 0)) return false;
    // Only the write end goes to the program.
    SetHandleInformation(pipes.read_output, HANDLE_FLAG_INHERIT, 0);
  }
  if (options.input != nullptr) {
    if (!CreatePipe(&pipes.read_input, &pipes.write_input, &inherited, 0)) return false;
    SetHandleInformation(pipes.write_input, HANDLE_FLAG_INHERIT, 0);
  }
  return true;
}

void close_run_pipes(run_pipes& pipes) {
  close_handle(pipes.read_output);
  close_handle(pipes.write_output);
  close_handle(pipes.read_input);
  close_handle(pipes.write_input);
}

void keep_output(std::string& output, const char* chunk, DWORD got, std::size_t limit) {
  std::size_t room = output.size() < limit ? limit - output.size() : 0;
  output.append(chunk, got < room ? got : room);
}

// Reads what has come through the pipe so far, without waiting for more.
void drain(HANDLE pipe, std::string& output, std::size_t limit) {
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    char chunk[512];
    DWORD got = 0;
    if (!ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) || got == 0) return;
    keep_output(output, chunk, got, limit);
  }
}

// Reads until the program closes its end, keeping what the limit allows;
// the rest is read and dropped, so it never blocks on a full pipe.
void collect(HANDLE pipe, std::string& output, std::size_t limit) {
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    keep_output(output, chunk, got, limit);
  }
}

// Waits for a program up to its limit, reading its output as it comes, so
// that a full pipe never stalls it; ends it when the limit passes.
void wait_within(HANDLE process, HANDLE pipe, const run_options& options, run_result& result) {
  DWORD limit_ms = static_cast<DWORD>(options.limit_seconds) * 1000;
  for (DWORD waited = 0; WaitForSingleObject(process, k_poll_ms) == WAIT_TIMEOUT;
       waited += k_poll_ms) {
    if (pipe != nullptr) drain(pipe, result.output, options.output_limit);
    if (waited >= limit_ms) {
      TerminateProcess(process, 1);
      result.timed_out = true;
      return;
    }
  }
  if (pipe != nullptr) drain(pipe, result.output, options.output_limit);
}

// The environment block CreateProcessW takes: "NAME=value" each ended by a
// null, then a null.
std::wstring environment_block(const std::vector<std::string>& variables) {
  std::wstring block;
  for (const std::string& variable : variables) block += wide_text(variable) + L'\0';
  return block + L'\0';
}

STARTUPINFOW startup_for(const run_options& options, const run_pipes& pipes) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = options.input != nullptr ? pipes.read_input : GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput =
      options.collect_output ? pipes.write_output : GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = options.collect_errors ? pipes.write_output : GetStdHandle(STD_ERROR_HANDLE);
  return startup;
}

// Hands the program its input, then collects what it writes and waits for
// it as the options say; the handles are ours to close.
void finish(HANDLE process, run_pipes& pipes, const run_options& options, run_result& result) {
  if (options.input != nullptr) {
    DWORD written = 0;
    WriteFile(pipes.write_input, options.input->data(), static_cast<DWORD>(options.input->size()),
              &written, nullptr);
  }
  close_handle(pipes.write_input);
  if (options.limit_seconds > 0) {
    wait_within(process, pipes.read_output, options, result);
  } else if (pipes.read_output != nullptr) {
    collect(pipes.read_output, result.output, options.output_limit);
  }
  WaitForSingleObject(process, INFINITE);
  DWORD status = 0;
  // A status that cannot be read is not taken for success.
  if (!GetExitCodeProcess(process, &status)) status = static_cast<DWORD>(-1);
  CloseHandle(process);
  result.started = true;
  result.exited = true;
  result.status = status;
}

// Starts the program of the command line (the application's path, or the
// line's first word as the system finds it when application is empty) and
// collects and waits as the options say.
run_result run_line(const std::wstring& application, std::wstring line,
                    const run_options& options) {
  run_result result;
  run_pipes pipes;
  if (!open_run_pipes(options, pipes)) {
    close_run_pipes(pipes);
    return result;
  }
  STARTUPINFOW startup = startup_for(options, pipes);
  std::wstring folder = wide_text(options.folder);
  std::wstring block;
  DWORD flags = CREATE_NO_WINDOW | (options.idle ? IDLE_PRIORITY_CLASS : 0);
  if (options.environment != nullptr) {
    block = environment_block(*options.environment);
    flags |= CREATE_UNICODE_ENVIRONMENT;
  }
  PROCESS_INFORMATION process = {};
  BOOL started =
      CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                     nullptr, TRUE, flags, block.empty() ? nullptr : block.data(),
                     folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  close_handle(pipes.write_output);
  close_handle(pipes.read_input);
  if (started) {
    CloseHandle(process.hThread);
    finish(process.hProcess, pipes, options, result);
  } else if (pipes.read_output != nullptr) {
    collect(pipes.read_output, result.output, options.output_limit);
  }
  close_run_pipes(pipes);
  return result;
}

}  // namespace

run_result run_program(const std::vector<std::string>& words, const run_options& options) {
  // A bare name is found as POSIX's posix_spawnp would find it.
  bool bare = words[0].find_first_of("\\/:") == std::string::npos;
  std::string program = bare ? find_on_path(words[0]) : words[0];
  if (program.empty()) return {};
  return run_line(wide_text(program), wide_text(windows_command_line(words)), options);
}

run_result run_command_line(const std::string& line, const run_options& options) {
  return run_line(std::wstring(), wide_text(line), options);
}

}  // namespace platform
