// The Win32 implementation: the only file that includes <windows.h>.
#include <windows.h>

#include <cstring>

#include "platform/command_line.h"
#include "platform/platform.h"

namespace platform {

namespace {

// The longest path Windows has: a program in a deep folder still finds its
// settings file beside it.
constexpr DWORD k_module_path_size = 32768;
constexpr int k_console_width = 240;
constexpr int k_console_height = 320;

HWND g_console = nullptr;

// Reads what the scheduler writes until it closes its end, keeping the
// first k_output_limit bytes; the rest is read and dropped, so it never
// blocks on a full pipe.
std::string collect(HANDLE read_end) {
  std::string output;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(read_end, chunk, sizeof chunk, &got, nullptr) && got > 0) {
    std::size_t room = k_output_limit - output.size();
    output.append(chunk, got < room ? got : room);
  }
  CloseHandle(read_end);
  return output;
}

}  // namespace

std::vector<std::string> arguments(int, char**) {
  // The C runtime's own splitting differs from the tool's, so the raw
  // command line is split here; word 0 is always the module's own path.
  std::vector<std::string> words = split_command_line(GetCommandLineA());
  std::string path(k_module_path_size, '\0');
  DWORD length = GetModuleFileNameA(nullptr, path.data(), k_module_path_size);
  path.resize(length < k_module_path_size ? length : 0);
  words[0] = path;
  return words;
}

// The ANSI functions hand paths over in the code page the tool's texts are
// written in.
std::string shown_text(const std::string& system_text) { return system_text; }

struct input_file {
  HANDLE handle;
};

input_file* open_input_file(const char* path) {
  // Shared as the C runtime's fopen shares it: others may read and write.
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : new input_file{handle};
}

std::size_t read_input_file(input_file* file, void* buffer, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(file->handle, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
  return got;
}

bool rewind_input_file(input_file* file) {
  LARGE_INTEGER start = {};
  return SetFilePointerEx(file->handle, start, nullptr, FILE_BEGIN) != FALSE;
}

void close_input_file(input_file* file) {
  CloseHandle(file->handle);
  delete file;
}

int profile_read_int(const char* section, const char* key, int fallback, const char* file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file));
}

std::string profile_read_string(const char* section, const char* key, const char* fallback,
                                std::size_t size, const char* file) {
  std::string value(size, '\0');
  GetPrivateProfileStringA(section, key, fallback, value.data(), static_cast<DWORD>(size), file);
  // The count returned can include a byte that was not copied when a
  // double-byte character did not fit: the terminator is what counts.
  value.resize(std::strlen(value.c_str()));
  return value;
}

bool profile_write_string(const char* section, const char* key, const char* value,
                          const char* file) {
  return WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

// The ANSI functions read any bytes: nothing to tell.
std::string profile_read_path(const char* section, const char* key, const char* fallback,
                              std::size_t size, const char* file) {
  return profile_read_string(section, key, fallback, size, file);
}

bool profile_add_keys(const char* section, const std::vector<std::string>& keys, const char* file) {
  bool stored = true;
  for (const std::string& key : keys) {
    std::string value(2, '\0');
    // A key already there, with a value or without, is left as it is.
    GetPrivateProfileStringA(section, key.c_str(), "\x01", value.data(), 2, file);
    if (value[0] != '\x01') continue;
    stored = WritePrivateProfileStringA(section, key.c_str(), "", file) != FALSE && stored;
  }
  return stored;
}

std::size_t profile_unwritable_line(const char*) { return 0; }

std::string system_text(const std::string& text) { return text; }

bool set_environment(const char* name, const char* value) {
  return SetEnvironmentVariableA(name, value) != FALSE;
}

mutex_result create_named_mutex(const char* name) {
  // The handle is never closed: it marks this instance until it exits.
  HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
  if (mutex == nullptr) return mutex_result::failed;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return mutex_result::already_exists;
  return mutex_result::created;
}

void beep() { MessageBeep(0); }

bool message_box(const char* caption, const char* text, bool ok_cancel) {
  UINT type = ok_cancel ? MB_OKCANCEL : MB_OK;
  return MessageBoxA(nullptr, text, caption, type) == IDOK;
}

programme_answer ask_programme(const char* caption, const char* text) {
  int answer = MessageBoxA(nullptr, text, caption, MB_YESNOCANCEL);
  // IDOK too: a box told OK by another program means book.
  if (answer == IDYES || answer == IDOK) return programme_answer::book;
  return answer == IDNO ? programme_answer::skip : programme_answer::stop;
}

bool trace_window_open() {
  RECT rect = {0, 0, k_console_width, k_console_height};
  AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE);
  if (g_console != nullptr) return true;
  g_console =
      CreateWindowExA(0, "LISTBOX", "CONSOLE", WS_VISIBLE | WS_OVERLAPPEDWINDOW | LBS_STANDARD,
                      CW_USEDEFAULT, CW_USEDEFAULT, rect.right - rect.left, rect.bottom - rect.top,
                      nullptr, nullptr, nullptr, nullptr);
  if (g_console == nullptr) return false;
  SendMessageA(g_console, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("OK"));
  UpdateWindow(g_console);
  return true;
}

void trace_window_append(int top_index, const char* line) {
  if (g_console == nullptr) return;
  SendMessageA(g_console, LB_SETTOPINDEX, static_cast<WPARAM>(top_index), 0);
  SendMessageA(g_console, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
  UpdateWindow(g_console);
}

process_result run_process(const char* command_line) {
  process_result result;
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  if (!CreatePipe(&read_end, &write_end, &inherited, 0)) return result;
  // Only the write end goes to the scheduler.
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::string command = command_line;  // CreateProcessA may write to it
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  // No console window flashes up for a command that only registers a job.
  BOOL started =
      CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE,
                     IDLE_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (started) CloseHandle(process.hThread);
  result.output = collect(read_end);
  if (!started) return result;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  // A status that cannot be read is not taken for success.
  if (!GetExitCodeProcess(process.hProcess, &status)) status = static_cast<DWORD>(-1);
  CloseHandle(process.hProcess);
  result.started = true;
  result.exit_status = status;
  return result;
}

process_result scheduler_listing() { return run_process("AT"); }

}  // namespace platform
