// Stands in for a recorder under REC.exe. It appends to rec_stub.log beside
// itself, in UTF-8, one line "args [...]" with its arguments as
// CommandLineToArgvW reads them (a JSON array), "window N" (1 when it was
// given a console window), and how it ended: "line-end" when a line came on
// its standard input, "stdin-closed" when the input ended without one,
// "time-up" when its seconds ran out. It writes bytes to the file after
// "--file" at once and every second while it runs. With "--seconds N" it
// ends after N seconds; with "--stdin" when a line comes; with neither it
// runs until it is ended (at most k_limit seconds, so none outlives a suite).
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int k_limit = 600;
constexpr DWORD k_packets = 64;  // 188-byte transport packets a second

std::wstring g_log;

std::string utf8(const wchar_t* text) {
  int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), length, nullptr, nullptr);
  out.pop_back();
  return out;
}

void log_line(const std::string& line) {
  HANDLE file = CreateFileW(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

std::string json_array(wchar_t** words, int count) {
  std::string out = "[";
  for (int i = 0; i < count; ++i) {
    out += i > 0 ? ",\"" : "\"";
    for (unsigned char c : utf8(words[i])) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += static_cast<char>(c);
      }
    }
    out += '"';
  }
  return out + "]";
}

void write_packets(HANDLE file) {
  static char packet[188] = {0x47};
  DWORD written = 0;
  for (DWORD i = 0; i < k_packets; ++i) WriteFile(file, packet, sizeof packet, &written, nullptr);
}

// True when a line came; false when the input ended; waits otherwise.
bool input_state(HANDLE input, bool& line) {
  DWORD available = 0;
  if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) return false;
  while (available > 0) {
    char c = 0;
    DWORD got = 0;
    if (!ReadFile(input, &c, 1, &got, nullptr) || got == 0) return false;
    if (c == '\n') line = true;
    --available;
  }
  return true;
}

}  // namespace

int main() {
  wchar_t module[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH);
  g_log = module;
  g_log = g_log.substr(0, g_log.find_last_of(L'\\') + 1) + L"rec_stub.log";
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  log_line("args " + json_array(words, count));
  log_line(GetConsoleWindow() != nullptr ? "window 1" : "window 0");
  HANDLE file = INVALID_HANDLE_VALUE;
  int seconds = k_limit;
  bool stdin_mode = false;
  for (int i = 1; i < count; ++i) {
    std::wstring word = words[i];
    if (word == L"--file" && i + 1 < count) {
      file = CreateFileW(words[++i], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
    } else if (word == L"--seconds" && i + 1 < count) {
      seconds = _wtoi(words[++i]);
    } else if (word == L"--stdin") {
      stdin_mode = true;
    }
  }
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD started = GetTickCount();
  for (;;) {
    if (file != INVALID_HANDLE_VALUE) write_packets(file);
    bool line = false;
    if (stdin_mode && !input_state(input, line)) {
      log_line("stdin-closed");
      break;
    }
    if (line) {
      log_line("line-end");
      break;
    }
    if (GetTickCount() - started >= static_cast<DWORD>(seconds) * 1000) {
      log_line("time-up");
      break;
    }
    Sleep(stdin_mode ? 200 : 1000);
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}
