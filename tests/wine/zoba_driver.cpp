// Drives one run of a Windows program as a person would: starts an exact
// command line, and until the process ends finds each message box it shows,
// records the box (and the lines of the trace console, when one is up) and answers it
// from a script. A test program of its own, so it may use <windows.h>.
//
//   zoba_driver JOB LOG
//
// JOB, in bytes of the ANSI code page: the first line is the command line,
// optionally after "follow=NAME" and a tab: then the process driven is the
// first other one named NAME that appears (a program the command has the
// shell open, as "cmd /c start" does). Every further line answers one box,
// in order: "ok" or "cancel", then
// optional tab-separated steps taken before answering:
//   lock=PATH    open PATH with no sharing and hold it until the end
//   pause=PATH   write PATH.ready (the box's and the console's screen
//                rectangles) and wait until PATH.go exists
// Boxes beyond the script are recorded and answered OK.
//
// LOG gets one record a line, texts in hexadecimal so that every byte stays
// exact: "box", "caption HEX", "text HEX", and when the process has a
// top-level list box up, "console-title HEX" and one "line HEX" per line;
// and at the end "exit STATUS" (unsigned, as GetExitCodeProcess gives it)
// or "timeout".
#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr DWORD k_poll_ms = 50;
constexpr DWORD k_run_limit_ms = 60000;
constexpr int k_message_id = 0xFFFF;  // the text control of a message box

struct step {
  std::string answer;
  std::vector<std::string> actions;
};

struct job {
  std::string follow;  // the name of the process to drive instead, if any
  std::string command_line;
  std::vector<step> steps;
};

struct find_window {
  DWORD process_id;
  const char* class_name;
  HWND found;
};

FILE* g_log = nullptr;
std::vector<HANDLE> g_locks;

std::string read_file(const char* path) {
  std::string bytes;
  FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return bytes;
  char buffer[4096];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, got);
  std::fclose(in);
  return bytes;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

job parse_job(const std::string& bytes) {
  job parsed;
  std::vector<std::string> lines = split(bytes, '\n');
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  parsed.command_line = lines.empty() ? std::string() : lines[0];
  if (parsed.command_line.rfind("follow=", 0) == 0) {
    size_t tab = parsed.command_line.find('\t');
    parsed.follow = parsed.command_line.substr(7, tab - 7);
    parsed.command_line.erase(0, tab == std::string::npos ? tab : tab + 1);
  }
  for (size_t i = 1; i < lines.size(); ++i) {
    if (lines[i].empty()) continue;
    std::vector<std::string> fields = split(lines[i], '\t');
    step s;
    s.answer = fields[0];
    s.actions.assign(fields.begin() + 1, fields.end());
    parsed.steps.push_back(s);
  }
  return parsed;
}

void log_hex(const char* label, const std::string& bytes) {
  std::fprintf(g_log, "%s ", label);
  for (unsigned char c : bytes) std::fprintf(g_log, "%02x", c);
  std::fprintf(g_log, "\n");
}

BOOL CALLBACK match_window(HWND window, LPARAM data) {
  find_window* wanted = reinterpret_cast<find_window*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != wanted->process_id || !IsWindowVisible(window)) return TRUE;
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpiA(name, wanted->class_name) != 0) return TRUE;
  wanted->found = window;
  return FALSE;
}

// The first visible top-level window of the process with the class name.
HWND find_process_window(DWORD process_id, const char* class_name) {
  find_window wanted = {process_id, class_name, nullptr};
  EnumWindows(match_window, reinterpret_cast<LPARAM>(&wanted));
  return wanted.found;
}

std::string window_text(HWND window) {
  int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(window, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

// The list's own text is Unicode, and Wine hands it to another process only
// through the wide message; it is turned into the ANSI code page here.
std::string list_line(HWND list, int index) {
  LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return std::string();
  std::wstring line(static_cast<size_t>(length) + 1, L'\0');
  LRESULT got = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                             reinterpret_cast<LPARAM>(line.data()));
  if (got <= 0) return std::string();
  int size = WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(got), nullptr, 0, nullptr,
                                 nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(got), bytes.data(), size, nullptr,
                      nullptr);
  return bytes;
}

