// Message boxes, the alert sound and the trace console on Windows.
#include <windows.h>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr int k_console_width = 240;
constexpr int k_console_height = 320;

HWND g_console = nullptr;

}  // namespace

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

}  // namespace platform
