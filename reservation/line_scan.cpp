#include "reservation/line_scan.h"

namespace {

constexpr unsigned char k_end_of_file_byte = 0x1A;

bool refill(scan_input& input) {
  if (input.finished || input.file == nullptr) {
    input.finished = true;
    return false;
  }
  std::size_t got = std::fread(input.buffer, 1, k_scan_buffer_size, input.file);
  if (got == 0) {
    input.finished = true;
    return false;
  }
  input.next = input.buffer;
  input.end = input.buffer + got;
  return true;
}

// The next byte of the data, or -1 at its end.
inline int peek_byte(scan_input& input) {
  for (;;) {
    if (input.next == input.end) {
      if (!refill(input)) return -1;
      continue;
    }
    unsigned char byte = *input.next;
    if (byte == '\r') {
      ++input.next;
      continue;
    }
    if (byte == k_end_of_file_byte) {
      input.finished = true;
      input.next = input.end;
      return -1;
    }
    return byte;
  }
}

inline bool is_separator(int byte) { return byte == ' ' || byte == ':'; }
inline bool is_line_end(int byte) { return byte == '\n'; }

// Takes up to limit bytes that do not stop the run, storing them in out
// (terminated) when out is given; returns how many were taken.
template <typename Stop>
std::size_t take_run(scan_input& input, char* out, std::size_t limit, Stop stop) {
  std::size_t taken = 0;
  while (taken < limit) {
    int byte = peek_byte(input);
    if (byte < 0 || stop(byte)) break;
    if (out != nullptr) out[taken] = static_cast<char>(byte);
    ++taken;
    ++input.next;
  }
  if (out != nullptr) out[taken] = '\0';
  return taken;
}

constexpr std::size_t k_unlimited = static_cast<std::size_t>(-1);

}  // namespace

scan_input scan_memory(const void* data, std::size_t size) {
  scan_input input;
  input.next = static_cast<const unsigned char*>(data);
  input.end = input.next + size;
  return input;
}

scan_input scan_file(std::FILE* file, unsigned char* buffer) {
  scan_input input;
  input.file = file;
  input.buffer = buffer;
  return input;
}

int scan_line(scan_input& input, scanned_line& line) {
  line.key[0] = '\0';
  line.value[0] = '\0';
  int stored = 0;
  if (take_run(input, line.key, k_item_limit, is_separator) > 0) ++stored;
  take_run(input, nullptr, k_unlimited, [](int b) { return !is_separator(b); });
  if (take_run(input, line.value, k_item_limit, is_line_end) > 0) ++stored;
  take_run(input, nullptr, k_unlimited, [](int b) { return !is_line_end(b); });
  if (stored == 0 && peek_byte(input) < 0) return -1;
  return stored;
}
