#include "app/trace.h"

#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr char k_module_name[] = "zoba";

bool g_console_open = false;
int g_trace_seq = 0;

void append(const std::string& line) {
  platform::trace_window_append(g_trace_seq, line.c_str());
  ++g_trace_seq;
}

}  // namespace

std::string format_trace_line(int seq, int point) {
  return format_text("%4d %s:%d", seq, k_module_name, point);
}

std::string format_trace_line(int seq, int point, const std::string& message) {
  return format_text("%4d %s:%d >%s\n", seq, k_module_name, point, message.c_str());
}

void open_trace_console() {
  if (g_console_open) return;
  g_console_open = platform::trace_window_open();
}

bool trace_enabled() { return g_console_open; }

void trace(int point) {
  if (!g_console_open) return;
  append(format_trace_line(g_trace_seq, point));
}

void trace(int point, const std::string& message) {
  if (!g_console_open) return;
  append(format_trace_line(g_trace_seq, point, message));
}

void reset_trace() {
  g_console_open = false;
  g_trace_seq = 0;
}
