// The Win32 implementation: the only file that includes <windows.h>.
#include <windows.h>

#include <cstring>

#include "platform/command_line.h"
#include "platform/platform.h"

namespace platform {

namespace {

constexpr DWORD k_module_path_size = 256;
constexpr int k_console_width = 240;
constexpr int k_console_height = 320;

HWND g_console = nullptr;

}  // namespace

std::vector<std::string> arguments(int, char**) {
  // The C runtime's own splitting differs from the tool's, so the raw
  // command line is split here; word 0 is always the module's own path.
  std::vector<std::string> words = split_command_line(GetCommandLineA());
  char path[k_module_path_size] = {};
  GetModuleFileNameA(nullptr, path, k_module_path_size - 1);
  words[0] = path;
  return words;
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
  std::string command = command_line;  // CreateProcessA may write to it
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE,
                      IDLE_PRIORITY_CLASS | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                      &process)) {
    return {false, 0};
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  // A status that cannot be read is not taken for success.
  if (!GetExitCodeProcess(process.hProcess, &status)) status = static_cast<DWORD>(-1);
  CloseHandle(process.hProcess);
  return {true, status};
}

}  // namespace platform
