// Fuzz target: the time scan and the decimal number scan on any text.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_check.h"
#include "reservation/iepg_reader.h"

namespace {

constexpr int k_unset = 12345;

// A number of at most two characters of sign and digits: -9 to 99.
bool is_two_character_number(int value) { return value >= -9 && value <= 99; }

void check_time(const char* text) {
  int hour = k_unset;
  int minute = k_unset;
  scan_time(text, hour, minute);
  require(hour == k_unset || is_two_character_number(hour), "hour within two characters");
  require(minute == k_unset || is_two_character_number(minute), "minute within two characters");
  require(hour != k_unset || minute == k_unset, "no minute without an hour");
}

// Where the C library reads a number that fits 32 bits, ours reads the same.
void check_decimal(const char* text) {
  errno = 0;
  long long expected = std::strtoll(text, nullptr, 10);
  bool fits = errno == 0 && expected >= INT_MIN && expected <= INT_MAX;
  int got = scan_decimal(text);
  require(!fits || got == expected, "decimal number as strtoll reads it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  check_time(text.c_str());
  check_decimal(text.c_str());
  return 0;
}
