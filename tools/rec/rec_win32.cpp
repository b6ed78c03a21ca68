// REC's system services on Windows: the only file of REC that includes
// <windows.h>. Text arrives in UTF-8 and goes to the wide (UTF-16)
// functions, so a Japanese title or folder never passes through the ANSI
// code page.
#include <initguid.h>
#include <windows.h>
// After <windows.h>, which they need.
#include <knownfolders.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/settings.h"
#include "tools/rec/rec_system.h"
#include "tools/rec/rec_windows_args.h"

namespace rec_system {

const char k_separator[] = "\\";

namespace {

// Windows counts the longest path in UTF-16 units.
constexpr DWORD k_path_size = 32768;
// Windows' file name limit, in UTF-16 units.
constexpr std::size_t k_name_limit = 255;
// The longest single wait: timeouts on Windows do not count the time the
// PC was suspended, so the wall clock is read again this often (the waits
// for the programme are cut as short by their caller).
constexpr long long k_chunk_seconds = 30;
// 100-nanosecond ticks between 1601-01-01 (FILETIME) and 1970-01-01.
constexpr long long k_epoch_ticks = 116444736000000000LL;
constexpr long long k_ticks_per_second = 10000000LL;
constexpr unsigned k_shift_jis = 932;

// Text in a code page (UTF-8 unless told) as UTF-16, and back.
std::wstring wide(const std::string& text, UINT code_page = CP_UTF8) {
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(length), L'\0');
  if (length > 0) MultiByteToWideChar(code_page, 0, text.data(), size, out.data(), length);
  return out;
}

std::string narrow(const wchar_t* text, int size, UINT code_page = CP_UTF8) {
  int length = WideCharToMultiByte(code_page, 0, text, size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  if (length > 0) {
    WideCharToMultiByte(code_page, 0, text, size, out.data(), length, nullptr, nullptr);
  }
  return out;
}

std::string utf8(const std::wstring& text) {
  return narrow(text.data(), static_cast<int>(text.size()));
}

// The system's words for an error code, with the code, for REC's log.
std::string error_text(DWORD code) {
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
                        message[length - 1] == L' ' || message[length - 1] == L'.')) {
    --length;
  }
  std::string text = narrow(message, static_cast<int>(length));
  if (message != nullptr) LocalFree(message);
  char number[32];
  std::snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return text.empty() ? number : text + " (" + number + ")";
}

