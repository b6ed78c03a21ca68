// Fuzz target: the line scan against a plain byte-at-a-time model of it, on
// any bytes. The scan tests whole blocks of bytes at once; the model is the
// rule as written: carriage returns dropped anywhere, 0x1A ends the data,
// the key stops at a space or a colon, the value at a line feed, both at
// 1024 bytes, and the same result n for every line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "reservation/line_scan.h"

namespace {

struct model {
  const std::uint8_t* next;
  const std::uint8_t* end;
};

// The next byte of the data, or -1 at its end.
int peek(model& m) {
  while (m.next != m.end && *m.next == '\r') ++m.next;
  if (m.next == m.end || *m.next == 0x1A) {
    m.next = m.end;
    return -1;
  }
  return *m.next;
}

template <typename Stop>
std::size_t take(model& m, std::string* out, std::size_t limit, Stop stop) {
  std::size_t taken = 0;
  for (int byte; taken < limit && (byte = peek(m)) >= 0 && !stop(byte); ++taken, ++m.next) {
    if (out != nullptr) *out += static_cast<char>(byte);
  }
  return taken;
}

// The item holds exactly the model's bytes and its terminator (an item may
// hold NUL bytes of its own).
bool same_item(const char* item, const std::string& expected) {
  return std::memcmp(item, expected.data(), expected.size()) == 0 && item[expected.size()] == '\0';
}

bool is_separator(int byte) { return byte == ' ' || byte == ':'; }

int model_line(model& m, std::string& key, std::string& value) {
  key.clear();
  value.clear();
  constexpr std::size_t k_any = static_cast<std::size_t>(-1);
  int stored = take(m, &key, k_item_limit, is_separator) > 0 ? 1 : 0;
  take(m, nullptr, k_any, [](int b) { return !is_separator(b); });
  stored += take(m, &value, k_item_limit, [](int b) { return b == '\n'; }) > 0 ? 1 : 0;
  take(m, nullptr, k_any, [](int b) { return b != '\n'; });
  return stored == 0 && peek(m) < 0 ? -1 : stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static scanned_line line;
  scan_input input = scan_memory(data, size);
  model m{data, data + size};
  std::string key, value;
  for (;;) {
    int n = scan_line(input, line);
    int expected = model_line(m, key, value);
    require(n == expected, "the same result");
    require(same_item(line.key, key) && same_item(line.value, value), "the same key and value");
    if (n <= 0) return 0;
  }
}