void record_box(HWND box, HWND console) {
  std::fprintf(g_log, "box\n");
  log_hex("caption", window_text(box));
  HWND message = GetDlgItem(box, k_message_id);
  log_hex("text", message != nullptr ? window_text(message) : std::string());
  if (console == nullptr) return;
  log_hex("console-title", window_text(console));
  int count = static_cast<int>(SendMessageA(console, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) log_hex("line", list_line(console, i));
}

void write_rect(FILE* out, const char* label, HWND window) {
  RECT r = {};
  if (window != nullptr) GetWindowRect(window, &r);
  std::fprintf(out, "%s %ld %ld %ld %ld\n", label, r.left, r.top, r.right - r.left,
               r.bottom - r.top);
}

// Lets the test look at the screen (or start another program) while the box
// is up.
void pause_at(const std::string& path, HWND box, HWND console) {
  std::string ready = path + ".ready";
  std::string go = path + ".go";
  FILE* out = std::fopen((ready + ".part").c_str(), "wb");
  if (out == nullptr) return;
  write_rect(out, "box", box);
  write_rect(out, "console", console);
  std::fclose(out);
  MoveFileA((ready + ".part").c_str(), ready.c_str());
  for (DWORD waited = 0; waited < k_run_limit_ms; waited += k_poll_ms) {
    if (GetFileAttributesA(go.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    Sleep(k_poll_ms);
  }
}

void lock_file(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(g_log, "lock-failed\n");
    return;
  }
  g_locks.push_back(file);
}

void answer_box(HWND box, HWND console, const step& s) {
  for (const std::string& action : s.actions) {
    if (action.rfind("lock=", 0) == 0) lock_file(action.substr(5));
    if (action.rfind("pause=", 0) == 0) pause_at(action.substr(6), box, console);
  }
  WPARAM id = s.answer == "cancel" ? IDCANCEL
              : s.answer == "yes"  ? IDYES
              : s.answer == "no"   ? IDNO
                                   : IDOK;
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

bool start(std::string command_line, PROCESS_INFORMATION& process) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  return CreateProcessA(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process) != FALSE;
}

// The id of a process named name other than not_this, or 0.
DWORD process_named(const std::string& name, DWORD not_this) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  DWORD found = 0;
  for (BOOL more = Process32First(snapshot, &entry); more && found == 0;
       more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID != not_this && lstrcmpiA(entry.szExeFile, name.c_str()) == 0) {
      found = entry.th32ProcessID;
    }
  }
  CloseHandle(snapshot);
  return found;
}

// Swaps the started process for the one it had opened under name, once
// that one is up; false when none came within the run limit.
bool follow(const std::string& name, PROCESS_INFORMATION& process) {
  for (DWORD waited = 0; waited < k_run_limit_ms; waited += k_poll_ms) {
    DWORD id = process_named(name, process.dwProcessId);
    DWORD access = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE;
    HANDLE followed = id == 0 ? nullptr : OpenProcess(access, FALSE, id);
    if (followed != nullptr) {
      CloseHandle(process.hProcess);
      process.hProcess = followed;
      process.dwProcessId = id;
      return true;
    }
    Sleep(k_poll_ms);
  }
  return false;
}

// Waits for the process to end, answering its boxes one at a time: a box is
// answered, then gone, before the next one is looked for.
bool drive(const job& j, PROCESS_INFORMATION& process) {
  size_t next_step = 0;
  HWND answered = nullptr;
  for (DWORD waited = 0; waited < k_run_limit_ms; waited += k_poll_ms) {
    if (WaitForSingleObject(process.hProcess, k_poll_ms) == WAIT_OBJECT_0) return true;
    if (answered != nullptr && IsWindow(answered)) continue;
    HWND box = find_process_window(process.dwProcessId, "#32770");
    if (box == nullptr) continue;
    HWND console = find_process_window(process.dwProcessId, "ListBox");
    record_box(box, console);
    step s = next_step < j.steps.size() ? j.steps[next_step] : step{"ok", {}};
    ++next_step;
    answer_box(box, console, s);
    answered = box;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zoba_driver JOB LOG\n");
    return 2;
  }
  job j = parse_job(read_file(argv[1]));
  g_log = std::fopen(argv[2], "wb");
  if (g_log == nullptr) return 2;
  PROCESS_INFORMATION process = {};
  if (!start(j.command_line, process)) {
    std::fprintf(g_log, "not-started %lu\n", GetLastError());
    std::fclose(g_log);
    return 1;
  }
  CloseHandle(process.hThread);
  if (!j.follow.empty() && !follow(j.follow, process)) {
    std::fprintf(g_log, "not-started follow %s\n", j.follow.c_str());
    std::fclose(g_log);
    return 1;
  }
  if (drive(j, process)) {
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    std::fprintf(g_log, "exit %lu\n", status);
  } else {
    std::fprintf(g_log, "timeout\n");
    TerminateProcess(process.hProcess, 1);
  }
  CloseHandle(process.hProcess);
  for (HANDLE lock : g_locks) CloseHandle(lock);
  std::fclose(g_log);
  return 0;
}