bool is_file(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// A batch file runs only through cmd.exe, whose quoting is not the C
// runtime's: a title holding "&" would become a second command. REC starts
// programs, never a shell, so it takes none.
bool is_batch_file(const std::wstring& path) {
  std::size_t dot = path.find_last_of(L'.');
  if (dot == std::wstring::npos || path.find_first_of(L"\\/", dot) != std::wstring::npos) {
    return false;
  }
  std::wstring extension = path.substr(dot);
  return CompareStringOrdinal(extension.c_str(), -1, L".bat", -1, TRUE) == CSTR_EQUAL ||
         CompareStringOrdinal(extension.c_str(), -1, L".cmd", -1, TRUE) == CSTR_EQUAL;
}

void close_handle(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

// What a recorder's standard handles are: the null device, and the read end
// of a pipe for its input when asked; REC keeps the pipe's write end.
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

}  // namespace

struct recorder {
  HANDLE process = nullptr;
  HANDLE input = nullptr;  // the write end of its standard input, if a pipe
  bool ended_by_rec = false;
};

long long now() {
  FILETIME time = {};
  GetSystemTimeAsFileTime(&time);
  ULARGE_INTEGER ticks;
  ticks.LowPart = time.dwLowDateTime;
  ticks.HighPart = time.dwHighDateTime;
  return (static_cast<long long>(ticks.QuadPart) - k_epoch_ticks) / k_ticks_per_second;
}

void sleep_for(long long seconds) {
  if (seconds <= 0) return;
  Sleep(static_cast<DWORD>(seconds * 1000));
}

std::string find_program(const std::string& name) {
  std::wstring program = wide(name);
  if (program.empty()) return std::string();
  std::wstring found;
  if (program.find_first_of(L"\\/:") != std::wstring::npos) {
    // As CreateProcess does, a path without an extension may name an .exe.
    if (is_file(program)) {
      found = program;
    } else if (program.find(L'.', program.find_last_of(L"\\/:")) == std::wstring::npos &&
               is_file(program + L".exe")) {
      found = program + L".exe";
    }
  } else {
    std::wstring folders = wide(program_folder());
    std::vector<wchar_t> path(k_path_size);
    DWORD length = GetEnvironmentVariableW(L"PATH", path.data(), k_path_size);
    if (length > 0 && length < k_path_size) folders += L";" + std::wstring(path.data(), length);
    std::vector<wchar_t> result(k_path_size);
    DWORD got =
        SearchPathW(folders.c_str(), program.c_str(), L".exe", k_path_size, result.data(), nullptr);
    if (got > 0 && got < k_path_size && is_file(result.data())) found = result.data();
  }
  if (found.empty() || is_batch_file(found)) return std::string();
  return utf8(found);
}

recorder* start_recorder(const std::vector<std::string>& arguments, bool stdin_pipe,
                         std::string& error) {
  std::string program = arguments.empty() ? std::string() : find_program(arguments[0]);
  if (program.empty()) {
    error = "the program " + (arguments.empty() ? std::string() : arguments[0]) +
            " cannot be found (a batch file is not started)";
    return nullptr;
  }
  std::vector<std::string> words = arguments;
  words[0] = program;
  std::wstring line = wide(windows_command_line(words));
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
  BOOL started = CreateProcessW(wide(program).c_str(), line.data(), nullptr, nullptr, TRUE,
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
  return new recorder{process.hProcess, handles.input_write, false};
}

bool wait_recorder(recorder* process, long long deadline) {
  for (;;) {
    long long left = deadline - now();
    if (left > k_chunk_seconds) left = k_chunk_seconds;
    DWORD milliseconds = left > 0 ? static_cast<DWORD>(left * 1000) : 0;
    DWORD result = WaitForSingleObject(process->process, milliseconds);
    if (result == WAIT_OBJECT_0) return true;
    // A handle that cannot be waited on would make this loop spin.
    if (left <= 0 || result == WAIT_FAILED) return false;
  }
}

void send_line_end(recorder* process) {
  if (process->input == nullptr) return;
  DWORD written = 0;
  // A recorder that has already gone leaves a broken pipe: nothing to do.
  WriteFile(process->input, "\r\n", 2, &written, nullptr);
  close_handle(process->input);
}

// Windows has no request to end that every program hears (a console
// program in a console of its own gets no Ctrl+C from REC, and a windowed
// one may ask before closing), so asking is ending: TerminateProcess.
void terminate_recorder(recorder* process) { kill_recorder(process); }

void kill_recorder(recorder* process) {
  if (WaitForSingleObject(process->process, 0) == WAIT_OBJECT_0) return;
  if (TerminateProcess(process->process, 1)) process->ended_by_rec = true;
}

std::string recorder_outcome(const recorder* process) {
  DWORD code = 0;
  if (!GetExitCodeProcess(process->process, &code)) return "unknown";
  if (code == STILL_ACTIVE && WaitForSingleObject(process->process, 0) != WAIT_OBJECT_0) {
    return "running";
  }
  if (process->ended_by_rec) return "terminated";
  char text[32];
  // NTSTATUS codes (a crash) read better in hexadecimal.
  std::snprintf(text, sizeof text, code >= 0x10000 ? "exit 0x%08lX" : "exit %lu",
                static_cast<unsigned long>(code));
  return text;
}

void release_recorder(recorder* process) {
  // Unlike a POSIX child, an ended Windows process needs no waiting for to
  // be reaped: closing its handle is all.
  close_handle(process->input);
  close_handle(process->process);
  delete process;
}

long long file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return -1;
  }
  return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool make_folders(const std::string& path) {
  std::wstring folder = wide(path);
  // Each level in turn; a drive ("C:") or a server's share cannot be made
  // and need not be: only whether the whole exists at the end counts.
  for (std::size_t at = folder.find_first_of(L"\\/", 1); at != std::wstring::npos;
       at = folder.find_first_of(L"\\/", at + 1)) {
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string videos_folder() {
  wchar_t* path = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Videos, 0, nullptr, &path))) {
    folder = utf8(std::wstring(path));
  }
  CoTaskMemFree(path);
  return folder;
}

std::string program_folder() {
  std::vector<wchar_t> path(k_path_size);
  DWORD length = GetModuleFileNameW(nullptr, path.data(), k_path_size);
  std::wstring module(path.data(), length < k_path_size ? length : 0);
  std::size_t slash = module.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::string() : utf8(module.substr(0, slash));
}

// The module's own name in the ANSI code page, cut after its last "\" (a
// double-byte character's second byte may be one: 表 is 0x95 0x5C).
std::string settings_path() {
  std::vector<char> path(k_path_size);
  DWORD length = GetModuleFileNameA(nullptr, path.data(), k_path_size);
  std::string module(path.data(), length < k_path_size ? length : 0);
  std::size_t cut = 0;
  for (std::size_t i = 0; i < module.size(); ++i) {
    if (IsDBCSLeadByte(static_cast<BYTE>(module[i])) && i + 1 < module.size()) {
      ++i;
    } else if (module[i] == '\\') {
      cut = i + 1;
    }
  }
  return module.substr(0, cut) + k_settings_file_name;
}

std::string shown_reason(const std::string& utf8_text) {
  std::wstring text = wide(utf8_text);
  return narrow(text.data(), static_cast<int>(text.size()), CP_ACP);
}

std::string utf8_from_sjis(const std::string& sjis) { return utf8(wide(sjis, k_shift_jis)); }

bool append_line(const std::string& path, const std::string& line) {
  // Appending is one write at the end even when two RECs share the log.
  HANDLE file =
      CreateFileW(wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // UTF-8 with Windows' line end, which Notepad opens as it stands.
  std::string text = line + "\r\n";
  DWORD written = 0;
  bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size();
  return CloseHandle(file) && done;
}

bool name_fits(const std::string& utf8_name) { return wide(utf8_name).size() <= k_name_limit; }

}  // namespace rec_system
